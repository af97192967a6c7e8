#!/usr/bin/env python3
"""Lists entry points the program calls that window/gl_calls.inc does not.

Start-up checks only the entry points gl_calls.inc names; one called but
not listed would crash at its first call on a system that lacks it. This
script reads the program's sources for calls through dgl::,
gl_stub_table. and glu_stub_table. and prints every name missing from the
matching table of gl_calls.inc. A call behind a test of its own entry
point ("if (dgl::glFoo)") is optional and needs no listing. The 3D
engine's folder is left out: the timeline never reaches its drawing.
Other code the program never reaches (a loader nothing calls) is listed
too; it needs no entry, since a start-up check for it would only stop the
program on a system that lacks something it never uses.

Run by hand:  python3 tools/glgen/glcalls.py   (exit status 1 when a name
is missing)
"""

import os
import re
import sys

FOLDERS = ["framework", "window", "texture", "sound", "effects", "demo", "dialog"]

CALL = re.compile(r"\b(dgl::|gl_stub_table\.|glu_stub_table\.)(glu?[A-Z0-9]\w*)\s*\(")
GUARD = re.compile(r"\bif\s*\(\s*(dgl::|gl_stub_table\.|glu_stub_table\.)(glu?[A-Z0-9]\w*)\s*\)")
LISTED = re.compile(r"^(GL_CALL_CORE|GL_CALL_EXT|GLU_CALL|GL_STUB_CALL|GLU_STUB_CALL)\((\w+)\)",
                    re.M)


def table_of(prefix, name, core):
    if prefix == "dgl::":
        if name.startswith("glu"):
            return "GLU_CALL"
        return "GL_CALL_CORE" if name in core else "GL_CALL_EXT"
    if prefix == "gl_stub_table.":
        return "GL_STUB_CALL"
    return "GLU_STUB_CALL"


def main():
    root = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    with open(os.path.join(root, "window", "gl_calls.inc")) as f:
        listed = {(m.group(1), m.group(2)) for m in LISTED.finditer(f.read())}
    with open(os.path.join(root, "window", "gl_names_core.inc")) as f:
        core = set(re.findall(r"^GL_ENTRY\((\w+),", f.read(), re.M))

    missing = {}
    for folder in FOLDERS:
        base = os.path.join(root, folder)
        if not os.path.isdir(base):
            continue
        for dirpath, _, files in os.walk(base):
            for fn in sorted(files):
                if not fn.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(dirpath, fn)
                with open(path, encoding="utf-8", errors="replace") as f:
                    text = f.read()
                guarded = {(m.group(1), m.group(2)) for m in GUARD.finditer(text)}
                for m in CALL.finditer(text):
                    prefix, name = m.group(1), m.group(2)
                    if (prefix, name) in guarded:
                        continue
                    table = table_of(prefix, name, core)
                    if (table, name) not in listed:
                        where = os.path.relpath(path, root)
                        missing.setdefault((table, name), set()).add(where)

    for (table, name), files in sorted(missing.items()):
        print("%s(%s)  // %s" % (table, name, ", ".join(sorted(files))))
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
