#!/usr/bin/env python3
"""Reads the X display the tests run on (the Wine desktop).

Usage: screen_pixels.py <output file> <x> <y> [<x> <y> ...]
       screen_pixels.py --png <output file>
The first form writes one line per point to the output file: the colour as
RRGGBB in hex, or "none" when it could not be read. The second saves the whole
screen as a PNG, for looking at a failed test. Started by the Windows tests
through Wine, which cannot read what another process has drawn.
"""
import ctypes
import os
import struct
import sys
import zlib


def open_x11():
    x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XDisplayWidth.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XGetImage.restype = ctypes.c_void_p
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x11.XGetPixel.restype = ctypes.c_ulong
    x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
    return x11


def write_atomically(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as out:
        out.write(data)
    os.replace(tmp, path)


def pixels(x11, display, out_path, coordinates):
    points = [(int(coordinates[i]), int(coordinates[i + 1]))
              for i in range(0, len(coordinates) - 1, 2)]
    lines = []
    root = x11.XDefaultRootWindow(display) if display else 0
    for x, y in points:
        image = x11.XGetImage(display, root, x, y, 1, 1, 0xFFFFFFFF, 2) if display else None
        lines.append("%06X" % (x11.XGetPixel(image, 0, 0) & 0xFFFFFF) if image else "none")
    write_atomically(out_path, ("\n".join(lines) + "\n").encode())


def png(x11, display, out_path):
    width = x11.XDisplayWidth(display, 0)
    height = x11.XDisplayHeight(display, 0)
    image = x11.XGetImage(display, x11.XDefaultRootWindow(display), 0, 0, width, height,
                          0xFFFFFFFF, 2)
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            p = x11.XGetPixel(image, x, y)
            raw += bytes(((p >> 16) & 255, (p >> 8) & 255, p & 255))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    write_atomically(out_path, b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                     chunk(b"IDAT", zlib.compress(bytes(raw))) + chunk(b"IEND", b""))


def main():
    x11 = open_x11()
    display = x11.XOpenDisplay(None)
    if sys.argv[1] == "--png":
        if display:
            png(x11, display, sys.argv[2])
    else:
        pixels(x11, display, sys.argv[1], sys.argv[2:])


if __name__ == "__main__":
    main()
