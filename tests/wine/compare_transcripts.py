#!/usr/bin/env python3
"""Compares chanwiz-sim's transcript with the one ui-driver wrote under Wine
(what is left out and why: tests/wine/README.md, "How a scenario runs").

usage: compare_transcripts.py SIM.jsonl WINE.jsonl   (the differences on standard output)
Exit code 0 when equal, 1 when not, 2 when a file cannot be read.
"""
import difflib
import json
import os
import sys

UNSEEN = ("restart", "process")


def load(path):
    with open(path, "rb") as f:
        return [json.loads(raw) for raw in f.read().decode("utf-8").splitlines() if raw.strip()]


def in_code_page(value, acp):
    """VALUE's texts, written as Windows-1252, read in code page ACP."""
    if isinstance(value, str):
        raw = b"".join(c.encode("cp1252") if c.encode("cp1252", "ignore") else bytes([ord(c) & 0xFF])
                       for c in value)
        return raw.decode("cp%s" % acp, errors="replace")
    if isinstance(value, list):
        return [in_code_page(v, acp) for v in value]
    if isinstance(value, dict):
        return {k: in_code_page(v, acp) for k, v in value.items()}
    return value


def normalise(records):
    """The records both sides see ("end" without its result), and how many were left out."""
    out = [dict(r, result=None) if r.get("event") == "end" else r for r in records if r.get("event") not in UNSEEN]
    return out, len(records) - len(out)


def render(records):
    """A few lines per record, for people to read a diff."""
    lines = []
    for r in records:
        ev = r.get("event")
        if ev in ("page", "action"):
            head = "%s %s %s" % (ev, r.get("template"), json.dumps(r.get("title"), ensure_ascii=False))
            if ev == "action":
                head += " after " + json.dumps(r.get("step"), ensure_ascii=False)
            lines.append(head)
            for c in r.get("controls", []):
                rest = {k: v for k, v in c.items() if k not in ("id", "class")}
                lines.append("    [%s] %s %s" % (c.get("id"), c.get("class"), json.dumps(rest, ensure_ascii=False)))
        else:
            lines.append(json.dumps(r, ensure_ascii=False))
    return lines


def main(argv):
    try:
        sim_records = load(argv[0])
        if os.environ.get("CHANWIZ_WINE_ACP"):
            sim_records = in_code_page(sim_records, os.environ["CHANWIZ_WINE_ACP"])
        sim, sim_dropped = normalise(sim_records)
        wine, _ = normalise(load(argv[1]))
    except (OSError, ValueError) as e:
        print("compare_transcripts: %s" % e, file=sys.stderr)
        return 2
    note = " (%d restart/process record(s) of the simulation not compared)" % sim_dropped if sim_dropped else ""
    if sim == wine:
        print("transcripts equal: %d record(s)%s" % (len(sim), note))
        return 0
    first = next((i for i, (a, b) in enumerate(zip(sim, wine)) if a != b), min(len(sim), len(wine)))
    print("transcripts differ at record %d (simulation %d records, Wine %d)%s:" % (first + 1, len(sim), len(wine), note))
    for line in difflib.unified_diff(render(sim), render(wine), "simulation", "wine", lineterm="", n=2):
        print("  " + line)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
