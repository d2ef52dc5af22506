#!/usr/bin/env python3
"""Fails when a source file includes a folder above its own.

The folders of src/ are layers, listed here bottom to top. A file may include
its own folder and the folders below it. A window folder (NAME/gui) sits just
above NAME: it may include NAME, everything below NAME, and the window folders
below it; nothing below NAME/gui includes it. The window kit's gui folder is
the only one every window folder may use.
"""
import os
import re
import sys

LAYERS = [
    "lib",        # base types, MAT files, random numbers, dialog service
    "windowkit",  # the window kit: layouts, controls by tag, dispatcher, Qt dialogs
    "instrument", # transports, download, sequences, calibration
    "bluetooth",  # settings, coding, modulation, impairments, dirty-transmitter logic
    "analysis",   # receiver and measurements
    "sim",        # the instrument simulator
    "plots",      # plot data
    "radio",      # software-defined radios
    "app",        # the application shell: state, settings files, common frame, main window
]


def rank(folder):
    """Position of a folder: layer index, and 1 for its gui/ part."""
    parts = folder.split("/")
    if parts[0] not in LAYERS or len(parts) > 2 or (len(parts) == 2 and parts[1] != "gui"):
        return None
    return LAYERS.index(parts[0]), len(parts) == 2


def allowed(src, dst):
    (s, s_gui), (d, d_gui) = rank(src), rank(dst)
    if d_gui and not s_gui:
        return False  # only window folders include window folders
    return d <= s


def main(root):
    src_root = os.path.join(root, "src")
    include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
    problems = []
    edges = {}
    for folder, _, files in os.walk(src_root):
        rel = os.path.relpath(folder, src_root)
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            if rank(rel) is None:
                problems.append(f"src/{rel}/{name}: folder src/{rel} is not one of the layers")
                continue
            path = os.path.join(folder, name)
            with open(path, encoding="utf-8") as f:
                for number, line in enumerate(f, 1):
                    m = include.match(line)
                    if not m:
                        continue
                    target = m.group(1)
                    dst = os.path.dirname(target)
                    if not os.path.exists(os.path.join(src_root, target)):
                        if os.path.exists(os.path.join(folder, target)):
                            dst = os.path.normpath(os.path.join(rel, dst))
                        else:
                            continue  # not a file of the project
                    if rank(dst) is None:
                        problems.append(f"src/{rel}/{name}:{number}: includes \"{target}\" from outside the layers")
                        continue
                    if dst != rel:
                        edges.setdefault((rel, dst), f"src/{rel}/{name}:{number}: \"{target}\"")
                    if not allowed(rel, dst):
                        problems.append(f"src/{rel}/{name}:{number}: includes \"{target}\", "
                                        f"but src/{dst} is not below src/{rel}")
    for (a, b), where in sorted(edges.items()):
        if (b, a) in edges and a < b:
            problems.append(f"src/{a} and src/{b} include each other: {where} and {edges[(b, a)]}")
    for p in problems:
        print(p)
    print(f"{len(problems)} layer violations" if problems else "layers: every include points down")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")))
