"""What the join cases share: sets of random bytes with known times, starting a container and
pressing its button, answering the file dialogs, and reading the outcome line's colours."""
import os
import random
import subprocess

import tarnovell_e2e as e

BLACK, DARK_RED, RED = (0, 0, 0), (128, 0, 0), (255, 0, 0)
EXIT_LABEL = b"\xc2\xfb\xf5\xee\xe4".decode("cp1251")  # the button's label after a join
SAVE_TITLE = "^Сохранить как$"
OPEN_TITLE = "^Открыть$"
BOX_TITLE = "^Tarnovell!$"
# The file dialogs' titles in the system's language, by TARNOVELL_WINE_LOCALE (see
# tools/wine-run.sh): the Save dialog's, then the Open dialog's.
DIALOG_TITLES = {"ru_RU": (SAVE_TITLE, OPEN_TITLE), "en_US": ("^Save As$", "^Open$"),
                 "ja_JP": ("^名前を付けて保存$", "^開く$")}


def dialog_titles():
    return DIALOG_TITLES[os.environ.get("TARNOVELL_WINE_LOCALE") or "ru_RU"]

# 2021-03-04 05:06:07 UTC as the joined file's last-write time (and others for the rest).
LAST_WRITE_UNIX = 1614834367
ACCESS_UNIX = 1614000000
CREATION_UNIX = 1600000000


filetime = e.filetime


def make_set(work, sizes, total=None, name="joined.bin", seed=1):
    """DATA.exe and DATA.c001... in work with payloads of the given sizes; returns the
    container and the bytes the payloads make together."""
    rng = random.Random(seed)
    data = rng.randbytes(sum(sizes))
    payloads, at = [], 0
    for size in sizes:
        payloads.append(data[at:at + size])
        at += size
    texts = e.header_texts(name, len(data) if total is None else total, filetime(CREATION_UNIX),
                           filetime(ACCESS_UNIX), filetime(LAST_WRITE_UNIX))
    return e.write_container(work / "DATA", texts, payloads), data


def make_set_with_folder_piece(work):
    """A set of DATA.exe and two pieces whose piece 1 is a folder: the copy of it fails.
    Returns the container."""
    exe, _ = make_set(work, [100000, 80000, 60000])
    (work / "DATA.c001").unlink()
    (work / "DATA.c001").mkdir()
    return exe


def start(exe, relay=False, cwd=None):
    """Starts the container (in cwd, default: its folder) and waits for its window."""
    return e.start_window(exe, r"^Tarnovell! - DATA\.EXE$", relay=relay, cwd=cwd)


def press_start(win):
    e.send_keys(win, "Return")


def start_join(exe, out, relay=False):
    """Starts the container, presses its button and answers the Save dialog with out: the join
    is under way. Returns (proc, window)."""
    proc, win = start(exe, relay=relay)
    press_start(win)
    save_as(proc, out)
    return proc, win


def press_exit(proc, win):
    """Presses the button after a join, which then ends the program with exit code 0."""
    press_start(win)
    assert e.wait_exit(proc, 20) == 0


def join_through_save(exe, out, colour):
    """A whole join through the window: the output saved as out, the outcome line awaited in
    colour (and in no other outcome's colour), the program ended by its button."""
    proc, win = start_join(exe, out)
    geometry = e.window_geometry(win)
    wait_outcome(geometry, colour)
    others = {BLACK, DARK_RED, RED} - {colour}
    assert not (others & outcome_colours(geometry)), outcome_colours(geometry)
    press_exit(proc, win)


def save_as(proc, path):
    """Answers the Save dialog with path and waits until the dialog is gone (it covers the
    main window)."""
    title = dialog_titles()[0]
    dialog = e.wait_window(title, proc=proc)
    e.type_path(dialog, e.windows_path(path))
    e.wait_no_window(title, timeout=30)


def outcome_colours(geometry):
    """Colours on the outcome line (client x 16..264, y 107..120)."""
    return set(e.screenshot().region(geometry, 16, 107, 265, 121).values())


def wait_outcome(geometry, colour, timeout=60):
    return e.wait_until(lambda: colour in outcome_colours(geometry), timeout, interval=0.3,
                        what=f"the outcome line in {colour}")


def wait_outcome_only(geometry, colour, others, timeout=60):
    """The outcome line in colour and in none of others: a box just answered may still be
    erased over it for a moment."""
    found = []

    def painted():
        found[:] = [outcome_colours(geometry)]
        return colour in found[0] and not any(other in found[0] for other in others)

    try:
        e.wait_until(painted, timeout, interval=0.3, what=f"the outcome line in {colour} only")
    except e.E2EError as error:
        raise e.E2EError(f"{error}: {found[0] if found else 'nothing seen'}") from None


def wait_file_size(path, size, timeout=60):
    e.wait_until(lambda: path.exists() and path.stat().st_size == size, timeout, what=f"{path} of {size} bytes")


def exit_label_set(proc):
    """The relay log shows the button relabelled (SetWindowTextW with the exit label)."""
    label = e.relay_text(EXIT_LABEL)
    return any(label in line for line in e.relay_calls(proc, "user32.SetWindowTextW"))


def mtime_seconds(path):
    return int(os.stat(path).st_mtime)


# Where the file dialogs remember the folders that programs used last.
MRU_KEYS = ["HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\" + key
            for key in ("LastVisitedMRU", "OpenSaveMRU")]


def forget_folders():
    """The Save dialog then starts in the current folder."""
    for key in MRU_KEYS:
        subprocess.run([str(e.WINE_RUN), "reg", "delete", key, "/f"], env=e.wine_env(), capture_output=True,
                       timeout=120 * e.slowness())
