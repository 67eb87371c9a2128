#!/usr/bin/env bash
# Benchmark (not a test): verify of a 2 GiB set with 2 recovery files beside it, this build's
# against an older one's, side by side in one run (tools/bench_verify_read.py): the bytes each
# reads over the set's and recovery files' (one read: 1.00), and the older one's time over this
# one's, best and median.
# Usage: tools/bench_verify_read.sh OLDER_TARNOVELL [this tarnovell] [rounds, default 5]. Without
# a binary of this build, a release build without sanitizers is made in build-bench-table.
# Scratch files (about 5 GB) go to $BENCH_DIR (default: ${TMPDIR:-/tmp}).
source "$(dirname "$0")/script_common.sh"
baseline=$(readlink -f "$1")
release_tool build-bench-table "${2:-}"
scratch_dir tarnovell-bench-verify
cd "$work"
dd if=/dev/urandom of=payload.bin bs=16M count=128 status=none  # 2 GiB
python3 "$ROOT/tools/bench_verify_read.py" "$tool" "$baseline" "${3:-5}"
