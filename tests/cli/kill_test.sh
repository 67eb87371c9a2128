#!/usr/bin/env bash
# A command killed (SIGKILL) at a random moment: split and split --recovery 2 (into an empty
# folder and over an older set with --force), join (new and --force) and repair. After each kill
# every file there is whole: the one it was before or the one the command makes; a new container
# never stands before all of its files. Where the folder has nameless files (ext4, xfs, btrfs,
# tmpfs) nothing else is left but a temporary file of the one step that renames over an older
# file, which the next command removes. TARNOVELL_KILL_ROUNDS: rounds per command (10).
set -u
tool=$(realpath "$1")
rounds=${TARNOVELL_KILL_ROUNDS:-10}
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm  # tmpfs where there is one
source "$(dirname "$0")/../support/shell_checks.sh"
case $(stat -f -c %T .) in
  tmpfs | ext2/ext3 | xfs | btrfs) nameless=1 ;;
  *) nameless=0 ;;
esac

# A killed command may leave only the temporary file of a rename over an older file (and of the
# one-step test for nameless files); none once the next command ran there.
strays() {  # strays FOLDER AFTER-KILL: the tool's temporary files not allowed there, one a line
  [ "$nameless" = 1 ] || return 0
  for path in "$1"/.tarnovell-*; do
    [ -e "$path" ] || continue
    case ${path##*/} in .tarnovell-link-* | .tarnovell-probe-*) [ "$2" = 1 ] && continue ;; esac
    echo "${path##*/}"
  done
}

# Runs a command and kills it after a random time up to a little over what it takes whole; every
# other time in the last half, where the files are put in place.
run_killed() {  # run_killed MICROSECONDS COMMAND...
  local most=$1 least=0
  shift
  [ $((RANDOM % 2)) = 1 ] && least=$((most / 2))
  "$@" >/dev/null 2>&1 &
  local pid=$!
  sleep "$(awk -v u=$(( least + (RANDOM * 32768 + RANDOM) % (most - least) )) 'BEGIN { printf "%.6f", u / 1e6 }')"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

duration() {  # duration COMMAND...: microseconds it takes, a third more
  local start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  echo $(( ($(date +%s%N) - start) / 750 + 1000 ))
}

# Every file of FOLDER is the one of NEW or of OLD (a folder, or "" for none) under its name.
whole_files() {  # whole_files WHAT FOLDER NEW OLD
  for path in "$2"/* "$2"/.[!.]*; do
    [ -f "$path" ] || continue
    local name=${path##*/}
    case $name in .tarnovell-*) continue ;; esac
    cmp -s "$path" "$3/$name" && continue
    [ -n "$4" ] && cmp -s "$path" "$4/$name" && continue
    fail "$1: $name is neither the new file nor the one before"
  done
}

same_folder() {  # same_folder WHAT FOLDER EXPECTED: the same names, the same bytes
  diff <(ls -A "$2") <(ls -A "$3") >/dev/null || fail "$1: files $(ls -A "$2" | tr '\n' ' ')"
  whole_files "$1" "$2" "$3" ""
}

after_kill() {  # after_kill WHAT FOLDER
  local left=$(strays "$2" 1)
  [ -z "$left" ] || fail "$1: left $left"
}

after_next() {  # after_next WHAT FOLDER
  local left=$(strays "$2" 0)
  [ -z "$left" ] || fail "$1: the next command left $left"
}

head -c 1000000 /dev/urandom >data.bin
head -c 1040000 /dev/urandom >older.bin
touch -d 2024-07-14 data.bin older.bin
# The header carries the last access time: read once now, it stays (relatime) for every split.
cat data.bin older.bin >/dev/null
# The size for a set with ROWS recovery files: some 32 files either way (the recovery files fit
# it too: their header and the stub's copy leave a piece some 31000 bytes less).
size_for() { if [ "$1" = 0 ]; then echo 31000; else echo 64000; fi; }
for rows in 0 2; do
  split=("$tool" split -s "$(size_for "$rows")" --base set --name data.bin -q -r "$rows")
  [ "$rows" = 0 ] && split=("$tool" split -s 31000 --base set --name data.bin -q)
  mkdir new$rows old$rows
  "${split[@]}" data.bin -d new$rows || fail "split into new$rows"
  "${split[@]}" older.bin -d old$rows || fail "split into old$rows"
done

# split, split --recovery 2, split - (standard input: data.bin redirected into it, whose times
# make the same set): even rounds into an empty folder, odd ones over the older set.
for variant in 0 2 stdin; do
  rows=${variant/stdin/0}
  split=("$tool" split -s "$(size_for "$rows")" --base set --name data.bin -q -f data.bin -d out
    -r "$rows")
  [ "$rows" = 0 ] && split=("$tool" split -s 31000 --base set --name data.bin -q -f data.bin -d out)
  [ "$variant" = stdin ] &&
    split=(bash -c 'exec "$0" split - -s 31000 --base set --name data.bin -q -f -d out <data.bin' "$tool")
  mkdir out
  most=$(duration "${split[@]}")
  rm -rf out
  for ((round = 0; round < rounds; round++)); do
    what="split $variant, round $round"
    older=""
    mkdir out
    if [ $((round % 2)) = 1 ]; then cp -p old$rows/* out/ && older=old$rows; fi
    run_killed "$most" "${split[@]}"
    whole_files "$what" out new$rows "$older"
    if cmp -s out/set.exe new$rows/set.exe; then
      for path in new$rows/*; do
        cmp -s "$path" "out/${path##*/}" || fail "$what: the new container stands before ${path##*/}"
      done
    fi
    after_kill "$what" out
    "${split[@]}" || fail "$what: split again"
    same_folder "$what, split again" out new$rows
    after_next "$what" out
    rm -rf out
  done
done

# join: even rounds into an empty folder, odd ones over an older file with --force.
join=("$tool" join new0/set.exe -o out -q -f)
mkdir out
most=$(duration "${join[@]}")
rm -rf out
mkdir expected && cp data.bin expected/
for ((round = 0; round < rounds; round++)); do
  what="join, round $round"
  mkdir out older
  if [ $((round % 2)) = 1 ]; then cp older.bin out/data.bin && cp older.bin older/data.bin; fi
  run_killed "$most" "${join[@]}"
  whole_files "$what" out expected older
  after_kill "$what" out
  "${join[@]}" || fail "$what: join again"
  same_folder "$what, join again" out expected
  after_next "$what" out
  rm -rf out older
done

# repair: a piece lost, a recovery file damaged (made again once the piece is rebuilt).
damage() {
  rm -rf out damaged && cp -rp new2 out
  rm out/set.c002
  printf 'x' | dd of=out/set.r01 bs=1 seek=20000 conv=notrunc status=none
  cp -rp out damaged
}
damage
most=$(duration "$tool" repair out/set.exe -q)
for ((round = 0; round < rounds; round++)); do
  what="repair, round $round"
  damage
  run_killed "$most" "$tool" repair out/set.exe -q
  whole_files "$what" out new2 damaged
  after_kill "$what" out
  "$tool" repair out/set.exe -q >/dev/null || fail "$what: repair again"
  same_folder "$what, repair again" out new2
  after_next "$what" out
done
finish_checks "kill checks ($rounds rounds each, nameless files: $nameless)"
