# Included by cmake/stub.cmake: the icon and the hand cursor that stub/resources/stub.rc compiles into
# the stub, written from text art at build time.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(TARNOVELL_RESOURCE_DIR ${CMAKE_BINARY_DIR}/resources)
add_custom_command(
  OUTPUT ${TARNOVELL_RESOURCE_DIR}/tarnovell.ico ${TARNOVELL_RESOURCE_DIR}/hand.cur
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/stub/resources/make_resources.py ${TARNOVELL_RESOURCE_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/stub/resources/make_resources.py ${CMAKE_SOURCE_DIR}/stub/resources/icon.txt
          ${CMAKE_SOURCE_DIR}/stub/resources/hand.txt
  COMMENT "Writing the icon and the hand cursor"
  VERBATIM)
set_source_files_properties(${CMAKE_SOURCE_DIR}/stub/resources/stub.rc PROPERTIES
  OBJECT_DEPENDS "${TARNOVELL_RESOURCE_DIR}/tarnovell.ico;${TARNOVELL_RESOURCE_DIR}/hand.cur"
  COMPILE_OPTIONS "-I${TARNOVELL_RESOURCE_DIR}")
