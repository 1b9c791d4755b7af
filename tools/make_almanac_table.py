#!/usr/bin/python3
"""Writes src/almanac/almanac_table.cpp: the lunar months, the 24 solar terms and the official holidays.

Inputs (named again in the file it writes):
- the ephemeris of python3-ephem (Debian): new moons and the sun's apparent longitude, in Beijing
  time (UTC+8), for 1900-11 .. 2101-02;
- the Hong Kong Observatory's tables as python3-lunardate (Debian) carries them, 1900 .. 2099;
- the State Council's holidays as the npm packages chinese-days (the data) and lunar-javascript
  (the check) carry them, read through node from NPM_DIR (default build/almanac-npm, where
  `QUILL_GENERATORS=1 scripts/setup` installs them).

Rules:
- Lunar months follow GB/T 33661-2017: a day runs 00:00-24:00 Beijing time; a month starts on the day
  of the new moon; the month holding the winter solstice is the eleventh; from one eleventh month to
  the next, when there are thirteen months, the first without a principal term (中气) is the leap
  month and repeats the number of the month before it.
- The published calendar decides the past: where the ephemeris and the Observatory differ in a year
  up to PUBLISHED_UNTIL, the Observatory's month is kept; from the year after, the rule with the
  ephemeris decides. Every such difference is written into the generated file's comment.
- A solar term falls on the Beijing day its longitude is reached (小寒 = 285 degrees, then every 15).
- Holidays, 2007 on: a day both packages mark alike is kept; a day only one marks is kept when it is a
  weekend day (a make-up day always is one, and a weekend inside a holiday rests either way) and left
  out when it is a weekday; a day they mark differently is left out. Each is listed.

Run with no arguments when an input changes; the output is committed. It prints its run time.
"""
import datetime
import json
import math
import os
import subprocess
import sys
import time

import ephem
import lunardate

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, 'src', 'almanac', 'almanac_table.cpp')
NPM_DIR = os.environ.get('NPM_DIR', os.path.join(ROOT, 'build', 'almanac-npm'))
FIRST_YEAR, LAST_YEAR = 1901, 2100
PUBLISHED_UNTIL = 2026
EPOCH = datetime.date(1970, 1, 1)
EPHEM_1970 = float(ephem.Date('1970/1/1'))
TERM_NAMES = ['小寒', '大寒', '立春', '雨水', '惊蛰', '春分', '清明', '谷雨', '立夏', '小满', '芒种', '夏至',
              '小暑', '大暑', '立秋', '处暑', '白露', '秋分', '寒露', '霜降', '立冬', '小雪', '大雪', '冬至']
HOLIDAYS = ['', '元旦', '春节', '清明节', '劳动节', '端午节', '中秋节', '国庆节', '抗战胜利纪念日']


def day_number(d):
    return (d - EPOCH).days


def date_of(n):
    return EPOCH + datetime.timedelta(days=n)


def beijing_day(t):
    """Day number of an ephem time in Beijing, and its minutes from the nearest midnight."""
    local = float(t) - EPHEM_1970 + 8 / 24
    day = math.floor(local)
    minutes = (local - day) * 1440
    return day, min(minutes, 1440 - minutes)


def sun_longitude(t):
    sun = ephem.Sun(t)
    return math.degrees(float(ephem.Ecliptic(ephem.Equatorial(sun.g_ra, sun.g_dec, epoch=t), epoch=t).lon))


def term_time(year, index):
    """The instant (ephem) the sun reaches term index of a Gregorian year."""
    target = (285 + 15 * index) % 360
    # A term's mean date: 小寒 about 6 January, then every 15.22 days.
    guess = float(ephem.Date(f'{year}/1/6')) + index * 15.2184
    lo, hi = guess - 4, guess + 4

    def ahead(t):
        return (sun_longitude(t) - target + 540) % 360 - 180

    for _ in range(40):
        mid = (lo + hi) / 2
        if ahead(mid) < 0:
            lo = mid
        else:
            hi = mid
    return ephem.Date((lo + hi) / 2)


def terms():
    """{(year, index): (beijing day, minutes from midnight)} for 1900 .. 2101."""
    out = {}
    for year in range(FIRST_YEAR - 1, LAST_YEAR + 2):
        for index in range(24):
            out[(year, index)] = beijing_day(term_time(year, index))
    return out


