"""Piece 2 is not beside the container: the Open dialog asks for it, the user points to it in
another folder, and piece 3 is then taken from that folder."""
import tarnovell_e2e as e
import join_common as j


def main():
    work = e.work_dir("join_locate")
    exe, data = j.make_set(work, [100000, 80000, 60000, 40000])
    other = work / "other"
    other.mkdir()
    (work / "DATA.c002").rename(other / "DATA.c002")
    (work / "DATA.c003").rename(other / "DATA.c003")
    out = work / "joined.bin"
    proc, win = j.start_join(exe, out)
    dialog = e.wait_window(j.OPEN_TITLE, proc=proc, timeout=30)
    assert e.window_name(win) == "Tarnovell! - DATA.C002", e.window_name(win)
    e.type_path(dialog, e.windows_path(other / "DATA.c002"))
    e.wait_no_window(j.OPEN_TITLE, timeout=30)
    geometry = e.window_geometry(win)
    j.wait_file_size(out, len(data))
    j.wait_outcome(geometry, j.BLACK)
    assert out.read_bytes() == data, "the joined file differs from the original"
    assert e.window_name(win) == "Tarnovell! - DATA.C003", e.window_name(win)
    j.press_exit(proc, win)


e.run_case(main)
