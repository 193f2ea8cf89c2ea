#!/usr/bin/env python3
"""Check chanwiz-cli.exe, reading the PE file directly.

  - a console program (subsystem 3): deployment tools read its exit code and
    output;
  - no pages, no icon: the wizard's pages are answered without windows;
  - a version record naming chanwiz-cli.exe;
  - its own manifest (RT_MANIFEST 1) asking for administrator rights.

usage: check_cli.py EXE
Prints one line per check and ends with "N passed, N failed".
"""
import os
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_resources import (RT_MANIFEST, RT_VERSION, Checks, only, read_pe,  # noqa: E402
                             version_strings)

RT_DIALOG = 5
RT_GROUP_ICON = 14


def run(data, out=sys.stdout):
    checks = Checks(out)
    pe, resources = read_pe(checks, data)
    if pe is None:
        return checks
    checks.check(pe.subsystem == 3, "console subsystem", "subsystem %d" % pe.subsystem)
    kinds = {key[0] for key in resources}
    checks.check(RT_DIALOG not in kinds and RT_GROUP_ICON not in kinds,
                 "no dialog templates or icons", "resource types %r" % sorted(kinds))
    version = only(resources, (RT_VERSION, 1))
    if checks.check(version is not None, "version record is linked in"):
        _, strings = version_strings(version)
        checks.check(strings.get("OriginalFilename") == "chanwiz-cli.exe",
                     "version OriginalFilename is chanwiz-cli.exe",
                     "got %r" % strings.get("OriginalFilename"))
    manifest = only(resources, (RT_MANIFEST, 1))
    if checks.check(manifest is not None, "manifest (RT_MANIFEST 1) is linked in"):
        try:
            root = ET.fromstring(manifest)
        except ET.ParseError as e:
            checks.check(False, "manifest is well-formed XML", str(e))
            return checks
        level = [e.get("level") for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
        checks.check(level == ["requireAdministrator"], "manifest asks for administrator rights",
                     "levels %r" % level)
        names = [e.get("name") for e in root.iter() if e.tag.endswith("}assemblyIdentity")]
        checks.check(names[:1] == ["MorvexMultimedia.ChanwizCli"],
                     "manifest is the console program's own", "names %r" % names)
    return checks


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    print("== %s" % sys.argv[1])
    checks = run(data)
    print("%d passed, %d failed" % (checks.passed, checks.failed))
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
