#!/usr/bin/env python3
"""Writes a zip whose bytes depend only on the names and contents of the files put in it.

    repro_zip.py OUT.zip TOP FOLDER

Every file under FOLDER goes in under TOP/, in sorted order, each entry stamped with
SOURCE_DATE_EPOCH (read as UTC), with fixed attributes and no extra fields, so the same files give
the same zip on any machine, in any time zone, with any umask."""
import os
import sys
import time
import zipfile

# The zip format counts from 1980; an earlier commit time is stamped as its first day.
ZIP_EPOCH = 315532800
# FAT attributes as Windows reads them: an ordinary file, a folder.
ATTR_FILE = 0x20
ATTR_FOLDER = 0x10


def entries(folder):
    """(name in the zip, path) for every file and folder under folder, sorted, '/'-separated."""
    found = []
    for base, dirs, files in os.walk(folder):
        rel = os.path.relpath(base, folder)
        prefix = "" if rel == "." else rel.replace(os.sep, "/") + "/"
        for d in dirs:
            found.append((prefix + d + "/", None))
        for f in files:
            found.append((prefix + f, os.path.join(base, f)))
    return sorted(found)


def write(out, top, folder, epoch):
    stamp = time.gmtime(max(epoch, ZIP_EPOCH))[:6]
    part = out + ".part"

    def info(name, attr):
        i = zipfile.ZipInfo(name, date_time=stamp)
        i.create_system = 0  # MS-DOS: the attributes are FAT attributes
        i.external_attr = attr
        i.compress_type = zipfile.ZIP_DEFLATED
        return i

    with zipfile.ZipFile(part, "w") as z:
        z.writestr(info(top + "/", ATTR_FOLDER), b"")
        for name, path in entries(folder):
            if path is None:
                z.writestr(info(top + "/" + name, ATTR_FOLDER), b"")
                continue
            with open(path, "rb") as f:
                z.writestr(info(top + "/" + name, ATTR_FILE), f.read(), compresslevel=9)
    os.replace(part, out)


def main(argv):
    if len(argv) != 4:
        sys.exit("usage: repro_zip.py OUT.zip TOP FOLDER")
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch or not epoch.isdigit():
        sys.exit("repro_zip.py: SOURCE_DATE_EPOCH must be set to the commit's time")
    write(argv[1], argv[2], argv[3], int(epoch))


if __name__ == "__main__":
    main(sys.argv)
