"""A container whose own path is longer than the 259 bytes the platform reports cannot reopen its
own image (the reported path is cut and names no file): the file-system box owned by the window,
then the end of the run with code 0 once it is answered."""
import tarnovell_e2e as e

FILE_SYSTEM_ERROR = "Ошибка файловой системы!"


def main():
    work = e.work_dir("unreadable_image")
    folder = work
    while len(e.windows_path(folder)) < 270:
        folder = folder / ("d" * 50)
    folder.mkdir(parents=True)
    exe = e.write_container(folder / "movie", e.header_texts("movie.avi", 100), [b"x" * 100])
    proc = e.start_stub(exe, relay=True)
    # The box has the caption "Tarnovell!", as the main window had before its title was set.
    e.wait_until(lambda: e.relay_calls(proc, "user32.MessageBoxA"), what="the file-system box", timeout=20)
    calls = e.relay_calls(proc, "user32.MessageBoxA")
    assert len(calls) == 1, calls
    own_path = e.windows_path(exe)[:260]  # what GetModuleFileNameA reports in 260 bytes (cut, no zero)
    escaped = e.relay_text(own_path + ". " + FILE_SYSTEM_ERROR)
    # The log may cut a long text; the owner must be the window (not null) and the style 16.
    owner, text, cut, caption, style = e.message_box_call(calls[0])
    assert (caption, style) == ("Tarnovell!", "00000010"), calls[0]
    assert owner != "00000000", "the box has no owner"
    assert escaped.startswith(text) and len(text) > 200, (text, escaped)
    if not cut:
        assert text == escaped
    box = e.wait_until(e.message_boxes, what="the box on screen")[0]
    e.send_keys(box, "Return")
    assert e.wait_exit(proc, 20) == 0
    assert not e.relay_calls(proc, "user32.SetWindowTextA"), "a title was set"


e.run_case(main)
