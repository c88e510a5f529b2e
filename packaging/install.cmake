# What `cmake --install` puts where, and the two Debian packages CPack makes
# of it. harbek (component harbek, no Qt):
#   bin/harbek, bin/comcall, bin/comreg
#   lib/harbek/        the component modules and their registry, and the
#                      TLS engine
#   share/harbek/dict/ the segmentation dictionary (when it was built)
#   share/man/man1/    harbek.1.gz, comcall.1.gz, comreg.1.gz
#   share/doc/harbek/  copyright and changelog
# harbek-windows (component windows, Qt):
#   lib/harbek/harbek-windows.so, share/applications/harbek.desktop, the icon,
#   share/doc/harbek-windows/
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
set(harbek_gzipped "")
foreach(doc harbek.1 comcall.1 comreg.1 changelog)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${doc}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/${doc} > ${CMAKE_BINARY_DIR}/packaging/${doc}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${doc})
  list(APPEND harbek_gzipped ${CMAKE_BINARY_DIR}/packaging/${doc}.gz)
endforeach()
add_custom_target(harbek_docs ALL DEPENDS ${harbek_gzipped})
install(FILES ${CMAKE_BINARY_DIR}/packaging/harbek.1.gz ${CMAKE_BINARY_DIR}/packaging/comcall.1.gz
              ${CMAKE_BINARY_DIR}/packaging/comreg.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/harbek-windows COMPONENT windows)
install(FILES packaging/harbek.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT windows)
# The desktop entry starts harbek, which harbek-windows depends on.
install(FILES packaging/harbek-windows.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME harbek-windows COMPONENT windows)
install(FILES crawler/windows/icons/program.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps
        RENAME harbek.png COMPONENT windows)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME harbek)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description: its first line is the synopsis. (A package
# summary would be put in front of both.)
set(CPACK_PACKAGE_CONTACT "harbek developers <harbek@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Two packages: the terminal copier, its components and tools without Qt,
# and the windows, which pull Qt and a display stack.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL harbek windows)
set(CPACK_DEBIAN_HARBEK_PACKAGE_NAME harbek)
set(CPACK_DEBIAN_HARBEK_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_HARBEK_PACKAGE_SUGGESTS "harbek-windows")
# The state store of a copy; shlibdeps finds it too, named here so it stays.
set(CPACK_DEBIAN_HARBEK_PACKAGE_DEPENDS "libsqlite3-0")
set(CPACK_COMPONENT_HARBEK_DESCRIPTION "web-site copier whose crawl queue survives restarts
harbek copies web sites into a local folder that mirrors host and path, in
the terminal. Its queue is kept on disk, so a copy stopped by Ctrl-C, a kill
or a power cut resumes where it stopped. It also runs find-and-replace rules
over a saved copy and converts a copy's links for offline browsing, and ships
small component libraries with the comcall and comreg tools. The windows are
in the package harbek-windows.")
set(CPACK_DEBIAN_WINDOWS_PACKAGE_NAME harbek-windows)
set(CPACK_DEBIAN_WINDOWS_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_WINDOWS_PACKAGE_DEPENDS "harbek (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_WINDOWS_PACKAGE_RECOMMENDS "xdg-utils, fonts-wqy-microhei")
set(CPACK_COMPONENT_WINDOWS_DESCRIPTION "windows of the web-site copier harbek
The main window of harbek (a toolbar, the queue, a monitor log and a tray
icon), its settings window and the find-and-replace windows, over Qt 6.
Without this package harbek copies sites in the terminal only.")
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/drop_ldconfig.cmake)
include(CPack)

if(HARBEK_TESTS AND NOT HARBEK_SANITIZE)
  # Builds the package, unpacks it into a temporary root and runs what it holds.
  add_test(NAME Package.BuildsUnpacksAndRuns
    COMMAND bash ${CMAKE_SOURCE_DIR}/packaging/tests/package_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(Package.BuildsUnpacksAndRuns PROPERTIES TIMEOUT 240)
endif()
