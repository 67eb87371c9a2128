"""Own paths past MAX_PATH: a container in a folder 400 characters deep joins all the same (the
file calls take such paths in their long form), with its times; one whose path is longer than the
program's room (583 characters) names no file for certain: the box owned by the window, which
says so after the path, then the end of the run with code 0 once it is answered, no title set."""
import os

import tarnovell_e2e as e
import join_common as j


def deep_folder(work, length):
    folder = work
    while len(e.windows_path(folder)) < length:
        folder = folder / ("d" * 50)
    folder.mkdir(parents=True)
    return folder


def main():
    work = e.work_dir("unreadable_image")
    exe, data = j.make_set(deep_folder(work / "joins", 400), [100000, 50000, 20000])
    assert len(e.windows_path(exe)) > 400
    out = work / "out.bin"
    proc, win = j.start_join(exe, out)
    j.wait_file_size(out, len(data))
    j.wait_outcome(e.window_geometry(win), j.BLACK)
    info = os.stat(out)
    assert (int(info.st_atime), int(info.st_mtime)) == (j.ACCESS_UNIX, j.LAST_WRITE_UNIX), info
    assert out.read_bytes() == data, "the joined file differs"
    j.press_exit(proc, win)

    exe = e.write_container(deep_folder(work / "too long", 600) / "movie", e.header_texts("movie.avi", 100),
                            [b"x" * 100])
    proc = e.start_stub(exe, relay=True)
    # The box has the caption "Tarnovell!", as the main window had before its title was set.
    e.wait_until(lambda: e.relay_calls(proc, "user32.MessageBoxW"), what="the box", timeout=20)
    calls = e.relay_calls(proc, "user32.MessageBoxW")
    assert len(calls) == 1, calls
    # The path as far as the room holds it, ". ", then what is wrong (the log cuts a long text).
    escaped = e.relay_text(e.windows_path(exe)[:583] + ". Слишком длинный путь к файлу!")
    owner, text, cut, caption, style = e.message_box_call(calls[0])
    assert (caption, style) == ("Tarnovell!", "00000010"), calls[0]
    assert owner != "00000000", "the box has no owner"
    assert escaped.startswith(text) and len(text) > 200, (text, escaped)
    if not cut:
        assert text == escaped
    box = e.wait_until(e.message_boxes, what="the box on screen")[0]
    e.send_keys(box, "Return")
    assert e.wait_exit(proc, 20) == 0
    assert not e.relay_calls(proc, "user32.SetWindowTextW"), "a title was set"


e.run_case(main)