def new_moons():
    out = []
    t = ephem.Date('1900/10/1')
    end = ephem.Date('2101/6/1')
    while t < end:
        t = ephem.next_new_moon(t)
        out.append(beijing_day(t))
        t = ephem.Date(t + 1)
    return out


def rule_months(moons, term_days):
    """[(start day, month, leap)] under GB/T 33661, from the eleventh month of 1900 on."""
    starts = [day for day, _ in moons]
    principal = sorted(term_days[(y, i)][0] for (y, i) in term_days if i % 2 == 1)
    solstices = sorted(term_days[(y, 23)][0] for y in range(FIRST_YEAR - 1, LAST_YEAR + 2))

    def month_holding(day):
        return max(i for i, s in enumerate(starts) if s <= day)

    def has_principal(i):
        return any(starts[i] <= p < starts[i + 1] for p in principal)

    months = []
    for a, b in zip(solstices, solstices[1:]):
        first, last = month_holding(a), month_holding(b)
        count = last - first
        leap_at = None
        if count == 13:
            leap_at = next(i for i in range(first + 1, last) if not has_principal(i))
        number = 11
        for i in range(first, last):
            if i == leap_at:
                months.append((starts[i], number, True))
                continue
            if i != first:
                number = number % 12 + 1
            months.append((starts[i], number, False))
    return months


def hko_months():
    """[(start day, month, leap)] from the Observatory's tables, 1900 .. 2099."""
    out = []
    day = day_number(datetime.date(1900, 1, 31))
    end = day_number(datetime.date(2100, 1, 1))
    last = None
    while day < end:
        lunar = lunardate.LunarDate.fromSolarDate(*date_of(day).timetuple()[:3])
        key = (lunar.year, lunar.month, bool(lunar.isLeapMonth))
        if key != last:
            out.append((day, lunar.month, bool(lunar.isLeapMonth)))
            last = key
        day += 1
    return out


def years_of(months):
    """{lunar year: [(start, month, leap, days)]}, years counted from each 正月."""
    years = {}
    year = None
    for (start, month, leap), (nxt, _, _) in zip(months, months[1:]):
        if month == 1 and not leap:
            year = date_of(start).year
        if year is not None:
            years.setdefault(year, []).append((start, month, leap, nxt - start))
    return years


def npm_holidays():
    script = r'''
const cd = require('chinese-days/dist/chinese-days.json');
const lj = require('lunar-javascript');
const out = {chinese_days: {}, lunar_javascript: {}};
for (const [kind, mark] of [['holidays', 'R'], ['workdays', 'W']])
  for (const [day, v] of Object.entries(cd[kind])) out.chinese_days[day] = [mark, v.split(',')[1]];
for (let y = 2001; y <= 2030; y++)
  for (const h of lj.HolidayUtil.getHolidays(y))
    out.lunar_javascript[h.getDay()] = [h.isWork() ? 'W' : 'R', h.getName(), h.getTarget()];
console.log(JSON.stringify(out));
'''
    text = subprocess.run(['node', '-e', script], cwd=NPM_DIR, capture_output=True, text=True, check=True).stdout
    return json.loads(text)


def npm_terms():
    """{(year, index): date} of the solar terms as lunar-javascript computes them (its own ephemeris)."""
    script = r'''
const {Solar} = require('lunar-javascript');
const pinyin = {DONG_ZHI: '冬至', XIAO_HAN: '小寒', DA_HAN: '大寒', LI_CHUN: '立春', YU_SHUI: '雨水',
                JING_ZHE: '惊蛰', DA_XUE: '大雪'};
const out = {};
for (let y = 1900; y <= 2101; y++) {
  const table = Solar.fromYmd(y, 7, 1).getLunar().getJieQiTable();
  for (const [name, solar] of Object.entries(table)) out[solar.toYmd()] = pinyin[name] || name;
}
console.log(JSON.stringify(out));
'''
    text = subprocess.run(['node', '-e', script], cwd=NPM_DIR, capture_output=True, text=True, check=True).stdout
    out = {}
    for day, name in json.loads(text).items():
        d = datetime.date.fromisoformat(day)
        out[(d.year, TERM_NAMES.index(name))] = d
    return out


def holiday_index(name):
    for key, index in [('元旦', 1), ('春节', 2), ('清明', 3), ('劳动', 4), ('端午', 5), ('中秋', 6), ('国庆', 7),
                       ('抗', 8)]:
        if key in name:
            return index
    raise SystemExit(f'a holiday the table has no name for: {name}')


