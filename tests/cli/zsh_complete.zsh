# Runs zsh's completion as a user's Tab would, in an interactive zsh under a pseudo-terminal, and
# prints the matches offered, one a line.
# Usage: zsh zsh_complete.zsh FOLDER-OF-_tarnovell "command line"
zmodload zsh/zpty
zpty z zsh -f -i
zpty -w z "PROMPT=; fpath=($1 \$fpath); autoload -U compinit; compinit -u -D"
# Every match added is also printed, marked, for this script to pick out of the terminal's text.
zpty -w z 'compadd() { builtin compadd -O __hits "$@"; print -r -l -- "<hit>${^__hits[@]}"; builtin compadd "$@" }'
zpty -w z "zstyle ':completion:*' menu no"
zpty -w z "$2"$'\t'
zpty -w z $'\C-u'"print -- '<done>'"$'\n'
out=""
while zpty -r z line; do
  [[ $line == *'<done>'* && $line != *print* ]] && break
  out+=$line
done
zpty -d z
# The typed definition of compadd echoes too: its text holds a "$".
print -r -- "$out" | tr '\r' '\n' | grep -a -o '<hit>[^<[:cntrl:]]*' | sed 's/<hit>//' | grep -v '\$' | sort -u
