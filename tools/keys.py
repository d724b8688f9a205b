#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
"""Writes the list of keys and mouse actions from docs/keys.txt into the README, the man page and --help.

    tools/keys.py --write   rewrite the lists between the markers in README.md, docs/ocula.1
                            and src/app/main.cpp
    tools/keys.py --check   fail, showing the difference, where they are not what --write writes

Each target keeps its list between a begin and an end marker line; the rest of the file is
written by hand.
"""
import argparse
import difflib
import pathlib
import re
import sys
import textwrap

ROOT = pathlib.Path(__file__).resolve().parent.parent
SOURCE = ROOT / "docs" / "keys.txt"
CODE = re.compile(r"`([^`]+)`")


def read_groups(text):
    groups = []
    for number, line in enumerate(text.splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("[") and line.endswith("]"):
            groups.append((line[1:-1], []))
            continue
        keys, sep, action = (part.strip() for part in line.partition(" | "))
        if not sep or not keys or not action or not groups:
            sys.exit(f"{SOURCE}:{number}: expected \"[Group]\" or \"keys | action\" in a group")
        groups[-1][1].append(([k.strip() for k in keys.split(",")], action))
    return groups


def markdown_text(text):
    return re.sub(r"([\\*_\[\]<>])", r"\\\1", text)


def markdown(groups):
    out = []
    for title, entries in groups:
        out += [f"**{markdown_text(title)}**", ""]
        for keys, action in entries:
            pieces = CODE.split(action)  # odd pieces were in backticks
            shown = "".join(f"`{p}`" if i % 2 else markdown_text(p) for i, p in enumerate(pieces))
            out.append("- " + ", ".join(f"`{k}`" for k in keys) + ": " + shown)
        out.append("")
    return out[:-1]


ROFF_CHARACTERS = {"×": r"\(mu"}


def roff_text(text, literal=False):
    text = text.replace("\\", r"\e")
    if literal:
        text = text.replace("-", r"\-")  # a key to type, not a hyphen
    for character, escape in ROFF_CHARACTERS.items():
        text = text.replace(character, escape)
    if not text.isascii():
        sys.exit(f"{SOURCE}: give tools/keys.py a roff name for the characters of: {text}")
    return text


def roff(groups):
    out = []
    for title, entries in groups:
        out.append(".SS " + roff_text(title))
        for keys, action in entries:
            pieces = CODE.split(action)
            shown = "".join(
                rf"\fB{roff_text(p, True)}\fR" if i % 2 else roff_text(p)
                for i, p in enumerate(pieces)
            )
            out += [".TP", ", ".join(rf"\fB{roff_text(k, True)}\fR" for k in keys)]
            # A line that starts with a dot or a quote would be read as a request.
            out.append(r"\&" + shown if shown[:1] in ".'" else shown)
    return out


def c_text(text):
    return CODE.sub(r"\1", text).replace("×", "x").replace("\\", "\\\\").replace('"', '\\"')


def help_text(groups):
    """The list as --help prints it: C string literals, wrapped for an 80-column terminal."""
    lines = [""]
    for title, entries in groups:
        lines.append(c_text(title) + ":")
        for keys, action in entries:
            lines += textwrap.wrap(
                ", ".join(c_text(k) for k in keys) + ": " + c_text(action),
                width=76,
                initial_indent="  ",
                subsequent_indent="      ",
                break_on_hyphens=False,
            )
    return [f'    "{line}\\n"' for line in lines]


TARGETS = (
    (ROOT / "README.md", "<!-- keys: begin", "<!-- keys: end", markdown),
    (ROOT / "docs" / "ocula.1", '.\\" keys: begin', '.\\" keys: end', roff),
    (ROOT / "src" / "app" / "main.cpp", "    // keys: begin", "    // keys: end", help_text),
)


def spliced(path, begin, end, body):
    lines = path.read_text(encoding="utf-8").splitlines()
    starts = [i for i, line in enumerate(lines) if line.startswith(begin)]
    ends = [i for i, line in enumerate(lines) if line.startswith(end)]
    if len(starts) != 1 or len(ends) != 1 or ends[0] < starts[0]:
        sys.exit(f"{path}: needs one \"{begin}\" line and, after it, one \"{end}\" line")
    return "\n".join(lines[: starts[0] + 1] + body + lines[ends[0] :]) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    mode = parser.add_mutually_exclusive_group(required=True)
    mode.add_argument("--write", action="store_true")
    mode.add_argument("--check", action="store_true")
    args = parser.parse_args()
    groups = read_groups(SOURCE.read_text(encoding="utf-8"))
    stale = False
    for path, begin, end, render in TARGETS:
        old = path.read_text(encoding="utf-8")
        new = spliced(path, begin, end, render(groups))
        if new == old:
            continue
        if args.write:
            path.write_text(new, encoding="utf-8")
            print(f"keys: wrote {path.relative_to(ROOT)}")
        else:
            stale = True
            name = str(path.relative_to(ROOT))
            sys.stdout.writelines(
                difflib.unified_diff(
                    old.splitlines(True), new.splitlines(True), name, name + " (from docs/keys.txt)"
                )
            )
    if stale:
        sys.exit("keys: the lists differ from docs/keys.txt; run tools/keys.py --write")
    if args.check:
        print(f"keys check: {len(TARGETS)} lists match docs/keys.txt")


if __name__ == "__main__":
    main()
