#!/usr/bin/env python3
"""Writes tests/data/qlw_every_field_distinct.bin, a settings file ("qlw.ini") whose fields all hold
different, non-zero values, so that a field read or written at another field's place shows.

The bytes are laid out here from the file's format, not by the program: seven little-endian int32
(colour scheme, corner style, corner radius, gradient, clock format, x, y), the font's height (int32),
italic and underline (one byte each), weight (int32), then two counted strings: the face name with
every byte shifted by the file's key (0xFF subtracted, modulo 256) and the custom clock pattern.
A count below 0xFF is one byte. tests/unit/settings_file_test.cpp holds the same values as a record.

The output is committed; run this (no arguments) only to change the sample.
"""
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, 'tests', 'data', 'qlw_every_field_distinct.bin')
KEY = 0xFF

INT_FIELDS = [
    ('colour scheme', 4),
    ('corner style', 1),
    ('corner radius', 9),
    ('gradient', 2),
    ('clock format', 45),
    ('x', 321),
    ('y', -57),
    ('font height', -19),
]
ITALIC, UNDERLINE = 1, 2
WEIGHT = 700
FACE = b'SimHei'
PATTERN = b'%Y-%m-%d'


def counted(data):
    assert len(data) < 0xFF
    return bytes([len(data)]) + data


def main():
    ints = [value for _, value in INT_FIELDS] + [WEIGHT]
    assert len(set(ints)) == len(ints) and 0 not in ints, 'every int32 field distinct and non-zero'
    assert ITALIC != UNDERLINE and 0 not in (ITALIC, UNDERLINE)
    assert FACE != PATTERN and FACE and PATTERN
    out = b''.join(struct.pack('<i', value) for _, value in INT_FIELDS)
    out += bytes([ITALIC, UNDERLINE])
    out += struct.pack('<i', WEIGHT)
    out += counted(bytes((b - KEY) % 256 for b in FACE))
    out += counted(PATTERN)
    with open(OUT, 'wb') as f:
        f.write(out)
    print('%s: %d bytes' % (os.path.relpath(OUT, ROOT), len(out)))


if __name__ == '__main__':
    main()
