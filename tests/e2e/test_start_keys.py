"""Enter starts the join the way the button does: the Save dialog opens; cancelling it leaves the
window running, and Space then opens it again."""
import tarnovell_e2e as e

SAVE_TITLE = "Сохранить как"


def main():
    work = e.work_dir("start_keys")
    proc, win = e.start_sample(work, "movie", "movie.avi", 1000, b"x" * 1000, title=r"^Tarnovell! - movie\.EXE$")
    for key in ("Return", "space"):
        e.send_keys(win, key)
        dialog = e.wait_window(SAVE_TITLE, proc=proc)
        e.send_keys(dialog, "Escape")
        e.wait_no_window(SAVE_TITLE)
        assert e.still_running(proc), f"the program ended after cancelling the dialog opened by {key}"
    e.send_keys(win, "alt+F4")
    assert e.wait_exit(proc, 20) == 0
    assert not (work / "movie.avi").exists()


e.run_case(main)
