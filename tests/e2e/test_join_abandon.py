"""A missing piece, the Open dialog cancelled and the confirmation answered Yes: the partial
output is deleted and the program ends with exit code 0."""
import tarnovell_e2e as e
import join_common as j


def main():
    work = e.work_dir("join_abandon")
    exe, _ = j.make_set(work, [100000, 80000, 60000])
    (work / "DATA.c002").unlink()
    out = work / "joined.bin"
    proc, _ = j.start_join(exe, out)
    dialog = e.wait_window(j.OPEN_TITLE, proc=proc, timeout=30)
    assert out.stat().st_size == 180000, "the container and piece 1 are in the output so far"
    e.send_keys(dialog, "Escape")
    box = e.wait_window(j.BOX_TITLE, proc=proc, timeout=30)
    e.send_keys(box, "Left", "Return")  # the second button is the default; Left moves to Yes
    assert e.wait_exit(proc, 30) == 0
    assert not out.exists(), "the partial output is still there"


e.run_case(main)
