# Writes the padded stub image as a C++ array
# (cmake -DINPUT=... -DOUTPUT=... -DSIZE=<the stub's room> -P embed_stub.cmake).
# The file is rewritten only when its text changes, so the tool is rebuilt only for a new stub.
file(SIZE "${INPUT}" size)
if(NOT size EQUAL SIZE)
  message(FATAL_ERROR "${INPUT} is ${size} bytes; the padded stub must be exactly ${SIZE}")
endif()
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.new" "// Generated from the padded stub at build time.\n#include <cstddef>\n\n"
  "extern const unsigned char StubImage[${SIZE}] = {\n${bytes}\n};\n"
  "extern const size_t StubImageSize = sizeof StubImage;\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUTPUT}.new" "${OUTPUT}")
file(REMOVE "${OUTPUT}.new")
