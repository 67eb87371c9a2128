# Cross build of the Windows programs: 32-bit MinGW-w64, the stub that containers carry; its
# programs run under 32-bit Wine, where the machine runs 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
