#!/usr/bin/env bash
# Regenerates docs/window.png: the window of a sample container, as the real stub paints it under
# Wine on a virtual screen (its client area; without a window manager there is no caption).
# Usage: tools/screenshot.sh [BUILD_DIR]   (default: build; the stub must be built there)
BUILD=${1:-build}
source "$(dirname "$0")/script_common.sh"
choose_wine
export_e2e_env
export TARNOVELL_E2E_WORK=$BUILD/e2e-work
stub=$(python3 -c 'import tarnovell_e2e as e; print(e.stub_path())')
[ -f "$stub" ] || { echo "no stub at $stub: build first" >&2; exit 1; }
xvfb-run -a -s "-screen 0 1024x768x24" python3 - "$PWD/docs/window.png" <<'PY'
import sys
import tarnovell_e2e as e

def main():
    work = e.work_dir("screenshot")
    proc, win = e.start_sample(work, "holiday", "holiday.mkv", 734003200, b"\0" * 1024)
    e.wait_painted(win)
    e.save_window_png(win, sys.argv[1])
    e.send_keys(win, "alt+F4")
    e.wait_exit(proc, 20)

e.run_case(main)
PY
echo "wrote docs/window.png"
