"""Rounds of the Windows tool's benchmark (run by bench_wintool.sh, which makes the set): times
`tarnovell.exe join` and `cmd /c copy /b` of the same set files under Wine, checks that both
wrote the right bytes (the join: the original; the copy: every file of the set, the container's
stub and header too), and prints the best and median times and the ratio copy / join.

Usage: bench_wintool.py WINE_RUN TARNOVELL_EXE WORK_FOLDER (holding original.bin, DATA.exe, DATA.c001...)"""
import filecmp
import os
import pathlib
import subprocess
import sys
import time

from bench_summary import print_summary

WINE_RUN, TOOL, WORK = sys.argv[1], sys.argv[2], pathlib.Path(sys.argv[3])
PIECES = sorted(p.name for p in WORK.glob("DATA.c*"))
FILES = ["DATA.exe"] + PIECES
ROUNDS = 6


def run(what):
    """One timed run in the work folder; returns the seconds it took."""
    out = WORK / "out.bin"
    if out.exists():
        out.unlink()
    os.sync()
    if what == "join":
        command = ["bash", WINE_RUN, TOOL, "join", "-q", "-o", "out.bin", "DATA.exe"]
    else:
        command = ["bash", WINE_RUN, "cmd", "/c", "copy", "/b", "+".join(FILES), "out.bin"]
    start = time.monotonic()
    result = subprocess.run(command, cwd=WORK, capture_output=True)
    seconds = time.monotonic() - start
    if result.returncode != 0:
        sys.exit(f"{what} failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
    return seconds


def same_bytes(stream, path):
    """Whether stream goes on with the bytes of the file at path."""
    with open(path, "rb") as part:
        while block := part.read(1 << 22):
            if stream.read(len(block)) != block:
                return False
    return True


def check(what):
    out = WORK / "out.bin"
    if what == "join":
        same = filecmp.cmp(out, WORK / "original.bin", shallow=False)
    else:
        with open(out, "rb") as joined:
            same = all(same_bytes(joined, WORK / name) for name in FILES) and joined.read(1) == b""
    if not same:
        sys.exit(f"{what} wrote the wrong bytes")


def main():
    times = {"join": [], "copy": []}
    for round_number in range(ROUNDS + 1):
        order = ("join", "copy") if round_number % 2 == 0 else ("copy", "join")
        for what in order:
            seconds = run(what)
            if round_number == 0:
                check(what)  # the warming round checks the bytes
            else:
                times[what].append(seconds)
    (WORK / "out.bin").unlink()
    print_summary(times, "copy", "join")


main()
