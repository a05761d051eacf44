# Install rules, the CMake package SvnScc, pkg-config's svnscc.pc and the
# Debian package (cpack -G DEB).
include(CMakePackageConfigHelpers)

install(TARGETS svnscc LIBRARY DESTINATION ${SVNSCC_PLUGIN_DIR} COMPONENT runtime)
install(TARGETS scc-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES provider/SourceCodeControlSystemProviderInterface.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/svnscc COMPONENT development)

set(SVNSCC_CMAKE_DIR "${SVNSCC_ARCH_LIBDIR}/cmake/SvnScc")
set(SVNSCC_PLUGIN_FILE "${SVNSCC_PLUGIN_DIR}/libsvnscc.so")
install(TARGETS svnscc_interface EXPORT SvnSccTargets COMPONENT development)
install(EXPORT SvnSccTargets NAMESPACE SvnScc:: DESTINATION ${SVNSCC_CMAKE_DIR} COMPONENT development)
configure_package_config_file(cmake/SvnSccConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/SvnSccConfig.cmake
  INSTALL_DESTINATION ${SVNSCC_CMAKE_DIR}
  PATH_VARS SVNSCC_PLUGIN_FILE)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/SvnSccConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/SvnSccConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/SvnSccConfigVersion.cmake
  DESTINATION ${SVNSCC_CMAKE_DIR} COMPONENT development)

# pkg-config: paths relative to the .pc file's own folder, so that the
# installed tree can live under any prefix.
set(SVNSCC_PKGCONFIG_DIR "${SVNSCC_ARCH_LIBDIR}/pkgconfig")
file(RELATIVE_PATH SVNSCC_PKGCONFIG_TO_PREFIX
  "/prefix/${SVNSCC_PKGCONFIG_DIR}" "/prefix")
configure_file(cmake/svnscc.pc.in ${CMAKE_CURRENT_BINARY_DIR}/svnscc.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/svnscc.pc
  DESTINATION ${SVNSCC_PKGCONFIG_DIR} COMPONENT development)

set(CPACK_PACKAGE_NAME svnscc)
set(CPACK_PACKAGE_VENDOR "svnscc")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Subversion provider plug-in for IDEs")
set(CPACK_PACKAGE_DESCRIPTION
  "A plug-in that an IDE loads to put its project files under Subversion,\n\
the interface header and CMake package a host builds against, and scc-host,\n\
a command-line host.")
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
