#!/usr/bin/python3
"""The sync benchmark's data is what it claims to be: the diary reads back through the notes tool
as the same notes the curl floor's bodies carry, and every body is a calendar another client would
take (content lines of at most 75 octets, folded between characters, one VJOURNAL of that day).

    bench_data_test.py NOTES_TOOL WORK
"""

import datetime
import json
import os
import re
import subprocess
import sys

import icalendar

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "bench"))
import sync_bench_data  # noqa: E402

# Sizes that cross the note counts' one- and two-byte forms and every fold position of the text,
# and a hundred years, which must fit the years the diary's two-digit keys name. Bodies are read
# for the first CHECKED days of each.
SIZES = [1, 8, 300, 36500]
CHECKED = 300
PIVOT = str(datetime.date.today().year + 1)


def failures_for(tool, work, ndays):
    found = []
    folder = os.path.join(work, f"d{ndays}")
    os.makedirs(folder, exist_ok=True)
    sync_bench_data.diary(folder, ndays, bodies=ndays <= CHECKED)
    out = subprocess.run([tool, "export", os.path.join(folder, "nts.ini"), "--pivot", PIVOT, "-o", "-"],
                         capture_output=True, check=True).stdout
    notes = {n["date"].replace("-", ""): n["text"] for n in json.loads(out)["notes"]}
    days = sync_bench_data.days_of(folder)
    if sorted(notes) != days:
        differ = len(set(notes) ^ set(days))
        found.append(f"the tool reads {len(notes)} notes for {len(days)} days, {differ} dates not the same")
    for day in days if ndays <= CHECKED else []:
        with open(os.path.join(folder, "bodies", f"{day}.ics"), "rb") as f:
            raw = f.read()
        for line in raw.split(b"\r\n"):
            if len(line) > 75:
                found.append(f"{day}: a line of {len(line)} octets")
            line.decode("utf-8")  # a fold inside a character fails here
        journals = [c for c in icalendar.Calendar.from_ical(raw).walk() if c.name == "VJOURNAL"]
        if len(journals) != 1:
            found.append(f"{day}: {len(journals)} journals")
            continue
        j = journals[0]
        if j.decoded("DTSTART").strftime("%Y%m%d") != day:
            found.append(f"{day}: DTSTART {j.get('DTSTART').to_ical()!r}")
        if str(j.get("DESCRIPTION")) != notes.get(day):
            found.append(f"{day}: the body's text is not the diary's note")
        if not re.fullmatch(rf"floor-day-{day}", str(j.get("UID"))):
            found.append(f"{day}: UID {j.get('UID')}")
    return found


def main():
    tool, work = sys.argv[1], sys.argv[2]
    passed = failed = 0
    for n in SIZES:
        found = failures_for(tool, work, n)
        for f in found:
            print(f"FAIL ({n} days): {f}")
        passed, failed = (passed + 1, failed) if not found else (passed, failed + 1)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
