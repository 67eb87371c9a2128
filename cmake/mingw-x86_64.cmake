# Cross build of the Windows programs: 64-bit MinGW-w64. The same stub sources as the 32-bit
# build, and the Windows command-line tool; its programs run under 64-bit Wine, on every machine
# of ours.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
