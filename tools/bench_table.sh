#!/usr/bin/env bash
# Benchmark (not a test) of every row of the recovery and join table, side by side in one run,
# interleaved rounds, best and median ratios, peak memory (maximum resident set size) of each
# run; every row twice, from the page cache and fsynced (each run's time takes in a sync of what
# it wrote), and the load average before and after:
#  1. `split --recovery 2` of a 2 GiB file, time over a plain `split` of it, pieces of 200M and
#     of 1G, beside the bytes written with the recovery files over without (the aim: the time's
#     ratio at most 1.1 times the bytes');
#  2. `repair` of one lost 200 MiB piece of a ten-file set, and of two, time over `cat` of the
#     set to /dev/null (the aim: at most 1.5), and over moving the bytes it must (its survivors
#     and a recovery file per piece read, the pieces written; the aim fsynced: at most 1.2);
#  3. `join` with checking, `cat` of the set into one file: cat's time over join's (at least 1);
#  4. `verify` without recovery files: `cat SET > /dev/null` time over verify's (at least 1);
#  5. the bytes `verify` reads (rchar) with the recovery files beside the set, over the set's;
#     and (the survey row) verify with them, time over `cat` of the set and the recovery files,
#     bytes read whole and with a byte flipped in each file, and `repair` of those flips (one
#     recovery file mends a slice of each stripe) with its time over `cat` and its bytes read;
#  6. what limits join against cat: the same set copied by copy_file_range at the set's offsets
#     and with every piece 2048 bytes off a page (as in sets whose container data is the size -
#     30720), by pread + pwrite without a CRC, and with CRC-32C as join does, each in chunks of
#     256 KiB and of 1 MiB (tools/bench_copy.cpp).
# Usage: tools/bench_table.sh [path to a tarnovell binary] [rounds, default 5] [rows: a comma-
# separated choice of split,repair,join,verify,survey,copy; default all]. Without a binary,
# a release build without sanitizers is made in build-bench-table. Scratch files (about 7 GB at
# the peak) go to $BENCH_DIR (default: ${TMPDIR:-/tmp}) and are removed at the end.
source "$(dirname "$0")/script_common.sh"
release_tool build-bench-table "${1:-}"
rounds=${2:-5}
scratch_dir tarnovell-bench-table
g++ -O2 -I. tools/bench_copy.cpp integrity/crc32c_isal.cpp -lisal -o "$work/bench_copy"
cd "$work"
dd if=/dev/urandom of=payload.bin bs=16M count=128 status=none  # 2 GiB
python3 "$ROOT/tools/bench_table.py" "$tool" "$rounds" "$work/bench_copy" ${3:+"$3"}
