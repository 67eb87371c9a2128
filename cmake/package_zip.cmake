# The command-line tool for Windows (the windows64 nested build) as users get it: a zip with
# tarnovell.exe and the README.
set(zip_name tarnovell-${PROJECT_VERSION}-win64.zip)
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
