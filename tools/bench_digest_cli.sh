#!/usr/bin/env bash
# Benchmark of the tool's digests (not a test), on a set of 1.5 GiB in the page cache:
#  1. `tarnovell join`, which checks every piece against the set's digest block while it copies,
#     against `cat` of the same files into one file (the payload bytes plus the 30720-byte head;
#     cat copies file to file with copy_file_range, in the kernel); for reference, the join of
#     the same set with the block's magic broken (a set without digests: copied in the kernel);
#  2. `tarnovell verify` against `cat SET > /dev/null`.
# Interleaved rounds, the order turned every round; the first round only warms the page cache.
# Before every run, 1.6 GB are written to a scratch file and deleted: on this virtual machine,
# memory left free for a few seconds goes back to the host, and the first program to fill it
# again (whichever it is) took up to five times longer; so each run finds memory just used.
# Other work on the machine makes single runs noisy: the best and the median wall time of each
# are shown, and the median processor time (user + system), which other work disturbs less; the
# ratios are cat's time / tarnovell's (above 1: tarnovell is faster).
# Usage: tools/bench_digest_cli.sh [path to a tarnovell binary] [rounds]. Without a binary, a
# release build without sanitizers is made in build-bench-digest-cli. Scratch files (about 3 GB)
# go to $BENCH_DIR (default: ${TMPDIR:-/tmp}) and are removed at the end.
source "$(dirname "$0")/script_common.sh"
release_tool build-bench-digest-cli "${1:-}"
rounds=${2:-9}
scratch_dir tarnovell-bench-digest
cd "$work"

random_set "$tool" payload 1536 --size 600M
"$tool" info payload.exe | grep '^Digests:'

python3 - "$tool" "$rounds" <<'PY'
import glob, os, resource, statistics, subprocess, sys, time
tool, rounds = sys.argv[1], int(sys.argv[2])
files = ["payload.exe"] + sorted(glob.glob("payload.c0*"))
magic_at = 28672 + 256 + 24  # the block's first byte: record 2 (header offset 256), byte 24

def set_magic(byte):
    with open("payload.exe", "r+b") as f:
        f.seek(magic_at)
        f.write(bytes([byte]))

join = [tool, "join", "-q", "-o", "out.bin", "payload.exe"]
runs = {  # name: (command, output file, before, after)
    "cat": ("cat %s > out.bin" % " ".join(files), True, None, None),
    "join": (join, True, None, None),
    "join-plain": (join, True, lambda: set_magic(0), lambda: set_magic(0x89)),
    "cat-null": ("cat %s > /dev/null" % " ".join(files), False, None, None),
    "verify": ([tool, "verify", "-q", "payload.exe"], False, None, None),
}
wall = {name: [] for name in runs}
cpu = {name: [] for name in runs}
for round in range(rounds + 1):
    order = list(runs) if round % 2 == 0 else list(reversed(runs))
    for name in order:
        command, writes, before, after = runs[name]
        if os.path.exists("out.bin"):
            os.remove("out.bin")
        os.sync()
        subprocess.run("dd if=/dev/zero of=warm.bin bs=16M count=100 status=none && rm warm.bin", shell=True,
                       check=True)
        if before: before()
        used = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(command, shell=isinstance(command, str), check=True)
        seconds = time.perf_counter() - start
        now = resource.getrusage(resource.RUSAGE_CHILDREN)
        if after: after()
        if name.startswith("join") and subprocess.run(["cmp", "-s", "payload.bin", "out.bin"]).returncode != 0:
            sys.exit("joined bytes differ")
        if round > 0:
            wall[name].append(seconds)
            cpu[name].append(now.ru_utime + now.ru_stime - used.ru_utime - used.ru_stime)
median = statistics.median
for name in runs:
    print("  %-10s wall best %.3f s, median %.3f s; processor median %.3f s (%d runs)" % (
        name, min(wall[name]), median(wall[name]), median(cpu[name]), len(wall[name])))
def ratio(base, name, label):
    print("  %-40s wall best %.2f, median %.2f; processor %.2f" % (label, min(wall[base]) / min(wall[name]),
          median(wall[base]) / median(wall[name]), median(cpu[base]) / median(cpu[name])))
ratio("cat", "join", "join with checking (cat / join):")
ratio("cat", "join-plain", "join without a block (cat / join):")
ratio("cat-null", "verify", "verify (cat > /dev/null / verify):")
PY
