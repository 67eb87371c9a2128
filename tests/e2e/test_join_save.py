"""A set of three pieces joined through the real Save dialog: the output equals the original,
carries the header's last-access and last-write times (Linux keeps no creation time), the
outcome line is black and the button says "Выход"; the next press ends the program with exit
code 0."""
import os

import tarnovell_e2e as e
import join_common as j

def main():
    work = e.work_dir("join_save")
    exe, data = j.make_set(work, [200000, 150000, 70001])
    out = work / "result" / "joined.bin"
    out.parent.mkdir()
    proc, win = j.start(exe, relay=True)
    geometry = e.window_geometry(win)
    e.wait_painted(geometry)
    assert j.outcome_colours(geometry) - {(255, 255, 255)} == set(), "an outcome line before the join"
    j.press_start(win)
    j.save_as(proc, out)
    j.wait_file_size(out, len(data))
    j.wait_outcome(geometry, j.BLACK)
    info = os.stat(out)  # before the file is read: a read may move its access time
    assert (int(info.st_atime), int(info.st_mtime)) == (j.ACCESS_UNIX, j.LAST_WRITE_UNIX), info
    assert out.read_bytes() == data, "the joined file differs from the original"
    colours = j.outcome_colours(geometry)
    assert j.DARK_RED not in colours and j.RED not in colours, colours
    assert e.window_name(win) == "Tarnovell! - DATA.C002", e.window_name(win)
    e.wait_until(lambda: j.exit_label_set(proc), 10, what="the button relabelled")
    assert e.still_running(proc)
    # The program's own file opens (return address inside its image): pieces read
    # only, the output created and then opened for appending, and the times applied at the end.
    opens = [line.split("(", 1)[1].rsplit(")", 1)[0] for line in e.own_calls(proc, "CreateFileW")]
    modes = [tuple(opens_args.split(",")[-6:]) for opens_args in opens]
    read_only = ("80000000", "00000003", "00000000", "00000003", "00000080", "00000000")
    create = ("c0000000", "00000003", "00000000", "00000002", "00000080", "00000000")
    append = ("c0000000", "00000003", "00000000", "00000003", "00000080", "00000000")
    times = ("40000000", "00000000", "00000000", "00000004", "00000080", "00000000")
    for mode in (read_only, create, append, times):
        assert mode in modes, (mode, opens)
    assert modes[-1] == times, opens[-1]
    j.press_exit(proc, win)


e.run_case(main)