def main():
    started = time.time()
    term_days = terms()
    moons = new_moons()
    rule = years_of(rule_months(moons, term_days))
    hko = years_of(hko_months())
    notes = []

    # The lunar years: the Observatory for the published past, the rule for the future; each
    # difference listed with the new moon that makes it.
    moon_margin = {day: minutes for day, minutes in moons}
    table = {}
    for year in range(FIRST_YEAR, LAST_YEAR + 1):
        mine = rule[year]
        theirs = hko.get(year)
        if theirs is not None and year == LAST_YEAR - 1:
            # The Observatory's table stops on 2099-12-31, inside this year's eleventh month.
            theirs = theirs[:-1]
            if theirs == mine[:len(theirs)]:
                theirs = mine
        if theirs is not None and theirs != mine:
            pick = theirs if year <= PUBLISHED_UNTIL else mine
            for a, b in zip(mine, theirs):
                if a[0] != b[0]:
                    minutes = min(moon_margin.get(a[0], 1e9), moon_margin.get(b[0], 1e9))
                    notes.append(f'{year}: {"leap " if a[2] else ""}month {a[1]} starts {date_of(a[0])} by the '
                                 f'ephemeris (new moon {minutes:.0f} min from a midnight), {date_of(b[0])} in the '
                                 f'Observatory\'s table; kept: '
                                 f'{"the Observatory (published)" if pick is theirs else "the ephemeris (rule)"}')
            if len(mine) != len(theirs) or [m[1:3] for m in mine] != [m[1:3] for m in theirs]:
                notes.append(f'{year}: the months are numbered differently; kept: '
                             f'{"the Observatory" if pick is theirs else "the ephemeris"}')
            table[year] = pick
        else:
            table[year] = mine
        if theirs is None:
            notes.append(f'{year}: beyond the Observatory\'s table; from the ephemeris alone')

    # Solar terms: two bits per term over its earliest day of month in the years.
    base = [min(date_of(term_days[(y, i)][0]).day for y in range(FIRST_YEAR, LAST_YEAR + 1)) for i in range(24)]
    term_bytes = []
    close_terms = []
    for year in range(FIRST_YEAR, LAST_YEAR + 1):
        bits = 0
        for i in range(24):
            day, minutes = term_days[(year, i)]
            d = date_of(day)
            assert d.year == year and d.month == i // 2 + 1, (year, i, d)
            offset = d.day - base[i]
            assert 0 <= offset < 4, (year, i, d)
            bits |= offset << (2 * i)
            if minutes < 10:
                close_terms.append(f'{d} {TERM_NAMES[i]} within {minutes:.1f} min of midnight')
        term_bytes.extend(bits.to_bytes(6, 'little'))

    # The second source for the terms: every day lunar-javascript puts a term on another day.
    second = npm_terms()
    term_notes = []
    for year in range(FIRST_YEAR, LAST_YEAR + 1):
        for i in range(24):
            day, minutes = term_days[(year, i)]
            theirs = second.get((year, i))
            if theirs != date_of(day):
                term_notes.append(f'{date_of(day)} {TERM_NAMES[i]}: lunar-javascript {theirs}; the ephemeris puts it '
                                  f'{minutes:.1f} min from midnight; kept: the ephemeris')

    # Lunar years: bits 0-12 one per month in order (1 = 30 days), 13-16 the leap month, 17-22 the
    # day of 正月初一 counted from 1 January.
    year_words = []
    for year in range(FIRST_YEAR, LAST_YEAR + 1):
        months = table[year]
        assert date_of(months[0][0]).year == year and months[0][1] == 1
        leap = next((m[1] for m in months if m[2]), 0)
        word = 0
        for i, (_, _, _, days) in enumerate(months):
            assert days in (29, 30)
            word |= (days == 30) << i
        word |= leap << 13
        word |= (months[0][0] - day_number(datetime.date(year, 1, 1))) << 17
        year_words.append(word)
    # The last lunar year must run past 2100-12-31.
    assert table[LAST_YEAR][-1][0] + table[LAST_YEAR][-1][3] > day_number(datetime.date(2100, 12, 31))

    hol = npm_holidays()
    cd, lj = hol['chinese_days'], hol['lunar_javascript']
    entries = []
    holiday_notes = []
    first_holiday_year = 2007
    for day in sorted(set(cd) | set(lj)):
        if int(day[:4]) < first_holiday_year:
            continue
        a, b = cd.get(day), lj.get(day)
        weekend = datetime.date.fromisoformat(day).weekday() >= 5
        if a and b and a[0] == b[0]:
            entries.append((day, a[0], holiday_index(a[1])))
        elif a and b:
            holiday_notes.append(f'{day}: chinese-days {a[0]} {a[1]}, lunar-javascript {b[0]} {b[1]}; left out')
        else:
            source, mark = ('chinese-days', a) if a else ('lunar-javascript', b)
            if weekend:
                # A make-up day is a weekend day by definition, and a weekend day inside a holiday
                # rests either way: one source's word is enough for either.
                holiday_notes.append(f'{day}: {mark[0]} {mark[1]} in {source} only, a weekend day; kept')
                entries.append((day, mark[0], holiday_index(mark[1])))
            else:
                holiday_notes.append(f'{day}: {mark[0]} {mark[1]} in {source} only, a weekday; left out')
    last_holiday_year = max(int(d[:4]) for d, _, _ in entries)

    out = []
    out.append('// Generated by tools/make_almanac_table.py; do not edit. The lunar months, the 24 solar terms and')
    out.append('// the official holidays behind src/almanac/lunar.cpp and src/almanac/holidays.cpp.')
    out.append('//')
    out.append('// Sources: python3-ephem %s (new moons, the sun\'s apparent longitude, Beijing time), the Hong Kong'
               % ephem.__version__)
    out.append('// Observatory\'s tables as python3-lunardate carries them, npm chinese-days and lunar-javascript.')
    out.append(f'// The Observatory decides the years up to {PUBLISHED_UNTIL} (published), the GB/T 33661-2017 rule')
    out.append('// with the ephemeris the years after. Where they differ:')
    for line in notes or ['none']:
        out.append('//   ' + line)
    out.append('// Solar terms where lunar-javascript (a second ephemeris) names another day:')
    for line in term_notes or ['none']:
        out.append('//   ' + line)
    out.append('// Solar terms within ten minutes of midnight (another ephemeris may put them a day apart):')
    for line in close_terms or ['none']:
        out.append('//   ' + line)
    out.append('// Holidays: where chinese-days and lunar-javascript differ:')
    for line in holiday_notes or ['none']:
        out.append('//   ' + line)
    out.append('#include "almanac/almanac_table.h"')
    out.append('')
    out.append('namespace almanac::table {')
    out.append('')
    out.append(f'static_assert(kFirstYear == {FIRST_YEAR} && kLastYear == {LAST_YEAR});')
    out.append('')
    out.append('const std::uint32_t kLunarYears[kYears] = {')
    for i in range(0, len(year_words), 8):
        out.append('    ' + ', '.join(f'0x{w:06x}' for w in year_words[i:i + 8]) + ',')
    out.append('};')
    out.append('')
    out.append('const std::uint8_t kTermBase[24] = {' + ', '.join(str(b) for b in base) + '};')
    out.append('')
    out.append('const std::uint8_t kTerms[kYears * 6] = {')
    for i in range(0, len(term_bytes), 18):
        out.append('    ' + ', '.join(f'0x{b:02x}' for b in term_bytes[i:i + 18]) + ',')
    out.append('};')
    out.append('')
    out.append(f'const int kFirstHolidayYear = {first_holiday_year}, kLastHolidayYear = {last_holiday_year};')
    out.append('')
    out.append('// Day (from 1970-01-01), R(est) or W(ork), holiday.')
    out.append(f'const HolidayRow kHolidays[{len(entries)}] = {{')
    for day, mark, index in entries:
        n = day_number(datetime.date.fromisoformat(day))
        out.append(f'    {{{n}, \'{mark}\', {index}}}, // {day} {HOLIDAYS[index]}')
    out.append('};')
    out.append(f'const int kHolidayCount = {len(entries)};')
    out.append('')
    out.append('} // namespace almanac::table')
    with open(OUT, 'w', encoding='utf-8', newline='\n') as f:
        f.write('\n'.join(out) + '\n')
    print(f'wrote {OUT}: {len(notes)} lunar notes, {len(term_notes)} term differences, {len(close_terms)} close terms, '
          f'{len(holiday_notes)} holiday notes, {len(entries)} holiday days; '
          f'{time.time() - started:.1f} s', file=sys.stderr)


if __name__ == '__main__':
    main()
