#!/usr/bin/env python3
"""Writes src/text/gb18030_table.cpp, the tables behind the notes' text encoding (src/text/gb18030.cpp).

Inputs:
- tools/data/cp936_encoder.txt, committed: what the system's code page 936 encodes, as Wine 8's
  WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS) gives it (Windows agrees), one line per BMP code
  point it encodes without the default character: "hexcodepoint byte [byte]". ASCII is left out.
  It cannot be re-created here without a Windows program under Wine, so it is kept as data; a new
  dump only has to keep that format.
- Python's own gb18030 codec: the four-byte ranges and the two-byte codes where GB18030 has a real
  character and code page 936 only a private-use one.

Rules the tables carry, checked below before anything is written:
- Every two-byte code decodes as code page 936 does, except the codes whose code page 936 character
  is private-use and whose GB18030 character is a real one: those decode to the real character, so
  it round-trips at the bytes the notes of other programs use. The private-use character loses its
  two-byte code and takes its GB18030 four-byte one.
- 0xFF stays outside the text: code page 936 maps U+F8F5 to it, but the settings file uses 0xFF as
  its key and a lone 0xFF reads as damaged, so U+F8F5 also takes its four-byte code.
- Every BMP character not written in one or two bytes lies in one of the four-byte ranges.

The output is committed; run this (no arguments) only when the inputs change.
"""
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DUMP = os.path.join(ROOT, 'tools', 'data', 'cp936_encoder.txt')
OUT = os.path.join(ROOT, 'src', 'text', 'gb18030_table.cpp')

LEADS = range(0x81, 0xFF)
TRAIL_FIRST, TRAIL_LAST = 0x40, 0xFE
TRAILS = TRAIL_LAST - TRAIL_FIRST + 1  # 0x7F included, always invalid, so indexing stays one subtraction
BMP_FOUR_BYTE_CODES = 39420


def pointer(four):
    return ((four[0] - 0x81) * 10 + (four[1] - 0x30)) * 1260 + (four[2] - 0x81) * 10 + (four[3] - 0x30)


def read_dump():
    single, double = {}, {}
    with open(DUMP, encoding='ascii') as f:
        for line in f:
            fields = line.split()
            cp, code = int(fields[0], 16), bytes(int(x, 16) for x in fields[1:])
            (single if len(code) == 1 else double)[cp] = code
    return single, double


def two_byte_table(single, double):
    decode = {}
    for cp, code in double.items():
        if code in decode:
            sys.exit('cp936 dump: %s is encoded twice' % code.hex())
        decode[code] = cp
    every = [bytes([l, t]) for l in LEADS for t in range(TRAIL_FIRST, TRAIL_LAST + 1) if t != 0x7F]
    if set(decode) != set(every):
        sys.exit('cp936 dump: the two-byte codes are not exactly 81-FE x 40-7E,80-FE')
    gaps = []
    for code in every:
        ours = decode[code]
        theirs = ord(code.decode('gb18030'))
        if ours != theirs and 0xE000 <= ours <= 0xF8FF and not 0xE000 <= theirs <= 0xF8FF \
                and theirs not in double and theirs not in single:
            decode[code] = theirs
            gaps.append((code, theirs))
    return decode, gaps


def four_byte_ranges():
    ranges, last = [], None
    for cp in range(0x80, 0x10000):
        if 0xD800 <= cp <= 0xDFFF:
            continue
        code = chr(cp).encode('gb18030')
        if len(code) != 4:
            continue
        p = pointer(code)
        if not (last and p == last[0] + 1 and cp == last[1] + 1):
            ranges.append((p, cp))
        last = (p, cp)
    if last != (BMP_FOUR_BYTE_CODES - 1, 0xFFFF) or ranges[0] != (0, 0x80):
        sys.exit('gb18030 codec: the four-byte BMP codes do not run from 0 (U+0080) to 39419 (U+FFFF)')
    return ranges


def check(decode, ranges, single):
    """Encodes every BMP character the way gb18030.cpp does and decodes it back."""
    encode = {cp: code for code, cp in decode.items()}
    if len(encode) != len(decode):
        sys.exit('two codes decode to one character, so one of them would not come back')
    if single != {0x20AC: b'\x80', 0xF8F5: b'\xff'}:
        sys.exit('cp936 dump: unexpected single bytes %r' % single)
    for cp in range(0x80, 0x10000):
        if 0xD800 <= cp <= 0xDFFF or cp == 0x20AC or cp in encode:
            continue
        code = chr(cp).encode('gb18030')
        if len(code) != 4:
            sys.exit('U+%04X has neither a two-byte code of ours nor a four-byte one' % cp)
        start = max(r for r in ranges if r[1] <= cp)
        if start[0] + cp - start[1] != pointer(code):
            sys.exit('U+%04X falls outside its four-byte range' % cp)


def write(decode, ranges, gaps):
    # Laid out as clang-format lays them out at 110 columns, so the committed file stays formatted.
    values = ['0x%04X,' % decode.get(bytes([lead, t]), 0) for lead in LEADS
              for t in range(TRAIL_FIRST, TRAIL_LAST + 1)]
    rows = ['    ' + ' '.join(values[i:i + 13]) for i in range(0, len(values), 13)]
    starts = ['{%d, 0x%04X},' % r for r in ranges]
    width = max(len(x) for x in starts)
    range_rows = ['    ' + ' '.join(x.ljust(width) for x in starts[i:i + 6]).rstrip()
                  for i in range(0, len(starts), 6)]
    gap_note = ', '.join('%s U+%04X' % (c.hex().upper(), cp) for c, cp in gaps[:3])
    text = f"""// The tables of the notes' text encoding. Generated by tools/make_gb18030_table.py from code page 936
// as the system defines it (tools/data/cp936_encoder.txt) and the GB18030 ranges; edit the generator.
#include "text/gb18030_table.h"

namespace gb18030_table {{

// Two-byte codes: code page 936, except {len(gaps)} private-use characters that yield their codes to
// the real characters GB18030 puts there ({gap_note}, ...).
// 0 where the trail byte is not one.
const std::uint16_t kTwoByte[kLeadCount * kTrailCount] = {{
{chr(10).join(rows)}
}};

// Where each run of the four-byte BMP codes starts, in code order and in character order alike.
const FourByteRange kFourByteRanges[kFourByteRangeCount] = {{
{chr(10).join(range_rows)}
}};

}} // namespace gb18030_table
"""
    with open(OUT, 'w', encoding='utf-8', newline='\n') as f:
        f.write(text)
    return len(ranges)


def main():
    single, double = read_dump()
    decode, gaps = two_byte_table(single, double)
    ranges = four_byte_ranges()
    check(decode, ranges, single)
    count = write(decode, ranges, gaps)
    print('%s: %d two-byte codes (%d taken by GB18030), %d four-byte ranges' %
          (os.path.relpath(OUT, ROOT), len(decode), len(gaps), count))


if __name__ == '__main__':
    main()
