#!/usr/bin/env python3
"""Checks that every file docs/facts/facts.txt names holds each fact of its section, and that the
help and the README name every command and export format the notes tool knows.

    tools/doc_facts.py REPO_ROOT

Text is compared after markup is taken out (HTML tags and entities, Markdown code marks) and line
breaks are joined: Chinese text loses all white space, other text keeps single spaces. Exit status 1
names each file and each fact it lacks.
"""
import html
import re
import sys
from pathlib import Path


def normalise(text, lang, kind="text"):
    if kind == "html":
        text = re.sub(r"<!--.*?-->", " ", text, flags=re.S)
        text = html.unescape(re.sub(r"<[^>]+>", "", text))
    elif kind == "md":
        text = text.replace("`", "")
    if lang == "zh":
        return re.sub(r"\s+", "", text)
    return re.sub(r"\s+", " ", text)


def sections(source):
    current = None
    for line in source.read_text(encoding="utf-8").splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        head = re.fullmatch(r"\[(\w+) (\w+): ([^\]]+)\]", line.strip())
        if head:
            current = {"name": head[1], "lang": head[2], "files": head[3].split(), "facts": []}
            yield current
        elif current is None:
            raise SystemExit(f"{source}: a fact before any section: {line}")
        else:
            current["facts"].append(line.strip())


def tool_words(root):
    """The notes tool's commands and export formats, as its own source lists them."""
    commands_src = (root / "src/notes_tool/tool_commands.cpp").read_text(encoding="utf-8")
    commands = re.findall(r'Row<\w+>\(\s*"(\w+)",', commands_src)
    formats_src = (root / "src/notes_tool/export_formats.cpp").read_text(encoding="utf-8")
    formats = re.findall(r'\{"(\w+)", Format::k\w+\}', formats_src)
    return commands, formats


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    missing = []
    for section in list(sections(root / "docs/facts/facts.txt")):
        for name in section["files"]:
            path = root / name
            if not path.exists():
                missing.append(f"{name}: missing (named by section {section['name']} {section['lang']})")
                continue
            kind = {".html": "html", ".md": "md"}.get(path.suffix, "text")
            text = normalise(path.read_text(encoding="utf-8"), section["lang"], kind)
            for fact in section["facts"]:
                if normalise(fact, section["lang"]) not in text:
                    missing.append(f"{name}: lacks the {section['name']} fact: {fact}")
    commands, formats = tool_words(root)
    if not commands or not formats:
        missing.append("src/notes_tool: the command table or the export formats were not found")
    help_page = (root / "docs/help/notes_tool.html").read_text(encoding="utf-8")
    readme = (root / "README.md").read_text(encoding="utf-8")
    for command in commands:
        if command != "help" and f"<code>{command}" not in help_page:
            missing.append(f"docs/help/notes_tool.html: lacks the command {command}")
        if f"quillidar-notes {command}" not in readme:
            missing.append(f"README.md: lacks the command {command}")
    for fmt in formats:
        if f"<b>{fmt}</b>" not in help_page:
            missing.append(f"docs/help/notes_tool.html: lacks the export format {fmt}")
    for line in missing:
        print(line)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
