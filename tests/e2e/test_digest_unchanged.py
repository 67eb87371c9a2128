"""Sets whose joins the digests do not change: a clean set cut by the command-line tool (with
its block) joins as every set did (black outcome line, no box, the original bytes); a set whose
header holds random filler after its texts, as other splitters leave it, is not taken for one
with a block: even with a flipped bit it joins as it always has. Neither has recovery files
beside it, and each makes the very file calls it always made: the one with a block adds a single
look for DATA.r01, which is not there; the other not even that."""
import re

import tarnovell_e2e as e
import join_common as j
import digest_sets as d

# The last six arguments of a CreateFileW call: access, share, security, disposition, attributes,
# template.
QUERY = "00000000,00000003,00000000,00000003,00000080,00000000"  # whose file is it?
READ = "80000000,00000003,00000000,00000003,00000080,00000000"
CREATE = "c0000000,00000003,00000000,00000002,00000080,00000000"
APPEND = "c0000000,00000003,00000000,00000003,00000080,00000000"
TIMES = "40000000,00000000,00000000,00000004,00000080,00000000"
FILE_CALLS = ["CreateFileW", "FindFirstFileW", "DeleteFileW", "SetFileTime", "GetModuleFileNameW"]


def file_calls(proc):
    """The stub's own file calls in order, each as "call" and the file's name without its folder,
    with the last six arguments of an open."""
    calls = []
    for line in e.own_call_sequence(proc, FILE_CALLS):
        call = re.search(r"\.(\w+)\(", line).group(1)
        name = re.search(r'"(?:[^"]*\\)?([^"\\]*)"', line)
        args = line.split(" ret=")[0].rstrip(")").split(",")
        calls.append(" ".join([call] + ([name.group(1)] if name else []) +
                              ([",".join(args[-6:])] if call == "CreateFileW" else [])))
    return calls


def expected_file_calls(pieces, lookups):
    """The file calls of a whole join of DATA.exe and pieces - 1 further pieces into joined.bin,
    with lookups looks for the first recovery file once the output is chosen."""
    calls = ["GetModuleFileNameW", "FindFirstFileW DATA.exe", f"CreateFileW DATA.exe {READ}",
             "FindFirstFileW DATA.exe", f"CreateFileW joined.bin {QUERY}"]
    calls += ["FindFirstFileW DATA.r01"] * lookups
    calls += [f"CreateFileW DATA.exe {READ}", f"CreateFileW joined.bin {CREATE}"]
    for n in range(1, pieces):
        piece = f"DATA.c{n:03d}"
        calls += [f"FindFirstFileW {piece}", f"CreateFileW {piece} {QUERY}", f"CreateFileW joined.bin {QUERY}",
                  f"FindFirstFileW {piece}", f"CreateFileW {piece} {READ}", f"CreateFileW joined.bin {APPEND}"]
    return calls + [f"CreateFileW joined.bin {TIMES}", "SetFileTime"]


def join(work, expected, lookups):
    out = work / "joined.bin"
    proc, win = j.start_join(work / "DATA.exe", out, relay=True)
    j.wait_file_size(out, len(expected))
    j.wait_outcome(e.window_geometry(win), j.BLACK)
    e.wait_until(lambda: j.exit_label_set(proc), 10, what="the button relabelled")
    assert not e.relay_calls(proc, "user32.MessageBoxW"), e.relay_calls(proc, "user32.MessageBoxW")
    assert out.read_bytes() == expected, "the joined file differs"
    assert file_calls(proc) == expected_file_calls(4, lookups), file_calls(proc)
    j.press_exit(proc, win)


def main():
    work = e.work_dir("digest_clean")
    # Pieces of exactly two 64 KB blocks, the last one of one.
    _, data = d.tool_set(work, 131072 * 3 - 30720 + 65536, 131072)
    join(work, data, lookups=1)

    work = e.work_dir("digest_random_filler")
    exe, data = j.make_set(work, [100000, 90000, 90000, 5000], seed=2)
    d.fill_randomly(exe)
    d.flip_bit(work / "DATA.c002", 100)
    damaged = bytearray(data)
    damaged[100000 + 90000 + 100] ^= 1 << 3
    join(work, bytes(damaged), lookups=0)


e.run_case(main)
