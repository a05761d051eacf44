# The Debian packages, made with `cpack -G DEB` in a build folder: one
# package per install component (cmake/Install.cmake), each declared below
# with svnscc_debian_package().
#
# Adding a shared library (the pattern libsvnscc-utilities1 and
# libsvnscc-session1 follow, in utilities/ and session/CMakeLists.txt,
# cmake/Install.cmake and here):
#  1. the library target: OUTPUT_NAME svnscc-<name>, VERSION
#     ${PROJECT_VERSION}, SOVERSION ${PROJECT_VERSION_MAJOR}, hidden symbols
#     with an export macro from generate_export_header() written to
#     ${SVNSCC_GENERATED_INCLUDE_DIR}/svnscc/, PUBLIC_HEADER its public
#     headers and the export header;
#  2. install it: LIBRARY DESTINATION ${SVNSCC_ARCH_LIBDIR} COMPONENT <name>
#     NAMELINK_COMPONENT development, PUBLIC_HEADER to
#     ${CMAKE_INSTALL_INCLUDEDIR}/svnscc and its export set with COMPONENT
#     development; a component of its own in SvnSccConfig.cmake.in; a
#     cmake/svnscc-<name>.pc.in added to the pkg-config loop;
#  3. its package here: svnscc_debian_package(<name> libsvnscc-<name><SOVERSION>
#     SECTION libs SHARED_LIBRARY ...), before the development package,
#     with <name> added to that package's DEPENDS;
#  4. its target in cmake/Docs.cmake's list, its package and headers in the
#     lists at the top of tests/consumer/run.sh.
# Every package gets the copyright file and the changelog.

set(SVNSCC_DEBIAN_REVISION 1)
set(SVNSCC_DEBIAN_MAINTAINER "svnscc maintainers <maintainers@svnscc.org>")
set(SVNSCC_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/cmake/debian)

# The changelog's latest entry is this very release: cmake/debian/changelog
# gets a new entry with each version or revision.
file(STRINGS ${SVNSCC_DEBIAN_DIR}/changelog svnscc_changelog_head LIMIT_COUNT 1)
if(NOT svnscc_changelog_head MATCHES "^svnscc \\(${PROJECT_VERSION}-${SVNSCC_DEBIAN_REVISION}\\) ")
  message(FATAL_ERROR "cmake/debian/changelog starts with \"${svnscc_changelog_head}\": its latest entry must be "
    "version ${PROJECT_VERSION}-${SVNSCC_DEBIAN_REVISION}, which the packages carry")
endif()
svnscc_compressed(${SVNSCC_DEBIAN_DIR}/changelog changelog.Debian.gz svnscc_debian_changelog)

