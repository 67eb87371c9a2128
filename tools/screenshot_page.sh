#!/usr/bin/env bash
# Regenerates docs/page.png: the joiner page (BASE.html) of a sample set in headless Chromium,
# once the receiver has picked the set's files (a piece missing, two recovery files) and pressed
# its button: the findings and the Save button.
# Usage: tools/screenshot_page.sh [BUILD_DIR]   (default: build; the tool must be built there)
BUILD=${1:-build}
source "$(dirname "$0")/script_common.sh"
tool=$BUILD/cli/tarnovell
[ -x "$tool" ] || { echo "no tool at $tool: build first" >&2; exit 1; }
scratch_dir tarnovell-screenshot-page
(cd "$work" && head -c 3500000 /dev/urandom >holiday.mkv && touch -d '2024-07-14 18:30' holiday.mkv &&
 "$tool" split holiday.mkv --size 1M --recovery 2 --page -q && rm holiday.c002)
(cd tests/page && node page_screenshot.mjs "$work/holiday.html" "$ROOT/docs/page.png" \
   "$work"/holiday.exe "$work"/holiday.c001 "$work"/holiday.c003 "$work"/holiday.r01 "$work"/holiday.r02)
echo "wrote docs/page.png"
