# Installing the command-line tool as users expect. Linux: `cmake --install` puts tarnovell and
# its man page (made from the same text as --help) in the usual places, and `cpack` makes a .deb.
# Windows (the windows64 nested build): a zip with tarnovell.exe and the README.
# The version is the tool's own (TARNOVELL_VERSION in cli/cli_app.cpp).
include(${CMAKE_CURRENT_LIST_DIR}/source_value.cmake)
tarnovell_value_from_source(TARNOVELL_TOOL_VERSION ${CMAKE_SOURCE_DIR}/cli/cli_app.cpp
  "^#define TARNOVELL_VERSION \"([^\"]*)\"" "^[0-9]+(\\.[0-9]+)*$")

if(CMAKE_CROSSCOMPILING)
  set(zip_name tarnovell-${TARNOVELL_TOOL_VERSION}-win64.zip)
  set(TARNOVELL_WINDOWS_ZIP ${CMAKE_BINARY_DIR}/${zip_name})  # for the tests
  set(staging ${CMAKE_BINARY_DIR}/zip)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${zip_name}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${staging}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${staging}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:tarnovell> ${CMAKE_SOURCE_DIR}/README.md ${staging}
    COMMAND ${CMAKE_COMMAND} -E chdir ${staging} ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/${zip_name} --format=zip
            tarnovell.exe README.md
    DEPENDS tarnovell ${CMAKE_SOURCE_DIR}/README.md
    COMMENT "Packing ${zip_name}"
    VERBATIM)
  add_custom_target(tarnovell_zip ALL DEPENDS ${CMAKE_BINARY_DIR}/${zip_name})
  return()
endif()

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

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnovell)
set(CPACK_PACKAGE_VERSION ${TARNOVELL_TOOL_VERSION})
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
