"""The Windows command-line tool against the Linux one and the stub, under Wine. A set made by
`tarnovell.exe split` joins with the Linux tool and with the stub (through its Save dialog); a
set made by the Linux tool joins with `tarnovell.exe join`; both ways the joined file has the
bytes and the last-access and last-write times of the original (Linux cannot set a creation
time, and Wine keeps none). The same for a sparse file over 4 GiB, whose holes stay holes both
ways; and the Windows program refuses what a set made for Windows cannot carry, and carries a
name without a Windows-1251 form exactly. Recovery files
(our own coding in the Windows tool, ISA-L in the Linux one): either tool makes the same bytes
for the same set, and repairs a set the other made.

The Linux tool's path comes from TARNOVELL_TOOL; the Windows tool is the 64-bit build's
(TARNOVELL_BUILD_DIR/windows64/cli/tarnovell.exe)."""
import os
import pathlib
import random
import shutil
import subprocess

import tarnovell_e2e as e
import join_common as j

TOOL = os.environ["TARNOVELL_TOOL"]
WINDOWS_TOOL = pathlib.Path(os.environ.get("TARNOVELL_BUILD_DIR", str(e.ROOT / "build"))) / "windows64" / "cli" / "tarnovell.exe"
NAME = "Отчёт за год.pdf"  # Cyrillic, with a space; the same name both ways
TIMES = (1_600_000_000_123_456_700, 1_500_000_000_987_654_300)  # access, write (ns, whole 100 ns)


def linux_tool(*args, cwd):
    return subprocess.run([TOOL, *map(str, args)], cwd=cwd, capture_output=True, timeout=300)


def windows_tool(*args, cwd):
    """The Windows program (a 64-bit one) under 64-bit Wine, whichever Wine runs the stub here;
    paths are given relative to cwd."""
    return subprocess.run([str(e.WINE_RUN), str(WINDOWS_TOOL), *map(str, args)], cwd=cwd,
                          env=e.wine_env({"TARNOVELL_WINE_ARCH": "64"}), capture_output=True, timeout=600)


def ok(result, what):
    assert result.returncode == 0, (what, result.returncode, result.stderr.decode(errors="replace"))


def source_file(work, size, seed):
    source = work / "source" / NAME
    source.parent.mkdir()
    source.write_bytes(random.Random(seed).randbytes(size))
    os.utime(source, ns=TIMES)
    return source


def kept_times(joined):
    """joined has the original's last-access and last-write times; returns its stat. Look before
    reading the file: a read moves its access time."""
    info = os.stat(joined)
    assert (info.st_atime_ns, info.st_mtime_ns) == TIMES, (joined, info.st_atime_ns, info.st_mtime_ns)
    return info


def same_file(joined, source):
    kept_times(joined)
    assert joined.read_bytes() == source.read_bytes(), joined


def windows_set_joins_everywhere():
    work = e.work_dir("wintool_to_linux_and_stub")
    source = source_file(work, 330000, seed=11)
    ok(windows_tool("split", pathlib.Path("source") / NAME, "--size", "100K", "--base", "DATA", "-q", cwd=work),
       "tarnovell.exe split")
    assert sorted(p.name for p in work.glob("DATA.*")) == ["DATA.c001", "DATA.c002", "DATA.c003", "DATA.exe"]
    exe = work / "DATA.exe"
    with open(exe, "rb") as f:
        assert f.read(e.STUB_SIZE) == e.stub_image("32"), "the Windows tool's set does not start with the 32-bit stub"
    (work / "linux").mkdir()
    ok(linux_tool("join", exe, "-o", work / "linux", "-q", cwd=work), "tarnovell join")
    same_file(work / "linux" / NAME, source)

    e.put_stub(exe)  # the build that runs here (the 64-bit one under 64-bit Wine)
    (work / "stub").mkdir()
    j.join_through_save(exe, work / "stub" / "joined.pdf", j.BLACK)
    same_file(work / "stub" / "joined.pdf", source)


def linux_set_joins_with_the_windows_tool():
    work = e.work_dir("linux_to_wintool")
    source = source_file(work, 250000, seed=12)
    ok(linux_tool("split", source, "--size", "100K", "-d", work, "-q", cwd=work), "tarnovell split")
    (work / "windows").mkdir()
    result = windows_tool("join", "Отчёт за год.exe", "-o", "windows", cwd=work)
    ok(result, "tarnovell.exe join")
    assert result.stdout.decode() == "windows\\" + NAME + ": complete, 250000 bytes from 3 files\r\n", result.stdout
    same_file(work / "windows" / NAME, source)


CONTAINER_END = 0xFFFFFFFF - 2047  # the largest image Windows runs, its data in whole pages
MARKS = (0, 30720, CONTAINER_END - 30723, 1 << 32, (9 << 29) + 12345 - 9)


def sparse_source(work):
    source = work / "big.img"
    with open(source, "wb") as f:
        f.truncate((9 << 29) + 12345)  # 4.5 GiB and a bit, holes
        for at in MARKS:
            f.seek(at)
            f.write(b"tarnovell")
    os.utime(source, ns=TIMES)
    return source


def same_sparse(joined, source):
    info = kept_times(joined)
    assert info.st_size == os.stat(source).st_size and info.st_blocks * 512 < (64 << 20), (joined, info)
    with open(joined, "rb") as a, open(source, "rb") as b:
        for at in MARKS:
            a.seek(max(0, at - 4096))
            b.seek(max(0, at - 4096))
            assert a.read(8192) == b.read(8192), (joined, at)


