#!/usr/bin/env bash
# Clients none of us wrote read the real program's exports of the small diary: Python's icalendar
# (every note a VJOURNAL, an empty range still a calendar it accepts), Python's csv and jq.
#   tests/tool/clients_case.sh TOOL DATA WORK
set -euo pipefail
tool=$1 data=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
"$tool" export "$data/small.nts" --pivot 2027 -o "$work/s.ICS"
"$tool" export "$data/small.nts" --pivot 2027 --from 2030-01-01 -o "$work/empty.ics" 2>/dev/null
"$tool" export "$data/small.nts" --pivot 2027 -o "$work/s.Csv"
"$tool" export "$data/small.nts" --pivot 2027 -o - > "$work/s.json"
# Debian's python3, where the icalendar package is, not another on PATH.
/usr/bin/python3 - "$work" <<'PY'
import csv, sys, icalendar
work = sys.argv[1]
cal = icalendar.Calendar.from_ical(open(f"{work}/s.ICS", "rb").read())
journals = [c for c in cal.walk("VJOURNAL")]
assert len(journals) == 7, len(journals)
for j in journals:
    for field in ("SUMMARY", "DESCRIPTION"):
        assert not any(ord(ch) < 32 and ch not in "\t\n" or ord(ch) == 127 for ch in str(j.get(field, ""))), j
assert str(journals[0]["DESCRIPTION"]) == 'He said "hi", then; left \\ done', journals[0]["DESCRIPTION"]
empty = icalendar.Calendar.from_ical(open(f"{work}/empty.ics", "rb").read())
assert len(list(empty.walk("VJOURNAL"))) == 1  # the note of no day is never left out
rows = list(csv.DictReader(open(f"{work}/s.Csv", encoding="utf-8", newline="")))
assert len(rows) == 7 and rows[1]["text"] == 'He said "hi", then; left \\ done', rows[1]
PY
test "$(jq '.notes | length' "$work/s.json")" = 7
test "$(jq -r '.notes[6].date' "$work/s.json")" = null
echo "clients read every export"
