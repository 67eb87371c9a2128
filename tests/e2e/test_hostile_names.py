"""Headers whose first record names a path, with a total size of 0: the join asks for no output
name, and writes only a new, empty file of the record's last component in the current folder,
with the header's times. An absolute path, a "..\\" path and a drive-relative name reach nothing
outside; a file already there keeps its bytes and its times, and the window says "file-system
error" in red."""
import os

import tarnovell_e2e as e
import join_common as j

OLD_ACCESS, OLD_WRITE = 1000000000, 1100000000  # times of the files that were there before


def plant(path, text):
    path.write_bytes(text)
    os.utime(path, (OLD_ACCESS, OLD_WRITE))


def untouched(path, text):
    info = path.stat()  # before reading: a read may move the access time
    assert (int(info.st_atime), int(info.st_mtime)) == (OLD_ACCESS, OLD_WRITE), (path, info)
    assert path.read_bytes() == text, path
    os.utime(path, (OLD_ACCESS, OLD_WRITE))  # as it was, for the next look


def run(work, record, colour):
    """Starts a container whose record 1 is record (total 0) in work/run, presses the button
    and waits for the outcome line in colour; then ends the program."""
    exe, _ = j.make_set(work / "set", [0], total=0, name=record)
    proc, win = j.start(exe, cwd=work / "run")
    geometry = e.window_geometry(win)
    j.press_start(win)
    j.wait_outcome(geometry, colour)
    assert not e.find_windows(j.SAVE_TITLE), "a Save dialog for a total of 0"
    j.press_exit(proc, win)


def new_output(path):
    info = path.stat()
    assert info.st_size == 0, (path, info.st_size)
    assert (int(info.st_atime), int(info.st_mtime)) == (j.ACCESS_UNIX, j.LAST_WRITE_UNIX), (path, info)


def main():
    work = e.work_dir("hostile_names")
    for folder in ("set", "run", "outside"):
        (work / folder).mkdir()
    victim = work / "outside" / "victim.txt"
    plant(victim, b"victim")
    here = work / "run" / "here.txt"
    plant(here, b"here")
    drive_c = os.path.join(e.wine_prefix(), "drive_c")

    # An absolute path to an existing file elsewhere: only its name, made new in the current folder.
    run(work, e.windows_path(victim), j.BLACK)
    new_output(work / "run" / "victim.txt")
    untouched(victim, b"victim")

    # Up and out of the current folder, either delimiter.
    run(work, "..\\escape.txt", j.BLACK)
    new_output(work / "run" / "escape.txt")
    run(work, "../outside/slash.txt", j.BLACK)
    new_output(work / "run" / "slash.txt")
    assert not (work / "escape.txt").exists() and not (work / "outside" / "slash.txt").exists()

    # Drive-relative: the current folder of drive C is not the current folder.
    run(work, "C:drive.txt", j.BLACK)
    new_output(work / "run" / "drive.txt")
    assert not os.path.exists(os.path.join(drive_c, "drive.txt"))

    # A file already in the current folder is neither opened nor given the header's times.
    run(work, "here.txt", j.RED)
    untouched(here, b"here")
    untouched(victim, b"victim")


e.run_case(main)
