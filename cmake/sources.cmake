# The system's sources, by what they need.
# Logic with no window: texts, the container layout, the file layer (used by the tools too).
set(TARNOVELL_CORE_SOURCES
  base/byte_text.cpp
  container/layout.cpp
  fileio/large_file.cpp)
# The program: join state, header loading, failure report, joining and the window.
set(TARNOVELL_APP_SOURCES
  container/failure.cpp
  container/join_state.cpp
  container/header_load.cpp
  join/copy_piece.cpp
  join/join_driver.cpp
  ui/progress.cpp
  ui/paint.cpp
  ui/links.cpp
  ui/main_window.cpp)
list(TRANSFORM TARNOVELL_CORE_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
list(TRANSFORM TARNOVELL_APP_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
