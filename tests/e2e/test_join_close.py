"""The window closed while a big set is still being copied: the copy stops, the partial output
is deleted, and the program ends with exit code 0 instead of running on without a window."""
import os

import tarnovell_e2e as e
import join_common as j

PIECE = 1536 * 1024 * 1024  # sparse: costs no disk until it is copied


def main():
    work = e.work_dir("join_close")
    j.make_set(work, [65536, 1000], total=65536 + 2 * PIECE)
    for n in (1, 2):
        with open(work / f"DATA.c00{n}", "wb") as piece:
            piece.truncate(PIECE)
    out = work / "joined.bin"
    try:
        proc, win = j.start_join(work / "DATA.exe", out)
        e.wait_until(lambda: out.exists() and out.stat().st_size > 64 * 1024 * 1024, 60,
                     what="the copy under way")
        e.send_keys(win, "alt+F4")
        assert e.wait_exit(proc, 60) == 0
        assert not out.exists(), f"a partial output of {out.stat().st_size} bytes is left"
    finally:
        for name in ("DATA.c001", "DATA.c002", "joined.bin"):
            if (work / name).exists():
                os.unlink(work / name)


e.run_case(main)
