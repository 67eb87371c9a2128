"""DATA.c002 is missing beside the container; the user picks a file of that name from another
folder, but it belongs to another set (same size, other bytes). The join takes it and goes on
in that folder, and the warning box names DATA.C002."""
import re
import shutil

import tarnovell_e2e as e
import join_common as j
import digest_sets as d


def main():
    work = e.work_dir("digest_wrong_pick")
    exe, data = j.make_set(work, [100000, 80000, 80000, 30000])
    d.write_block(exe)
    other = work / "other"
    other.mkdir()
    _, other_data = j.make_set(other, [100000, 80000, 80000, 30000], seed=9)
    (work / "DATA.c002").unlink()
    shutil.copy(work / "DATA.c003", other / "DATA.c003")
    out = work / "joined.bin"
    proc, win = j.start(exe, relay=True)
    j.press_start(win)
    j.save_as(proc, out)
    dialog = e.wait_window(j.OPEN_TITLE, proc=proc, timeout=30)
    e.type_path(dialog, e.windows_path(other / "DATA.c002"))
    e.wait_no_window(j.OPEN_TITLE, timeout=30)
    e.wait_until(lambda: e.relay_calls(proc, "user32.MessageBoxA"), timeout=60, what="the warning box")
    calls = e.relay_calls(proc, "user32.MessageBoxA")
    assert len(calls) == 1 and re.search(r'"' + re.escape(d.box_text("DATA.C002")) + r'",[0-9a-f]{8} "Tarnovell!"',
                                         calls[0]), calls
    d.answer_box()
    j.wait_outcome(e.window_geometry(win), j.DARK_RED)
    assert out.read_bytes() == data[:180000] + other_data[180000:260000] + data[260000:], "the output differs"
    j.press_start(win)
    assert e.wait_exit(proc, 20) == 0


e.run_case(main)
