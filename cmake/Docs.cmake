# The API documentation (option SVNSCC_DOCS, ./build.sh docs): Doxygen over
# the headers as they are installed, into <build folder>/html, installed
# with libsvnscc-dev in share/doc/libsvnscc-dev/html. A public declaration
# without a comment, or a comment Doxygen cannot read, fails the build.
option(SVNSCC_DOCS "Build the API documentation with Doxygen" OFF)
if(NOT SVNSCC_DOCS)
  return()
endif()
find_package(Doxygen REQUIRED)

# The installed headers, copied into the layout they are installed in: the
# interface's and those of each installed library (its PUBLIC_HEADER).
set(docs_headers ${SVNSCC_INTERFACE_HEADERS})
foreach(library IN ITEMS svnscc_utilities svnscc_session)
  if(TARGET ${library})
    get_target_property(library_headers ${library} PUBLIC_HEADER)
    list(APPEND docs_headers ${library_headers})
  endif()
endforeach()
set(SVNSCC_DOCS_INPUT ${PROJECT_BINARY_DIR}/docs-input)
configure_file(docs/Doxyfile.in ${PROJECT_BINARY_DIR}/Doxyfile @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/html/index.html
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${SVNSCC_DOCS_INPUT} ${PROJECT_BINARY_DIR}/html
  COMMAND ${CMAKE_COMMAND} -E make_directory ${SVNSCC_DOCS_INPUT}/svnscc
  COMMAND ${CMAKE_COMMAND} -E copy ${docs_headers} ${SVNSCC_DOCS_INPUT}/svnscc
  COMMAND Doxygen::doxygen ${PROJECT_BINARY_DIR}/Doxyfile
  DEPENDS ${docs_headers} ${PROJECT_SOURCE_DIR}/docs/api.md ${PROJECT_BINARY_DIR}/Doxyfile
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
  COMMENT "API documentation in ${PROJECT_BINARY_DIR}/html" VERBATIM)
add_custom_target(docs ALL DEPENDS ${PROJECT_BINARY_DIR}/html/index.html)
install(DIRECTORY ${PROJECT_BINARY_DIR}/html/
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libsvnscc-dev/html COMPONENT development)
