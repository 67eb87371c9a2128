"""The join benchmark's driver (run by tools/bench_join.sh, which sets its environment): the
stub under Wine against cat on the same payload bytes, with and without the bar and pump."""
import os, pathlib, subprocess, time
import tarnovell_e2e as e

bench = pathlib.Path(os.environ["BENCH"])
size = int(os.environ["SIZE"])
container = bench / "set" / "DATA.exe"
pieces = sorted((bench / "set").glob("DATA.c*"))
out = bench / "joined.bin"


def settle():
    """Starts every run alike: no output, nothing dirty, the set read once (in the cache)."""
    if out.exists():
        out.unlink()
    subprocess.run(["sync"], check=True)
    for path in [container, *pieces]:
        subprocess.run(["cat", str(path)], stdout=subprocess.DEVNULL, check=True)


def with_stub(image):
    """Seconds from the output's creation to its last-write time being set, plus the sync."""
    with open(container, "r+b") as f:
        f.write(pathlib.Path(image).read_bytes())
    settle()
    header_mtime = None
    proc = e.start_stub(container)
    try:
        win = e.wait_window(r"^Tarnovell! - DATA\.EXE$", proc=proc, timeout=60)
        e.send_keys(win, "Return")
        dialog = e.wait_window("^Сохранить как$", proc=proc, timeout=30)
        e.type_path(dialog, e.windows_path(out))
        e.wait_until(out.exists, 60, interval=0.005, what="the output created")
        start = time.monotonic()
        # The join ends by applying the header's times: the last-write time goes back to the
        # original file's, in 2020.
        e.wait_until(lambda: out.stat().st_size == size and out.stat().st_mtime < 1600000000, 3600,
                     interval=0.02, what="the join finished")
        subprocess.run(["sync", str(out)], check=True)
        seconds = time.monotonic() - start
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


e.ensure_prefix()
e.kill_wine()
cat_seconds = with_cat()
stub_seconds = with_stub(os.environ["BENCH_STUB"])
quiet_seconds = with_stub(os.environ["BENCH_QUIET_STUB"])
if out.exists():
    out.unlink()
blocks = size / 65536
print(f"payload bytes:                  {size}")
print(f"cat (tail + cat + sync):        {cat_seconds:8.2f} s  {size / cat_seconds / 1e6:8.1f} MB/s")
print(f"stub under Wine:                {stub_seconds:8.2f} s  {size / stub_seconds / 1e6:8.1f} MB/s")
print(f"stub without bar and pump:      {quiet_seconds:8.2f} s  {size / quiet_seconds / 1e6:8.1f} MB/s")
print(f"ratio stub / cat:               {stub_seconds / cat_seconds:8.2f}")
print(f"ratio stub without bar / cat:   {quiet_seconds / cat_seconds:8.2f}")
print(f"bar and pump per 64 KB block:   {(stub_seconds - quiet_seconds) / blocks * 1e6:8.1f} us "
      f"({(stub_seconds - quiet_seconds) / stub_seconds * 100:.1f} % of the stub's time)")
