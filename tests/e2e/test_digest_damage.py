"""A set cut by the command-line tool, with one flipped bit in its second piece (DATA.c002): the
join runs to its end, a warning box names DATA.C002, the outcome line is dark red, and the
output is kept with every byte the pieces gave."""
import tarnovell_e2e as e
import join_common as j
import digest_sets as d

WARNING_STYLE = "00000030"  # MB_OK | MB_ICONWARNING


def main():
    work = e.work_dir("digest_damage")
    # The container holds 160000 - 30720 payload bytes, DATA.c001 and DATA.c002 160000 each.
    exe, data = d.tool_set(work, 500000, 160000)
    d.flip_bit(work / "DATA.c002", 65536 + 7)
    damaged = bytearray(data)
    damaged[129280 + 160000 + 65536 + 7] ^= 1 << 3
    out = work / "joined.bin"
    proc, win = j.start_join(exe, out, relay=True)
    geometry = e.window_geometry(win)
    owner, text, _, caption, style = d.box_call(proc)
    assert owner != "00000000", "the box has no owner"
    assert (text, caption, style) == (d.box_text("DATA.C002"), "Tarnovell!", WARNING_STYLE), (text, caption, style)
    d.answer_box()
    j.wait_outcome_only(geometry, j.DARK_RED, (j.BLACK, j.RED))
    assert out.read_bytes() == bytes(damaged), "the output is not what the pieces gave"
    j.press_exit(proc, win)


e.run_case(main)
