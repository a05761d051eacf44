# Install rules, the CMake package SvnScc and pkg-config's svnscc.pc,
# svnscc-utilities.pc and svnscc-session.pc. Every file goes to one
# component, and each component is one Debian package (cmake/Packaging.cmake):
#   plugin       svnscc-plugin          the plug-in (Qt Core, SQLite) and its askpass program
#   utilities    libsvnscc-utilities1   the utility library's runtime
#   session      libsvnscc-session1     the session library's runtime (Qt Core)
#   development  libsvnscc-dev          headers, CMake package, .pc files, the .so links, API docs
#   tools        svnscc-tools           scc-host and scc-browser
include(CMakePackageConfigHelpers)

# Compresses SOURCE into the build folder as Debian wants installed
# documentation compressed: gzip -9n, no name or time stamp inside, so that
# the same source always gives the same bytes. Sets OUTPUT_VARIABLE to the
# compressed file's path.
function(svnscc_compressed source output_name output_variable)
  set(output ${PROJECT_BINARY_DIR}/compressed/${output_name})
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/compressed
    COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${source} ${output}
    DEPENDS ${source} VERBATIM)
  string(MAKE_C_IDENTIFIER "compress_${output_name}" target)
  add_custom_target(${target} ALL DEPENDS ${output})
  set(${output_variable} ${output} PARENT_SCOPE)
endfunction()

install(TARGETS svnscc LIBRARY DESTINATION ${SVNSCC_PLUGIN_DIR} COMPONENT plugin)
install(TARGETS svnscc-askpass RUNTIME DESTINATION ${SVNSCC_PLUGIN_DIR} COMPONENT plugin)
install(TARGETS scc-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
svnscc_compressed(${PROJECT_SOURCE_DIR}/host/scc-host/scc-host.1 scc-host.1.gz scc_host_manual)
install(FILES ${scc_host_manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
if(SVNSCC_BROWSER)
  install(TARGETS scc-browser RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  svnscc_compressed(${PROJECT_SOURCE_DIR}/host/scc-browser/scc-browser.1 scc-browser.1.gz scc_browser_manual)
  install(FILES ${scc_browser_manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endif()
# The headers every host compiles against: the interface and the version.
set(SVNSCC_INTERFACE_HEADERS
  ${PROJECT_SOURCE_DIR}/provider/include/svnscc/SourceCodeControlSystemProviderInterface.h
  ${PROJECT_SOURCE_DIR}/provider/include/svnscc/SourceCodeControlSystemProviderInterface2.h
  ${PROJECT_SOURCE_DIR}/provider/include/svnscc/SourceCodeControlSystemProviderInterface3.h
  ${PROJECT_SOURCE_DIR}/provider/include/svnscc/SourceCodeControlSystemProviderInterface4.h
  ${PROJECT_SOURCE_DIR}/provider/include/svnscc/StatusColumns.h
  ${SVNSCC_GENERATED_INCLUDE_DIR}/svnscc/svnscc_version.h)
install(FILES ${SVNSCC_INTERFACE_HEADERS}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/svnscc COMPONENT development)
if(SVNSCC_UTILITIES)
  # The utility layer for IDE code: its shared library and headers, in the
  # same header folder as the interface.
  install(TARGETS svnscc_utilities EXPORT SvnSccUtilitiesTargets
    LIBRARY DESTINATION ${SVNSCC_ARCH_LIBDIR} COMPONENT utilities NAMELINK_COMPONENT development
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/svnscc COMPONENT development)
endif()

# The session library for IDE code, with its headers in the same folder. It
# finds the plug-in relative to itself: <libdir>/svnscc/libsvnscc.so.
install(TARGETS svnscc_session EXPORT SvnSccSessionTargets
  LIBRARY DESTINATION ${SVNSCC_ARCH_LIBDIR} COMPONENT session NAMELINK_COMPONENT development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/svnscc COMPONENT development)

set(SVNSCC_CMAKE_DIR "${SVNSCC_ARCH_LIBDIR}/cmake/SvnScc")
set(SVNSCC_PLUGIN_FILE "${SVNSCC_PLUGIN_DIR}/libsvnscc.so")
install(TARGETS svnscc_interface EXPORT SvnSccTargets COMPONENT development)
install(EXPORT SvnSccTargets NAMESPACE SvnScc:: DESTINATION ${SVNSCC_CMAKE_DIR} COMPONENT development)
if(SVNSCC_UTILITIES)
  install(EXPORT SvnSccUtilitiesTargets NAMESPACE SvnScc:: DESTINATION ${SVNSCC_CMAKE_DIR}
    COMPONENT development)
endif()
install(EXPORT SvnSccSessionTargets NAMESPACE SvnScc:: DESTINATION ${SVNSCC_CMAKE_DIR} COMPONENT development)
configure_package_config_file(cmake/SvnSccConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/SvnSccConfig.cmake
  INSTALL_DESTINATION ${SVNSCC_CMAKE_DIR}
  PATH_VARS SVNSCC_PLUGIN_FILE)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/SvnSccConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/SvnSccConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/SvnSccConfigVersion.cmake
  DESTINATION ${SVNSCC_CMAKE_DIR} COMPONENT development)

# pkg-config: svnscc.pc (the interface, and the plug-in's path in its
# `plugin` variable), svnscc-utilities.pc and svnscc-session.pc. They are
# made at configure time, for the configured prefix, and installed as they
# are; then the installed copies' prefix line is set to the prefix installed
# into (cmake --install --prefix, or /usr in the Debian package), so that
# every path they give is absolute and plain (pkg-config keeps a prefix
# relative to ${pcfiledir} as ".../pkgconfig/../../.."). Installing writes
# nothing into the build tree, which may be read-only.
set(SVNSCC_PKGCONFIG_DIR "${SVNSCC_ARCH_LIBDIR}/pkgconfig")
set(svnscc_pc_files svnscc svnscc-session)
if(SVNSCC_UTILITIES)
  list(APPEND svnscc_pc_files svnscc-utilities)
endif()
foreach(pc IN LISTS svnscc_pc_files)
  configure_file(cmake/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc
    DESTINATION ${SVNSCC_PKGCONFIG_DIR} COMPONENT development)
endforeach()
install(CODE "
  get_filename_component(prefix \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
  foreach(pc ${svnscc_pc_files})
    set(file \"\$ENV{DESTDIR}\${prefix}/${SVNSCC_PKGCONFIG_DIR}/\${pc}.pc\")
    file(READ \"\${file}\" text)
    string(REGEX REPLACE \"^prefix=[^\\n]*\" \"prefix=\${prefix}\" text \"\${text}\")
    file(WRITE \"\${file}\" \"\${text}\")
  endforeach()" COMPONENT development)
