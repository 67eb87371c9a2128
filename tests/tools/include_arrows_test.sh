#!/usr/bin/env bash
# The include arrows of the product folders point only down, never back up. The rooms, lowest
# first: base, integrity, container, recovery/gf256.h (the freestanding GF(2^8) arithmetic that
# the stub's rebuild shares with the tool), stub/platform, stub/fileio, stub/state, stub/join,
# stub/ui (and stub/resources); each may include itself and the rooms below it. recovery/ may
# include base, integrity and container; page/ (the joiner page's WebAssembly core) those and
# recovery/, and so may the tool's rooms, which have an order of their own: cli/os, cli/show,
# cli/set, cli/commands and the top of cli/ (its own files, not its folders), each including
# itself and those before it. So nothing under stub/, container/, integrity/ or base/ includes
# cli/ or recovery/ (but for that one header), nothing under recovery/ includes cli/ (the tool
# implements the module's file interface, which the module never names), no room of the tool
# includes one above it, and none of them includes anything under stub/ (the tool embeds the
# stub's image, built apart, not its sources); no product file includes tests/. Every #include
# line ("..." or <...>, a path relative to the file resolved) of every source file under those
# folders is read; a file in a folder that has no place here fails too, so that a new room is
# given its place.
#   include_arrows_test.sh SOURCE_DIR
ROOT=$(cd "$1" && pwd)  # before shell_checks.sh moves into its scratch folder
source "$(dirname "$0")/../support/shell_checks.sh"

# The stub's rooms, lowest first: each may include itself and those before it.
ORDER=(base integrity container recovery/gf256.h stub/platform stub/fileio stub/state stub/join stub/ui stub/resources)
declare -A MAY
allowed=""
for room in "${ORDER[@]}"; do
  allowed="$allowed $room"
  MAY[$room]=$allowed
done
MAY[recovery]=" base integrity container recovery recovery/gf256.h"
# The tool's rooms, lowest first: cli/os (the door to the system), cli/show (what the user sees),
# cli/set (the set model), cli/commands (one file per command), and the top of cli/ (the command
# line and the entry points); each may include itself and the rooms below it, and what recovery/
# may.
allowed=" base integrity container recovery recovery/gf256.h"
for room in cli/os cli/show cli/set cli/commands cli; do
  allowed="$allowed $room"
  MAY[$room]=$allowed
done
MAY[page]=" base integrity container recovery recovery/gf256.h page"
# Top folders whose files an include may name; anything else (the system's, a library's) is no arrow.
PRODUCT_TOPS="base integrity container stub recovery cli page tests"

# Rooms that hold the files directly in their folder alone, not those of its folders.
FLAT_ROOMS=" cli "

# room_of PATH: the room of a path relative to ROOT into ROOM ("" when it is in none); a room
# that is one file holds that file.
room_of() {
  local room
  ROOM=""
  for room in "${!MAY[@]}"; do
    if [[ " $FLAT_ROOMS " == *" $room "* && $1 == "$room"/*/* ]]; then continue; fi
    if [[ ($1 == "$room"/* || $1 == "$room") && ${#room} -gt ${#ROOM} ]]; then ROOM=$room; fi
  done
}

lines=0
while IFS= read -r -d '' file; do
  source_file=${file#"$ROOT"/}
  folder=${file%/*}
  room_of "$source_file"
  from=$ROOM
  if [ -z "$from" ]; then
    fail "$source_file: in no room of this test; give its folder a place in the order"
    continue
  fi
  while IFS=: read -r number target; do
    lines=$((lines + 1))
    # A path beside the including file (or relative to it) is taken as the file it names.
    if [ -e "$folder/$target" ]; then target=$(realpath -m --relative-to="$ROOT" "$folder/$target"); fi
    top=${target%%/*}
    [ "$top" = "$target" ] && continue                # no folder: the system's or a library's
    [[ " $PRODUCT_TOPS " == *" $top "* ]] || continue  # CLI/CLI11.hpp, sys/stat.h, ...
    room_of "$target"
    to=$ROOM
    if [ -z "$to" ] || [[ "${MAY[$from]} " != *" $to "* ]]; then
      fail "$source_file:$number includes $target: $from may include only${MAY[$from]}"
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' "$file" |
           sed -E 's/^([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]+)[">].*/\1:\2/')
done < <(find "$ROOT/base" "$ROOT/integrity" "$ROOT/container" "$ROOT/stub" "$ROOT/recovery" "$ROOT/cli" "$ROOT/page" \
           -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.inc' \
           -o -name '*.rc' \) -print0)

# A scan that found next to nothing read the wrong tree.
if [ "$lines" -lt 100 ]; then fail "only $lines #include lines found under $ROOT"; fi
finish_checks "include arrows ($lines #include lines)"
