# The system's sources, by what they need: the one list of what goes into the stub and what into
# the native libraries.
# Logic with no window: texts, the container layout, the file layer (used by the tools too); our
# own CRC-32C code, whichever backend the build picks (below).
set(TARNOVELL_CORE_SOURCES
  integrity/crc32c.cpp integrity/crc64.cpp container/digest_block.cpp
  base/byte_text.cpp
  container/layout.cpp
  stub/fileio/large_file.cpp)
# The program: join state, header loading, failure report, joining and the window.
set(TARNOVELL_APP_SOURCES
  stub/state/failure.cpp
  stub/state/join_state.cpp
  stub/state/header_load.cpp
  stub/join/copy_piece.cpp
  stub/join/join_driver.cpp
  stub/join/piece_check.cpp
  stub/ui/progress.cpp
  stub/ui/paint.cpp
  stub/ui/links.cpp
  stub/ui/main_window.cpp)
# Windows only: the process entry and the two C library routines the compiler calls.
set(TARNOVELL_WINDOWS_SOURCES
  stub/ui/entry_win.cpp
  stub/ui/runtime_win.cpp)
# Native only: the POSIX stand-ins of the Win32 calls, and the set writer of the tests and tools.
set(TARNOVELL_POSIX_SOURCES
  stub/platform/files_posix.cpp stub/platform/user32_posix.cpp base/file_time.cpp base/cp1251_case.cpp
  container/container_writer.cpp)
# The CRC-32C's backend (integrity/crc32c.h), one per build: ISA-L's where the build links it
# (native Linux), our own elsewhere (the stub, the Windows tool, the 32-bit Linux build).
set(TARNOVELL_CRC32C_ISAL_SOURCES integrity/crc32c_isal.cpp)
set(TARNOVELL_CRC32C_OWN_SOURCES integrity/crc32c_own.cpp)
foreach(list CORE APP WINDOWS POSIX CRC32C_ISAL CRC32C_OWN)
  list(TRANSFORM TARNOVELL_${list}_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
endforeach()
# The stub is the core (with our own CRC-32C) and the program over the real Win32 calls.
set(TARNOVELL_STUB_SOURCES ${TARNOVELL_CORE_SOURCES} ${TARNOVELL_CRC32C_OWN_SOURCES} ${TARNOVELL_APP_SOURCES}
  ${TARNOVELL_WINDOWS_SOURCES})
