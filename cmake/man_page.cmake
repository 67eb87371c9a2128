# Writes the man page of tarnovell from its own --help texts (the program's and that of each
# command it lists), so that the two never disagree: the program's description, options and exit
# codes, and each command's usage, description, options and examples, each in its section.
# cmake -DTOOL=path/to/tarnovell -DSUMMARY="one line" -DOUTPUT=tarnovell.1 -P man_page.cmake
#
# --help is laid out as: the description, a blank line, "Usage: ..." (continuations indented),
# then blocks, each a "Heading:" line and listing lines: "  TAG  description" or "  TAG" alone,
# continuations indented further. The page lets man fill every text, so that it fits the reader's
# width.

# The output of `TOOL ARGS`, escaped for roff: a backslash is \e, a minus \-, and a line whose
# text starts with a dot or an apostrophe gets \& before it. (The text is kept quoted throughout:
# unquoted, CMake would take its semicolons for list separators.)
function(help_text out)
  execute_process(COMMAND ${TOOL} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "${TOOL} ${ARGN} failed (${rc})")
  endif()
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)( *)([.'])" "\\1\\2\\\\&\\3" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Lines as one filled text: no line starts with a space (roff would break there).
function(filled out text)
  string(REGEX REPLACE "(^|\n) +" "\\1" text "${text}")
  string(STRIP "${text}" text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The description: everything before the usage line.
function(help_description out help)
  string(FIND "${help}" "\n\nUsage: " at)
  if(at LESS 0)
    message(FATAL_ERROR "a --help without a usage line")
  endif()
  string(SUBSTRING "${help}" 0 ${at} text)
  filled(text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The usage line, its continuations joined, the command's name in bold; roff breaks it between
# bracketed items only.
function(help_usage out help)
  string(REGEX MATCH "\nUsage: [^\n]*(\n +[^\n]*)*" text "${help}")
  string(REGEX REPLACE "\n +" " " text "${text}")
  string(REGEX MATCHALL "\\[[^]]*\\]" items "${text}")
  foreach(item IN LISTS items)
    string(REPLACE " " "\\ " unbroken "${item}")
    string(REPLACE "${item}" "${unbroken}" text "${text}")
  endforeach()
  string(REGEX REPLACE "^\nUsage: (tarnovell( [a-z]+)?)" "\\\\fB\\1\\\\fR" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The lines under "HEADING:" up to the next blank line (empty when there is no such block).
function(help_block out help heading)
  string(REGEX MATCH "\n${heading}:\n[^\n]+(\n[^\n]+)*" text "${help}")
  string(REGEX REPLACE "^\n${heading}:\n" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A listing as tagged paragraphs: the tag in bold, the description filled under it.
function(listing out text)
  string(REGEX REPLACE "(^|\n)  ([^ \n]([^ \n]| [^ \n])*) *" "\\1.TP\n\\\\fB\\2\\\\fR\n" text "${text}")
  string(REPLACE "\\fR\n\n" "\\fR\n" text "${text}")
  filled(text "${text}")
  set(${out} "${text}\n" PARENT_SCOPE)
endfunction()

help_text(version --version)
string(STRIP "${version}" version)
string(REPLACE "\\-" "-" version "${version}")
help_text(main --help)

# Every command that --help lists, each with its own --help.
help_block(command_list "${main}" "Subcommands")
string(REGEX MATCHALL "(^|\n)  [a-z]+" entries "${command_list}")
if(NOT entries)
  message(FATAL_ERROR "${TOOL} --help lists no commands")
endif()
help_usage(usage "${main}")
set(synopsis ".HP 4\n${usage}\n")
set(commands "")
set(examples "")
foreach(entry ${entries})
  string(STRIP "${entry}" command)
  help_text(text ${command} --help)
  help_usage(usage "${text}")
  string(APPEND synopsis ".HP 4\n${usage}\n")
  help_description(description "${text}")
  help_block(arguments "${text}" "Positionals")
  help_block(options "${text}" "Options")
  listing(arguments "${arguments}")
  listing(options "${options}")
  string(APPEND commands ".SS \"tarnovell ${command}\"\n${description}\n.RS\n${arguments}${options}.RE\n")
  help_block(text "${text}" "Examples")
  if(NOT text STREQUAL "")
    listing(text "${text}")
    string(APPEND examples "${text}")
  endif()
endforeach()

help_description(description "${main}")
# The program's closing line: how to get a command's own help.
string(REGEX MATCH "\n\n[^\n ][^\n]*\n*$" pointer "${main}")
string(STRIP "${pointer}" pointer)
help_block(options "${main}" "Options")
listing(options "${options}")
help_block(exit_codes "${main}" "Exit codes")
listing(exit_codes "${exit_codes}")
string(REPLACE "\\" "\\e" summary "${SUMMARY}")

string(CONCAT page
  ".TH TARNOVELL 1 \"\" \"${version}\" \"User Commands\"\n"
  ".nh\n.ad l\n"
  ".SH NAME\ntarnovell \\- ${summary}\n"
  ".SH SYNOPSIS\n${synopsis}"
  ".SH DESCRIPTION\n${description}\n"
  ".SH COMMANDS\n${pointer}\n${commands}"
  ".SH OPTIONS\n${options}"
  ".SH \"EXIT STATUS\"\n${exit_codes}"
  ".SH EXAMPLES\n${examples}"
  ".SH \"SEE ALSO\"\n.BR split (1),\n.BR sha256sum (1)\n.PP\n"
  "The README (README.md in /usr/share/doc/tarnovell with the package) guides senders and "
  "receivers of sets; docs/reference.md beside it lists every option, and docs/format.md "
  "describes the file format.\n")
file(WRITE "${OUTPUT}" "${page}")
