#!/usr/bin/env python3
"""Fails when a folder of src/ or tools/ includes a header of a folder above it.

Folders in one row may not include each other either: the subsystems stand
side by side, each reaching only what is below it.
"""
import re
import sys
from pathlib import Path

LAYERS = [
    ["base"],                                  # ASCII text, bounded copies
    ["platform"],                              # the Windows interface
    ["record"],                                # what a run of the wizard shares
    ["framework", "system", "regtree"],        # dialogs and application; the running
                                               # Windows' settings; registry trees
    ["scripting"],                             # pages without windows, scripts, transcripts
    ["devices", "access", "selection", "writers"],
    ["app"],                                   # the wizard
    ["unattended"],                            # runs answered from options
    ["platform/sim", "platform/win32"],        # the two backends
    ["tools"],                                 # the programs
]
RANK = {folder: rank for rank, row in enumerate(LAYERS) for folder in row}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path):
    """The folder a path under src/ (or a tools/ program) belongs to."""
    parts = Path(path).parts
    if parts[0] == "tools" or parts[0] in ("common", "chanwiz-sim", "chanwiz-cli", "chanwiz"):
        return "tools"
    if parts[0] == "platform" and len(parts) > 2:
        return "platform/" + parts[1]
    return parts[0] if len(parts) > 1 else None


def upward_edges(root):
    edges = []
    for tree in ("src", "tools"):
        for source in sorted((root / tree).rglob("*")):
            if source.suffix not in (".h", ".cpp") or "ui-driver" in source.parts:
                continue
            relative = source.relative_to(root / tree) if tree == "src" else source.relative_to(root)
            here = folder_of(relative)
            for target in INCLUDE.findall(source.read_text(errors="replace")):
                there = folder_of(target)
                if here not in RANK or there not in RANK or there == here:
                    continue
                if RANK[there] >= RANK[here]:
                    edges.append(f"{source.relative_to(root)}: {here} includes {target} ({there})")
    return edges


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[2])
    edges = upward_edges(root)
    for edge in edges:
        print(edge)
    print(f"layers: {len(edges)} include(s) against the order of the folders")
    return 1 if edges else 0


if __name__ == "__main__":
    sys.exit(main())
