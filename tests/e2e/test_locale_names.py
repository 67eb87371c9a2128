"""Names and folders outside the system's code page. Under ru_RU (code page 1251) a set in a
folder named "日本語 データ", under en_US (1252) one in a folder named "Загрузки", split on Linux
from "Müller – Ωmega 日本.pdf", joins completely: the Save dialog proposes that exact name (taken
as it comes, the file lands in the set's folder), a piece picked in the Open dialog from a folder
inside it is taken, and the file has the original bytes and times; `tarnovell join` makes the
same file. Sets of older makers, without the name field, join under the names they always got:
record 1 read in the system's code page. A forged name field (its rendering record 1's text, but
a path in it) is ignored as a bad record 1 is: the file goes into the chosen folder under record
1's last component."""
import os
import shutil
import subprocess

import tarnovell_e2e as e
import join_common as j
import digest_sets as d

EXACT = "Müller – Ωmega 日本.pdf"
FOLDERS = {"ru_RU": "日本語 データ", "en_US": "Загрузки"}
# Record 1 of older makers: the bytes of "отпуск.mkv" in 1251 and of "Müller.pdf" in 1252, and the
# names each system has always read in them.
OLDER = [(b"\xee\xf2\xef\xf3\xf1\xea.mkv", {"ru_RU": "отпуск.mkv", "en_US": "îòïóñê.mkv"}),
         (b"M\xfcller.pdf", {"ru_RU": "Mьller.pdf", "en_US": "Müller.pdf"})]
FORGED = b"..\\evil.txt"


def times_of(path):
    info = os.stat(path)  # before the file is read: a read may move its access time
    return int(info.st_atime), int(info.st_mtime)


def careless_join(exe, open_answer=None):
    """Joins through the window, the Save dialog taken as it comes (its proposed name in the
    current folder, the set's); the Open dialog, when open_answer is given, answered with it."""
    j.forget_folders()
    proc, win = j.start(exe)
    geometry = e.window_geometry(win)
    j.press_start(win)
    save, open_title = j.dialog_titles()
    e.send_keys(e.wait_window(save, proc=proc), "Return")
    e.wait_no_window(save, timeout=30)
    if open_answer:
        e.type_path(e.wait_window(open_title, proc=proc), open_answer)
        e.wait_no_window(open_title, timeout=30)
    j.wait_outcome(geometry, j.BLACK)
    j.press_exit(proc, d.main_window(proc))


def forged_set(folder):
    """A one-piece set whose name field holds record 1's text, a path, under a sound digest block."""
    folder.mkdir()
    exe, data = j.make_set(folder, [40000], name=FORGED)
    with open(exe, "r+b") as f:
        f.seek(e.STUB_SIZE + 1 + len(FORGED))
        f.write(b"\x89NAM" + bytes([len(FORGED)]) + FORGED)
    d.write_block(exe)
    return exe, data


def main():
    for locale, name in FOLDERS.items():
        e.use_locale(locale)
        work = e.work_dir(f"locale_names_{locale}")
        folder = work / name
        folder.mkdir()
        exe, data = d.tool_set(folder, 400000, 160000, name=EXACT, last_write=d.REPAIR_LAST_WRITE)
        expected_times = d.header_times(exe)
        if locale == "ru_RU":
            (work / "by tool").mkdir()
            result = subprocess.run([os.environ["TARNOVELL_TOOL"], "join", str(exe), "-o", str(work / "by tool"), "-q"],
                                    capture_output=True, timeout=120)
            assert result.returncode == 0, result.stderr
            assert times_of(work / "by tool" / EXACT) == expected_times
            assert (work / "by tool" / EXACT).read_bytes() == data

        (folder / "a").mkdir()
        for piece in d.pieces_of(exe)[1:]:
            piece.rename(folder / "a" / piece.name)
        careless_join(exe, open_answer="a\\DATA.c001")
        out = folder / EXACT
        assert out.exists(), sorted(p.name for p in folder.iterdir())
        assert times_of(out) == expected_times, (times_of(out), expected_times)
        assert out.read_bytes() == data, "the joined file differs"

        for n, (record, names) in enumerate(OLDER):
            (folder / f"older {n}").mkdir()
            exe, data = j.make_set(folder / f"older {n}", [30000, 20000], name=record)
            careless_join(exe)
            assert (exe.parent / names[locale]).read_bytes() == data, sorted(p.name for p in exe.parent.iterdir())

        exe, data = forged_set(folder / "forged")
        careless_join(exe)
        assert (exe.parent / "evil.txt").read_bytes() == data, sorted(p.name for p in exe.parent.iterdir())
        assert not (folder / "evil.txt").exists(), "saved where the field said"
        shutil.rmtree(work)


e.run_case(main)
