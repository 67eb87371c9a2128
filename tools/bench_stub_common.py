"""What the stub's benchmarks under Wine share: a run started alike, and one join timed from the
output's creation to its last-write time being set (the join's last step), plus the sync."""
import subprocess, time
import tarnovell_e2e as e


def settle(out, files):
    """No output, nothing dirty, the set's files read once (in the cache)."""
    if out.exists():
        out.unlink()
    subprocess.run(["sync"], check=True)
    for path in files:
        subprocess.run(["cat", str(path)], stdout=subprocess.DEVNULL, check=True)


def timed_join(proc, out, size):
    """Starts the join in the window of proc (a stub on DATA.exe) into out; returns the window and
    the seconds until out holds size bytes with the header's times (the original's, in 2020)."""
    win = e.wait_window(r"^Tarnovell! - DATA\.EXE$", proc=proc, timeout=60)
    e.send_keys(win, "Return")
    dialog = e.wait_window("^Сохранить как$", proc=proc, timeout=30)
    e.type_path(dialog, e.windows_path(out))
    e.wait_until(out.exists, 60, interval=0.005, what="the output created")
    start = time.monotonic()
    e.wait_until(lambda: out.stat().st_size == size and out.stat().st_mtime < 1600000000, 3600,
                 interval=0.02, what="the join finished")
    subprocess.run(["sync", str(out)], check=True)
    return win, time.monotonic() - start
