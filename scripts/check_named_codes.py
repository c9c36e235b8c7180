#!/usr/bin/env python3
"""Refuses bare command numbers and second definitions of the program's named codes.

The command numbers that menus, buttons and dialogs carry have their names in
src/ui/command_numbers.h; the toolkit's answers, icons and button sets in
src/toolkit/toolkit.h; the input and output format codes in
src/import/formats.h and src/output/formats.h.  Everywhere else in src/ and
app/ the code uses those names.  This check fails on:
  - a `case NN:` label, or the command argument of a GMCREATE... call, that
    is a bare number of the command range (50 and up);
  - a definition (constexpr, const, #define, enumerator) outside those
    headers of a name that one of them defines, or of the same name under
    another spelling (kTick, NOTICE_ICON for CMD_TICK, GM_ICON_NOTICE);
  - an integer constant outside them whose value is a command number.

Usage: check_named_codes.py [ROOT]   (ROOT: the source tree, default: the
folder above this script).  Exit status 0 when clean, 1 with one line per
finding otherwise.
"""
import os
import re
import sys

REGISTRY = [
    "src/ui/command_numbers.h",
    "src/toolkit/toolkit.h",
    "src/import/formats.h",
    "src/output/formats.h",
]
PREFIXES = ("CMD_", "GM_", "FORMAT_", "INTFMT_")
# The smallest command number: the small numbers of `case` labels elsewhere
# are indices and counts, not commands.
SMALLEST_COMMAND = 50

DEFINITION = re.compile(
    r"(?:constexpr\s+(?:int|long|unsigned|auto)\s+|const\s+int\s+|#\s*define\s+)([A-Za-z_]\w*)\s*=?\s*(-?\d+)\b")
CASE = re.compile(r"\bcase\s+(\d+)\s*:")
CREATE = re.compile(r"\bGMCREATE\w*\s*\(([^;]*)\)\s*;")


def words(name):
    """The words of a name, upper case, without the k of a constant or a
    code prefix: kTick -> {TICK}, NOTICE_ICON -> {NOTICE, ICON}."""
    if re.match(r"^k[A-Z]", name):
        name = name[1:]
    for p in PREFIXES:
        if name.startswith(p):
            name = name[len(p):]
            break
    spaced = re.sub(r"([a-z0-9])([A-Z])", r"\1_\2", name)
    return frozenset(w.upper() for w in spaced.split("_") if w)


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group(0).count("\n"), text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def sources(root):
    for top in ("src", "app"):
        for folder, _, files in os.walk(os.path.join(root, top)):
            for f in sorted(files):
                if f.endswith((".h", ".hpp", ".cpp", ".cc")):
                    path = os.path.join(folder, f)
                    yield os.path.relpath(path, root), path


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    names = {}     # name -> value
    by_words = {}  # words -> name
    commands = set()
    for rel in REGISTRY:
        path = os.path.join(root, rel)
        if not os.path.exists(path):
            continue
        with open(path, encoding="utf-8") as f:
            for m in DEFINITION.finditer(strip_comments(f.read())):
                name, value = m.group(1), int(m.group(2))
                names[name] = value
                by_words.setdefault(words(name), name)
                if rel.endswith("command_numbers.h") and value >= SMALLEST_COMMAND:
                    commands.add(value)

    findings = []
    for rel, path in sources(root):
        if rel in REGISTRY:
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            text = strip_comments(f.read())
        line_of = lambda pos: text.count("\n", 0, pos) + 1
        # A constant can only stand for a command where commands are handled:
        # elsewhere (a plot height, a shift of the number formatter) a value
        # that happens to equal a command number is just a number.
        handles_commands = rel.startswith(("app/", "src/commands/", "src/operations/")) or (
            rel.startswith("src/ui/") and not rel.startswith("src/toolkit/")) or any(
            w in text for w in ("command_numbers.h", "GMACTION", "GMDEFINETIMERCALLBACK", "TICK"))
        for m in CASE.finditer(text):
            if int(m.group(1)) >= SMALLEST_COMMAND:
                findings.append(f"{rel}:{line_of(m.start())}: bare command number in 'case {m.group(1)}:'")
        for m in CREATE.finditer(text):
            last = m.group(1).rsplit(",", 1)[-1].strip()
            if re.fullmatch(r"\d+", last) and int(last) >= SMALLEST_COMMAND:
                findings.append(f"{rel}:{line_of(m.start())}: bare command number {last} given to a GMCREATE call")
        for m in DEFINITION.finditer(text):
            name, value = m.group(1), int(m.group(2))
            where = f"{rel}:{line_of(m.start())}"
            if name in names:
                findings.append(f"{where}: {name} is defined again (it belongs to the named codes)")
            elif words(name) in by_words:
                findings.append(f"{where}: {name} defines {by_words[words(name)]} a second time")
            elif value in commands and handles_commands:
                findings.append(f"{where}: {name} = {value} is a command number: use its name")
    for line in findings:
        print(line)
    if findings:
        print("named codes: use the names of " + ", ".join(REGISTRY), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
