"""A size record that is not integer text (a trailing space) ends the run through the
"Application Error" box, before the main window is shown, with exit code 1."""
import re

import tarnovell_e2e as e


def main():
    work = e.work_dir("bad_size_record")
    texts = e.header_texts("movie.avi", 1048576)
    texts[1] = "1048576 "
    exe = e.write_container(work / "movie", texts, [b"x" * 100])
    proc, box = e.start_window(exe, "^Application Error$", relay=True)
    assert not e.find_windows("^Tarnovell"), "the main window was shown"
    calls = e.relay_calls(proc, "user32.MessageBoxA")
    assert len(calls) == 1, calls
    # Owner none, the report's text (C escapes in the log; Windows line breaks), the caption,
    # MB_OK|MB_ICONSTOP|MB_TASKMODAL.
    text = re.escape(r"Exception EConvertError in module movie.exe at ") + "[0-9A-F]{8}" + re.escape(
        r".\r\n'1048576 ' is not a valid integer value.\r\n")
    pattern = r'MessageBoxA\(00000000,[0-9a-f]{8} "' + text + r'",[0-9a-f]{8} "Application Error",00002010\)'
    assert re.search(pattern, calls[0]), calls[0]
    assert not e.relay_calls(proc, "user32.SetWindowTextW"), "a title was set"
    e.send_keys(box, "Return")
    assert e.wait_exit(proc, 20) == 1


e.run_case(main)
