"""Writes that fail end a join as a failed join ends (the outcome line red, the output deleted,
no box), never with a file called complete: while the lost last piece is rebuilt, and while the
last piece of a set without digests is copied. The failure is the file-size limit of the process
(RLIMIT_FSIZE, with SIGXFSZ ignored so that the write fails instead of ending the process), set
to end inside the last piece's range of the output, so that the failing writer is the last one.
Linux then moves the bytes up to the limit, and the write that reaches it reports fewer bytes
than it was given, without an error."""
import contextlib
import resource
import signal
import subprocess

import tarnovell_e2e as e
import join_common as j
import digest_sets as d


@contextlib.contextmanager
def file_size_limit(limit):
    """Programs started inside may write no file past limit bytes: such a write fails."""
    popen = subprocess.Popen
    hard = resource.getrlimit(resource.RLIMIT_FSIZE)[1]

    def limited(*args, **kwargs):
        def preexec():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, hard))
        return popen(*args, preexec_fn=preexec, **kwargs)

    subprocess.Popen = limited
    try:
        yield
    finally:
        subprocess.Popen = popen


def start_wineserver():
    """The wineserver started now, outside the limit: it writes the prefix's registry."""
    subprocess.run(["bash", str(e.WINE_RUN), "--server", "-p"], env=e.wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60 * e.slowness(), check=True)


def failed_join(exe, out, limit, last_title):
    """Joins exe into out with writes past limit failing: a failed join, after the title named
    last_title."""
    start_wineserver()
    with file_size_limit(limit):
        proc, geometry = d.start_join(exe, out)
    j.wait_outcome_only(geometry, j.RED, (j.BLACK, j.DARK_RED))
    e.wait_until(lambda: j.exit_label_set(proc), 10, what="the button relabelled")
    assert not out.exists(), f"a failed join left {out.stat().st_size} bytes"
    assert not e.relay_calls(proc, "user32.MessageBoxW"), e.relay_calls(proc, "user32.MessageBoxW")
    assert not e.relay_calls(proc, "comdlg32.GetOpenFileNameW"), "a piece was asked for"
    win = d.main_window(proc)
    assert e.window_name(win) == "Tarnovell! - " + last_title, e.window_name(win)
    j.press_exit(proc, win)
    e.kill_wine()


def main():
    work = e.work_dir("stub_repair_write_failure")
    exe, _ = d.repair_set(work)
    (work / "DATA.c005").unlink()
    failed_join(exe, work / "joined.bin", d.piece_start(5) + 500000 + 5, "DATA.C005")

    work = e.work_dir("copy_write_failure")
    exe, _ = j.make_set(work, [2000000, 2000000, 3000000])  # the limit is past the relay log's size
    failed_join(exe, work / "joined.bin", 4000000 + 1000001, "DATA.C002")


e.run_case(main)
