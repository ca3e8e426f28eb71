#!/usr/bin/env python3
"""Turns a string table (strings.txt) into the ids header, a resource script and a portable table.

The table holds one entry a line, four TAB-separated columns:
    <id> <NAME> <korean> <english>    a pair: Korean at id N, English at id N + 1
    <id> <NAME> <text> -              a single string at id N
Lines starting with '#' are comments, blank lines are ignored. Texts are UTF-8; the only escapes
are \\n \\r \\t and \\\\. Anything else (a duplicate id or name, an id N + 1 that another entry
uses, a bad escape, a wrong column count, bytes that are not UTF-8, an empty text) stops the
generator with file:line and the reason, so a broken table never reaches a build.

A text may name a deployment value as @NAME@ (capitals, digits and _): with --deployment, the
string value the generated deployment header defines for NAME (#define NAME "value") stands in its
place, so a text that gives an address carries the one the build was configured with. A name the
header does not define stops the generator likewise.

Usage: gen_strings.py TABLE --ids IDS.h --rc STRINGS.rc --cpp TABLE.cpp --header TABLE.h
                      --namespace a::b --include-as path/of/TABLE.h [--deployment DEPLOYMENT.h]
Runs on the build host with the standard library only, so a cross build needs no host compiler.
scripts/check-resources imports parse_table and expand_deployment from here, so both read the
table the same way.
"""
import argparse
import os
import re
import sys

NAME = re.compile(r"IDS_[A-Z0-9_]+\Z")
ID = re.compile(r"[1-9][0-9]{0,4}\Z")
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}
SINGLE = "-"
MAX_ID = 65535


class TableError(Exception):
    def __init__(self, path, line, message):
        super().__init__(f"{path}:{line}: {message}")


class Entry:
    """One line of the table: a pair (english is not None) or a single string."""

    def __init__(self, line, ident, name, korean, english):
        self.line = line
        self.id = ident
        self.name = name
        self.korean = korean
        self.english = english

    @property
    def is_pair(self):
        return self.english is not None

    def strings(self):
        """(id, text) of each string resource this entry makes."""
        if self.is_pair:
            return [(self.id, self.korean), (self.id + 1, self.english)]
        return [(self.id, self.korean)]


def unescape(text, path, line, column):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\":
            if i + 1 == len(text):
                raise TableError(path, line, f"{column}: a backslash ends the text (write \\\\ for one)")
            e = text[i + 1]
            if e not in ESCAPES:
                raise TableError(path, line, f"{column}: unknown escape \\{e} (only \\n \\r \\t \\\\)")
            out.append(ESCAPES[e])
            i += 2
            continue
        if ord(c) < 0x20 or ord(c) == 0x7F:
            raise TableError(path, line, f"{column}: control character U+{ord(c):04X} (use an escape)")
        out.append(c)
        i += 1
    if not out:
        raise TableError(path, line, f"{column}: empty text (a string resource cannot be empty)")
    return "".join(out)


def parse_table(path):
    """The entries of the table at path, in file order; raises TableError on the first fault."""
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"\xef\xbb\xbf"):
        raise TableError(path, 1, "byte-order mark: the table is plain UTF-8 without one")
    entries = []
    owner = {}  # string id -> (entry, what) of the entry that makes it
    names = {}
    for number, raw in enumerate(data.split(b"\n"), 1):
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError as e:
            raise TableError(path, number, f"not UTF-8 (byte 0x{raw[e.start]:02X} at column {e.start + 1})")
        if text.endswith("\r"):
            raise TableError(path, number, "carriage return at the end of the line (CRLF line ends)")
        if text.strip() == "" or text.startswith("#"):
            continue
        columns = text.split("\t")
        if len(columns) != 4:
            raise TableError(path, number, f"{len(columns)} TAB-separated columns, expected 4 "
                                           "(id, NAME, korean, english or -)")
        ident_text, name, korean, english = columns
        if not ID.match(ident_text):
            raise TableError(path, number, f"id '{ident_text}' is not a decimal number from 1 to {MAX_ID}")
        ident = int(ident_text)
        if not NAME.match(name):
            raise TableError(path, number, f"name '{name}' is not IDS_ followed by capitals, digits and _")
        if name in names:
            raise TableError(path, number, f"name {name} already used on line {names[name].line}")
        korean = unescape(korean, path, number, "text")
        english = None if english == SINGLE else unescape(english, path, number, "English text")
        entry = Entry(number, ident, name, korean, english)
        for string_id, _ in entry.strings():
            if string_id > MAX_ID:
                raise TableError(path, number, f"id {string_id} is beyond {MAX_ID}")
            if string_id in owner:
                other = owner[string_id]
                raise TableError(path, number, f"id {string_id} of {name} is already id {string_id} of "
                                               f"{other.name} on line {other.line}")
        for string_id, _ in entry.strings():
            owner[string_id] = entry
        names[name] = entry
        entries.append(entry)
    return entries


PLACEHOLDER = re.compile(r"@([A-Z][A-Z0-9_]*)@")
STRING_DEFINE = re.compile(r'^\s*#\s*define\s+([A-Z][A-Z0-9_]*)\s+"([^"\\]*)"\s*$', re.M)


def deployment_values(path):
    """NAME -> value of the string defines (#define NAME "value") of a generated header."""
    with open(path, encoding="utf-8") as f:
        return dict(STRING_DEFINE.findall(f.read()))


