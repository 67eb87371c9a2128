"""The stub joins a set whose container carries whole pages of data (the tool's split with pieces
of whole pages: less than the piece size - 30720) exactly as one whose container data is the
piece size - 30720 (every set cut before): the original bytes, the black outcome line, no box."""
import tarnovell_e2e as e
import join_common as j
import digest_sets as d

CAP = 1 << 20


def join(work, expected):
    out = work / "joined.bin"
    proc, win = j.start_join(work / "DATA.exe", out, relay=True)
    j.wait_file_size(out, len(expected))
    j.wait_outcome(e.window_geometry(win), j.BLACK)
    e.wait_until(lambda: j.exit_label_set(proc), 10, what="the button relabelled")
    assert not e.relay_calls(proc, "user32.MessageBoxW"), e.relay_calls(proc, "user32.MessageBoxW")
    assert out.read_bytes() == expected, "the joined file differs"
    j.press_exit(proc, win)


def main():
    work = e.work_dir("join_aligned")
    exe, data = d.tool_set(work, 3 * CAP + 12345, CAP)
    sizes = [p.stat().st_size for p in d.pieces_of(exe)]
    first = sizes[0] - e.PAYLOAD_OFFSET
    assert first % 4096 == 0 and first < CAP - e.PAYLOAD_OFFSET, sizes
    assert sizes[1:-1] == [CAP] * (len(sizes) - 2) and len(sizes) == 4, sizes
    join(work, data)

    work = e.work_dir("join_unaligned")
    exe, data = j.make_set(work, [CAP - e.PAYLOAD_OFFSET, CAP, CAP, 12345], seed=3)
    d.write_block(exe)
    join(work, data)


e.run_case(main)
