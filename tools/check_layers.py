#!/usr/bin/env python3
"""Checks that every arrow in src/ points down.

Each folder of src/ is a layer; a file may include its own folder and the folders below it, never one
above. Listing the folders once, bottom first, makes two folders that include each other impossible to
pass. A folder missing from the list fails too, so a new room has to be given its place. Files that
include each other, in any folder, fail as well.

Usage: check_layers.py [SRC]   (SRC defaults to the src/ next to this script's folder)
Prints each wrong include as file:line and exits 1 when there is one.
"""
import os
import re
import sys

# Bottom first. A folder may include only those before it.
LAYERS = [
    'res',          # resource ids, the program's name and version
    'text',         # the GB18030 converter and its generated table
    'geometry',     # points, rectangles, DPI scaling
    'almanac',      # civil dates, the Chinese calendar, solar terms, festivals, official holidays
    'ui',           # the thin Win32 layer
    'files',        # the file-system interface, atomic saves, Windows and POSIX file systems
    'diary',        # notes model and file format, dates, day states, the note box
    'ical',         # iCalendar content lines and journal calendars, read and written
    'safety',       # copies, journal, manifest, recovery, the crash journal
    'sync',         # the diary kept in step with another device
    'notes_tool',   # the command-line tool: the diary's rooms, none of the window's
    'appearance',   # colours, paint geometry, clock, settings file, title strip
    'session',      # the diary as one run holds it: notes, journal, settings, the sync's schedule
    'interaction',  # menu, placement, tray, links, About box
    'app',          # the application and the calendar window
]

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCE_ENDINGS = ('.h', '.hpp', '.cpp', '.cc', '.c', '.rc', '.inl')


def includes(path):
    with open(path, encoding='utf-8', errors='replace') as f:
        for number, line in enumerate(f, 1):
            match = INCLUDE.match(line)
            if match:
                yield number, match.group(1)


def main(argv):
    src = os.path.abspath(argv[1] if len(argv) > 1 else
                          os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'src'))
    rank = {name: i for i, name in enumerate(LAYERS)}
    problems = []
    graph = {}  # file -> files of src/ it includes, for the cycle check
    for root, _, names in sorted(os.walk(src)):
        for name in sorted(names):
            if not name.endswith(SOURCE_ENDINGS):
                continue
            path = os.path.join(root, name)
            rel = os.path.relpath(path, src).replace(os.sep, '/')
            folder = rel.split('/')[0]
            if '/' not in rel:
                problems.append(f'{rel}: a file outside every folder')
                continue
            if folder not in rank:
                problems.append(f'{rel}: folder {folder}/ has no place in the layer list')
                continue
            graph[rel] = []
            for number, target in includes(path):
                if '/' not in target:
                    continue  # a file of the same folder or a generated one (version.h)
                graph[rel].append(target)
                other = target.split('/')[0]
                if other == folder:
                    continue
                if other not in rank:
                    problems.append(f'{rel}:{number}: includes "{target}" from folder {other}/, '
                                    'which has no place in the layer list')
                elif rank[other] > rank[folder]:
                    problems.append(f'{rel}:{number}: {folder}/ includes "{target}" from {other}/, '
                                    'a layer above it')

    # Files that include each other, directly or round a longer loop.
    state = {}
    for start in sorted(graph):
        if start in state:
            continue
        stack = [(start, iter(graph[start]))]
        trail = [start]
        state[start] = 'open'
        while stack:
            node, children = stack[-1]
            child = next(children, None)
            if child is None:
                stack.pop()
                trail.pop()
                state[node] = 'done'
            elif child in graph and state.get(child) == 'open':
                loop = trail[trail.index(child):] + [child]
                problems.append('files that include each other: ' + ' -> '.join(loop))
            elif child in graph and child not in state:
                state[child] = 'open'
                trail.append(child)
                stack.append((child, iter(graph[child])))

    for line in problems:
        print(line)
    if problems:
        print(f'check_layers: {len(problems)} wrong arrow(s); the order, bottom first: ' + ' < '.join(LAYERS))
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
