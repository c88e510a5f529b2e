# Run by CPack after it has made the Debian packages. CPack gives every
# package with a shared object below /usr/lib a postinst and a postrm that
# call ldconfig; harbek's modules are its own (lib/harbek/, found through its
# class registry), never in the linker's cache, so those scripts (and an
# ldconfig trigger in their place) only cost each install a cache rebuild.
# The packages are made again without them.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${deb}" "${tree}" RESULT_VARIABLE status)
  if(status EQUAL 0)
    # Only scripts that do nothing but call ldconfig go.
    foreach(script postinst postrm)
      if(NOT EXISTS "${tree}/DEBIAN/${script}")
        continue()
      endif()
      file(STRINGS "${tree}/DEBIAN/${script}" lines REGEX "[^ \t]")
      list(FILTER lines EXCLUDE REGEX "^(#!/bin/sh|set -e|if \\[ \"\\$1\" = \"(configure|remove)\" \\]; then|[ \t]*ldconfig|fi)$")
      if(lines STREQUAL "")
        file(REMOVE "${tree}/DEBIAN/${script}")
      endif()
    endforeach()
    execute_process(COMMAND dpkg-deb --root-owner-group -b "${tree}" "${deb}" OUTPUT_QUIET RESULT_VARIABLE status)
  endif()
  file(REMOVE_RECURSE "${tree}")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${deb} could not be made again without its ldconfig scripts")
  endif()
endforeach()
