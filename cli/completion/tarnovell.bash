# bash completion for tarnovell: the commands, each command's options, containers (*.exe) where a
# set is given, any file for split, folders after -d and -p, the named sizes after -s and -b.
# Installed as share/bash-completion/completions/tarnovell; the option lists are checked against
# the program's --help by tests/cli/completion_test.sh.

# Files whose names match one of the globs (any file when none is given), and folders to reach
# them.
_tarnovell_files() {
  local cur=$1 globs=($2) glob IFS=$'\n'
  compopt -o filenames 2>/dev/null
  if ((${#globs[@]} == 0)); then
    COMPREPLY=($(compgen -f -- "$cur"))
    return
  fi
  COMPREPLY=($(compgen -d -- "$cur"))
  for glob in "${globs[@]}"; do
    COMPREPLY+=($(compgen -f -X "!$glob" -- "$cur"))
  done
}

_tarnovell() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  # "--size=1G": bash cuts the word at "=" (COMP_WORDBREAKS); the option is the word before it.
  if [[ $cur == "=" ]]; then
    cur=""
  elif [[ $prev == "=" ]]; then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  fi
  local commands="split join info verify repair page" command="" i
  for ((i = 1; i < COMP_CWORD; i++)); do
    if [[ " $commands " == *" ${COMP_WORDS[i]} "* ]]; then
      command=${COMP_WORDS[i]}
      break
    fi
  done
  COMPREPLY=()
  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "-h --help --version" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return
  fi

  local options files
  case $command in
    split)
      options="-h --help -b --bytes -s --size -n --number -d --output-dir --name --base --stub
               -f --force -q --quiet --json --progress --no-progress -r --recovery --checksums --page"
      files="" ;;
    join)
      options="-h --help -p --pieces-dir --pieces-base -o --output -f --force -q --quiet --json
               --progress --no-progress"
      files="*.[eE][xX][eE]" ;;
    info)
      options="-h --help -p --pieces-dir --pieces-base --json"
      files="*.[eE][xX][eE]" ;;
    verify)
      options="-h --help -p --pieces-dir --pieces-base -q --quiet --progress --no-progress --json"
      files="*.[eE][xX][eE]" ;;
    repair)
      options="-h --help --pieces-base --json -q --quiet --progress --no-progress -f --force"
      files="*.[eE][xX][eE] *.[rR][0-9][0-9]" ;;
    page)
      options="-h --help -f --force -q --quiet"
      files="*.[eE][xX][eE] *.[cC][0-9][0-9][0-9] *.[rR][0-9][0-9]" ;;
  esac

  case $prev in
    -b | --bytes | -s | --size)
      COMPREPLY=($(compgen -W "cd dvd fat32 telegram" -- "$cur"))
      return ;;
    -d | --output-dir | -p | --pieces-dir)
      compopt -o filenames 2>/dev/null
      local IFS=$'\n'
      COMPREPLY=($(compgen -d -- "$cur"))
      return ;;
    -o | --output | --stub)
      _tarnovell_files "$cur" ""
      return ;;
    -n | --number | -r | --recovery | --name | --base)
      return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  else
    _tarnovell_files "$cur" "$files"
  fi
}

complete -F _tarnovell tarnovell