def expand_deployment(entries, values, path):
    """Replaces each @NAME@ of the entries' texts with values[NAME]; raises TableError on the
    entry's line for a name that values does not hold."""
    def expand(text, entry):
        def value(m):
            if m.group(1) not in values:
                raise TableError(path, entry.line, f"@{m.group(1)}@ is no deployment value")
            return values[m.group(1)]
        return PLACEHOLDER.sub(value, text)

    for entry in entries:
        entry.korean = expand(entry.korean, entry)
        if entry.english is not None:
            entry.english = expand(entry.english, entry)
    return entries


def c_literal(text):
    """A C/C++ string body: the texts hold no control characters but the three escapes."""
    return (text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")
            .replace("\r", "\\r").replace("\t", "\\t"))


def rc_literal(text):
    """A resource-script string body: quotes doubled, as both rc and windres read them."""
    return (text.replace("\\", "\\\\").replace('"', '""').replace("\n", "\\n")
            .replace("\r", "\\r").replace("\t", "\\t"))


def strings_sorted(entries):
    return sorted(((string_id, text, entry) for entry in entries for string_id, text in entry.strings()),
                  key=lambda item: item[0])


def ids_header(entries, source):
    lines = [f"// Generated from {source} by tools/gen-strings/gen_strings.py: do not edit.",
             "// A pair's name is its Korean id N; the English text is N + 1.", "#pragma once", ""]
    for entry in sorted(entries, key=lambda e: e.id):
        kind = "" if entry.is_pair else "  // single"
        lines.append(f"#define {entry.name} {entry.id}{kind}")
    return "\n".join(lines) + "\n"


def resource_script(entries, source):
    lines = [f"// Generated from {source} by tools/gen-strings/gen_strings.py: do not edit.",
             "#pragma code_page(65001)", "", "STRINGTABLE", "BEGIN"]
    for string_id, text, entry in strings_sorted(entries):
        suffix = " + 1" if entry.is_pair and string_id != entry.id else ""
        lines.append(f'  {string_id} "{rc_literal(text)}"  // {entry.name}{suffix}')
    lines.append("END")
    return "\n".join(lines) + "\n"


def table_header(namespace, source):
    opened = "".join(f"namespace {part} {{\n" for part in namespace.split("::"))
    closed = "".join(f"}}  // namespace {part}\n" for part in reversed(namespace.split("::")))
    return f"""// Generated from {source} by tools/gen-strings/gen_strings.py: do not edit.
// The string table as data, for code and tests that have no resources to load from (the native
// build) and for tests that hold what a window shows against what the table says.
#pragma once

#include <cstddef>

{opened}
struct StringEntry {{
  unsigned id;
  const char *text;  // UTF-8
}};

// Every string of the table, sorted by id.
extern const StringEntry kStrings[];
extern const std::size_t kStringCount;

// The text of string id, or null when the table has none.
const char *FindString(unsigned id);
// The text of the pair whose Korean id is korean_id: id N when korean, else N + 1.
const char *FindPairText(unsigned korean_id, bool korean);

{closed}"""


def table_source(entries, namespace, include_as, source):
    rows = "\n".join(f'    {{{string_id}, u8"{c_literal(text)}"}},  // {entry.name}'
                     f'{" + 1" if entry.is_pair and string_id != entry.id else ""}'
                     for string_id, text, entry in strings_sorted(entries))
    opened = "".join(f"namespace {part} {{\n" for part in namespace.split("::"))
    closed = "".join(f"}}  // namespace {part}\n" for part in reversed(namespace.split("::")))
    return f"""// Generated from {source} by tools/gen-strings/gen_strings.py: do not edit.
#include "{include_as}"

#include <algorithm>

{opened}
const StringEntry kStrings[] = {{
{rows}
}};
const std::size_t kStringCount = sizeof kStrings / sizeof kStrings[0];

const char *FindString(unsigned id) {{
  const StringEntry *end = kStrings + kStringCount;
  const StringEntry *found =
      std::lower_bound(kStrings, end, id, [](const StringEntry &entry, unsigned key) {{ return entry.id < key; }});
  return found != end && found->id == id ? found->text : nullptr;
}}

const char *FindPairText(unsigned korean_id, bool korean) {{ return FindString(korean ? korean_id : korean_id + 1); }}

{closed}"""


def write(path, text):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def main(argv):
    parser = argparse.ArgumentParser(description="string table generator")
    parser.add_argument("table")
    parser.add_argument("--ids")
    parser.add_argument("--rc")
    parser.add_argument("--cpp")
    parser.add_argument("--header")
    parser.add_argument("--namespace", default="v7::strings")
    parser.add_argument("--include-as", help="the header's path as the .cpp includes it")
    parser.add_argument("--deployment", help="the generated header of the deployment values @NAME@ names")
    args = parser.parse_args(argv)
    try:
        entries = parse_table(args.table)
        if args.deployment:
            expand_deployment(entries, deployment_values(args.deployment), args.table)
    except TableError as e:
        print(f"gen_strings: {e}", file=sys.stderr)
        return 1
    except OSError as e:
        print(f"gen_strings: {e.filename or args.table}: {e.strerror}", file=sys.stderr)
        return 1
    source = os.path.basename(args.table)
    if args.ids:
        write(args.ids, ids_header(entries, source))
    if args.rc:
        write(args.rc, resource_script(entries, source))
    if args.header:
        write(args.header, table_header(args.namespace, source))
    if args.cpp:
        include_as = args.include_as or os.path.basename(args.header or "string_table.h")
        write(args.cpp, table_source(entries, args.namespace, include_as, source))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
