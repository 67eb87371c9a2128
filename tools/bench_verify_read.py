"""verify of a set with recovery files beside it, this build against an older one, side by side in
one run (see bench_verify_read.sh): each build splits the same input with --recovery 2 into a set of
its own (an older build may not read the newer recovery files), then their verify runs in
interleaved rounds; prints the bytes each read (rchar) over the set and recovery files' bytes, and
the older build's time over this one's, best and median.

Run in a scratch folder: python3 bench_verify_read.py TOOL BASELINE ROUNDS."""
import glob
import os
import statistics
import subprocess
import sys

TOOL, BASELINE, ROUNDS = sys.argv[1], sys.argv[2], sys.argv[3]
sys.argv = [sys.argv[0], TOOL, ROUNDS]
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_table  # noqa: E402  (its run, rounds and row, over TOOL and ROUNDS)


def main():
    sets = {"verify": (TOOL, "new"), "verify-old": (BASELINE, "old")}
    for name, (tool, base) in sets.items():
        os.symlink("payload.bin", base + ".bin")
        subprocess.run([tool, "split", "-q", "--size", "200M", "--recovery", "2", base + ".bin"],
                       check=True)
        os.remove(base + ".bin")
    results = bench_table.rounds({name: (None, [tool, "verify", base + ".exe"], None, None)
                                  for name, (tool, base) in sets.items()})
    for name, (tool, base) in sets.items():
        files = glob.glob(base + ".exe") + glob.glob(base + ".c[0-9]*") + glob.glob(base + ".r[0-9]*")
        whole = sum(os.path.getsize(path) for path in files)
        print("  %-10s read %.2f x the set and its recovery files (%d bytes; one read: 1.00)" %
              (name, statistics.median(r[2] for r in results[name]) / whole, whole))
    bench_table.row("verify with 2 recovery files, the older build's time over this one's",
                    results, "verify-old", "verify", False)


if __name__ == "__main__":
    main()
