# The system's sources, by what they need: the one list of what goes into the stub, the tool and
# the native libraries.
# What the stub, the tool and the tests share: byte texts, the checksums (our own CRC-32C code,
# whichever backend the build picks, below) and the format.
set(TARNOVELL_FORMAT_SOURCES
  base/byte_text.cpp
  integrity/crc32c.cpp integrity/crc64.cpp
  container/layout.cpp container/digest_block.cpp container/name_field.cpp)
# The stub's file layer.
set(TARNOVELL_FILEIO_SOURCES stub/fileio/large_file.cpp)
# The program: join state, header loading, failure report, joining (with the rebuild of pieces
# from recovery files, over our own GF(2^8) code: SSSE3's shuffle where the processor has it,
# tables otherwise) and the window.
set(TARNOVELL_APP_SOURCES
  stub/state/failure.cpp
  stub/state/join_state.cpp
  stub/state/header_load.cpp
  stub/state/recovery_row.cpp
  stub/join/copy_piece.cpp
  stub/join/join_driver.cpp
  stub/join/piece_check.cpp
  stub/join/piece_rebuild.cpp
  recovery/gf256.cpp
  recovery/gf256_ssse3.cpp
  stub/ui/progress.cpp
  stub/ui/paint.cpp
  stub/ui/links.cpp
  stub/ui/main_window.cpp)
# Windows only: the process entry and the two C library routines the compiler calls.
set(TARNOVELL_WINDOWS_SOURCES
  stub/ui/entry_win.cpp
  stub/ui/runtime_win.cpp)
# Helpers of the POSIX stand-ins and the tool (not the stub's): file times, upper-casing.
set(TARNOVELL_HELPER_SOURCES base/file_time.cpp base/cp1251_case.cpp)
# The set writer of the tool and the tests.
set(TARNOVELL_WRITER_SOURCES container/container_writer.cpp)
# Native only: the POSIX stand-ins of the Win32 calls.
set(TARNOVELL_POSIX_SOURCES stub/platform/files_posix.cpp stub/platform/user32_posix.cpp)
# The CRC-32C's backend (integrity/crc32c.h), one per build: ISA-L's where the build links it
# (native Linux), our own elsewhere (the stub, the Windows tool, the 32-bit Linux build).
set(TARNOVELL_CRC32C_ISAL_SOURCES integrity/crc32c_isal.cpp)
set(TARNOVELL_CRC32C_OWN_SOURCES integrity/crc32c_own.cpp)
# SHA-256 (integrity/sha256.h), the tool's checksums for other tools: a library's, one backend
# per build: libgcrypt's natively, Windows' own BCrypt in the Windows tool.
set(TARNOVELL_SHA256_GCRYPT_SOURCES integrity/sha256.cpp integrity/sha256_gcrypt.cpp)
set(TARNOVELL_SHA256_BCRYPT_SOURCES integrity/sha256.cpp integrity/sha256_bcrypt.cpp)
# Recovery files: the format, the coding buffers and matrices, encoding, survey and repair, over
# a coding backend (recovery/recovery_coding.h), one per build: ISA-L's natively, our own GF(2^8)
# code (recovery/gf256.h, which the stub can compile too) in the Windows tool.
set(TARNOVELL_RECOVERY_SOURCES
  recovery/recovery_format.cpp recovery/recovery_chunks.cpp recovery/recovery_coding.cpp
  recovery/recovery_encode.cpp recovery/recovery_survey.cpp recovery/recovery_survey_decode.cpp
  recovery/recovery_repair.cpp)
set(TARNOVELL_GF256_SOURCES recovery/gf256.cpp recovery/gf256_ssse3.cpp recovery/gf256_shuffle.cpp)
set(TARNOVELL_CODING_ISAL_SOURCES recovery/recovery_coding_isal.cpp)
set(TARNOVELL_CODING_OWN_SOURCES recovery/recovery_coding_own.cpp)
foreach(list FORMAT FILEIO APP WINDOWS HELPER WRITER POSIX CRC32C_ISAL CRC32C_OWN SHA256_GCRYPT
        SHA256_BCRYPT RECOVERY GF256 CODING_ISAL CODING_OWN)
  list(TRANSFORM TARNOVELL_${list}_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
endforeach()
list(APPEND TARNOVELL_POSIX_SOURCES ${TARNOVELL_HELPER_SOURCES})
list(APPEND TARNOVELL_CODING_OWN_SOURCES ${TARNOVELL_GF256_SOURCES})
# Logic with no window: the format and the file layer.
set(TARNOVELL_CORE_SOURCES ${TARNOVELL_FORMAT_SOURCES} ${TARNOVELL_FILEIO_SOURCES})
# The stub is the core (with our own CRC-32C) and the program over the real Win32 calls.
set(TARNOVELL_STUB_SOURCES ${TARNOVELL_CORE_SOURCES} ${TARNOVELL_CRC32C_OWN_SOURCES} ${TARNOVELL_APP_SOURCES}
  ${TARNOVELL_WINDOWS_SOURCES})
# The Windows tool: the format with our own CRC-32C, SHA-256 through BCrypt, the set writer and
# its helpers, the recovery files over our own coding.
set(TARNOVELL_WINDOWS_TOOL_SOURCES ${TARNOVELL_FORMAT_SOURCES} ${TARNOVELL_CRC32C_OWN_SOURCES}
  ${TARNOVELL_SHA256_BCRYPT_SOURCES} ${TARNOVELL_WRITER_SOURCES} ${TARNOVELL_HELPER_SOURCES}
  ${TARNOVELL_RECOVERY_SOURCES} ${TARNOVELL_CODING_OWN_SOURCES})
