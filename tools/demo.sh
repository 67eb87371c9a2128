#!/usr/bin/env bash
# The main job, end to end: set up the machine, build the stub and the tool, cut a sample
# file into a set (container + pieces), run the container under Wine on a virtual screen, press
# its button, answer the Save dialog, and check the joined file against the original.
#   bash tools/demo.sh [SIZE_IN_BYTES]     (default 5000000)
BUILD=build  # the demo's own: not another BUILD from the environment
source "$(dirname "$0")/script_common.sh"
SIZE=${1:-5000000}

bash tools/setup.sh
choose_wine
configure_test_build "$BUILD"
cmake --build "$BUILD" --target "$WINDOWS" tarnovell

DEMO=$BUILD/demo
rm -rf "$DEMO"
mkdir -p "$DEMO/set" "$DEMO/joined"
ORIGINAL=$DEMO/sample.bin
head -c "$SIZE" /dev/urandom >"$ORIGINAL"
touch -d '2021-03-04 05:06:07 UTC' "$ORIGINAL"
PIECE=$(( SIZE / 3 + 1 ))
"$BUILD/cli/tarnovell" split "$ORIGINAL" --size "$PIECE" --base SAMPLE --output-dir "$DEMO/set" \
  --stub "$BUILD/$WINDOWS/tarnovell_stub.bin"
echo "set:"
ls -l "$DEMO/set"

OUTPUT=$DEMO/joined/sample.bin
export DEMO_CONTAINER=$DEMO/set/SAMPLE.exe DEMO_OUTPUT=$OUTPUT
export_e2e_env

DRIVER=$DEMO/drive.py
cat >"$DRIVER" <<'PY'
import os, pathlib, sys
import tarnovell_e2e as e

container = pathlib.Path(os.environ["DEMO_CONTAINER"])
output = pathlib.Path(os.environ["DEMO_OUTPUT"])
e.ensure_prefix()
e.kill_wine()
try:
    proc, win = e.start_window(container, r"^Tarnovell! - SAMPLE\.EXE$", timeout=60)
    print("window:", e.window_name(win))
    e.send_keys(win, "Return")                        # the button "Старт"
    dialog = e.wait_window("^Сохранить как$", proc=proc, timeout=30)
    e.type_path(dialog, e.windows_path(output))
    e.wait_no_window("^Сохранить как$", timeout=30)
    e.wait_until(lambda: e.window_name(win).startswith("Tarnovell! - SAMPLE.C"), 30, what="the pieces joined")
    e.wait_until(lambda: output.exists() and output.stat().st_size == int(os.environ["DEMO_SIZE"]), 120,
                 what="the whole output")
    # The outcome line turns black ("Процесс успешно завершен") once the join is over.
    geometry = e.window_geometry(win)
    e.wait_until(lambda: (0, 0, 0) in e.screenshot().region(geometry, 16, 107, 265, 121).values(), 60,
                 what="the outcome line")
    e.save_window_png(win, str(output.parent / "window.png"), margin=3)
    e.send_keys(win, "Return")                        # now "Выход"
    code = e.wait_exit(proc, 30)
    print("stub exit code:", code)
    sys.exit(code)
finally:
    e.kill_wine()
PY
export DEMO_SIZE=$SIZE
on_screen python3 "$DRIVER"

cmp "$ORIGINAL" "$OUTPUT"
case $MODE in
  native32) WINE_USED="32-bit Wine, natively" ;;
  qemu32) WINE_USED="32-bit Wine under qemu-i386" ;;
  *) WINE_USED="64-bit Wine (not the image containers carry)" ;;
esac
echo "joined by the stub $BUILD/$WINDOWS/tarnovell_stub.bin ($ARCH-bit image) under $WINE_USED"
echo "joined file: $OUTPUT ($(stat -c %s "$OUTPUT") bytes, last written $(date -u -r "$OUTPUT" '+%F %T UTC'))"
echo "identical to the original: $ORIGINAL"
echo "window at the end: $DEMO/joined/window.png"
