#!/usr/bin/env python3
"""Every built thing says the project version of ROOT/CMakeLists.txt.

usage: check_version.py ROOT THING...   THING: a .exe (fixed version, FileVersion,
ProductVersion), a .msi (ProductVersion, by msiinfo) or "text:chanwiz-cli 1.0.0"
(what --version printed). Exit 1 on a difference, 2 when a thing cannot be read.
"""
import os
import re
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_resources import RT_VERSION, Checks, FormatError, PeFile, only, version_strings  # noqa: E402


def cmake_version(root):
    text = open(os.path.join(root, "CMakeLists.txt"), encoding="utf-8").read()
    m = re.search(r"project\(\s*Chanwiz\s+VERSION\s+(\d+)\.(\d+)\.(\d+)\b", text)
    if not m:
        raise ValueError("no project(Chanwiz VERSION X.Y.Z) in CMakeLists.txt")
    return tuple(int(n) for n in m.groups())


def said_versions(thing):
    """{what: version text} that THING states."""
    if thing.startswith("text:"):
        words = thing[5:].split() or ["?", ""]
        return {"--version of %s" % words[0]: words[-1]}
    name = os.path.basename(thing)
    if thing.lower().endswith(".msi"):
        table = subprocess.run(["msiinfo", "export", thing, "Property"], check=True,
                               capture_output=True, text=True).stdout
        rows = dict(line.split("\t", 1) for line in table.splitlines() if "\t" in line)
        return {"%s ProductVersion" % name: rows.get("ProductVersion", "")}
    data = only(PeFile(open(thing, "rb").read()).resources(), (RT_VERSION, 1))
    if data is None:
        raise ValueError("%s has no version record" % thing)
    fixed, strings = version_strings(data)
    return {"%s fixed version" % name: ".".join(map(str, fixed)),
            "%s FileVersion" % name: strings.get("FileVersion", ""),
            "%s ProductVersion" % name: strings.get("ProductVersion", "")}


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    checks = Checks()
    try:
        want = cmake_version(sys.argv[1])
        said = {what: text for thing in sys.argv[2:] for what, text in said_versions(thing).items()}
    except (OSError, ValueError, FormatError, struct.error, subprocess.CalledProcessError) as e:
        print("check_version: cannot read a version: %s" % e, file=sys.stderr)
        return 2
    for what, text in said.items():
        # Resources carry four numbers; the fourth is always 0.
        checks.check(text in (".".join(map(str, want)), ".".join(map(str, want + (0,)))),
                     "%s is %d.%d.%d" % ((what,) + want), "it says %r" % text)
    print("%d passed, %d failed" % (checks.passed, checks.failed))
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
