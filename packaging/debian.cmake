# The Debian package: `cmake --workflow --preset package`, or
# `cpack --config BUILD/CPackConfig.cmake` from any build. Beside what
# `cmake --install` puts in place it holds what Debian asks of a package:
# the manual pages compressed, a copyright file and a changelog (with the
# one lintian tag that does not apply overridden), and programs stripped of
# the sections no one reads. The hardening flags come with the package
# preset.

set(PACKAGE_MAINTAINER
  "Unnamed packager of a local build <unnamed-packager@example.invalid>"
  CACHE STRING
  "The package's Maintainer field, as Name <address>; the default is a placeholder that names no one")

# Non-native: the first Debian revision of the program's own version.
set(DEBIAN_VERSION ${PROJECT_VERSION}-1)
set(debian_dir ${PROJECT_BINARY_DIR}/debian)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.Debian.in
  ${debian_dir}/changelog.Debian @ONLY)

# gzip -n -9, as Debian asks: the highest compression, and no name or time
# in the header, so the same sources give the same bytes.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(debian_compressed)
foreach(source IN ITEMS
    ${PROJECT_SOURCE_DIR}/docs/function-approximator.1
    ${PROJECT_SOURCE_DIR}/docs/function-approximator-report.1
    ${debian_dir}/changelog.Debian)
  cmake_path(GET source FILENAME name)
  set(copy ${debian_dir}/gz/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND ${GZIP_EXECUTABLE} -n -9 -f ${copy}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND debian_compressed ${copy}.gz)
endforeach()
add_custom_target(debian_files ALL DEPENDS ${debian_compressed})

# A component of its own, left out of `cmake --install`.
install(FILES ${debian_dir}/gz/function-approximator.1.gz
  ${debian_dir}/gz/function-approximator-report.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright
  ${debian_dir}/gz/changelog.Debian.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR}
  COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME function-approximator
  COMPONENT debian EXCLUDE_FROM_ALL)
# Stripped as dh_strip does it: symbols, the compiler's .comment and .note.
set(installed_programs)
foreach(program IN ITEMS function-approximator function-approximator-report)
  string(APPEND installed_programs
    " \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"")
endforeach()
install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\"
  --remove-section=.comment --remove-section=.note ${installed_programs}
  COMMAND_ERROR_IS_FATAL ANY)"
  COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
# The programs and the sample, then the Debian files; the uncompressed
# manual pages of `cmake --install` stay out.
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};programs;/"
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};debian;/")
set(CPACK_PACKAGE_CONTACT "${PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "approximates a function of a, b and c with random expression trees")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "function-approximator asks five run parameters, grows a population of\n"
  "random expression trees over a, b, c and 2, and evaluates each on the\n"
  "test triples of testVals.csv in single precision, printing every result\n"
  "and running cost. function-approximator-report sums up a saved run.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION math)
# dpkg-shlibdeps (package dpkg-dev) finds the libc and libstdc++ versions.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