def sparse_sets_both_ways():
    work = e.work_dir("wintool_sparse")
    source = sparse_source(work)
    ok(windows_tool("split", "big.img", "--size", "5G", "--base", "WIN", "-q", cwd=work), "tarnovell.exe split")
    assert (work / "WIN.exe").stat().st_size == CONTAINER_END
    ok(linux_tool("join", "WIN.exe", "-o", "by-linux.img", "-q", cwd=work), "tarnovell join")
    same_sparse(work / "by-linux.img", source)
    for name in ("WIN.exe", "WIN.c001", "by-linux.img"):
        (work / name).unlink()
    os.utime(source, ns=TIMES)  # the split read it: its access time moved
    ok(linux_tool("split", "big.img", "--size", "5G", "--base", "LIN", "-q", cwd=work), "tarnovell split")
    ok(windows_tool("join", "LIN.exe", "-o", "by-windows.img", "-q", cwd=work), "tarnovell.exe join")
    same_sparse(work / "by-windows.img", source)


def refusals():
    work = e.work_dir("wintool_refusals")
    (work / "in.txt").write_bytes(b"data")
    for args, text in ((["--name", "日本?.txt"], "holds the character ?"),
                       (["--base", "LPT1"], "device name on Windows"),
                       (["--base", "movie."], "ends with a dot or a space")):
        result = windows_tool("split", "in.txt", *args, cwd=work)
        assert result.returncode == 5 and text in result.stderr.decode(), (args, result.returncode, result.stderr)
    assert sorted(p.name for p in work.iterdir()) == ["in.txt"]
    # A name without a Windows-1251 form travels exactly, and info shows it.
    exact = "Müller – Ωmega 日本.pdf"
    ok(windows_tool("split", "in.txt", "--name", exact, "--base", "W", "-q", cwd=work), "tarnovell.exe split")
    result = windows_tool("info", "W.exe", cwd=work)
    ok(result, "tarnovell.exe info")
    assert f'Name:      "{exact}"' in result.stdout.decode(), result.stdout


SET_FILES = ("exe", "c001", "c002", "c003", "r01", "r02")


def copy_set(work, base, folder):
    target = work / folder
    target.mkdir()
    for suffix in SET_FILES:
        shutil.copy(work / f"{base}.{suffix}", target)
    return target


def damage(path, at):
    with open(path, "r+b") as f:
        f.seek(at)
        byte = f.read(1)
        f.seek(at)
        f.write(bytes([byte[0] ^ 0x5A]))


def recovery_bytes_without_header_copy(path, files=4, groups=1):
    """A recovery file but for the container header's copy and the header's self-check, which
    differ between the tools only by the source's creation time (Linux gives its birth time)."""
    data = bytearray(path.read_bytes())
    length = 2112 + 12 * files + 4 * groups
    data[56:2104] = bytes(2048)
    data[length - 8:length] = bytes(8)
    return bytes(data)


def recovery_files_alike_both_ways():
    work = e.work_dir("wintool_recovery")
    # Pieces of 1 MiB: each tool reads and codes a group in two halves on two threads.
    source = source_file(work, 3100000, seed=13)
    tools = {"WIN": (windows_tool, linux_tool), "LIN": (linux_tool, windows_tool)}
    for base, (maker, _) in tools.items():
        os.utime(source, ns=TIMES)  # a split reads it: its access time moves
        ok(maker("split", pathlib.Path("source") / NAME, "--size", "1M", "--recovery", "2", "--base", base, "-q",
                 cwd=work), f"split of {base}")
        assert sorted(p.name for p in work.glob(f"{base}.*")) == sorted(f"{base}.{s}" for s in SET_FILES)
    for suffix in SET_FILES:
        if suffix.startswith("r"):
            assert recovery_bytes_without_header_copy(work / f"WIN.{suffix}") == \
                recovery_bytes_without_header_copy(work / f"LIN.{suffix}"), suffix
        elif suffix != "exe":
            assert (work / f"WIN.{suffix}").read_bytes() == (work / f"LIN.{suffix}").read_bytes(), suffix
    for base, (maker, other) in tools.items():
        # The other tool makes a lost recovery file again: the same bytes as the maker's.
        for row in ("r01", "r02"):
            folder = copy_set(work, base, f"{base}-remade-{row}")
            (folder / f"{base}.{row}").unlink()
            result = other("repair", f"{base}.exe", cwd=folder)
            ok(result, f"repair of {base} without {row}")
            assert f"made again {base}.{row}" in result.stdout.decode(), result.stdout
            assert (folder / f"{base}.{row}").read_bytes() == (work / f"{base}.{row}").read_bytes(), (base, row)
        # A piece lost and the container's data and a piece damaged: the other tool rebuilds them.
        folder = copy_set(work, base, f"{base}-repaired")
        (folder / f"{base}.c002").unlink()
        damage(folder / f"{base}.c001", 4097)
        damage(folder / f"{base}.exe", 50000)
        result = other("verify", f"{base}.exe", cwd=folder)
        assert "Recovery:  not repairable: 3 files bad, 2 recovery files" in result.stdout.decode(), result.stdout
        (folder / f"{base}.c001").write_bytes((work / f"{base}.c001").read_bytes())
        result = other("verify", f"{base}.exe", cwd=folder)
        assert "Recovery:  repairable with the 2 recovery files" in result.stdout.decode(), result.stdout
        ok(other("repair", f"{base}.exe", cwd=folder), f"repair of {base}")
        for suffix in SET_FILES:
            assert (folder / f"{base}.{suffix}").read_bytes() == (work / f"{base}.{suffix}").read_bytes(), \
                (base, suffix)


def main():
    windows_set_joins_everywhere()
    linux_set_joins_with_the_windows_tool()
    refusals()
    recovery_files_alike_both_ways()
    sparse_sets_both_ways()


e.run_case(main)
