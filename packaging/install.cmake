# What `cmake --install` puts where, and the Debian package CPack makes of it.
#   bin/harbek, bin/comcall, bin/comreg
#   lib/harbek/        the component modules and their registry, and the
#                      program's own modules (windows, TLS engine)
#   share/harbek/dict/ the segmentation dictionary (when it was built)
#   share/man/man1/harbek.1.gz, share/applications/harbek.desktop, the icon,
#   share/doc/harbek/  copyright and changelog
install(TARGETS comcall comreg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET harbek)
  install(TARGETS harbek RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The installed modules' registry is written by the built comreg over the
# installed modules, so it names them relative to its own folder.
get_property(harbek_modules GLOBAL PROPERTY HARBEK_INSTALLED_MODULES)
set(harbek_module_files "")
foreach(module IN LISTS harbek_modules)
  list(APPEND harbek_module_files "\${modules}/$<TARGET_FILE_NAME:${module}>")
endforeach()
install(CODE "
  set(modules \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${HARBEK_MODULE_DIR}\")
  execute_process(COMMAND \"$<TARGET_FILE:comreg>\" --registry \"\${modules}/components.reg\" ${harbek_module_files}
                  RESULT_VARIABLE status)
  file(REMOVE \"\${modules}/components.reg.lock\")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR \"the installed components could not be registered\")
  endif()
")

install(DIRECTORY ${HARBEK_BIN_DIR}/dict/ DESTINATION ${CMAKE_INSTALL_DATADIR}/harbek/dict OPTIONAL)

# Debian wants manual pages and changelogs compressed, without time stamps.
foreach(doc harbek.1 changelog)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${doc}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/${doc} > ${CMAKE_BINARY_DIR}/packaging/${doc}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${doc})
endforeach()
add_custom_target(harbek_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/harbek.1.gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/harbek.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES packaging/harbek.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES crawler/windows/icons/program.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps
        RENAME harbek.png)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME harbek)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web-site copier whose crawl queue survives restarts")
set(CPACK_PACKAGE_DESCRIPTION "harbek copies web sites into a local folder that mirrors host and path, with a
 window or in the terminal. Its queue is kept on disk, so a copy stopped by
 Ctrl-C, a kill or a power cut resumes where it stopped. It also runs
 find-and-replace rules over a saved copy and converts a copy's links for
 offline browsing, and ships small component libraries with the comcall tool.")
set(CPACK_PACKAGE_CONTACT "harbek developers <harbek@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-wqy-microhei")
include(CPack)

if(HARBEK_TESTS AND NOT HARBEK_SANITIZE)
  # Builds the package, unpacks it into a temporary root and runs what it holds.
  add_test(NAME Package.BuildsUnpacksAndRuns
    COMMAND bash ${CMAKE_SOURCE_DIR}/packaging/tests/package_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(Package.BuildsUnpacksAndRuns PROPERTIES TIMEOUT 240)
endif()
