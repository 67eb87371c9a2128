#!/usr/bin/env bash
# The shell completion installed with the tool (cli/completion): every option of every command's
# --help is in the bash and the zsh script and they hold no other; both complete the commands,
# the options, containers where a set is given, folders after -d and -p, and the named sizes.
# Usage: completion_test.sh TARNOVELL COMPLETION_DIR
set -u
tool=$1 scripts=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/shell_checks.sh"

# The options of "tarnovell COMMAND --help": the names at the start of its option lines
# ("-b,-s,--bytes,--size SIZE", "-s, --size SIZE"), up to the first word that is not one; a
# description wrapped onto the next lines is indented further.
help_options() {
  "$tool" $1 --help | sed -n '/^Options:/,/^[^ ]/p' | grep -E '^ {1,3}-' |
    awk '{ for (i = 1; i <= NF && $i ~ /^-/; i++) { n = split($i, names, ","); for (k = 1; k <= n; k++) if (names[k] != "") print names[k] } }' |
    sort -u
}
# The options bash offers after "tarnovell COMMAND -".
bash_options() {
  bash -c 'source "$1"; COMP_WORDS=(tarnovell $2 -); COMP_CWORD=${#COMP_WORDS[@]}-1; _tarnovell
           printf "%s\n" "${COMPREPLY[@]}"' - "$scripts/tarnovell.bash" "$1" | sort -u
}
# The option names in the zsh script's function for COMMAND (_tarnovell for none), and in the
# descriptions it shares (help, pieces, renamed, json, progress) when the function uses them.
zsh_options() {
  local body shared shared_name
  body=$(sed -n "/^_tarnovell${1:+_$1}() {/,/^}/p" "$scripts/_tarnovell")
  shared=$(sed -n '/^_tarnovell() {/,/^}/p' "$scripts/_tarnovell")
  for shared_name in help pieces renamed json progress; do
    grep -q "\$$shared_name" <<<"$body" && body+=$'\n'$(grep -E "^ +$shared_name=\(" <<<"$shared")
  done
  [ -z "$1" ] && body=$(grep -E "^ +'\(- \*\)" <<<"$body")
  # The option names: in braces before a description ({-s,--size}'[...'), or just before one.
  { grep -oE '\{-[-,[:alnum:]]+\}' <<<"$body" | tr -d '{}' | tr ',' '\n'
    grep -oE -- "--?[[:alpha:]][-[:alnum:]]*\[" <<<"$body" | tr -d '['; } | sort -u
}

commands=$("$tool" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && /^  [^ ]/ {print $1}')
[ -n "$commands" ] || fail "--help lists no commands"
for command in "" $commands; do
  help_options "$command" >help.txt
  [ -s help.txt ] || fail "'$command --help' lists no options"
  if [ -n "$command" ]; then
    bash_options "$command" >bash.txt
    diff help.txt bash.txt >diff.txt || { fail "bash options of '$command' differ from --help (<: --help):"; cat diff.txt; }
  fi
  zsh_options "$command" >zsh.txt
  diff help.txt zsh.txt >diff.txt || { fail "zsh options of '${command:-tarnovell}' differ from --help (<: --help):"; cat diff.txt; }
done
bash_commands=$(bash -c 'source "$1"; COMP_WORDS=(tarnovell ""); COMP_CWORD=1; _tarnovell; echo "${COMPREPLY[*]}"' - "$scripts/tarnovell.bash")
[ "$bash_commands" = "$(echo $commands)" ] || fail "bash offers the commands '$bash_commands', --help lists '$(echo $commands)'"

# What bash offers for a command line whose last word is being completed ("" for a new word).
mkdir set && cd set && mkdir folder && touch film.exe OTHER.EXE film.c001 film.r01 notes.txt
complete_bash() {
  bash -c 'source "$1"; shift; COMP_WORDS=(tarnovell "$@"); COMP_CWORD=$#; _tarnovell
           printf "%s\n" "${COMPREPLY[@]}"' - "$scripts/tarnovell.bash" "$@" | sort -u | tr '\n' ' '
}
expect_bash() {  # expect_bash "EXPECTED WORDS " WORDS...
  local want=$1 got
  shift
  got=$(complete_bash "$@")
  [ "$got" = "$want" ] || fail "bash: tarnovell $*<Tab>: '$got', expected '$want'"
}
expect_bash "split " sp
expect_bash "--help --version " --
expect_bash "--size --stub " split --s
expect_bash "cd dvd fat32 telegram " split -s ""
expect_bash "dvd " split --bytes d
expect_bash "cd dvd fat32 telegram " split -n 3 -b ""
expect_bash "cd dvd fat32 telegram " split --size =  # as bash cuts "--size=" at the "="
expect_bash "fat32 " split --size = f
expect_bash "OTHER.EXE film.exe folder " verify ""
expect_bash "OTHER.EXE film.exe folder " join -q ""
expect_bash "OTHER.EXE film.exe folder " info -p folder ""
expect_bash "OTHER.EXE film.exe film.r01 folder " repair ""
expect_bash "folder " join -p ""
expect_bash "folder " split notes.txt -d ""
expect_bash "OTHER.EXE film.c001 film.exe film.r01 folder notes.txt " split ""
expect_bash "film.c001 film.exe film.r01 " join film.exe -o fi
expect_bash "--json " verify --j

# zsh: the script parses, and its completion offers the same in an interactive shell.
zsh -n "$scripts/_tarnovell" || fail "zsh -n _tarnovell"
expect_zsh() {  # expect_zsh "EXPECTED WORDS " "COMMAND LINE"
  local got
  got=$(timeout 60 zsh "$here/zsh_complete.zsh" "$scripts" "tarnovell $2" | tr '\n' ' ')
  [ "$got" = "$1" ] || fail "zsh: tarnovell $2<Tab>: '$got', expected '$1'"
}
expect_zsh "split " "sp"
expect_zsh "cd dvd fat32 telegram " "split -s "
expect_zsh "OTHER.EXE film.exe folder " "verify "
expect_zsh "folder " "join -p "
finish_checks "completion checks"
