"""The Save dialog proposes only the last component of header record 1: a careless Enter saves
the joined file under that name in the dialog's usual folder (the current folder, when no folder
was used before), never in a folder that the record names."""
import os

import tarnovell_e2e as e
import join_common as j


def careless_join(work, record):
    """Joins a one-piece set whose record 1 is record, accepting the Save dialog as it comes;
    returns the set's bytes."""
    exe, data = j.make_set(work / "set", [40000], name=record)
    j.forget_folders()
    proc, win = j.start(exe, cwd=work / "run")
    geometry = e.window_geometry(win)
    j.press_start(win)
    dialog = e.wait_window(j.SAVE_TITLE, proc=proc)
    e.send_keys(dialog, "Return")
    e.wait_no_window(j.SAVE_TITLE, timeout=30)
    j.wait_outcome(geometry, j.BLACK)
    j.press_exit(proc, win)
    return data


def main():
    work = e.work_dir("hostile_save")
    for folder in ("set", "run"):
        (work / folder).mkdir()
    windows = os.path.join(e.wine_prefix(), "drive_c", "windows")
    if os.path.exists(os.path.join(windows, "evil.txt")):
        os.remove(os.path.join(windows, "evil.txt"))  # left by a run of a faulty build

    data = careless_join(work, "C:\\windows\\evil.txt")
    assert (work / "run" / "evil.txt").read_bytes() == data
    assert not os.path.exists(os.path.join(windows, "evil.txt")), "saved where the header said"

    data = careless_join(work, "..\\up.txt")
    assert (work / "run" / "up.txt").read_bytes() == data
    assert not (work / "up.txt").exists(), "saved where the header said"


e.run_case(main)
