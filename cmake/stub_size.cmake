# The room a container gives the stub (StubSize in container/layout.h, the one place that says it):
# STUB_SIZE for the build and the scripts it runs.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../container/layout.h stub_size_line REGEX "^ *StubSize = [0-9]+,")
string(REGEX REPLACE "^ *StubSize = ([0-9]+),.*" "\\1" STUB_SIZE "${stub_size_line}")
if(NOT STUB_SIZE MATCHES "^[0-9]+$")
  message(FATAL_ERROR "StubSize not found in container/layout.h")
endif()
