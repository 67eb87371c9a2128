#!/usr/bin/env bash
# Regenerates docs/window.png: the window of a sample container, as the real stub paints it under
# Wine on a virtual screen (its client area; without a window manager there is no caption).
# Usage: tools/screenshot.sh [BUILD_DIR]   (default: build; the stub must be built there)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
bash tools/wine-run.sh --explain
export TARNOVELL_WINE_ARCH=$(bash tools/wine-run.sh --arch)
export TARNOVELL_BUILD_DIR="$PWD/$build"
export TARNOVELL_E2E_WORK="$PWD/$build/e2e-work"
export PYTHONPATH="$PWD/tests/e2e" PYTHONDONTWRITEBYTECODE=1
stub=$(python3 -c 'import tarnovell_e2e as e; print(e.stub_path())')
[ -f "$stub" ] || { echo "no stub at $stub: build first" >&2; exit 1; }
xvfb-run -a -s "-screen 0 1024x768x24" python3 - "$PWD/docs/window.png" <<'PY'
import sys
import tarnovell_e2e as e

def main():
    work = e.work_dir("screenshot")
    exe = e.write_container(work / "holiday", e.header_texts("holiday.mkv", 734003200), [b"\0" * 1024])
    proc = e.start_stub(exe)
    win = e.wait_window(r"^Tarnovell! - ", proc=proc)
    e.wait_until(lambda: e.screenshot().client_pixel(win, 100, 66) == (166, 166, 166), what="the window painted")
    e.save_window_png(win, sys.argv[1])
    e.send_keys(win, "alt+F4")
    e.wait_exit(proc, 20)

e.run_case(main)
PY
echo "wrote docs/window.png"
