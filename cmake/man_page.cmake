# Writes the man page of tarnovell from its own --help texts (the program's and that of each
# command it lists), so that the two never disagree. cmake -DTOOL=path/to/tarnovell -DOUTPUT=tarnovell.1 -P man_page.cmake
function(help_text out)
  execute_process(COMMAND ${TOOL} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "${TOOL} ${ARGN} failed (${rc})")
  endif()
  # roff: a backslash is written \e; a line may not start with a dot or an apostrophe. (The text
  # is kept quoted throughout: unquoted, CMake would take its semicolons for list separators.)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

help_text(version --version)
string(STRIP "${version}" version)
help_text(main --help)
string(CONCAT page ".TH TARNOVELL 1 \"\" \"${version}\" \"User Commands\"\n"
  ".SH NAME\ntarnovell \\- makes, joins and shows self-joining split sets\n"
  ".SH SYNOPSIS\n.B tarnovell\n\\fICOMMAND\\fR [\\fIOPTIONS\\fR] \\fIFILE\\fR\n"
  ".SH DESCRIPTION\n.nf\n${main}.fi\n")
# Every command that --help lists, each with its own --help.
string(FIND "${main}" "Subcommands:" at)
string(SUBSTRING "${main}" ${at} -1 listing)
string(REGEX MATCHALL "\n  [a-z]+ " entries "${listing}")
if(NOT entries)
  message(FATAL_ERROR "${TOOL} --help lists no commands")
endif()
foreach(entry ${entries})
  string(STRIP "${entry}" command)
  help_text(text ${command} --help)
  string(APPEND page ".SH \"tarnovell ${command}\"\n.nf\n${text}.fi\n")
endforeach()
file(WRITE "${OUTPUT}" "${page}")
