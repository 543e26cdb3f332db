# Install rules and the Debian package of quorvex-check (CPack, DEB), with
# -DQUORVEX_PACKAGE=ON:  cmake --build build && (cd build && cpack)
# scripts/package builds so, with Debian's hardening flags, and runs it.
# QUORVEX_RELEASE_VERSION (cmake/version.cmake) names the release;
# QUORVEX_SOURCE_DATE_EPOCH dates the man page and the changelog (default:
# SOURCE_DATE_EPOCH, else the time of the last commit).
option(QUORVEX_PACKAGE "Write the man page and the package documents, and set up CPack" OFF)
if(NOT QUORVEX_PACKAGE OR WIN32)
  return()
endif()

if(NOT QUORVEX_SOURCE_DATE_EPOCH)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch $ENV{SOURCE_DATE_EPOCH})
  else()
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT epoch MATCHES "^[0-9]+$")
    set(epoch 0)
  endif()
  set(QUORVEX_SOURCE_DATE_EPOCH ${epoch} CACHE STRING "Time that dates the packaged documents")
endif()

set(QUORVEX_MAINTAINER "The Quorvex authors <authors@quorvex.example>")
set(QUORVEX_DEB_VERSION ${QUORVEX_RELEASE_VERSION}-1)
set(doc_dir share/doc/quorvex-check)
set(out ${CMAKE_BINARY_DIR}/packaging)

# The changelog's date: string(TIMESTAMP) reads SOURCE_DATE_EPOCH from the
# environment, so it is set for that one call.
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${QUORVEX_SOURCE_DATE_EPOCH})
string(TIMESTAMP QUORVEX_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${out}/changelog.Debian @ONLY)
# Rewritten only when the time changes, so that the man page follows it.
file(CONFIGURE OUTPUT ${out}/source-date-epoch CONTENT "${QUORVEX_SOURCE_DATE_EPOCH}\n")

find_program(QUORVEX_HELP2MAN help2man REQUIRED)
# help2man runs the program; a cross-built one runs through the emulator, by
# a script of the program's own name so that the page names it.
if(CMAKE_CROSSCOMPILING)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
  file(GENERATE OUTPUT ${out}/emulated/quorvex-check
       CONTENT "#!/bin/sh\nexec ${emulator} $<TARGET_FILE:quorvex-check> \"$@\"\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                        WORLD_EXECUTE)
  set(man_program ${out}/emulated/quorvex-check)
else()
  set(man_program $<TARGET_FILE:quorvex-check>)
endif()
find_program(QUORVEX_GZIP gzip REQUIRED)
set(man_page ${out}/quorvex-check.1)
# The man page is made from the built program's --help and --version.
add_custom_command(
  OUTPUT ${man_page}
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QUORVEX_SOURCE_DATE_EPOCH} LC_ALL=C.UTF-8
          ${QUORVEX_HELP2MAN} --no-info --section=1 --no-discard-stderr
          --include=${CMAKE_CURRENT_LIST_DIR}/quorvex-check.h2m --output=${man_page}
          ${man_program}
  DEPENDS quorvex-check ${CMAKE_CURRENT_LIST_DIR}/quorvex-check.h2m ${out}/source-date-epoch
  COMMENT "Writing the man page quorvex-check(1)"
  VERBATIM)
add_custom_command(
  OUTPUT ${man_page}.gz
  COMMAND ${QUORVEX_GZIP} -9nf --keep ${man_page}
  DEPENDS ${man_page}
  VERBATIM)
add_custom_target(quorvex-check-man ALL DEPENDS ${man_page}.gz)
add_custom_command(
  OUTPUT ${out}/changelog.Debian.gz
  COMMAND ${QUORVEX_GZIP} -9nf --keep ${out}/changelog.Debian
  DEPENDS ${out}/changelog.Debian
  VERBATIM)
add_custom_target(quorvex-check-changelog ALL DEPENDS ${out}/changelog.Debian.gz)

install(TARGETS quorvex-check RUNTIME DESTINATION bin)
install(FILES ${man_page}.gz DESTINATION share/man/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/quorvex-check.bash
        DESTINATION share/bash-completion/completions RENAME quorvex-check)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${out}/changelog.Debian.gz
        DESTINATION ${doc_dir})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/lintian-overrides
        DESTINATION share/lintian/overrides RENAME quorvex-check)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvex-check)
set(CPACK_PACKAGE_VERSION ${QUORVEX_RELEASE_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quorvex authors")
set(CPACK_PACKAGE_CONTACT ${QUORVEX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check the seals of a video recorder's snapshots and recordings")
set(CPACK_PACKAGE_DESCRIPTION
    "quorvex-check tells whether a snapshot (JPEG, PNG, BMP) or a recording (AVI)
of a network video recorder carries the recorder's CRC-32 seals and is
unchanged since it was made. For a recording it names the video and audio
formats and lists the frames that fail their seal. It prints one line per
file, or a JSON document, and its exit status says whether every file is
intact.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
endif()
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
