#!/usr/bin/env python3
"""Clears the two compile-time stamps chmcmd writes into a help file, so that the same sources give
the same Help.chm whenever they are compiled (the release is reproducible):
  - the ITSF header's time stamp, 4 bytes at offset 16;
  - entry 10 of the #SYSTEM file (code 10, length 4), which chmcmd writes after its "Compiled by" entry.
Neither is read by a viewer for anything but display.

    chm_stamp.py Help.chm"""
import sys

HEADER_STAMP = 16
SYSTEM_STAMP_ENTRY = b"\x0a\x00\x04\x00"


def clear(data):
    if data[:4] != b"ITSF":
        sys.exit("chm_stamp: not a compiled help file")
    data[HEADER_STAMP:HEADER_STAMP + 4] = bytes(4)
    compiled_by = data.find(b"Compiled by ")
    entry = data.find(SYSTEM_STAMP_ENTRY, compiled_by) if compiled_by >= 0 else -1
    if entry < 0:
        sys.exit("chm_stamp: no time stamp entry after \"Compiled by\" in #SYSTEM")
    start = entry + len(SYSTEM_STAMP_ENTRY)
    data[start:start + 4] = bytes(4)
    return data


def main(argv):
    if len(argv) != 2:
        sys.exit("usage: chm_stamp.py Help.chm")
    with open(argv[1], "rb") as f:
        data = bytearray(f.read())
    with open(argv[1], "wb") as f:
        f.write(clear(data))


if __name__ == "__main__":
    main(sys.argv)
