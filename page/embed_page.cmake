# Writes the joiner page as a C++ array for the tool
# (cmake -DINPUT=<the page, or nothing> -DOUTPUT=... -P embed_page.cmake). Without a page, the
# array is empty and the tool says it has none. The file is rewritten only when its text changes.
if(INPUT)
  file(READ "${INPUT}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
else()
  set(size 0)
  set(bytes "0")
endif()
file(WRITE "${OUTPUT}.new" "// Generated from the joiner page at build time.\n#include <cstddef>\n\n"
  "extern const unsigned char PageImage[] = {\n${bytes}\n};\n"
  "extern const size_t PageImageSize = ${size};\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUTPUT}.new" "${OUTPUT}")
file(REMOVE "${OUTPUT}.new")
