"""The join benchmark's driver (run by tools/bench_join.sh, which sets its environment): the
stub under Wine against cat on the same payload bytes, with and without the bar and pump; and
the stub on the same set with its digest block and with the block removed (its magic zeroed),
in alternating rounds (ROUNDS, default 3), the best and the median of each."""
import os, pathlib, statistics, subprocess, time
import tarnovell_e2e as e
import digest_sets as d
import bench_stub_common as common

bench = pathlib.Path(os.environ["BENCH"])
size = int(os.environ["SIZE"])
container = bench / "set" / "DATA.exe"
pieces = sorted((bench / "set").glob("DATA.c*"))
out = bench / "joined.bin"


def settle():
    """Starts every run alike."""
    common.settle(out, [container, *pieces])


def with_stub(image):
    """Seconds from the output's creation to its last-write time being set, plus the sync."""
    with open(container, "r+b") as f:
        f.write(pathlib.Path(image).read_bytes())
    settle()
    proc = e.start_stub(container)
    try:
        win, seconds = common.timed_join(proc, out, size)
        e.send_keys(win, "Return")
        if e.wait_exit(proc, 60) != 0:
            raise SystemExit("the stub did not end with exit code 0")
    finally:
        e.kill_wine()
    return seconds


def with_cat():
    settle()
    start = time.monotonic()
    with open(out, "wb") as target:
        subprocess.run(["tail", "-c", "+30721", str(container)], stdout=target, check=True)
        subprocess.run(["cat", *map(str, pieces)], stdout=target, check=True)
    subprocess.run(["sync", str(out)], check=True)
    return time.monotonic() - start


def header_bytes():
    with open(container, "rb") as f:
        f.seek(e.STUB_SIZE)
        return f.read(d.HEADER_SIZE)


def put_header(header):
    with open(container, "r+b") as f:
        f.seek(e.STUB_SIZE)
        f.write(header)


def digest_rounds(rounds):
    """Seconds of the stub's joins with the set's block and with its magic zeroed, alternating;
    the set is left without its block."""
    if d.MAGIC not in header_bytes():  # a set of a tool that writes no block yet
        d.write_block(container)
    with_block = header_bytes()
    d.remove_block(container)
    without_block = header_bytes()
    times = {"with": [], "without": []}
    for _ in range(rounds):
        for kind, header in (("with", with_block), ("without", without_block)):
            put_header(header)
            times[kind].append(with_stub(os.environ["BENCH_STUB"]))
    return times


e.ensure_prefix()
e.kill_wine()
cat_seconds = with_cat()
digest_times = digest_rounds(int(os.environ.get("ROUNDS", "3")))
stub_seconds = min(digest_times["without"])
quiet_seconds = with_stub(os.environ["BENCH_QUIET_STUB"])  # the set without its block
if out.exists():
    out.unlink()
blocks = size / 65536
best_with, best_without = min(digest_times["with"]), min(digest_times["without"])
median_with, median_without = statistics.median(digest_times["with"]), statistics.median(digest_times["without"])
print(f"payload bytes:                  {size}")
print(f"cat (tail + cat + sync):        {cat_seconds:8.2f} s  {size / cat_seconds / 1e6:8.1f} MB/s")
print(f"stub, block removed (best):     {stub_seconds:8.2f} s  {size / stub_seconds / 1e6:8.1f} MB/s")
print(f"stub with digests (best):       {best_with:8.2f} s  {size / best_with / 1e6:8.1f} MB/s")
print(f"stub without bar and pump:      {quiet_seconds:8.2f} s  {size / quiet_seconds / 1e6:8.1f} MB/s")
print(f"rounds with digests:            " + " ".join(f"{t:.2f}" for t in digest_times["with"]))
print(f"rounds with the block removed:  " + " ".join(f"{t:.2f}" for t in digest_times["without"]))
print(f"ratio with / without digests:   {best_with / best_without:8.3f} best, {median_with / median_without:.3f} median")
print(f"ratio stub / cat:               {stub_seconds / cat_seconds:8.2f}")
print(f"ratio stub without bar / cat:   {quiet_seconds / cat_seconds:8.2f}")
print(f"bar and pump per 64 KB block:   {(stub_seconds - quiet_seconds) / blocks * 1e6:8.1f} us "
      f"({(stub_seconds - quiet_seconds) / stub_seconds * 100:.1f} % of the stub's time)")
