# The stub: a GUI image with no C runtime, importing only system DLLs, padded to the exact size
# that containers give it. Containers carry the 32-bit build; the 64-bit build of the same
# sources runs the Windows tests where a machine runs no 32-bit programs.
include(${CMAKE_SOURCE_DIR}/cmake/stub_size.cmake)
# -Oz with link-time optimisation, no ident strings, no relocations (the image loads at its
# preferred base) and no unwind tables (nothing unwinds).
# No stack probes: every frame stays below a page, so each one touches the guard page below the
# last; the check runs where the code is made, at the link (-flto), and no argument is passed by
# value in bulk. Without probes GCC no longer forces -maccumulate-outgoing-args, which makes
# every call with arguments on the stack longer (about 1.2 KB of the image).
set(STUB_FRAME_OPTIONS -mno-stack-arg-probe -Werror=frame-larger-than=4000)
set(STUB_COMPILE_OPTIONS
  -Oz -flto -fno-ident -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
  -ffunction-sections -fno-stack-protector -fno-tree-loop-distribute-patterns
  -fexec-charset=CP1251 -Wall -Wextra ${STUB_FRAME_OPTIONS})
set(STUB_LINK_OPTIONS
  -Oz -flto ${STUB_FRAME_OPTIONS} -s -nostdlib -mwindows -Wl,--gc-sections -Wl,--disable-reloc-section
  -Wl,--file-alignment,512 -Wl,--section-alignment,4096 -Wl,--no-insert-timestamp)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  # Windows gives 32-bit threads 4-byte stack alignment; C symbols carry a leading underscore.
  list(APPEND STUB_COMPILE_OPTIONS -mpreferred-stack-boundary=2)
  list(APPEND STUB_LINK_OPTIONS -Wl,-e,_TarnovellEntry)
else()
  list(APPEND STUB_LINK_OPTIONS -Wl,-e,TarnovellEntry)
endif()

add_executable(tarnovell_stub WIN32 ${TARNOVELL_STUB_SOURCES} ${CMAKE_SOURCE_DIR}/stub/resources/stub.rc)
include(${CMAKE_SOURCE_DIR}/stub/resources/stub.cmake)  # the icon and cursor that stub.rc compiles in
target_include_directories(tarnovell_stub PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(tarnovell_stub PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${STUB_COMPILE_OPTIONS}>)
target_link_options(tarnovell_stub PRIVATE ${STUB_LINK_OPTIONS})
target_link_libraries(tarnovell_stub PRIVATE kernel32 user32 gdi32 comdlg32 shell32)
set_target_properties(tarnovell_stub PROPERTIES OUTPUT_NAME tarnovell_stub SUFFIX .exe
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The C library routines are called by the compiler after link-time optimisation has run, so
# they are compiled without it.
set_source_files_properties(${CMAKE_SOURCE_DIR}/stub/ui/runtime_win.cpp PROPERTIES COMPILE_OPTIONS -fno-lto)

add_custom_command(TARGET tarnovell_stub POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DSTUB=$<TARGET_FILE:tarnovell_stub>
          -DPADDED=${CMAKE_BINARY_DIR}/tarnovell_stub.bin -DLIMIT=${STUB_SIZE}
          -DLABEL=${CMAKE_SYSTEM_PROCESSOR} -P ${CMAKE_SOURCE_DIR}/cmake/pad_stub.cmake
  VERBATIM)
