# Install rules, the CMake package SvnScc, pkg-config's svnscc.pc and the
# Debian package (cpack -G DEB).
include(CMakePackageConfigHelpers)

install(TARGETS svnscc LIBRARY DESTINATION ${SVNSCC_PLUGIN_DIR} COMPONENT runtime)
install(TARGETS scc-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES provider/SourceCodeControlSystemProviderInterface.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/svnscc COMPONENT development)
if(SVNSCC_UTILITIES)
  # The utility layer for IDE code: its shared library and headers, in the
  # same header folder as the interface.
  install(TARGETS svnscc_utilities EXPORT SvnSccUtilitiesTargets
    LIBRARY DESTINATION ${SVNSCC_ARCH_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/svnscc COMPONENT development)
endif()

set(SVNSCC_CMAKE_DIR "${SVNSCC_ARCH_LIBDIR}/cmake/SvnScc")
set(SVNSCC_PLUGIN_FILE "${SVNSCC_PLUGIN_DIR}/libsvnscc.so")
install(TARGETS svnscc_interface EXPORT SvnSccTargets COMPONENT development)
install(EXPORT SvnSccTargets NAMESPACE SvnScc:: DESTINATION ${SVNSCC_CMAKE_DIR} COMPONENT development)
if(SVNSCC_UTILITIES)
  install(EXPORT SvnSccUtilitiesTargets NAMESPACE SvnScc:: DESTINATION ${SVNSCC_CMAKE_DIR}
    COMPONENT development)
endif()
configure_package_config_file(cmake/SvnSccConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/SvnSccConfig.cmake
  INSTALL_DESTINATION ${SVNSCC_CMAKE_DIR}
  PATH_VARS SVNSCC_PLUGIN_FILE)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/SvnSccConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/SvnSccConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/SvnSccConfigVersion.cmake
  DESTINATION ${SVNSCC_CMAKE_DIR} COMPONENT development)

# pkg-config: the prefix is the one installed into (cmake --install --prefix,
# or /usr in the Debian package), written at install time, so that every path
# the file gives is absolute and plain.
set(SVNSCC_PKGCONFIG_DIR "${SVNSCC_ARCH_LIBDIR}/pkgconfig")
configure_file(cmake/svnscc.pc.in ${CMAKE_CURRENT_BINARY_DIR}/svnscc.pc.template @ONLY)
install(CODE "
  file(READ \"${CMAKE_CURRENT_BINARY_DIR}/svnscc.pc.template\" pc)
  get_filename_component(prefix \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
  string(REPLACE \"%PREFIX%\" \"\${prefix}\" pc \"\${pc}\")
  file(WRITE \"${CMAKE_CURRENT_BINARY_DIR}/svnscc.pc\" \"\${pc}\")" COMPONENT development)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/svnscc.pc
  DESTINATION ${SVNSCC_PKGCONFIG_DIR} COMPONENT development)

set(CPACK_PACKAGE_NAME svnscc)
set(CPACK_PACKAGE_VENDOR "svnscc")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Subversion provider plug-in for IDEs")
set(CPACK_PACKAGE_DESCRIPTION
  "A plug-in that an IDE loads to put its project files under Subversion,\n\
the interface header and CMake package a host builds against, the utility\n\
library IDE code may use (processes, files, paths, dates, search), and\n\
scc-host, a command-line host.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "svnscc developers <svnscc@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# The libraries (Qt 6 Core, SQLite, the C++ runtime) come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "subversion (>= 1.10)")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
