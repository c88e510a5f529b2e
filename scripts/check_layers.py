#!/usr/bin/env python3
"""Checks that no #include of the program's code points up a layer.

The layers are the lines of the first fenced block of ARCHITECTURE.md, the
top layer first: each line starts with the folders of its layer ("crawler/",
"libs/*"). A file belongs to the layer of the longest folder that holds it,
and may include files of its own layer and of the layers below; an include
of a layer above is reported. Test code (tests/ folders), and folders that
are in no layer, are not checked.

usage: check_layers.py [SOURCE_ROOT]   exit status 0 when nothing points up
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layers(architecture):
    text = open(architecture, encoding="utf-8").read()
    block = re.search(r"^```\n(.*?)^```", text, re.M | re.S)
    if not block:
        sys.exit(f"{architecture}: no layer list")
    out = []
    for line in block.group(1).splitlines():
        folders = []
        for word in line.split():
            if not (word.endswith("/") or word.endswith("/*")):
                break
            folders.append(word.rstrip("*"))
        if folders:
            out.append(folders)
    return out


def layer_of(path, table):
    best, index = "", None
    for i, folders in enumerate(table):
        for folder in folders:
            if path.startswith(folder) and len(folder) > len(best):
                best, index = folder, i
    return index


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    table = layers(os.path.join(root, "ARCHITECTURE.md"))
    found = []
    for top in sorted({f.split("/")[0] for folders in table for f in folders}):
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs[:] = [d for d in dirs if d != "tests"]
            for name in files:
                if not name.endswith((".h", ".cpp", ".cc", ".c")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
                own = layer_of(path, table)
                if own is None:
                    continue
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                    for included in INCLUDE.findall(f.read()):
                        theirs = layer_of(included, table)
                        if theirs is not None and theirs < own:
                            found.append(f"{path}: includes {included}, a layer above")
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
