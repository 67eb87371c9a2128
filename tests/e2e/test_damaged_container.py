"""A damaged container is damage too. A bit of record 1's text changed: with DATA.r01 beside the
set, its copy of the header stands for the container's (the window shows the header's own name),
the join is complete and the rebuilt box names DATA.EXE; without it, the join ends "possibly
damaged" and the warning box names DATA.EXE. A bit changed in the stub's padding, which the
program runs without: the warning box names DATA.EXE."""
import tarnovell_e2e as e
import join_common as j
import digest_sets as d

IMAGE_LIMIT = 26624  # the stub's image ends before this (tests/stub/CMakeLists.txt): padding after


def joined(exe, name, text, style, colour, data):
    """Joins exe into a new file name beside it: one box with text and style, the outcome line in
    colour only, the output holding data. Returns the program (its relay log)."""
    proc, win = j.start_join(exe, exe.parent / name, relay=True)
    geometry = e.window_geometry(win)
    _, shown, _, caption, shown_style = d.box_call(proc)
    assert (shown, caption, shown_style) == (text, "Tarnovell!", style), (shown, shown_style)
    d.answer_box()
    j.wait_outcome_only(geometry, colour, {j.BLACK, j.DARK_RED, j.RED} - {colour})
    assert (exe.parent / name).read_bytes() == data, "the output is not the original"
    j.press_exit(proc, d.main_window(proc))
    return proc


def main():
    work = e.work_dir("damaged_header")
    exe, data = d.tool_set(work, 400000, 160000, recovery=1)
    d.flip_bit(exe, e.STUB_SIZE + 1)  # joined.bin becomes boined.bin
    proc = joined(exe, "out.bin", d.rebuilt_box_text("DATA.EXE"), "00000040", j.BLACK, data)
    drawn = " ".join(e.relay_calls(proc, "user32.DrawTextW"))
    assert '"joined.bin"' in drawn and "boined" not in drawn, "the window showed another name"
    (work / "DATA.r01").unlink()
    joined(exe, "out2.bin", d.box_text("DATA.EXE"), "00000030", j.DARK_RED, data)

    work = e.work_dir("damaged_stub")
    exe, data = d.tool_set(work, 400000, 160000)
    assert not exe.read_bytes()[IMAGE_LIMIT:e.STUB_SIZE].strip(b"\0"), "no padding there"
    d.flip_bit(exe, e.STUB_SIZE - 1)
    joined(exe, "out.bin", d.box_text("DATA.EXE"), "00000030", j.DARK_RED, data)


e.run_case(main)
