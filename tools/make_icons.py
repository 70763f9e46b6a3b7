#!/usr/bin/env python3
"""Draws the two program icons (32x32, 32-bit) into res/.

program.ico: a hand-held terminal with a barcode window.
port_absent.ico: a plug with a red bar through it (COM port not present).
The .ico files are committed; run this again only to redraw them.
"""
import struct
import pathlib

SIZE = 32


def blank():
    return [[(0, 0, 0, 0) for _ in range(SIZE)] for _ in range(SIZE)]


def rect(img, x0, y0, x1, y1, colour):
    for y in range(y0, y1):
        for x in range(x0, x1):
            img[y][x] = colour


def terminal():
    img = blank()
    rect(img, 9, 2, 23, 30, (40, 40, 48, 255))        # body
    rect(img, 11, 4, 21, 13, (200, 230, 200, 255))    # screen
    for i, x in enumerate(range(12, 20)):               # barcode on the screen
        if i % 3 != 1:
            rect(img, x, 6, x + 1, 11, (20, 20, 20, 255))
    for row in range(3):                                # keypad
        for col in range(3):
            x = 11 + col * 4
            y = 16 + row * 4
            rect(img, x, y, x + 2, y + 2, (170, 170, 180, 255))
    rect(img, 13, 0, 19, 2, (220, 40, 40, 255))         # scan window
    return img


def absent_port():
    img = blank()
    rect(img, 6, 10, 26, 22, (90, 90, 110, 255))      # plug body
    for x in (9, 13, 17, 21):                           # pins
        rect(img, x, 14, x + 2, 18, (230, 200, 60, 255))
    for i in range(SIZE - 4):                           # red bar
        rect(img, 2 + i, 29 - i, 4 + i, 31 - i if 31 - i <= SIZE else SIZE, (210, 30, 30, 255))
    return img


def ico_bytes(img):
    xor = bytearray()
    for y in reversed(range(SIZE)):                     # bottom-up rows, BGRA
        for r, g, b, a in img[y]:
            xor += bytes((b, g, r, a))
    mask = bytes(SIZE * 4)                              # AND mask: 32 bits a row, all opaque
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    res = pathlib.Path(__file__).resolve().parent.parent / "res"
    (res / "program.ico").write_bytes(ico_bytes(terminal()))
    (res / "port_absent.ico").write_bytes(ico_bytes(absent_port()))
