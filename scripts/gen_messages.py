#!/usr/bin/env python3
"""Builds the C++ message tables of the engine from the Markdown list of messages.

The Markdown file holds one table per message table, each under a bold heading that
names it ("**Table `resDravonel` ...**", "**Table `resAll` ...**"), with rows
"| ID | Text | Meaning |". A text is written in double quotes; "(empty)" stands for
the empty text; "(see the note below the table)" refers to a line after the table of
the form: Text N is the ... "TEXT". A "|" inside a cell may be escaped as "\\|".

usage:
    python3 scripts/gen_messages.py DOC.md
        writes engine/messages_table.inc (the texts) and engine/message_ids.h
        (the name of each identifier, from NAMES below)
    python3 scripts/gen_messages.py --check DOC.md
        compares the committed files with what DOC.md gives and exits non-zero,
        showing the differences, when they do not match.
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

# The name of each message in the code (scripts/gen_messages.py writes them into
# engine/message_ids.h): what the text is for, so that a call says which text it
# shows. Every listed identifier of the real list must have one.
NAMES = {
    "resDravonel": {
        1: "ModeDravo", 2: "ModeNormal", 3: "ModeExp", 4: "ModeFileN", 6: "TipModeDravo",
        7: "TipModeNormal", 8: "TipModeExp", 9: "TipModeFileN", 12: "JobFileFilter",
        200: "JobFileExistsOverwrite", 201: "JobFileSaveFailed", 202: "JobFileReadFailed",
        203: "NoYenInFileName", 205: "LhaLibraryMissing", 1000: "InFolderTitle",
        1001: "TipInDrive", 1002: "TipInFolder", 1003: "TipInFolderCurrent",
        1004: "CaptionOutFolderSame", 2000: "InFileTitle", 2001: "TipInFileChoose",
        2002: "TipInFileAddSelected", 2003: "TipInFileAddAll",
        2004: "TipInFileAddAllWithSubfolders", 2010: "FilterCommand", 2100: "FilterTitle",
        2101: "FilterPrompt", 2200: "FilterInvalid", 3000: "TargetTitle", 3001: "TipTargetList",
        3002: "TipTargetRemoveSelected", 3003: "TipTargetRemoveAll",
        3006: "CaptionTargetOutFolderSame", 3007: "CaptionTargetInFolderSame",
        3100: "TargetListFull", 4000: "OutFolderTitle", 4001: "TipOutDrive", 4002: "TipOutFolder",
        4003: "TipOutFolderCurrent", 4004: "CaptionInFolderSame", 5000: "LogTitle", 5001: "TipLog",
        6000: "OutFileTitle", 6001: "TipOutFile", 7000: "AboutTitle", 7001: "AboutSubtitle",
        8000: "OptionsTitle", 8030: "OptionHidden", 8031: "OptionUpperCase", 8032: "FrameMethod",
        8033: "MethodNormal", 8034: "MethodStored", 8035: "MethodDouble",
        8036: "OptionUpdateDouble", 8037: "OptionAutoRun", 8038: "AutoModeDravo",
        8039: "AutoModeNormal", 8040: "AutoModeExp", 8041: "AutoModeFileN",
        8050: "TipOptionHidden", 8051: "TipOptionUpperCase", 8052: "TipMethodNormal",
        8053: "TipMethodStored", 8054: "TipMethodDouble", 8055: "TipOptionUpdateDouble",
        8056: "TipOptionAutoRun", 8057: "TipAutoModeDravo", 8058: "TipAutoModeNormal",
        8059: "TipAutoModeExp", 8060: "TipAutoModeFileN", 8070: "FrameDoublePattern",
        8071: "DoublePattern0", 8072: "DoublePattern1", 8073: "DoublePattern2",
        8074: "DoublePattern3", 8076: "FrameFormat", 8077: "FormatLzh", 8078: "FormatZip",
        8081: "TipDoublePattern0", 8082: "TipDoublePattern1", 8083: "TipDoublePattern2",
        8084: "TipDoublePattern3", 8087: "TipFormatLzh", 8088: "TipFormatZip",
        8100: "ZipLibraryUnsuitable", 9000: "DefaultsTitle", 9005: "CopyFromInFolder",
        9006: "CopyFromOutFolder", 9007: "CopyFromTempFolder", 9999: "ProgramTitle",
        10000: "LabelInFolder", 10001: "LabelOutFolder", 10002: "LabelTempFolder",
        10020: "TipInFolderLast", 10021: "TipDefaultInDrive", 10022: "TipDefaultInFolder",
        10023: "TipDefaultInFolderName", 10040: "TipOutFolderLast", 10041: "TipDefaultOutDrive",
        10042: "TipDefaultOutFolder", 10043: "TipDefaultOutFolderName", 10060: "TipTempFolderLast",
        10061: "TipTempDrive", 10062: "TipTempFolder", 10063: "TipTempFolderName", 20000: "RunLzh",
        20001: "RunLzhFirstStage", 20002: "RunLzhSecondStage", 20003: "RunZipFirstStage",
        20004: "RunZipSecondStage", 20005: "RunLzhStored", 20010: "RunZip", 20015: "RunZipStored",
        20020: "RunCompressed", 20021: "RunNotCompressed", 20040: "RunSkippedHead",
        20041: "RunSkippedTail", 20042: "RunDiskFull", 20043: "RunOutputNotWritable",
        20044: "RunCancelled", 20050: "RunExtractingForUpdate", 20100: "LhaLibraryBusy",
        20101: "RunResponseFileError", 20103: "ZipLibraryBusy", 20104: "ZipLibraryMissing",
    },
    "resAll": {
        5: "Cancel", 10: "TipCancel", 11: "LogFileFilter", 20: "RemoveSettingsTail",
        30: "RunInterrupted", 31: "AllFinished", 100: "FolderNamePrompt",
        101: "FolderNameNoBackslash", 102: "FolderNameNoStar", 103: "FolderNameNoQuestion",
        104: "FolderNotCreated", 105: "FolderCreateError", 106: "FolderNameEmpty",
        107: "FolderNameInvalid", 108: "FolderNameDotAtEnds", 110: "FolderNameTitle",
        1005: "Refresh", 1006: "AliasAdd", 1007: "AliasMaintain", 1100: "AliasNamePrompt",
        1101: "AliasNameTitle", 1102: "AliasNameDuplicate", 2006: "SelectAll",
        2007: "ClearSelection", 2008: "ClearLog", 5100: "LogExistsOverwrite",
        5101: "LogSaveFailed", 7003: "AboutContactChat", 7004: "AboutContactMail",
        7005: "AboutContactWeb", 8042: "Defaults", 8043: "DialogCancel", 8044: "DialogOk",
        8045: "TipDefaults", 8046: "TipDialogCancel", 8047: "TipDialogOk",
        8056: "OptionResizePanes", 8057: "TipOptionResizePanes", 8058: "OptionToolTips",
        8059: "TipOptionToolTips", 8060: "OptionCopyResult", 8061: "TipOptionCopyResult",
        11000: "AliasMaintainTitle", 11003: "Rename", 11006: "TipAliasRename",
        11007: "TipAliasFolder", 11008: "TipAliasList", 11009: "TipAliasUp", 11010: "TipAliasDown",
        11011: "TipAliasDelete", 11012: "TipAliasDeleteAll", 11101: "AliasRenamePrompt",
        11102: "AliasRenameTitle", 11103: "AliasRenameExists",
    },
}
NAMESPACES = {"resDravonel": "msg", "resAll": "common_msg"}
IDS_PATH = INC_PATH.parent / "message_ids.h"

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


def generate_ids(tables):
    """The header that names every identifier: one enum a table, in its namespace."""
    lines = [
        "// Generated by scripts/gen_messages.py from the list of messages and the names",
        "// it keeps for them; regenerate, do not edit by hand.",
        "#pragma once",
        "",
        "// clang-format off",
        "namespace dravonel {",
    ]
    for name in TABLES:
        rows, names = tables[name], NAMES[name]
        unnamed = sorted(set(rows) - set(names))
        if unnamed:
            raise DocError(f"{name}: identifiers without a name in NAMES: {unnamed}")
        lines += ["", f"// The identifiers of {name}().", f"namespace {NAMESPACES[name]} {{",
                  "enum : int {"]
        for ident in sorted(rows):
            lines.append(f"    {names[ident]} = {ident}, // {c_literal(rows[ident])}")
        lines += ["};", f"}} // namespace {NAMESPACES[name]}"]
    lines += ["", "} // namespace dravonel", "// clang-format on"]
    return "\n".join(lines) + "\n"


def main(argv):
    check = len(argv) == 3 and argv[1] == "--check"
    if not (check or len(argv) == 2) or argv[-1].startswith("-"):
        sys.stderr.write("usage: gen_messages.py [--check] DOC.md\n")
        return 2
    doc = pathlib.Path(argv[-1])
    try:
        tables = parse(doc.read_text(encoding="utf-8"))
        outputs = {INC_PATH: generate(tables), IDS_PATH: generate_ids(tables)}
    except (OSError, UnicodeDecodeError, DocError) as e:
        sys.stderr.write(f"gen_messages.py: {doc}: {e}\n")
        return 2
    if not check:
        for path, text in outputs.items():
            path.write_text(text, encoding="utf-8")
        return 0
    status = 0
    for path, generated in outputs.items():
        try:
            committed = path.read_text(encoding="utf-8")
        except OSError as e:
            sys.stderr.write(f"gen_messages.py: {e}\n")
            return 1
        if committed == generated:
            continue
        status = 1
        sys.stdout.writelines(
            difflib.unified_diff(
                committed.splitlines(True),
                generated.splitlines(True),
                fromfile=f"committed {path.name}",
                tofile=f"generated from {doc}",
            )
        )
    if status == 0:
        counts = ", ".join(f"{name} {len(tables[name])}" for name in TABLES)
        print(f"{INC_PATH.name} and {IDS_PATH.name} match {doc} ({counts} texts)")
    return status

if __name__ == "__main__":
    sys.exit(main(sys.argv))
