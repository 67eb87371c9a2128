"""The stub's rebuild benchmark (run by tools/bench_stub_repair.sh, which makes the set and sets
the environment): the real stub under Wine joins the set whole and with DATA.c002 lost, in
alternating rounds (ROUNDS, default 3); prints the seconds of each round, the best and the median
of each kind and their ratios, and the peak memory (VmHWM) of the stub's process in each kind."""
import os, pathlib, re, statistics
import tarnovell_e2e as e
import digest_sets as d
import bench_stub_common as common

bench = pathlib.Path(os.environ["BENCH"])
size = int(os.environ["SIZE"])
folder = bench / "set"
container = folder / "DATA.exe"
lost = folder / "DATA.c002"
aside = bench / "aside" / "DATA.c002"
out = bench / "joined.bin"


def settle():
    """Starts every run alike (the set as it lies, DATA.c002 aside or not)."""
    common.settle(out, sorted(folder.glob("DATA.*")))


def descendants(pid):
    """pid and every process below it."""
    children = {}
    for stat in pathlib.Path("/proc").glob("[0-9]*/stat"):
        try:
            fields = stat.read_text().rsplit(")", 1)[1].split()
        except OSError:
            continue
        children.setdefault(int(fields[1]), []).append(int(stat.parent.name))
    found, todo = [], [pid]
    while todo:
        found.append(todo.pop())
        todo.extend(children.get(found[-1], []))
    return found


def peak_kib(proc):
    """VmHWM of the process below proc that runs DATA.exe (the most of them, should there be
    more), in KiB."""
    peaks = []
    for pid in descendants(proc.pid):
        try:
            command = pathlib.Path(f"/proc/{pid}/cmdline").read_bytes().lower()
            status = pathlib.Path(f"/proc/{pid}/status").read_text()
        except OSError:
            continue
        match = re.search(r"^VmHWM:\s+(\d+) kB", status, re.M)
        if b"data.exe" in command and match:
            peaks.append(int(match.group(1)))
    if not peaks:
        raise SystemExit("the stub's process was not found")
    return max(peaks)


def join(rebuild):
    """(seconds from the output's creation to its last-write time being set, plus the sync; the
    peak memory in KiB) of one join, DATA.c002 lost when rebuild."""
    if rebuild:
        lost.rename(aside)
    try:
        settle()
        proc = e.start_stub(container)
        win, seconds = common.timed_join(proc, out, size)
        if rebuild:
            d.answer_box(60)  # the box that names DATA.C002
        peak = peak_kib(proc)
        e.send_keys(win, "Return")
        if e.wait_exit(proc, 60) != 0:
            raise SystemExit("the stub did not end with exit code 0")
    finally:
        e.kill_wine()
        if rebuild:
            aside.rename(lost)
    return seconds, peak


e.ensure_prefix()
e.kill_wine()
runs = {False: [], True: []}
for _ in range(int(os.environ.get("ROUNDS", "3"))):
    for rebuild in (False, True):
        runs[rebuild].append(join(rebuild))
if out.exists():
    out.unlink()
seconds = {kind: [s for s, _ in runs[kind]] for kind in runs}
peaks = {kind: max(p for _, p in runs[kind]) for kind in runs}
best = {kind: min(seconds[kind]) for kind in runs}
median = {kind: statistics.median(seconds[kind]) for kind in runs}
print(f"payload bytes:                    {size}")
for kind, label in ((False, "whole set"), (True, "DATA.c002 rebuilt")):
    print(f"{label + ' (best, median):':33} {best[kind]:7.2f} s {median[kind]:7.2f} s  "
          f"{size / best[kind] / 1e6:7.1f} MB/s best")
    print(f"{label + ' rounds:':33} " + " ".join(f"{s:.2f}" for s in seconds[kind]))
print(f"ratio rebuilt / whole:            {best[True] / best[False]:7.2f} best, "
      f"{median[True] / median[False]:.2f} median")
print(f"peak memory (VmHWM), whole set:   {peaks[False] / 1024:7.1f} MiB")
print(f"peak memory, DATA.c002 rebuilt:   {peaks[True] / 1024:7.1f} MiB "
      f"({(peaks[True] - peaks[False]) / 1024:+.1f} MiB)")
