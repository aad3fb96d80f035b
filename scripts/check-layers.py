#!/usr/bin/env python3
"""Checks that the program's own sources depend on each other one way only.

A unit is a header with its source (check/scan.h and check/scan.cpp). The
script reads every #include "..." of the program's folders, and fails when
  - units include each other in a cycle, or
  - a file includes a file of a higher layer.
The layers, lowest first; a folder may use its own layer and those below,
and units of one layer may use each other as long as no cycle forms:
  1. platform, resources  the operating system, the dialog templates
  2. core                 shared state, status output, the window's layouts
  3. settings, bots, check, download
                          the subsystems: game locator and settings store,
                          bot table, scan and result lists, downloads
  4. app                  WinMain, DialogFunc, the main window's commands
  5. cli                  nodescan-cli, which runs the app headless
The entry points of the window programs (Qt, Win32) live beside their hosts
but start the app, so they count as the app's layer.
Usage: scripts/check-layers.py [source root]; exit 0 when clean, else 1.
"""

import os
import re
import sys

LAYERS = [
    ("platform", "resources"),
    ("core",),
    ("settings", "bots", "check", "download"),
    ("app",),
    ("cli",),
]
ENTRY_POINTS = {"platform/qt/main.cpp": "app", "platform/win32/main.cpp": "app"}
SUFFIXES = (".h", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def folder_of(path):
    return ENTRY_POINTS.get(path, path.split("/", 1)[0])


def layer_of(folder):
    for rank, folders in enumerate(LAYERS):
        if folder in folders:
            return rank
    return None


def unit_of(path):
    return os.path.splitext(path)[0]


def read_includes(root):
    """Returns {file: [(line number, included file)]} for every source."""
    found = {}
    for folders in LAYERS:
        for folder in folders:
            for top, dirs, files in os.walk(os.path.join(root, folder)):
                dirs.sort()
                for name in sorted(files):
                    if not name.endswith(SUFFIXES):
                        continue
                    full = os.path.join(top, name)
                    rel = os.path.relpath(full, root).replace(os.sep, "/")
                    includes = []
                    with open(full, encoding="utf-8", errors="replace") as f:
                        for number, text in enumerate(f, 1):
                            m = INCLUDE.match(text)
                            if m and os.path.isfile(os.path.join(root, m.group(1))):
                                includes.append((number, m.group(1)))
                    found[rel] = includes
    return found


def layer_faults(found):
    faults = []
    for path, includes in sorted(found.items()):
        mine = layer_of(folder_of(path))
        for number, target in includes:
            theirs = layer_of(folder_of(target))
            if theirs is None or mine is None or theirs > mine:
                faults.append(
                    f"{path}:{number}: includes {target} "
                    f"(layer {folder_of(path)} may not use layer {folder_of(target)})"
                )
    return faults


def cycles(found):
    """The strongly connected components of more than one unit (Tarjan)."""
    graph = {}
    for path, includes in found.items():
        edges = graph.setdefault(unit_of(path), set())
        for _, target in includes:
            if unit_of(target) != unit_of(path):
                edges.add(unit_of(target))
    index, low, stack, on_stack, result = {}, {}, [], set(), []

    def visit(start):
        # Iterative, so that a long chain never meets the recursion limit.
        work = [(start, iter(sorted(graph.get(start, ()))))]
        index[start] = low[start] = len(index)
        stack.append(start)
        on_stack.add(start)
        while work:
            node, edges = work[-1]
            advanced = False
            for nxt in edges:
                if nxt not in index:
                    index[nxt] = low[nxt] = len(index)
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(sorted(graph.get(nxt, ())))))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[node] = min(low[node], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    top = stack.pop()
                    on_stack.discard(top)
                    component.append(top)
                    if top == node:
                        break
                if len(component) > 1:
                    result.append(sorted(component))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return sorted(result)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    found = read_includes(os.path.abspath(root))
    faults = layer_faults(found)
    loops = cycles(found)
    for line in faults:
        print(line)
    for loop in loops:
        print(f"cycle among {len(loop)} units: " + ", ".join(loop))
    units = len({unit_of(p) for p in found})
    includes = sum(len(i) for i in found.values())
    if faults or loops:
        print(f"check-layers: {len(faults)} includes against the layer order, "
              f"{len(loops)} cycle{'' if len(loops) == 1 else 's'} "
              f"({units} units, {includes} includes)")
        return 1
    print(f"check-layers: {units} units, {includes} includes, layers and no cycle: clean")
    return 0


if __name__ == "__main__":
    sys.exit(main())
