#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test: the native tests
# (under sanitizers), the file layer's tests under Wine, and the end-to-end runs of the real
# stub under Wine with a virtual screen. Which Wine, and so which build of the Windows programs,
# is tools/wine-run.sh's choice, printed first; TARNOVELL_WINE_ARCH=32 or 64 forces it.
BUILD=build  # the tests' own: not another BUILD from the environment
source "$(dirname "$0")/script_common.sh"
bash tools/setup.sh
bash tools/wine-run.sh --explain
configure_test_build "$BUILD"
cmake --build "$BUILD"
cd "$BUILD"
xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure -j2 "$@"
