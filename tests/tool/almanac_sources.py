#!/usr/bin/python3
"""Checks the almanac's table, day by day, against its sources and against ICU.

- The Hong Kong Observatory (python3-lunardate), 1901-02-19 .. 2099-12-31: no day may differ.
- The ephemeris (python3-ephem) under GB/T 33661-2017, recomputed here with the generator's own
  code: every solar term must agree; lunar days may differ only in the published months listed in
  EPHEMERIS_KEEPS (the published calendar decides the past).
- ICU's Chinese calendar (python3-icu): every day it differs on must lie in a month listed in
  icu_differences.txt beside this script, and every month listed there must still differ, so the
  list stays the whole truth.

Usage: almanac_sources.py DUMP_PROGRAM   (the program prints the table's days, almanac_dump.cpp)
"""
import datetime
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'tools'))

import icu  # noqa: E402
import lunardate  # noqa: E402

import make_almanac_table as gen  # noqa: E402

# Months where the published calendar (kept) and today's ephemeris part, by the day the
# ephemeris starts the month: (year, month) of the lunar month.
EPHEMERIS_KEEPS = {(1914, 10), (1916, 1), (1920, 10), (1933, 6), (1954, 11), (1956, 11), (1978, 8),
                   (1915, 12), (1919, 9), (1920, 9), (1933, 5), (1954, 10), (1956, 10), (1978, 7)}


def main(argv):
    rows = {}
    for line in subprocess.run([argv[1]], capture_output=True, text=True, check=True).stdout.splitlines():
        day, *values = line.split()
        rows[day] = tuple(int(v) for v in values)
    problems = []

    # The Observatory.
    for day, (year, month, leap, mday, _) in rows.items():
        d = datetime.date.fromisoformat(day)
        if day < '1901-02-19' or d.year > 2099:
            continue
        h = lunardate.LunarDate.fromSolarDate(d.year, d.month, d.day)
        if (h.year, h.month, bool(h.isLeapMonth), h.day) != (year, month, bool(leap), mday):
            problems.append(f'{day}: table {year}-{month}{"L" if leap else ""}-{mday}, Observatory '
                            f'{h.year}-{h.month}{"L" if h.isLeapMonth else ""}-{h.day}')

    # The ephemeris.
    term_days = gen.terms()
    for (year, index), (n, _) in term_days.items():
        if gen.FIRST_YEAR <= year <= gen.LAST_YEAR:
            day = gen.date_of(n).isoformat()
            if rows[day][4] != index:
                problems.append(f'{day}: the ephemeris has term {index}, the table {rows[day][4]}')
    months = gen.rule_months(gen.new_moons(), term_days)
    for (start, month, leap), (nxt, _, _) in zip(months, months[1:]):
        for n in range(start, nxt):
            day = gen.date_of(n).isoformat()
            if day not in rows or rows[day][0] == 0:
                continue
            year, tmonth, tleap, tday, _ = rows[day]
            if (tmonth, bool(tleap), tday) != (month, leap, n - start + 1) and (year, tmonth) not in EPHEMERIS_KEEPS:
                problems.append(f'{day}: table {tmonth}{"L" if tleap else ""}-{tday}, ephemeris '
                                f'{month}{"L" if leap else ""}-{n - start + 1}')

    # ICU, at noon Beijing time of each day.
    listed = set()
    with open(os.path.join(HERE, 'icu_differences.txt'), encoding='utf-8') as f:
        for line in f:
            line = line.split('#')[0].split()
            if line:
                listed.add(line[0])
    cal = icu.Calendar.createInstance(icu.TimeZone.createTimeZone('Asia/Shanghai'),
                                      icu.Locale('zh_CN@calendar=chinese'))
    F = icu.UCalendarDateFields
    seen = set()
    days_apart = 0
    for day, (year, month, leap, mday, _) in rows.items():
        if year == 0:
            continue
        d = datetime.date.fromisoformat(day)
        # PyICU takes seconds; 22 is UCAL_IS_LEAP_MONTH, which it names no constant for.
        cal.setTime(datetime.datetime(d.year, d.month, d.day, 4, tzinfo=datetime.timezone.utc).timestamp())
        theirs = (cal.get(F.MONTH) + 1, bool(cal.get(22)), cal.get(F.DATE))
        if theirs != (month, bool(leap), mday):
            days_apart += 1
            key = f'{year}-{month:02d}{"L" if leap else ""}'
            seen.add(key)
            if key not in listed:
                problems.append(f'{day}: ICU {theirs}, table {month}{"L" if leap else ""}-{mday}; month {key} '
                                'is not in icu_differences.txt')
    for key in sorted(listed - seen):
        problems.append(f'{key}: listed in icu_differences.txt, but ICU now agrees')

    for line in problems[:200]:
        print(line)
    print(f'{len(rows)} days; ICU differs on {days_apart} days in {len(seen)} months; '
          f'{len(problems)} problems')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
