# The version every program and package carries: the project's, or another
# given as -DQUORVEX_RELEASE_VERSION=V (four numbers), written into
# quorvex_version.h under the build tree's generated/ folder.
#   in a build: include(cmake/version.cmake) after project()
#   alone:      cmake -DQUORVEX_RELEASE_VERSION=V -DOUT=DIR -P cmake/version.cmake
if(CMAKE_SCRIPT_MODE_FILE)
  set(generated ${OUT})
else()
  set(QUORVEX_RELEASE_VERSION ${PROJECT_VERSION} CACHE STRING "Version that the programs and packages carry")
  set(generated ${CMAKE_BINARY_DIR}/generated)
endif()
if(NOT QUORVEX_RELEASE_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "version '${QUORVEX_RELEASE_VERSION}' is not four numbers")
endif()
string(REPLACE "." "," QUORVEX_VERSION_FIELDS ${QUORVEX_RELEASE_VERSION})
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${generated}/quorvex_version.h @ONLY)
set(QUORVEX_GENERATED_INCLUDE ${generated})
