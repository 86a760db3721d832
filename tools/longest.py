#!/usr/bin/env python3
"""Lists the longest production source files and functions of the tree.

Usage: tools/longest.py [--files N] [--functions N] [SOURCE_DIR]
Production code: installer/, plib/, protocols/, client/, tools/ (tests,
build trees and third-party code left out). A function is a brace block that
opens at namespace level after a line holding '('; its length counts from
the line of its name to its closing brace. Class bodies count as scopes, so
member functions defined in them are counted one by one.
"""
import argparse
import os
import re

ROOTS = ("installer", "plib", "protocols", "client", "tools")
SUFFIXES = (".cpp", ".h", ".c")
SCOPE_OPENER = re.compile(r"^\s*(namespace\b|extern\s+\"C\"|(class|struct|union)\s+\w[^;(]*$|enum\b)")


def production_files(top):
    for root in ROOTS:
        for folder, dirs, files in os.walk(os.path.join(top, root)):
            dirs[:] = [d for d in dirs if d not in ("build", ".git", "corpus")]
            for name in files:
                if name.endswith(SUFFIXES):
                    yield os.path.join(folder, name)


def strip_code(line, in_comment):
    """The line without comments, strings and characters; whether a block comment runs on."""
    out, i = [], 0
    while i < len(line):
        if in_comment:
            end = line.find("*/", i)
            if end < 0:
                return "".join(out), True
            i, in_comment = end + 2, False
        elif line.startswith("//", i):
            break
        elif line.startswith("/*", i):
            in_comment, i = True, i + 2
        elif line[i] in "\"'":
            quote, i = line[i], i + 1
            while i < len(line) and line[i] != quote:
                i += 2 if line[i] == "\\" else 1
            i += 1
        else:
            out.append(line[i])
            i += 1
    return "".join(out), in_comment


def functions(path):
    """(length, first line, name) of each function body in the file."""
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()
    found, stack, in_comment = [], [], False  # stack: ("scope"|"function"|"block", start, name)
    header, start_line, continued = "", None, False  # code since the last statement or brace
    for number, raw in enumerate(lines, 1):
        code, in_comment = strip_code(raw, in_comment)
        if continued or code.lstrip().startswith("#"):
            continued = raw.rstrip().endswith("\\")
            continue
        for ch in code:
            if ch == "{":
                in_function = any(kind == "function" for kind, _, _ in stack)
                opens_scope = bool(SCOPE_OPENER.match(header))
                if in_function:
                    stack.append(("block", number, ""))
                elif "(" in header and not opens_scope and "=" not in header.split("(")[0]:
                    name = re.findall(r"([~\w:]+)\s*\(", header)
                    stack.append(("function", start_line or number, name[0] if name else "?"))
                else:
                    stack.append(("scope", number, ""))
                header, start_line = "", None
            elif ch == "}":
                if stack:
                    kind, start, name = stack.pop()
                    if kind == "function":
                        found.append((number - start + 1, start, name))
                header, start_line = "", None
            elif ch == ";":
                header, start_line = "", None
            else:
                if not ch.isspace() and start_line is None:
                    start_line = number
                header += ch
        header += " "
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--files", type=int, default=15)
    parser.add_argument("--functions", type=int, default=15)
    parser.add_argument("top", nargs="?", default=os.path.join(os.path.dirname(__file__), ".."))
    args = parser.parse_args()
    top = os.path.abspath(args.top)
    sizes, bodies = [], []
    for path in production_files(top):
        relative = os.path.relpath(path, top)
        with open(path, encoding="utf-8", errors="replace") as f:
            sizes.append((sum(1 for _ in f), relative))
        bodies += [(length, relative, start, name) for length, start, name in functions(path)]
    print("Longest production files (lines):")
    for count, relative in sorted(sizes, reverse=True)[: args.files]:
        print(f"  {count:5d}  {relative}")
    print("Longest functions (lines):")
    for length, relative, start, name in sorted(bodies, reverse=True)[: args.functions]:
        print(f"  {length:5d}  {relative}:{start}  {name}")


if __name__ == "__main__":
    main()
