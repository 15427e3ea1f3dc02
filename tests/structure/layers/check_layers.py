#!/usr/bin/env python3
"""Fails when a file under src/ includes a header of a higher floor.

The floors, from the ground up: base/, ui/, the subsystems settings/, mail/
and flight/ (which do not include each other), and app/ on top. A file may
include its own folder and the floors below it, whether it names the header
in quotes or in angle brackets (src/ is a public include root, so
<app/MainForm.h> reaches the same file as "app/MainForm.h"). Prints every
offending line.
"""
import pathlib
import re
import sys

ALLOWED = {
    "base": {"base"},
    "ui": {"base", "ui"},
    "settings": {"base", "ui", "settings"},
    "mail": {"base", "ui", "mail"},
    "flight": {"base", "ui", "flight"},
    "app": {"base", "ui", "settings", "mail", "flight", "app"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+(["<])([a-z]+)/')


def offences(src: pathlib.Path):
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        folder = path.relative_to(src).parts[0]
        allowed = ALLOWED.get(folder)
        if allowed is None:
            yield f"{path}: a folder of no known floor"
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            quote, included = match.groups()
            # In angle brackets only our floors count: <sys/stat.h> is the system's.
            if quote == "<" and included not in ALLOWED:
                continue
            if included not in allowed:
                yield f"{path}:{number}: {folder}/ includes {included}/: {line.strip()}"


def main() -> int:
    src = pathlib.Path(sys.argv[1])
    found = list(offences(src))
    for offence in found:
        print(offence)
    print(f"{len(found)} upward includes under {src}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