# svnscc_debian_package(<component> <package>
#     SECTION <section> SUMMARY <one line> DESCRIPTION <line>...
#     [DEPENDS <component>...]   packages of ours it needs, at this very version
#     [REQUIRES <relation>...]   other packages it needs beyond the shared
#                                libraries dpkg-shlibdeps finds, e.g. "subversion (>= 1.10)"
#     [SHARED_LIBRARY])          ships a shared library in the linker's path:
#                                adds the ldconfig trigger (the shlibs file
#                                comes from its SONAME)
# Makes <component> the Debian package <package> and installs its
# copyright file and changelog in /usr/share/doc/<package> and lintian's
# overrides (each with its reason) in /usr/share/lintian/overrides.
function(svnscc_debian_package component package)
  cmake_parse_arguments(PARSE_ARGV 2 arg "SHARED_LIBRARY" "SECTION;SUMMARY" "DESCRIPTION;DEPENDS;REQUIRES")
  string(TOUPPER ${component} c)
  set(CPACK_DEBIAN_${c}_PACKAGE_NAME ${package} PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_PACKAGE_SECTION ${arg_SECTION} PARENT_SCOPE)
  list(JOIN arg_DESCRIPTION "\n" description)
  set(CPACK_DEBIAN_${c}_DESCRIPTION "${arg_SUMMARY}\n${description}" PARENT_SCOPE)
  set(CPACK_COMPONENT_${c}_DEPENDS ${arg_DEPENDS} PARENT_SCOPE)
  list(JOIN arg_REQUIRES ", " requires)
  set(CPACK_DEBIAN_${c}_PACKAGE_DEPENDS "${requires}" PARENT_SCOPE)
  if(arg_SHARED_LIBRARY)
    set(CPACK_DEBIAN_${c}_PACKAGE_CONTROL_EXTRA ${SVNSCC_DEBIAN_DIR}/triggers PARENT_SCOPE)
  endif()
  # Only the packages carry these (EXCLUDE_FROM_ALL: a plain cmake --install leaves them out).
  install(FILES ${SVNSCC_DEBIAN_DIR}/copyright ${svnscc_debian_changelog}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES ${SVNSCC_DEBIAN_DIR}/lintian-overrides RENAME ${package}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()

svnscc_debian_package(plugin svnscc-plugin
  SECTION vcs
  SUMMARY "Subversion provider plug-in for IDEs"
  DESCRIPTION
    "The plug-in an IDE loads with dlopen to put its project files under"
    "Subversion: file status, adds, updates, locks, commits and repository"
    "listings, each run through Subversion's command-line client. It needs"
    "Qt Core and SQLite, nothing of Qt's GUI."
  REQUIRES "subversion (>= 1.10)")
set(svnscc_development_depends plugin)
set(svnscc_development_requires qt6-base-dev)
if(SVNSCC_UTILITIES)
  svnscc_debian_package(utilities libsvnscc-utilities1
    SECTION libs
    SUMMARY "utility library of the svnscc plug-in for IDE code"
    DESCRIPTION
      "Process spawning, file operations, a checked file open, a compressed"
      "file format, date labels, search expressions, standard folders and"
      "the Path value class, for IDE code that works beside the svnscc"
      "Subversion plug-in. It needs Qt Core, Gui, Widgets and Core5Compat."
    SHARED_LIBRARY)
  list(APPEND svnscc_development_depends utilities)
  list(APPEND svnscc_development_requires qt6-5compat-dev)
endif()
svnscc_debian_package(session libsvnscc-session1
  SECTION libs
  SUMMARY "Qt session library of the svnscc plug-in for IDE code"
  DESCRIPTION
    "The svnscc Subversion plug-in as a Qt object: it loads the plug-in,"
    "runs every operation on a thread of its own and hands back each result"
    "as a QFuture, keeps the status it reported right while files change"
    "on disk, and gives the command log, progress and offline state as"
    "signals; and the plug-in loader that hosts share. It needs Qt Core"
    "alone."
  DEPENDS plugin
  SHARED_LIBRARY)
list(APPEND svnscc_development_depends session)
svnscc_debian_package(development libsvnscc-dev
  SECTION libdevel
  SUMMARY "development files of the svnscc Subversion plug-in"
  DESCRIPTION
    "The interface header an IDE compiles against to host the svnscc"
    "plug-in, the version header, the headers and links of the utility and"
    "session libraries, the CMake package SvnScc, the pkg-config files"
    "svnscc, svnscc-utilities and svnscc-session, and the API documentation"
    "when it was built."
  DEPENDS ${svnscc_development_depends}
  REQUIRES ${svnscc_development_requires})
svnscc_debian_package(tools svnscc-tools
  SECTION vcs
  SUMMARY "command-line and GUI hosts of the svnscc Subversion plug-in"
  DESCRIPTION
    "scc-host runs one operation of the plug-in from the command line, or"
    "a whole demonstration against a throwaway repository. scc-browser"
    "shows a working copy through the plug-in as an IDE would."
  DEPENDS plugin session)

set(CPACK_PACKAGE_NAME svnscc)
set(CPACK_PACKAGE_VENDOR "svnscc")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${SVNSCC_DEBIAN_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${SVNSCC_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries each package needs (Qt, SQLite, the C++ runtime)
# come from dpkg-shlibdeps; the shlibs file of a library package from its
# SONAME (libsvnscc-utilities 1 libsvnscc-utilities1 (>= 1.0.0-1), and so
# for libsvnscc-session).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# scc-host and scc-browser need libsvnscc-session.so.1 of the session
# package (a dependency of svnscc-tools of its own, at this very version):
# dpkg-shlibdeps, run in each package's tree, finds it in that package's.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "../session/usr/${SVNSCC_ARCH_LIBDIR}")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_STRIP_FILES ON)
set(CPACK_POST_BUILD_SCRIPTS ${SVNSCC_DEBIAN_DIR}/post-build.cmake)
include(CPack)
