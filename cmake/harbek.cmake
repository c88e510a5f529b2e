# Helpers for the three kinds of target this project makes: static libraries
# (plain CMake), test programs and component modules.

include(GoogleTest)

# harbek_test(NAME <name> SOURCES <files...> LIBS <targets...>)
# A GoogleTest program whose cases join CTest one by one. Tests run in the
# output folder, beside the component modules and their registry.
function(harbek_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT HARBEK_TESTS)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${T_NAME}
    WORKING_DIRECTORY ${HARBEK_BIN_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "HARBEK_REGISTRY=${HARBEK_BIN_DIR}/components.reg")
endfunction()

# harbek_component(NAME <module> SOURCES <files...> LIBS <targets...> [TEST_ONLY])
# A component module: a shared module that exports the four standard entry
# points over a static library. It is registered in the build's class registry
# as soon as it is linked, so every component of a build is creatable at once,
# and (unless TEST_ONLY) installed into lib/harbek/, whose registry the
# install step writes.
function(harbek_component)
  cmake_parse_arguments(C "TEST_ONLY" "NAME" "SOURCES;LIBS" ${ARGN})
  add_library(${C_NAME} MODULE ${C_SOURCES})
  set_target_properties(${C_NAME} PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(${C_NAME} PRIVATE ${C_LIBS} harbek_component_module)
  add_dependencies(${C_NAME} comreg)
  add_custom_command(TARGET ${C_NAME} POST_BUILD
    COMMAND $<TARGET_FILE:comreg> --registry ${HARBEK_BIN_DIR}/components.reg $<TARGET_FILE:${C_NAME}>
    VERBATIM)
  if(NOT C_TEST_ONLY)
    install(TARGETS ${C_NAME} LIBRARY DESTINATION ${HARBEK_MODULE_DIR})
    set_property(GLOBAL APPEND PROPERTY HARBEK_INSTALLED_MODULES ${C_NAME})
  endif()
endfunction()
