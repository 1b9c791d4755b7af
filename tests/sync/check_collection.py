#!/usr/bin/python3
"""An independent client's view of the diary's collection, through Python's caldav library.

    check_collection.py URL USER PASSWORD check --diary EXPORT.json [--foreign UID ...]
    check_collection.py URL USER PASSWORD check --expect DAYS.json
    check_collection.py URL USER PASSWORD write --uid UID --date YYYY-MM-DD --text TEXT
    check_collection.py URL USER PASSWORD dump
    check_collection.py URL USER PASSWORD delete-collection

URL is the server's root; the collection is the user's calendar named --collection (Quillidar).

check --expect: DAYS.json maps "YYYY-MM-DD" to the text of that day's entry. Every entry of this
program (UID quillidar-day-YYYYMMDD) must be a VJOURNAL with DTSTART;VALUE=DATE of that day and
that DESCRIPTION, one per day, and no other day may have one.
check --diary: EXPORT.json is the notes tool's json export of a diary that has just synced. A day
with no other client's entry must hold exactly our entry's text; a day with one must hold our
entry's text (if any) and every other client's text; a day without a note has no entry of ours.
Every --foreign UID must still be on the server. Line ends are compared as LF.
write: puts a VJOURNAL of another client (its own UID) for the day.
delete-collection: deletes the collection and everything in it, as another client may.
Exit status 1 with every difference listed, 0 when all agree.
"""

import argparse
import datetime
import json
import re
import sys
import uuid

import caldav
import icalendar

OUR_UID = re.compile(r"^quillidar-day-(\d{8})$")


def collection(args):
    client = caldav.DAVClient(args.url, username=args.user, password=args.password, timeout=30)
    for cal in client.principal().calendars():
        if cal.get_display_name() == args.collection:
            return cal
    sys.exit(f"no calendar named {args.collection!r} at {args.url}")


def lf(text):
    return text.replace("\r\n", "\n").replace("\r", "\n")


def journals(cal):
    """[(href, uid, dtstart property, description, is_date)] of every VJOURNAL in the collection."""
    out = []
    # The members as a PROPFIND lists them, and one GET each: what any client is served. (The
    # library's sync-report listing also names members that were removed.)
    for url, types, _ in cal.children():
        if any("collection" in str(t) for t in types):
            continue
        obj = caldav.CalendarObjectResource(client=cal.client, url=url, parent=cal)
        obj.load()
        if not obj.data:
            raise SystemExit(f"{url}: the server gave no calendar data")
        parsed = icalendar.Calendar.from_ical(obj.data)
        for j in parsed.walk("VJOURNAL"):
            start = j.get("DTSTART")
            day = start.dt if start is not None else None
            is_date = isinstance(day, datetime.date) and not isinstance(day, datetime.datetime)
            if isinstance(day, datetime.datetime):
                day = day.date()
            out.append((str(obj.url), str(j.get("UID", "")), day, lf(str(j.get("DESCRIPTION", ""))), is_date))
    return out


