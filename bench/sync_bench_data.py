#!/usr/bin/python3
"""The sync benchmark's diary and curl's floors.

    sync_bench_data.py diary WORK DAYS
        WORK/nts.ini: a diary of DAYS notes of about 500 bytes (from 2017-01-01, or earlier for a
        diary that would run past next year), in the widget's
        own format; WORK/bodies/DAY.ics: one VJOURNAL per day, as large as the sync's own for that
        day; WORK/days.txt: the days, one a line (YYYYMMDD).
    sync_bench_data.py push WORK COLLECTION_URL USER PASSWORD CONFIG
        curl's config for putting every body into the collection, one request after another.
    sync_bench_data.py pull WORK COLLECTION_URL USER PASSWORD BATCH CONFIG
        curl's config for reading them back as a joining PC does: the collection's ETags (PROPFIND,
        Depth 1), then calendar-multiget REPORTs of BATCH entries each.
    sync_bench_data.py seed WORK DATABASE CALENDAR
        every body written straight into SabreDAV's database, into the calendar named.
    sync_bench_data.py seed-folder WORK FOLDER
        every body written as a file of its own into a collection's folder, where Radicale and
        Xandikos keep one file an entry (Xandikos reads them once they are committed).
"""

import datetime
import hashlib
import os
import sqlite3
import sys
from urllib.parse import urlsplit

WORDS = ["今天", "下雨", "walk", "tea", "日记", "读书", "a long day", "晴"]


def counted(b):
    return (bytes([len(b)]) if len(b) < 0xFF else b"\xff" + len(b).to_bytes(2, "little")) + b


def folded(line):
    """The content line folded at 75 octets, never inside a UTF-8 character."""
    out, chunk = [], b""
    for ch in line:
        b = ch.encode()
        if len(chunk) + len(b) > (75 if not out else 74):
            out.append(chunk)
            chunk = b""
        chunk += b
    out.append(chunk)
    return b"\r\n ".join(out)


def diary(work, ndays, bodies=True):
    # From 2017, or as far back as the diary needs to end within the years its two-digit keys name
    # (the hundred years up to next year): a day outside them is not a day of the diary.
    end = datetime.date(datetime.date.today().year + 1, 12, 31)
    start = min(datetime.date(2017, 1, 1), end - datetime.timedelta(days=ndays - 1))
    days = [start + datetime.timedelta(days=i) for i in range(ndays)]
    out = bytearray(len(days).to_bytes(4, "little"))
    os.makedirs(f"{work}/bodies", exist_ok=True)
    for i, d in enumerate(days):
        text = " ".join(WORDS[(i * 7 + j) % len(WORDS)] for j in range(90))
        out += counted(d.strftime("%d%m%y").encode()) + counted(text.encode("gbk"))
        desc = text.replace("\\", "\\\\").replace(";", "\\;").replace(",", "\\,")
        if not bodies:
            continue
        compact = d.strftime("%Y%m%d")
        head = "\r\n".join([
            "BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//bench//curl floor//EN", "BEGIN:VJOURNAL",
            f"UID:floor-day-{compact}", "DTSTAMP:20261208T000000Z", f"DTSTART;VALUE=DATE:{compact}",
            "SUMMARY:" + text[:40]]).encode()
        body = head + b"\r\n" + folded("DESCRIPTION:" + desc) + b"\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n"
        with open(f"{work}/bodies/{compact}.ics", "wb") as f:
            f.write(body)
    with open(f"{work}/nts.ini", "wb") as f:
        f.write(out)
    with open(f"{work}/days.txt", "w") as f:
        f.write("".join(d.strftime("%Y%m%d") + "\n" for d in days))


def days_of(work):
    with open(f"{work}/days.txt") as f:
        return [line.strip() for line in f if line.strip()]


def request(url, method, user, password, data=None, headers=()):
    lines = [f'url = "{url}"', f'request = "{method}"', f'user = "{user}:{password}"', "silent",
             'output = "/dev/null"', 'write-out = "%{http_code}\\n"']
    lines += [f'header = "{h}"' for h in headers]
    if data:
        lines.append(f'data-binary = "@{data}"')
    return "\n".join(lines) + "\n"


def push(work, url, user, password, config):
    parts = [request(f"{url}floor-day-{day}.ics", "PUT", user, password, f"{work}/bodies/{day}.ics",
                     ["If-None-Match: *", "Content-Type: text/calendar; charset=utf-8"])
             for day in days_of(work)]
    with open(config, "w") as f:
        f.write("next\n".join(parts))


def pull(work, url, user, password, batch, config):
    xml = ["Depth: 1", "Content-Type: application/xml; charset=utf-8"]
    with open(f"{work}/propfind.xml", "w") as f:
        f.write('<?xml version="1.0" encoding="utf-8"?><d:propfind xmlns:d="DAV:"><d:prop><d:getetag/>'
                "<d:resourcetype/></d:prop></d:propfind>")
    parts = [request(url, "PROPFIND", user, password, f"{work}/propfind.xml", xml)]
    path = urlsplit(url).path
    days = days_of(work)
    for n, at in enumerate(range(0, len(days), batch)):
        hrefs = "".join(f"<d:href>{path}floor-day-{day}.ics</d:href>" for day in days[at:at + batch])
        body = f"{work}/multiget-{n}.xml"
        with open(body, "w") as f:
            f.write('<?xml version="1.0" encoding="utf-8"?><c:calendar-multiget xmlns:d="DAV:" '
                    'xmlns:c="urn:ietf:params:xml:ns:caldav"><d:prop><d:getetag/><c:calendar-data/>'
                    f"</d:prop>{hrefs}</c:calendar-multiget>")
        parts.append(request(url, "REPORT", user, password, body, xml))
    with open(config, "w") as f:
        f.write("next\n".join(parts))


def seed(work, database, calendar):
    db = sqlite3.connect(database, timeout=30)
    (cal_id,) = db.execute("SELECT id FROM calendars WHERE uri = ?", (calendar,)).fetchone()
    rows = []
    for day in days_of(work):
        with open(f"{work}/bodies/{day}.ics", "rb") as f:
            data = f.read()
        rows.append((cal_id, f"floor-day-{day}.ics", data, 1765152000, hashlib.md5(data).hexdigest(),
                     len(data), "VJOURNAL"))
    db.executemany("INSERT INTO calendarobjects (calendarid, uri, calendardata, lastmodified, etag, size, "
                   "componenttype) VALUES (?, ?, ?, ?, ?, ?, ?)", rows)
    db.execute("UPDATE calendars SET ctag = ctag + ? WHERE id = ?", (len(rows), cal_id))
    db.commit()


def seed_folder(work, folder):
    for day in days_of(work):
        with open(f"{work}/bodies/{day}.ics", "rb") as f, open(f"{folder}/floor-day-{day}.ics", "wb") as out:
            out.write(f.read())


def main(argv):
    if len(argv) == 4 and argv[1] == "diary":
        diary(argv[2], int(argv[3]))
    elif len(argv) == 7 and argv[1] == "push":
        push(*argv[2:7])
    elif len(argv) == 5 and argv[1] == "seed":
        seed(*argv[2:5])
    elif len(argv) == 4 and argv[1] == "seed-folder":
        seed_folder(argv[2], argv[3])
    elif len(argv) == 8 and argv[1] == "pull":
        pull(argv[2], argv[3], argv[4], argv[5], int(argv[6]), argv[7])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
