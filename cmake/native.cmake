# Native libraries: the same system code over the POSIX stand-ins.
option(TARNOVELL_SANITIZE "build native code with AddressSanitizer and UBSan (the tests' build)" OFF)
set(TARNOVELL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

# The CRC-32C through ISA-L, but in the 32-bit build (Debian has ISA-L for 64-bit programs only),
# which takes our own as the stub does.
if(TARNOVELL_LOGIC_32)
  set(crc32c_backend ${TARNOVELL_CRC32C_OWN_SOURCES})
else()
  find_library(TARNOVELL_ISAL isal REQUIRED)
  set(crc32c_backend ${TARNOVELL_CRC32C_ISAL_SOURCES})
endif()
add_library(tarnovell_core STATIC ${TARNOVELL_CORE_SOURCES} ${crc32c_backend} ${TARNOVELL_POSIX_SOURCES}
  ${TARNOVELL_WRITER_SOURCES})
target_include_directories(tarnovell_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tarnovell_core PRIVATE -Wall -Wextra)
if(NOT TARNOVELL_LOGIC_32)
  target_link_libraries(tarnovell_core PUBLIC ${TARNOVELL_ISAL})
endif()

# The program's logic, for its tests; the window, drawing and dialog calls come from whoever
# links it (the recording stand-in of the tests).
set(native_libs tarnovell_core)
if(TARNOVELL_TESTS)
  add_library(tarnovell_app STATIC ${TARNOVELL_APP_SOURCES})
  target_include_directories(tarnovell_app PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(tarnovell_app PRIVATE -Wall -Wextra -fexec-charset=CP1251)
  target_link_libraries(tarnovell_app PUBLIC tarnovell_core)
  list(APPEND native_libs tarnovell_app)
endif()

if(TARNOVELL_SANITIZE)
  foreach(lib ${native_libs})
    target_compile_options(${lib} PUBLIC ${TARNOVELL_SANITIZER_FLAGS})
    target_link_options(${lib} PUBLIC ${TARNOVELL_SANITIZER_FLAGS})
  endforeach()
endif()