def check(args, cal):
    problems = []
    ours, foreign = {}, {}
    for href, uid, day, text, is_date in journals(cal):
        m = OUR_UID.match(uid)
        if not m:
            foreign.setdefault(day, []).append((uid, text))
            continue
        if not is_date:
            problems.append(f"{uid}: DTSTART is not a VALUE=DATE date ({day!r})")
        if day is None or day.strftime("%Y%m%d") != m.group(1):
            problems.append(f"{uid}: DTSTART {day} is not the day its UID names")
        iso = f"{m.group(1)[:4]}-{m.group(1)[4:6]}-{m.group(1)[6:]}"
        if iso in ours:
            problems.append(f"{iso}: two entries of ours ({href})")
        ours[iso] = text

    if args.expect:
        expected = {d: lf(t) for d, t in json.load(open(args.expect, encoding="utf-8")).items()}
        for day in sorted(set(expected) | set(ours)):
            if day not in ours:
                problems.append(f"{day}: missing on the server; expected {expected[day]!r}")
            elif day not in expected:
                problems.append(f"{day}: on the server but not expected: {ours[day]!r}")
            elif ours[day] != expected[day]:
                problems.append(f"{day}: server has {ours[day]!r}\n{' ' * len(day)}  expected   {expected[day]!r}")
    if args.diary:
        notes = json.load(open(args.diary, encoding="utf-8"))["notes"]
        diary = {n["date"]: lf(n["text"]) for n in notes if n.get("date")}
        foreign_by_iso = {d.isoformat(): entries for d, entries in foreign.items() if d is not None}
        for day in sorted(set(diary) | set(ours)):
            text = diary.get(day, "")
            others = foreign_by_iso.get(day, [])
            if not others:
                if day not in ours:
                    problems.append(f"{day}: the diary holds {text!r}, the server nothing")
                elif ours[day] != text:
                    problems.append(f"{day}: server has {ours[day]!r}\n{' ' * len(day)}  diary has  {text!r}")
                continue
            for part in ([ours[day]] if day in ours else []) + [t for _, t in others]:
                if part not in text:
                    problems.append(f"{day}: the diary's {text!r} leaves out the server's {part!r}")
        for day, entries in foreign_by_iso.items():
            if day not in diary:
                problems.append(f"{day}: another client's {entries[0][0]} is not in the diary")
    present = {uid for entries in foreign.values() for uid, _ in entries}
    for uid in args.foreign or []:
        if uid not in present:
            problems.append(f"{uid}: another client's entry is gone from the server")

    if problems:
        print(f"the collection disagrees ({len(problems)}):", file=sys.stderr)
        for p in problems:
            print("  " + p, file=sys.stderr)
        return 1
    print(f"the collection agrees: {len(ours)} entries of ours, {len(present)} of other clients")
    return 0


def write(args, cal):
    day = datetime.date.fromisoformat(args.date)
    ical = "\r\n".join([
        "BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//test//another client//EN",
        "BEGIN:VJOURNAL", f"UID:{args.uid}",
        "DTSTAMP:" + datetime.datetime.utcnow().strftime("%Y%m%dT%H%M%SZ"),
        f"DTSTART;VALUE=DATE:{day.strftime('%Y%m%d')}",
        "DESCRIPTION:" + args.text.replace("\\", "\\\\").replace(";", "\\;").replace(",", "\\,")
        .replace("\r\n", "\\n").replace("\n", "\\n"),
        "END:VJOURNAL", "END:VCALENDAR", ""])
    cal.save_journal(ical)
    return 0


def dump(args, cal):
    for href, uid, day, text, is_date in sorted(journals(cal), key=lambda j: (str(j[2]), j[1])):
        print(f"{day} {'date' if is_date else 'time'} {uid} {text!r}")
    return 0


def delete_collection(args, cal):
    cal.delete()
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("url")
    parser.add_argument("user")
    parser.add_argument("password")
    parser.add_argument("--collection", default="Quillidar")
    sub = parser.add_subparsers(dest="command", required=True)
    c = sub.add_parser("check")
    c.add_argument("--expect")
    c.add_argument("--diary")
    c.add_argument("--foreign", action="append")
    w = sub.add_parser("write")
    w.add_argument("--uid", default=None)
    w.add_argument("--date", required=True)
    w.add_argument("--text", required=True)
    sub.add_parser("dump")
    sub.add_parser("delete-collection")
    args = parser.parse_args()
    if args.command == "check" and not (args.expect or args.diary):
        parser.error("check needs --expect or --diary")
    if args.command == "write" and not args.uid:
        args.uid = f"another-client-{uuid.uuid4()}"
    cal = collection(args)
    return {"check": check, "write": write, "dump": dump, "delete-collection": delete_collection}[args.command](args, cal)


if __name__ == "__main__":
    sys.exit(main())
