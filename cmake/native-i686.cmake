# The stub's logic as a 32-bit Linux program (-m32), over the POSIX stand-ins: the native tests of
# the window, the join and the file layer with 32-bit pointers, sizes and divisions, as the stub
# has them. Its programs run through tools/wine-run.sh --linux32: natively where the machine runs
# 32-bit programs, else under qemu-i386 in the same private namespace as 32-bit Wine.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh --linux32)
