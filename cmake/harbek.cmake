# Helpers for the kinds of target this project makes: static libraries, test
# programs, fuzz targets and component modules. A folder's CMakeLists.txt is
# then one call per target.

include(GoogleTest)

# harbek_library(NAME <name> SOURCES <files...> [DEPS <targets...>] [PRIVATE_DEPS <targets...>])
# A static library. Its users include its headers by their path from the
# source root ("platform/text/text.h"). DEPS are what its headers expose (its
# users link them too); PRIVATE_DEPS only what its sources use.
function(harbek_library)
  cmake_parse_arguments(L "" "NAME" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${L_NAME} STATIC ${L_SOURCES})
  target_include_directories(${L_NAME} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${L_NAME} PUBLIC ${L_DEPS} PRIVATE ${L_PRIVATE_DEPS})
endfunction()

# harbek_test(NAME <name> SOURCES <files...> LIBS <targets...> [MODULES <targets...>] [DEFINES <defs...>])
# A GoogleTest program whose cases join CTest one by one. Tests run in the
# output folder, beside the component modules and their registry. MODULES are
# the component modules and programs the tests load or start at run time:
# they are built before the test program, not linked into it.
function(harbek_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;MODULES;DEFINES" ${ARGN})
  if(NOT HARBEK_TESTS)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  if(T_MODULES)
    add_dependencies(${T_NAME} ${T_MODULES})
  endif()
  if(T_DEFINES)
    target_compile_definitions(${T_NAME} PRIVATE ${T_DEFINES})
  endif()
  gtest_discover_tests(${T_NAME}
    WORKING_DIRECTORY ${HARBEK_BIN_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "HARBEK_REGISTRY=${HARBEK_BIN_DIR}/components.reg")
endfunction()

# harbek_fuzz(NAME <name> SOURCES <files...> LIBS <targets...> CORPUS <folder>)
# A fuzz target: sources that define LLVMFuzzerTestOneInput. It is built two
# ways. <name>_replay, with any compiler, runs every file of the checked-in
# seed corpus once and is a CTest test, so every test run (the sanitizer build
# included) exercises the target. With clang, <name> is also a libFuzzer
# program, built with the address and undefined-behaviour sanitizers; the
# harbek_fuzzers target builds them all (scripts/fuzz.sh runs them).
function(harbek_fuzz)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT IS_DIRECTORY ${F_CORPUS})
    message(FATAL_ERROR "fuzz target ${F_NAME}: no seed corpus folder ${F_CORPUS}")
  endif()
  if(HARBEK_TESTS)
    add_executable(${F_NAME}_replay ${F_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/fuzz_replay_main.cpp)
    target_link_libraries(${F_NAME}_replay PRIVATE ${F_LIBS})
    add_test(NAME fuzz_replay.${F_NAME} COMMAND ${F_NAME}_replay ${F_CORPUS})
  endif()
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(${F_NAME} ${F_SOURCES})
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    set_property(GLOBAL APPEND PROPERTY HARBEK_FUZZERS ${F_NAME})
    set_property(GLOBAL APPEND PROPERTY HARBEK_FUZZ_CORPORA "${F_NAME} ${F_CORPUS}")
  endif()
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
