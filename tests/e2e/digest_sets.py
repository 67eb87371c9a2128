"""Digest blocks for end-to-end sets, written here from the block's layout as docs/format.md's table
gives it (not by the program's code), so that these sets also check that layout: the magic,
version 1, the piece count, piece 0's payload, the size of the pieces between, the run length,
one CRC-32C per run of pieces (ISA-L's, through ctypes), and the CRC-64/XZ self-check over the
header's first 2040 bytes, all in bytes 24 to 255 of records 2 to 8.

    exe, data = tool_set(work, sizes) # a set cut by the command-line tool (TARNOVELL_TOOL)
    write_block(container)        # the block for the set as it lies beside the container
    remove_block(container)       # the same header with the magic zeroed: no block any more
    fill_randomly(container)      # another splitter's header: random filler after every text
    flip_bit(path, offset)        # one bit of a file changed in place
    box_call(proc)                # the arguments of the one message box the stub shows
    answer_box()                  # presses OK on the message box until it is gone
"""
import ctypes
import ctypes.util
import os
import pathlib
import random
import re
import subprocess

import tarnovell_e2e as e
import join_common as j

MAGIC = b"\x89TNVDIG\x1a"
VERSION = 1
BLOCK_START = 24      # within each of records 2 to 8; their texts end before it
CAPACITY = 395        # digests
RECORDS = 8
RECORD_SIZE = e.HEADER_RECORD_SIZE
HEADER_SIZE = RECORDS * RECORD_SIZE
STRETCH = RECORD_SIZE - BLOCK_START
HEADER_OFFSET = e.STUB_SIZE
CHUNK = 1 << 20

_isal = ctypes.CDLL(ctypes.util.find_library("isal") or "libisal.so.2")
_isal.crc32_iscsi.restype = ctypes.c_uint32
_isal.crc32_iscsi.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_uint32]


def crc32c(data, crc=0):
    """CRC-32C of data, continued from crc (the CRC of the bytes before it)."""
    return ~_isal.crc32_iscsi(data, len(data), ~crc & 0xFFFFFFFF) & 0xFFFFFFFF


def crc64_xz(data):
    crc = 0xFFFFFFFFFFFFFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ (0xC96C5795D7870F42 if crc & 1 else 0)
    return crc ^ 0xFFFFFFFFFFFFFFFF


def pieces_of(container):
    """The container and its further pieces beside it, in order, up to the first gap."""
    container = pathlib.Path(container)
    base = container.with_suffix("")
    paths = [container]
    while True:
        piece = base.parent / f"{base.name}.c{len(paths):03d}"
        if not piece.exists():
            return paths
        paths.append(piece)


def _payload_crc(path, start, crc):
    with open(path, "rb") as f:
        f.seek(start)
        while chunk := f.read(CHUNK):
            crc = crc32c(chunk, crc)
    return crc


