"""Sets the stub mends from the two recovery files beside them: one piece lost and the last one
damaged, the container's own data damaged, and one piece cut short and another too long. Each
joins with no dialog but the Save dialog to
the exact original with its times, the outcome line black and one box naming what was rebuilt;
no file of the set changes."""
import os
import re

import tarnovell_e2e as e
import join_common as j
import digest_sets as d

INFORMATION_STYLE = "00000040"  # MB_OK | MB_ICONINFORMATION
TITLE = re.compile(r'SetWindowTextW\([0-9a-f]{8},[0-9a-f]{8} L"Tarnovell! - (.*?)"\)')
RECTANGLE = re.compile(r"Rectangle\([0-9a-f]{8},([0-9a-f]{8}),([0-9a-f]{8}),([0-9a-f]{8}),([0-9a-f]{8})\)")


def mended_join(work, data, names):
    """Joins the set in work: the box names names (as the titles spell them), then the outcome is
    complete with the original bytes and times. Returns the program (its relay log)."""
    exe = work / "DATA.exe"
    before = d.set_files(work)
    out = work / "joined.bin"
    proc, geometry = d.start_join(exe, out)
    owner, text, _, caption, style = d.box_call(proc)
    assert owner != "00000000", "the box has no owner"
    assert (text, caption, style) == (d.rebuilt_box_text(names), "Tarnovell!", INFORMATION_STYLE), (text, style)
    d.answer_box()
    j.wait_outcome(geometry, j.BLACK)
    colours = j.outcome_colours(geometry)
    assert j.DARK_RED not in colours and j.RED not in colours, colours
    info = os.stat(out)  # before the file is read: a read may move its access time
    assert (int(info.st_atime), int(info.st_mtime)) == d.header_times(exe), info
    assert int(info.st_mtime) == d.REPAIR_LAST_WRITE, info
    assert out.read_bytes() == data, "the joined file differs from the original"
    assert not e.relay_calls(proc, "comdlg32.GetOpenFileNameW"), "a piece was asked for"
    assert d.set_files(work) == before, "the join changed a file of the set"
    j.press_exit(proc, d.main_window(proc))
    return proc


def bar_moved_while_rebuilding(proc, name, next_name):
    """The progress bar grew between the title naming the lost piece and the next title: only
    the rebuild can have moved it there (there was nothing to copy)."""
    widest, during = 0, None
    for line in e.own_call_sequence(proc, ["user32.SetWindowTextW", "gdi32.Rectangle"]):
        title = TITLE.search(line)
        if title:
            if title.group(1) == name:
                during = widest
            elif title.group(1) == next_name and during is not None:
                return widest > during
            continue
        rectangle = RECTANGLE.search(line)
        if rectangle:
            widest = max(widest, int(rectangle.group(3), 16))
    return False


def titles(proc):
    return [m.group(1) for m in map(TITLE.search, e.own_call_sequence(proc, ["user32.SetWindowTextW"])) if m]


def main():
    # DATA.c002 lost, and one bit of the short last piece changed.
    work = e.work_dir("stub_repair_lost_damaged")
    _, data = d.repair_set(work)
    (work / "DATA.c002").unlink()
    d.damage(work, data, 5, 1000003)
    proc = mended_join(work, data, "DATA.C002, DATA.C005")
    assert bar_moved_while_rebuilding(proc, "DATA.C002", "DATA.C003"), "the bar stood still during the rebuild"
    assert titles(proc) == ["DATA.EXE"] + [f"DATA.C{n:03d}" for n in range(1, 6)], titles(proc)

    # One bit of the container's own data changed.
    work = e.work_dir("stub_repair_container")
    _, data = d.repair_set(work, seed=3)
    d.damage(work, data, 0, 2000001)
    mended_join(work, data, "DATA.EXE")

    # DATA.c001 a byte short, DATA.c004 with bytes after its own: their copies are cut back.
    work = e.work_dir("stub_repair_sizes")
    _, data = d.repair_set(work, seed=4)
    with open(work / "DATA.c001", "r+b") as piece:
        piece.truncate(d.REPAIR_PIECE - 1)
    with open(work / "DATA.c004", "ab") as piece:
        piece.write(b"\0" * 70000)
    mended_join(work, data, "DATA.C001, DATA.C004")


e.run_case(main)
