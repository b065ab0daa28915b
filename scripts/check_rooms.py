#!/usr/bin/env python3
"""Checks that the source tree keeps its rooms.

The rules are the one ```rooms block of docs/ARCHITECTURE.md:

    room: the rooms its files may include besides its own ("*": every room)
    qt: the rooms whose files may include Qt
    never: a -> b, ...   (pairs no line above may allow)

Every #include of a file is checked against its room's line; the includes
between rooms must not go in a circle; a folder holding C++ sources that is no
room fails too, so a new folder is declared before it is used.

Usage: check_rooms.py [SOURCE_DIR]   (default: the folder above this script)
Exit status 0 when the tree keeps the rules, 1 with one line per fault.
"""

import os
import re
import sys

RULES_FILE = os.path.join("docs", "ARCHITECTURE.md")
SOURCE_ENDINGS = (".h", ".hpp", ".cpp", ".cc", ".cxx", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
# Qt's headers: <QWidget>, <QtTest>, <QtWidgets/QWidget>.
QT_HEADER = re.compile(r"^Qt?[A-Z]")


class RulesError(Exception):
    pass


class Rules:
    def __init__(self, may_use, qt, never):
        self.may_use = may_use  # room -> set of rooms, or None for every room
        self.qt = qt
        self.never = never  # set of (from, to)

    def allows(self, room, other):
        if room == other:
            return True
        if (room, other) in self.never:
            return False
        uses = self.may_use[room]
        return uses is None or other in uses


def read_rules(text):
    blocks = re.findall(r"^```rooms[ \t]*\n(.*?)^```", text, re.M | re.S)
    if len(blocks) != 1:
        raise RulesError(f"{RULES_FILE} must hold one ```rooms block, it holds {len(blocks)}")
    may_use, qt, never = {}, set(), set()
    for number, line in enumerate(blocks[0].splitlines(), 1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        key, sep, rest = line.partition(":")
        key = key.strip().rstrip("/")
        if not sep or not key:
            raise RulesError(f"rooms block line {number}: expected 'room: rooms', got '{line}'")
        if key == "qt":
            qt.update(r.rstrip("/") for r in rest.split())
        elif key == "never":
            for pair in rest.split(","):
                ends = [e.strip().rstrip("/") for e in pair.split("->")]
                if len(ends) != 2 or not all(ends):
                    raise RulesError(f"rooms block line {number}: expected 'a -> b', got '{pair.strip()}'")
                never.add(tuple(ends))
        elif key in may_use:
            raise RulesError(f"rooms block line {number}: room {key}/ is listed twice")
        else:
            uses = [r.rstrip("/") for r in rest.split()]
            may_use[key] = None if uses == ["*"] else set(uses)
    named = qt | {r for pair in never for r in pair}
    for uses in may_use.values():
        named |= uses or set()
    unknown = sorted(named - may_use.keys())
    if unknown:
        raise RulesError("rooms block names rooms it does not list: " + ", ".join(unknown))
    return Rules(may_use, qt, never)


def source_files(root):
    """Yields (top folder, path relative to root) of every C++ source."""
    for top in sorted(os.listdir(root)):
        if top.startswith((".", "build")) or not os.path.isdir(os.path.join(root, top)):
            continue
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(files):
                if name.endswith(SOURCE_ENDINGS):
                    yield top, os.path.relpath(os.path.join(folder, name), root)


def room_of_include(root, path, quote, name, rooms):
    """The room a quoted include names (by its path), 'qt' for Qt, else None."""
    if quote == "<":
        return "qt" if QT_HEADER.match(name) else None
    beside = os.path.normpath(os.path.join(os.path.dirname(path), name))
    if os.path.exists(os.path.join(root, beside)):
        first = beside.split(os.sep)[0]
    else:
        first = os.path.normpath(name).split(os.sep)[0]
    return first if first in rooms else None


def find_circle(edges):
    """A list of rooms that include each other in a circle, or None."""
    state = {}

    def visit(room, trail):
        state[room] = "open"
        for other in sorted(edges.get(room, ())):
            if state.get(other) == "open":
                return trail[trail.index(other):] + [other]
            if other not in state:
                found = visit(other, trail + [other])
                if found:
                    return found
        state[room] = "done"
        return None

    for room in sorted(edges):
        if room not in state:
            found = visit(room, [room])
            if found:
                return found
    return None


def check(root):
    with open(os.path.join(root, RULES_FILE), encoding="utf-8") as f:
        rules = read_rules(f.read())
    faults = []
    for a, b in sorted(rules.never):
        uses = rules.may_use[a]
        if uses is None or b in uses:
            faults.append(f"{RULES_FILE}: the rooms block lets {a}/ include {b}/, which 'never' forbids")
    edges = {}
    unknown = set()
    for room, path in source_files(root):
        if room not in rules.may_use:
            unknown.add(room)
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            lines = f.readlines()
        for number, line in enumerate(lines, 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            quote, name = m.groups()
            other = room_of_include(root, path, quote, name, rules.may_use)
            where = f"{path}:{number}: #include {quote}{name}{'>' if quote == '<' else quote}"
            if other == "qt":
                if room not in rules.qt:
                    faults.append(f"{where}: Qt outside the rooms that may include it ({', '.join(sorted(rules.qt))})")
            elif other is not None and other != room:
                edges.setdefault(room, set()).add(other)
                if not rules.allows(room, other):
                    faults.append(f"{where}: {room}/ may not include {other}/")
    for room in sorted(unknown):
        faults.append(f"{room}/: holds C++ sources but is no room of the rooms block in {RULES_FILE}")
    circle = find_circle(edges)
    if circle:
        faults.append("includes go in a circle: " + " -> ".join(r + "/" for r in circle))
    return faults


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    try:
        faults = check(root)
    except (OSError, RulesError) as e:
        print(f"check_rooms: {e}", file=sys.stderr)
        return 1
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
