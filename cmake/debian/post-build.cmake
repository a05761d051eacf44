# Run by cpack once the packages are made (CPACK_POST_BUILD_SCRIPTS).
#
# CPack gives a package with a shared library below /usr/lib a postinst and
# a postrm that call ldconfig. Debian rebuilds the linker's cache through
# the ldconfig trigger instead, once for all packages installed together;
# a library package carries that trigger (cmake/debian/triggers), so the
# two scripts are taken out again: such a package is unpacked, the scripts
# (when they do nothing but call ldconfig) removed, and it is built again.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb --raw-extract "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  if(EXISTS "${tree}/DEBIAN/triggers")
    foreach(script postinst postrm)
      if(EXISTS "${tree}/DEBIAN/${script}")
        file(READ "${tree}/DEBIAN/${script}" text)
        string(REGEX REPLACE "\n+" "\n" rest "${text}")
        string(REGEX REPLACE "^#!/bin/sh\nset -e\nif \\[ \"\\$1\" = \"[a-z]+\" \\]; then\n\tldconfig\nfi\n$" "" rest "${rest}")
        if(NOT rest STREQUAL "")
          message(FATAL_ERROR "${deb}: its ${script} does more than call ldconfig:\n${text}")
        endif()
        file(REMOVE "${tree}/DEBIAN/${script}")
      endif()
    endforeach()
    execute_process(COMMAND dpkg-deb --root-owner-group --build "${tree}" "${deb}"
      OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE_RECURSE "${tree}")
endforeach()
