#!/usr/bin/env python3
"""Writes the stub's icon (MAINICON, 32 x 32, 16 colours) and hand cursor (HAND, 32 x 32
monochrome, hot spot 10, 2) from the text art beside this script.

Usage: make_resources.py OUTPUT_DIR   -> OUTPUT_DIR/tarnovell.ico, OUTPUT_DIR/hand.cur
"""
import pathlib
import struct
import sys

HERE = pathlib.Path(__file__).resolve().parent
SIZE = 32
HAND_HOT_SPOT = (10, 2)

# The 16-colour palette of the icon (the usual VGA colours), and the art characters naming them.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
ICON_COLOURS = {"K": 0, "B": 4, "g": 7, "G": 8, "W": 15}


def read_art(name, alphabet):
    rows = [line.rstrip("\n") for line in (HERE / name).read_text().splitlines() if not line.startswith("#")]
    if len(rows) != SIZE or any(len(row) != SIZE for row in rows):
        sys.exit(f"{name}: the art must be {SIZE} rows of {SIZE} characters")
    unknown = {c for row in rows for c in row} - set(alphabet) - {"."}
    if unknown:
        sys.exit(f"{name}: unknown characters {sorted(unknown)}")
    return rows


def bitmap_header(bits_per_pixel, image_bytes):
    # BITMAPINFOHEADER of an icon image: the height counts the colour bits and the mask.
    return struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, bits_per_pixel, 0, image_bytes, 0, 0, 0, 0)


def bit_rows(rows, on):
    # One bit a pixel, 1 where the art has the character on; bottom row first, rows of 4 bytes.
    out = b""
    for row in reversed(rows):
        bits = 0
        for c in row:
            bits = (bits << 1) | (c == on)
        out += struct.pack(">I", bits)
    return out


def mask_rows(rows):
    # AND mask: 1 is transparent.
    return bit_rows(rows, ".")


def icon_image(rows):
    colour = b""
    for row in reversed(rows):
        indexes = [ICON_COLOURS.get(c, 0) for c in row]
        colour += bytes((indexes[i] << 4) | indexes[i + 1] for i in range(0, SIZE, 2))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    mask = mask_rows(rows)
    return bitmap_header(4, len(colour) + len(mask)) + palette + colour + mask


def cursor_image(rows):
    # XOR bits: 1 for white; with the AND mask 0 that is white, 0 is black; mask 1 is transparent.
    colour = bit_rows(rows, "o")
    palette = struct.pack("<BBBBBBBB", 0, 0, 0, 0, 255, 255, 255, 0)
    mask = mask_rows(rows)
    return bitmap_header(1, len(colour) + len(mask)) + palette + colour + mask


def main():
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    icon = icon_image(read_art("icon.txt", ICON_COLOURS))
    # ICONDIR (type 1: icon) and one entry: 32 x 32, 16 colours, 1 plane, 4 bits.
    (out / "tarnovell.ico").write_bytes(
        struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(icon), 22) + icon)
    hand_rows = read_art("hand.txt", "Xo")
    if hand_rows[HAND_HOT_SPOT[1]][HAND_HOT_SPOT[0]] == ".":
        sys.exit("hand.txt: the hot spot must lie on the hand")
    cursor = cursor_image(hand_rows)
    # ICONDIR (type 2: cursor) and one entry, whose two words are the hot spot.
    (out / "hand.cur").write_bytes(
        struct.pack("<HHH", 0, 2, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, *HAND_HOT_SPOT, len(cursor), 22)
        + cursor)


if __name__ == "__main__":
    main()