def _header_byte(offset):
    """Where block offset lies in the header."""
    return RECORD_SIZE * (1 + offset // STRETCH) + BLOCK_START + offset % STRETCH


def write_block(container, run_length=None):
    """Writes the block for the set beside container (pieces 1 to N-2 of one size, the last one
    no longer) into its header, one digest per run of run_length pieces."""
    paths = pieces_of(container)
    sizes = [paths[0].stat().st_size - e.PAYLOAD_OFFSET] + [p.stat().st_size for p in paths[1:]]
    count = len(paths)
    run = run_length or (count - 1) // CAPACITY + 1
    digests = []
    for first in range(0, count, run):
        crc = 0
        for n in range(first, min(first + run, count)):
            crc = _payload_crc(paths[n], e.PAYLOAD_OFFSET if n == 0 else 0, crc)
        digests.append(crc)
    piece_size = sizes[1] if count > 1 else 0
    block = (MAGIC + VERSION.to_bytes(4, "little") + count.to_bytes(4, "little") + sizes[0].to_bytes(8, "little")
             + piece_size.to_bytes(8, "little") + run.to_bytes(4, "little")
             + b"".join(d.to_bytes(4, "little") for d in digests).ljust(4 * CAPACITY, b"\0"))
    with open(paths[0], "r+b") as f:
        f.seek(HEADER_OFFSET)
        header = bytearray(f.read(HEADER_SIZE))
        for record in range(1, RECORDS):
            if header[record * RECORD_SIZE] >= BLOCK_START:
                raise e.E2EError(f"the text of record {record + 1} reaches into the block")
        for offset, byte in enumerate(block):
            header[_header_byte(offset)] = byte
        header[HEADER_SIZE - 8:] = crc64_xz(header[:HEADER_SIZE - 8]).to_bytes(8, "little")
        f.seek(HEADER_OFFSET)
        f.write(header)


def tool_set(work, size, cap, seed=1, name="joined.bin", recovery=0, last_write=None):
    """DATA.exe, DATA.c001, ... in work, cut by the command-line tool (TARNOVELL_TOOL) from size
    random bytes with every file at most cap bytes, starting with the stub of the build that runs
    here; with recovery files DATA.r01, ... when recovery is more than 0, and the source's
    last-write time set to last_write (Unix seconds) when given. The block the tool wrote must be
    the one written here from the layout. Returns the container and the bytes."""
    source = work / "source" / name
    source.parent.mkdir()
    data = random.Random(seed).randbytes(size)
    source.write_bytes(data)
    if last_write is not None:
        os.utime(source, (last_write, last_write))
    extra = ["--recovery", str(recovery)] if recovery else []
    result = subprocess.run([os.environ["TARNOVELL_TOOL"], "split", str(source), "--size", str(cap), "--base", "DATA",
                             "--output-dir", str(work), "--stub", str(e.stub_path()), "--quiet", *extra],
                            capture_output=True, timeout=120)
    if result.returncode != 0:
        raise e.E2EError(f"tarnovell split failed: {result.stderr.decode(errors='replace')}")
    exe = work / "DATA.exe"
    with open(exe, "rb") as f:
        f.seek(HEADER_OFFSET)
        header = f.read(HEADER_SIZE)
    write_block(exe)
    with open(exe, "rb") as f:
        f.seek(HEADER_OFFSET)
        if f.read(HEADER_SIZE) != header:
            raise e.E2EError("the tool's digest block differs from the one its layout gives")
    return exe, data


def remove_block(container):
    with open(container, "r+b") as f:
        f.seek(HEADER_OFFSET + _header_byte(0))
        f.write(b"\0" * len(MAGIC))


def fill_randomly(container, seed=7):
    """Random bytes after the text of every header record, as some splitters leave them."""
    rng = random.Random(seed)
    with open(container, "r+b") as f:
        f.seek(HEADER_OFFSET)
        header = bytearray(f.read(HEADER_SIZE))
        for at in range(HEADER_SIZE):
            if at % RECORD_SIZE > header[at - at % RECORD_SIZE]:
                header[at] = rng.randrange(256)
        f.seek(HEADER_OFFSET)
        f.write(header)


def flip_bit(path, offset, bit=3):
    with open(path, "r+b") as f:
        f.seek(offset)
        byte = f.read(1)[0]
        f.seek(offset)
        f.write(bytes([byte ^ (1 << bit)]))


def box_text(names):
    """The warning box's text as the relay log shows it."""
    return e.relay_text("Повреждены части набора:\r\n" + names)


def rebuilt_box_text(names):
    """The text of the box that names the pieces rebuilt from recovery files, as the relay log
    shows it."""
    return e.relay_text("Восстановлены части набора:\r\n" + names)


def header_times(container):
    """(last-access, last-write) of the joined file as the container's header gives them, in
    Unix seconds (records 5 to 8: the low and high words of each FILETIME, as integer text)."""
    with open(container, "rb") as f:
        f.seek(HEADER_OFFSET)
        header = f.read(HEADER_SIZE)
    texts = [header[r * RECORD_SIZE + 1:r * RECORD_SIZE + 1 + header[r * RECORD_SIZE]] for r in range(RECORDS)]
    def unix(low, high):
        return ((int(texts[high]) << 32 | int(texts[low])) - e.FILETIME_UNIX_EPOCH) // 10 ** 7
    return unix(4, 5), unix(6, 7)


def box_call(proc):
    """Waits for the stub's one message box and returns its arguments as e.message_box_call
    gives them: (owner, text, cut, caption, style)."""
    e.wait_until(lambda: e.relay_calls(proc, "user32.MessageBoxW"), timeout=60, what="the warning box")
    calls = e.relay_calls(proc, "user32.MessageBoxW")
    assert len(calls) == 1, calls
    return e.message_box_call(calls[0])


def answer_box(timeout=30):
    """Waits for the message box to be drawn, then clicks its OK button: the one button, centred
    at the bottom of the box (keys are no way here: the box does not take the keyboard focus on
    a screen without a window manager)."""
    box = e.wait_until(e.message_boxes, timeout, what="the box on screen")[0]
    geometry = e.window_geometry(box)
    def drawn():
        shot = e.screenshot()
        return any(shot.client_pixel(geometry, x, y) == (0, 0, 0)
                   for y in range(0, geometry[3], 2) for x in range(0, geometry[2], 2))
    e.wait_until(drawn, timeout, interval=0.3, what="the box drawn")
    e.click(box, geometry[2] // 2, geometry[3] - 22)
    e.wait_until(lambda: not e.message_boxes(), timeout, what="the box answered")


# ---------------------------------------------------------------- sets with recovery files

# A set of six files (the container and DATA.c001 to DATA.c005, the last one short) with two
# recovery files: pieces of a few stripes each, sizes that are no round numbers. Every file but
# the last holds REPAIR_PIECE bytes of data: what leaves each recovery file within REPAIR_CAP.
REPAIR_CAP = 3 * 1024 * 1024 + 7
REPAIR_PIECE = 3113627
REPAIR_SIZE = (REPAIR_CAP - e.PAYLOAD_OFFSET) + 4 * REPAIR_CAP + 1234567
REPAIR_ROWS = 2
# The joined file's last-write time, 2021-03-04 05:06:07 UTC, far from the time of any run.
REPAIR_LAST_WRITE = 1614834367


def repair_set(work, seed=1):
    """The six-file set with its two recovery files (DATA.r01, DATA.r02) in work. Returns the
    container and the bytes."""
    made = tool_set(work, REPAIR_SIZE, REPAIR_CAP, seed=seed, recovery=REPAIR_ROWS, last_write=REPAIR_LAST_WRITE)
    if (work / "DATA.c001").stat().st_size != REPAIR_PIECE or (work / "DATA.c006").exists():
        raise e.E2EError("the set is not cut as REPAIR_PIECE says")
    return made


def piece_start(n):
    """Where piece n's payload begins in the joined file of a repair_set."""
    return n * REPAIR_PIECE


def piece_file_offset(n):
    """Where a piece's payload begins in its own file (after the stub and header in the container)."""
    return e.PAYLOAD_OFFSET if n == 0 else 0


def damage(work, data, n, at):
    """Flips one bit at payload byte at of piece n of a repair_set in work; returns data with the
    same bit flipped (what a join that copies the piece gives)."""
    name = "DATA.exe" if n == 0 else f"DATA.c{n:03d}"
    flip_bit(work / name, piece_file_offset(n) + at)
    damaged = bytearray(data)
    damaged[piece_start(n) + at] ^= 1 << 3
    return bytes(damaged)


def set_files(work):
    """{name: bytes} of every file of the set in work (the join must change none of them)."""
    return {path.name: path.read_bytes() for path in sorted(work.glob("DATA.*"))
            if re.fullmatch(r"DATA\.(exe|c\d+|r\d+)", path.name)}


def start_join(exe, out):
    """j.start_join with the relay log, the main window's geometry taken before the button is
    pressed: the X window Wine gives the main window may be made anew while dialogs come and go,
    so the window itself is looked up again wherever it is needed (main_window). Returns (proc,
    geometry); the fixed place of the window makes the geometry hold for the whole run."""
    proc, win = j.start(exe, relay=True)
    geometry = e.window_geometry(win)
    j.press_start(win)
    j.save_as(proc, out)
    return proc, geometry


def main_window(proc):
    """The main window as it is now (see start_join)."""
    return e.wait_window(r"^Tarnovell! - ", proc=proc)
