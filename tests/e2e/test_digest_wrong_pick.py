"""DATA.c002 is missing beside the container; the user picks a file of that name from another
folder, but it belongs to another set (same size, other bytes). The join takes it and goes on
in that folder, and the warning box names DATA.C002."""
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
    proc, win = j.start_join(exe, out, relay=True)
    dialog = e.wait_window(j.OPEN_TITLE, proc=proc, timeout=30)
    e.type_path(dialog, e.windows_path(other / "DATA.c002"))
    e.wait_no_window(j.OPEN_TITLE, timeout=30)
    _, text, _, caption, _ = d.box_call(proc)
    assert (text, caption) == (d.box_text("DATA.C002"), "Tarnovell!"), (text, caption)
    d.answer_box()
    j.wait_outcome(e.window_geometry(win), j.DARK_RED)
    assert out.read_bytes() == data[:180000] + other_data[180000:260000] + data[260000:], "the output differs"
    j.press_exit(proc, win)


e.run_case(main)
