# Facts that have their one place in a source file, read from there by the build.
# tarnovell_value_from_source(VAR FILE PATTERN VALID): VAR := what the one group of the regular
# expression PATTERN takes on the first line of FILE that PATTERN matches; stops the
# configuration when there is no such line, or when the value does not match VALID.
function(tarnovell_value_from_source var file pattern valid)
  file(STRINGS ${file} line REGEX "${pattern}" LIMIT_COUNT 1)
  string(REGEX MATCH "${pattern}" value "${line}")
  set(value "${CMAKE_MATCH_1}")
  if(NOT value MATCHES "${valid}")
    message(FATAL_ERROR "${var} not found in ${file}: '${line}'")
  endif()
  set(${var} ${value} PARENT_SCOPE)
endfunction()
