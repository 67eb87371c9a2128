# The room a container gives the stub (StubSize in container/layout.h, the one place that says it):
# STUB_SIZE for the build and the scripts it runs.
include(${CMAKE_CURRENT_LIST_DIR}/source_value.cmake)
tarnovell_value_from_source(STUB_SIZE ${CMAKE_CURRENT_LIST_DIR}/../container/layout.h "^ *StubSize = ([0-9]+)," "^[0-9]+$")
