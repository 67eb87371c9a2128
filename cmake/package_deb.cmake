# Installing the command-line tool as users expect on Linux: `cmake --install` puts tarnovell, its
# man page (made from the same text as --help, gzipped as Debian keeps them), its bash and zsh
# completion and its documents (the README, the copyright, the changelog) in the usual places,
# and `cpack` makes a .deb of whatever that installs.
include(GNUInstallDirs)
set(TARNOVELL_SUMMARY "makes, joins and shows self-joining split sets")
# A placeholder address until the project has a real one.
set(TARNOVELL_MAINTAINER "Tarnovell developers <dev@tarnovell.example>")
set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarnovell)
install(TARGETS tarnovell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(man_page ${CMAKE_BINARY_DIR}/tarnovell.1)
add_custom_command(OUTPUT ${man_page} ${man_page}.gz
  COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:tarnovell> -DSUMMARY=${TARNOVELL_SUMMARY} -DOUTPUT=${man_page}
          -P ${CMAKE_SOURCE_DIR}/cmake/man_page.cmake
  COMMAND gzip -9nfk ${man_page}
  DEPENDS tarnovell ${CMAKE_SOURCE_DIR}/cmake/man_page.cmake
  COMMENT "Writing the man page from --help"
  VERBATIM)
add_custom_target(tarnovell_man_page ALL DEPENDS ${man_page}.gz)
install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Shell completion, where bash-completion and zsh look for it.
install(FILES ${CMAKE_SOURCE_DIR}/cli/completion/tarnovell.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tarnovell)
install(FILES ${CMAKE_SOURCE_DIR}/cli/completion/_tarnovell
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)

# The changelog's date is the build's, or SOURCE_DATE_EPOCH's when that is set (string(TIMESTAMP)
# honours it), so that a rebuild can be byte for byte the same.
string(TIMESTAMP TARNOVELL_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_SOURCE_DIR}/cmake/deb/copyright ${CMAKE_BINARY_DIR}/deb/copyright @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/deb/changelog ${CMAKE_BINARY_DIR}/deb/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/deb/changelog.gz
  COMMAND gzip -9nfk ${CMAKE_BINARY_DIR}/deb/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/deb/changelog
  VERBATIM)
add_custom_target(tarnovell_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/deb/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/deb/copyright ${CMAKE_BINARY_DIR}/deb/changelog.gz
  ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${doc_dir})
# The README's reference pages, where its links find them.
install(FILES ${CMAKE_SOURCE_DIR}/docs/reference.md ${CMAKE_SOURCE_DIR}/docs/format.md
  ${CMAKE_SOURCE_DIR}/docs/performance.md ${CMAKE_SOURCE_DIR}/docs/receiver-session.txt
  DESTINATION ${doc_dir}/docs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnovell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TARNOVELL_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${TARNOVELL_SUMMARY})
# Debian's long description under the summary: paragraphs, which CPack indents by one space
# (" ." between them).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "tarnovell cuts a big file into a self-joining set: the first file is a small
Windows program (the joiner) with a header and the first data, the others are
plain pieces (NAME.c001, NAME.c002, ...). On Windows the receiver runs the
first file to get the original back, with its name and times.

On Linux the tool joins such sets itself without running any program, shows
what a set holds, checks every piece against the digests the set carries, and
rebuilds lost or damaged files from optional recovery files (Reed-Solomon).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
