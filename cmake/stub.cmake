# The stub: a 32-bit GUI image with no C runtime, importing only system DLLs, padded to the
# exact size that containers give it.
set(STUB_LIMIT 28672)
# -Oz with link-time optimisation, no frame alignment beyond the 4 bytes Windows gives, no
# ident strings, no relocations (the image loads at its preferred base) and no unwind tables
# (nothing unwinds): together about 3.5 KiB less than plain -Os.
set(STUB_COMPILE_OPTIONS
  -Oz -flto -mpreferred-stack-boundary=2 -fno-ident -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
  -ffunction-sections -fno-stack-protector -fno-tree-loop-distribute-patterns
  -fexec-charset=CP1251 -Wall -Wextra -Werror=frame-larger-than=4000)
set(STUB_LINK_OPTIONS
  -Oz -flto -s -nostdlib -static-libgcc -mwindows -Wl,--gc-sections -Wl,--disable-reloc-section -Wl,-e,_TarnovellEntry
  -Wl,--file-alignment,512 -Wl,--section-alignment,4096 -Wl,--no-insert-timestamp)

set(STUB_SOURCES ${TARNOVELL_CORE_SOURCES} ${TARNOVELL_APP_SOURCES}
  ${CMAKE_SOURCE_DIR}/ui/entry_win.cpp ${CMAKE_SOURCE_DIR}/ui/runtime_win.cpp)
if(EXISTS ${CMAKE_SOURCE_DIR}/resources/stub.cmake)
  include(${CMAKE_SOURCE_DIR}/resources/stub.cmake)  # adds the icon and cursor to STUB_SOURCES
endif()

add_executable(tarnovell_stub WIN32 ${STUB_SOURCES})
target_include_directories(tarnovell_stub PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(tarnovell_stub PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${STUB_COMPILE_OPTIONS}>)
target_link_options(tarnovell_stub PRIVATE ${STUB_LINK_OPTIONS})
target_link_libraries(tarnovell_stub PRIVATE kernel32 user32 gdi32 comdlg32 shell32 gcc)
set_target_properties(tarnovell_stub PROPERTIES OUTPUT_NAME tarnovell_stub SUFFIX .exe
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The C library routines are called by the compiler after link-time optimisation has run, so
# they are compiled without it.
set_source_files_properties(${CMAKE_SOURCE_DIR}/ui/runtime_win.cpp PROPERTIES COMPILE_OPTIONS -fno-lto)

# libgcc's 64-bit division routines bring unwind tables that nothing reads: dropped after linking.
add_custom_command(TARGET tarnovell_stub POST_BUILD
  COMMAND ${CMAKE_OBJCOPY} --remove-section=.eh_fram $<TARGET_FILE:tarnovell_stub>
  COMMAND ${CMAKE_COMMAND} -DSTUB=$<TARGET_FILE:tarnovell_stub>
          -DPADDED=${CMAKE_BINARY_DIR}/tarnovell_stub.bin -DLIMIT=${STUB_LIMIT}
          -P ${CMAKE_SOURCE_DIR}/cmake/pad_stub.cmake
  VERBATIM)
