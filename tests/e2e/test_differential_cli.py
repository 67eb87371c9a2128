"""The same sets joined twice: by the real stub under Wine (through its Save dialog) and by
`tarnovell join`. Both give the same bytes, the same last-access and last-write times, and the
same outcome (black line = exit 0, dark red = 1, red = 2). Sets made by `tarnovell split` test
the tool's splitter end to end with the stub in front.

The tool's path comes from TARNOVELL_TOOL (set by tests/e2e/CMakeLists.txt)."""
import os
import random
import subprocess

import tarnovell_e2e as e
import join_common as j

TOOL = os.environ["TARNOVELL_TOOL"]
COLOUR_FOR_CODE = {0: j.BLACK, 1: j.DARK_RED, 2: j.RED}


def tool(*args, cwd=None):
    return subprocess.run([TOOL, *map(str, args)], cwd=cwd, capture_output=True, timeout=120)


def times(path):
    info = os.stat(path)
    return info.st_atime_ns, info.st_mtime_ns


def compare(work, exe, code):
    """Joins exe both ways; the tool must end with code and the stub show its colour."""
    by_stub = work / "stub" / "joined.bin"
    by_tool = work / "tool" / "joined.bin"
    by_stub.parent.mkdir()
    by_tool.parent.mkdir()
    j.join_through_save(exe, by_stub, COLOUR_FOR_CODE[code])
    result = tool("join", exe, "--output", by_tool, "--quiet")
    assert result.returncode == code, (work.name, result.returncode, result.stderr)
    if code == 2:
        assert not by_stub.exists() and not by_tool.exists(), work.name
        assert os.listdir(by_tool.parent) == [], os.listdir(by_tool.parent)
        return
    # Times first: reading the files moves their access times.
    assert times(by_stub) == times(by_tool), (work.name, times(by_stub), times(by_tool))
    assert by_stub.read_bytes() == by_tool.read_bytes(), work.name


def split_set(work, size, piece_size, seed):
    source = work / "source" / "original.bin"
    source.parent.mkdir()
    source.write_bytes(random.Random(seed).randbytes(size))
    os.utime(source, ns=(1_600_000_000_123_456_700, 1_500_000_000_987_654_300))
    result = tool("split", source, "--size", piece_size, "--base", "DATA", "--output-dir", work, "--quiet")
    assert result.returncode == 0, result.stderr
    exe = work / "DATA.exe"
    with open(exe, "rb") as f:
        assert f.read(e.STUB_SIZE) == e.stub_image("32"), "the set does not start with the stub of this build"
    e.put_stub(exe)  # the build that runs here (the 64-bit one under 64-bit Wine)
    return exe, source


def main():
    # A set made by the tool: container and three pieces, the last one short.
    work = e.work_dir("differential_split")
    exe, source = split_set(work, 330000, "100K", seed=7)
    compare(work, exe, 0)
    assert (work / "tool" / "joined.bin").read_bytes() == source.read_bytes()
    assert os.stat(work / "tool" / "joined.bin").st_mtime_ns == os.stat(source).st_mtime_ns

    # Ending exactly at a piece boundary: no empty last piece, nothing more looked for. With
    # pieces of whole pages the container's data is whole pages too.
    work = e.work_dir("differential_boundary")
    exe, _ = split_set(work, (102400 - 30720) // 4096 * 4096 + 2 * 102400, "100K", seed=8)
    assert not (work / "DATA.c003").exists()
    compare(work, exe, 0)

    # More data than the header's total: both keep all that was copied, possibly damaged.
    work = e.work_dir("differential_mismatch")
    j.make_set(work, [100000, 80000, 60000], total=150000)
    compare(work, work / "DATA.exe", 1)

    # A piece that cannot be read: a file-system error and no output either way.
    work = e.work_dir("differential_file_error")
    compare(work, j.make_set_with_folder_piece(work), 2)


e.run_case(main)
