#!/usr/bin/env python3
"""Builds the C++ message tables of the engine from the Markdown list of messages.

The Markdown file holds one table per message table, each under a bold heading that
names it ("**Table `resDravonel` ...**", "**Table `resAll` ...**"), with rows
"| ID | Text | Meaning |". A text is written in double quotes; "(empty)" stands for
the empty text; "(see the note below the table)" refers to a line after the table of
the form: Text N is the ... "TEXT". A "|" inside a cell may be escaped as "\\|".

usage:
    python3 scripts/gen_messages.py DOC.md > engine/messages_table.inc
    python3 scripts/gen_messages.py --check DOC.md
        compares the committed engine/messages_table.inc with DOC.md and exits
        non-zero, showing the differences, when they do not match.
"""

import difflib
import pathlib
import re
import sys

TABLES = ("resDravonel", "resAll")
ARRAY_NAMES = {"resDravonel": "kResDravonel", "resAll": "kResAll"}
INC_PATH = pathlib.Path(__file__).resolve().parent.parent / "engine" / "messages_table.inc"

# The About box's contact lines of the program's maker, which the Markdown leaves
# for the project to fill in: an online-service identifier, an e-mail address and a
# web address.
CONTACT_LINES = {
    7003: "Matrix : #dravonel2:example.org",
    7004: "E-Mail : dravonel2@example.org",
    7005: "URL    : https://dravonel2.example.org/",
}

HEADING = re.compile(r"^\*\*Table `(\w+)`")
SECTION_END = re.compile(r"^(#|\*\*)")
NOTE = re.compile(r'^Text (\d+) is [^"]*"(.*)"\.?\s*$')
SEE_NOTE = "(see the note below the table)"
EMPTY = "(empty)"


class DocError(Exception):
    pass


def split_row(line):
    """Cells of a Markdown table row; an escaped "\\|" stays inside its cell."""
    cells = re.split(r"(?<!\\)\|", line.strip())
    if len(cells) < 3 or cells[0] != "" or cells[-1] != "":
        return None
    return [c.strip().replace("\\|", "|") for c in cells[1:-1]]


def parse_section(name, lines):
    """Returns {id: text} for one table from the lines under its heading."""
    rows = {}
    pending_notes = set()
    notes = {}
    for lineno, line in lines:
        note = NOTE.match(line)
        if note:
            notes[int(note.group(1))] = note.group(2)
            continue
        if not line.startswith("|"):
            continue
        cells = split_row(line)
        if cells is None or len(cells) != 3:
            raise DocError(f"line {lineno}: malformed table row in {name}: {line!r}")
        ident, text, _meaning = cells
        if ident == "ID" or set(ident) <= set("-: "):
            continue  # header and alignment rows
        if not re.fullmatch(r"-?\d+", ident):
            raise DocError(f"line {lineno}: identifier is not a number: {ident!r}")
        ident = int(ident)
        if not -32768 <= ident <= 32767:
            raise DocError(f"line {lineno}: identifier {ident} is not 16-bit")
        if ident in rows or ident in pending_notes:
            raise DocError(f"line {lineno}: identifier {ident} listed twice in {name}")
        if text == SEE_NOTE:
            pending_notes.add(ident)
        elif text == EMPTY:
            rows[ident] = ""
        elif len(text) >= 2 and text[0] == '"' and text[-1] == '"':
            rows[ident] = text[1:-1]
        else:
            raise DocError(f"line {lineno}: text of {ident} is not quoted: {text!r}")
    for ident in sorted(pending_notes):
        if ident not in notes:
            raise DocError(f"{name}: text {ident} refers to a note that is missing")
        rows[ident] = notes.pop(ident)
    if notes:
        raise DocError(f"{name}: notes for identifiers not in the table: {sorted(notes)}")
    if not rows:
        raise DocError(f"{name}: the table has no rows")
    return rows


def parse(doc_text):
    sections = {}
    current = None
    for lineno, line in enumerate(doc_text.splitlines(), 1):
        heading = HEADING.match(line)
        if heading:
            current = heading.group(1)
            if current not in TABLES:
                raise DocError(f"line {lineno}: unknown table {current!r}")
            if current in sections:
                raise DocError(f"line {lineno}: table {current} appears twice")
            sections[current] = []
            continue
        if current and SECTION_END.match(line):
            current = None
        if current:
            sections[current].append((lineno, line))
    missing = [t for t in TABLES if t not in sections]
    if missing:
        raise DocError(f"tables not found: {', '.join(missing)}")
    tables = {name: parse_section(name, sections[name]) for name in TABLES}
    for ident, text in CONTACT_LINES.items():
        tables["resAll"].setdefault(ident, text)
    return tables


def c_literal(text):
    out = []
    for ch in text:
        if ch in '\\"':
            out.append("\\" + ch)
        elif ord(ch) < 0x20 or ord(ch) == 0x7F:
            raise DocError(f"control character in text {text!r}")
        else:
            out.append(ch)
    return '"' + "".join(out) + '"'


def generate(tables):
    lines = [
        "// Generated by scripts/gen_messages.py from the list of messages; regenerate,",
        "// do not edit by hand. Each table is sorted by identifier; texts are UTF-8.",
        "// clang-format off",
    ]
    for name in TABLES:
        rows = tables[name]
        lines.append(f"constexpr MessageEntry {ARRAY_NAMES[name]}[] = {{")
        for ident in sorted(rows):
            lines.append(f"    {{{ident}, {c_literal(rows[ident])}}},")
        lines.append("};")
    lines.append("// clang-format on")
    return "\n".join(lines) + "\n"


def main(argv):
    check = len(argv) == 3 and argv[1] == "--check"
    if not (check or len(argv) == 2) or argv[-1].startswith("-"):
        sys.stderr.write("usage: gen_messages.py [--check] DOC.md\n")
        return 2
    doc = pathlib.Path(argv[-1])
    try:
        tables = parse(doc.read_text(encoding="utf-8"))
        generated = generate(tables)
    except (OSError, UnicodeDecodeError, DocError) as e:
        sys.stderr.write(f"gen_messages.py: {doc}: {e}\n")
        return 2
    if not check:
        sys.stdout.write(generated)
        return 0
    try:
        committed = INC_PATH.read_text(encoding="utf-8")
    except OSError as e:
        sys.stderr.write(f"gen_messages.py: {e}\n")
        return 1
    if committed == generated:
        counts = ", ".join(f"{name} {len(tables[name])}" for name in TABLES)
        print(f"{INC_PATH.name} matches {doc} ({counts} texts)")
        return 0
    sys.stdout.writelines(
        difflib.unified_diff(
            committed.splitlines(True),
            generated.splitlines(True),
            fromfile=f"committed {INC_PATH.name}",
            tofile=f"generated from {doc}",
        )
    )
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
