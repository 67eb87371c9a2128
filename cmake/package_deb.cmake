# Installing the command-line tool as users expect on Linux: `cmake --install` puts tarnovell and
# its man page (made from the same text as --help) and its bash and zsh completion in the usual places, and `cpack` makes a .deb.
include(GNUInstallDirs)
install(TARGETS tarnovell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(man_page ${CMAKE_BINARY_DIR}/tarnovell.1)
add_custom_command(OUTPUT ${man_page}
  COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:tarnovell> -DOUTPUT=${man_page} -P ${CMAKE_SOURCE_DIR}/cmake/man_page.cmake
  DEPENDS tarnovell ${CMAKE_SOURCE_DIR}/cmake/man_page.cmake
  COMMENT "Writing the man page from --help"
  VERBATIM)
add_custom_target(tarnovell_man_page ALL DEPENDS ${man_page})
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Shell completion, where bash-completion and zsh look for it.
install(FILES ${CMAKE_SOURCE_DIR}/cli/completion/tarnovell.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tarnovell)
install(FILES ${CMAKE_SOURCE_DIR}/cli/completion/_tarnovell
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnovell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tarnovell maintainers <tarnovell@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "makes, joins and shows self-joining split sets")
set(CPACK_PACKAGE_DESCRIPTION "tarnovell cuts a big file into a set whose first file is a small Windows program \
that joins the set again; it joins such sets without running any program, and shows what a set holds.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
