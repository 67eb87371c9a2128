"""Sets whose joins the digests do not change: a clean set cut by the command-line tool (with
its block) joins as every set did (black outcome line, no box, the original bytes); a set whose
header holds random filler after its texts, as other splitters leave it, is not taken for one
with a block: even with a flipped bit it joins as it always has."""
import tarnovell_e2e as e
import join_common as j
import digest_sets as d


def join(work, expected):
    out = work / "joined.bin"
    proc, win = j.start_join(work / "DATA.exe", out, relay=True)
    j.wait_file_size(out, len(expected))
    j.wait_outcome(e.window_geometry(win), j.BLACK)
    e.wait_until(lambda: j.exit_label_set(proc), 10, what="the button relabelled")
    assert not e.relay_calls(proc, "user32.MessageBoxA"), e.relay_calls(proc, "user32.MessageBoxA")
    assert out.read_bytes() == expected, "the joined file differs"
    j.press_exit(proc, win)


def main():
    work = e.work_dir("digest_clean")
    # Pieces of exactly two 64 KB blocks, the last one of one.
    _, data = d.tool_set(work, 131072 * 3 - 30720 + 65536, 131072)
    join(work, data)

    work = e.work_dir("digest_random_filler")
    exe, data = j.make_set(work, [100000, 90000, 90000, 5000], seed=2)
    d.fill_randomly(exe)
    d.flip_bit(work / "DATA.c002", 100)
    damaged = bytearray(data)
    damaged[100000 + 90000 + 100] ^= 1 << 3
    join(work, bytes(damaged))


e.run_case(main)
