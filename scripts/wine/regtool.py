#!/usr/bin/env python3
"""Registry files and dumps for the Wine runs of Chanwiz.

  regtool.py import MACHINE OUT
      OUT: the machine file ready for `regedit /S`, without the key
      HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation (and its subkeys), which
      only the simulation reads. "Windows Registry Editor Version 5.00" text
      (UTF-16LE or UTF-8) becomes UTF-16LE with a byte-order mark, REGEDIT4
      stays ANSI; CRLF line ends. Prints the format found.

  regtool.py sim-value MACHINE NAME DEFAULT
      The text value NAME of the simulation key of MACHINE (for example
      ModuleFileName, where the program is placed), or DEFAULT.

  regtool.py sim-values MACHINE SUBKEY
      The values of the subkey SUBKEY of the simulation key of MACHINE (e.g.
      Security, Vamp), one a line: NAME<TAB>TEXT for text values,
      NAME<TAB>NUMBER (decimal) for dwords. Nothing when there is no subkey.

  regtool.py win-ini MACHINE WININI
      The sections of win.ini that MACHINE gives (the subkeys win.ini\SECTION
      of its simulation key, one text value a key) written into the file
      WININI (ANSI, CRLF): keys set where the file has them, added where not,
      the file's other lines kept. Nothing is written when MACHINE has none.

  regtool.py canon-reg FILE KEY...     a .reg file's keys and values under KEY...
  regtool.py canon-dump DUMP           a regdump.exe dump
      as sorted canonical lines, one key or value a line.

  regtool.py compare --machine M --sim-out SIMOUT --before B --after A
                     --outdir D KEY...
      The changes a run made, both ways: the simulation's (MACHINE without the
      simulation key -> chanwiz-sim --out) and Wine's (regdump before -> after),
      under the keys KEY...; writes D/registry-sim.txt, D/registry-wine.txt and
      D/registry-import.txt (what of the machine file did not arrive in the
      Wine registry as written) and D/registry-wine-after.txt (Wine's keys and
      values under KEY... after the run). When the dumps hold the keys' access
      lists (regdump --security), D/registry-security.txt lists every key
      that is in both dumps with its DACL before and after, the keys the run
      wrote to marked "written"; every such key must keep its DACL.
      Exit 0 when the changes are the same, the import is complete, the
      access lists are unchanged and the simulation changed nothing outside
      KEY...; 1 otherwise, with the differences on stdout.

Keys and value names compare without regard to case, as Windows does.
"""
import sys

SIM_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation"
HEADER5 = "Windows Registry Editor Version 5.00"
HEADER4 = "REGEDIT4"

TYPE_NAMES = {
    0: "REG_NONE", 1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD",
    5: "REG_DWORD_BIG_ENDIAN", 6: "REG_LINK", 7: "REG_MULTI_SZ", 11: "REG_QWORD",
}
STRING_TYPES = (1, 2, 7)

# Windows-1252 0x80..0x9F; the five unassigned bytes stand for themselves,
# as Windows' own conversion has them.
CP1252_HIGH = [
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
]


class RegError(Exception):
    pass


def ansi_decode(data):
    return "".join(chr(CP1252_HIGH[b - 0x80]) if 0x80 <= b < 0xA0 else chr(b) for b in data)


def fold(text):
    return text.upper()


def under(path, roots):
    p = fold(path)
    for r in roots:
        r = fold(r.rstrip("\\"))
        if p == r or p.startswith(r + "\\"):
            return True
    return False


def is_sim_key(path):
    return under(path, [SIM_KEY])


# ----------------------------------------------------------- file text

def decode_reg(data, name):
    """(text, format): format 'unicode5', 'utf8v5' or 'regedit4'."""
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le"), "unicode5"
    if data.startswith(b"\xef\xbb\xbf"):
        text = data[3:].decode("utf-8")
    elif data.split(b"\n", 1)[0].rstrip(b"\r") == HEADER4.encode():
        return ansi_decode(data), "regedit4"
    else:
        text = data.decode("utf-8")
    first = text.split("\n", 1)[0].rstrip("\r")
    if first == HEADER4:
        return text, "regedit4"
    if first != HEADER5:
        raise RegError("%s: expected the header line %r or %r" % (name, HEADER5, HEADER4))
    return text, "utf8v5"


def strip_sim_key(text):
    """The file's lines without the simulation key's sections."""
    out, skipping = [], False
    for line in text.split("\n"):
        line = line.rstrip("\r")
        stripped = line.lstrip()
        if stripped.startswith("["):
            inner = stripped[1:stripped.rfind("]")] if "]" in stripped else stripped[1:]
            skipping = is_sim_key(inner.lstrip("-"))
        if not skipping:
            out.append(line)
    while out and out[-1] == "":
        out.pop()
    return out


def ansi_bytes(text, source):
    """text in Windows-1252, as the ANSI files of a Western 9x or XP hold it."""
    raw = bytearray()
    for ch in text:
        cp = ord(ch)
        if cp in CP1252_HIGH:
            raw.append(0x80 + CP1252_HIGH.index(cp))
        elif cp < 0x100:
            raw.append(cp)
        else:
            raise RegError("%s: character U+%04X has no ANSI byte" % (source, cp))
    return bytes(raw)


def cmd_import(machine, out):
    with open(machine, "rb") as f:
        data = f.read()
    text, fmt = decode_reg(data, machine)
    lines = strip_sim_key(text)
    body = "\r\n".join(lines) + "\r\n\r\n"
    if fmt == "regedit4":
        # Back to the file's own bytes (each character came from one byte).
        payload = ansi_bytes(body, machine)
    else:
        payload = b"\xff\xfe" + body.encode("utf-16-le")
    with open(out, "wb") as f:
        f.write(payload)
    print(fmt)
    return 0


# ------------------------------------------------------------- parsing

class Tree:
    """Keys by folded path -> [display path, {folded name: (name, type, bytes)}]."""

    def __init__(self):
        self.keys = {}
        self.security = {}  # folded path -> SDDL of the DACL (regdump --security)

    def create(self, path):
        parts = path.split("\\")
        for i in range(1, len(parts) + 1):
            p = "\\".join(parts[:i])
            self.keys.setdefault(fold(p), [p, {}])
        return self.keys[fold(path)]

    def delete(self, path):
        f = fold(path)
        for k in [k for k in self.keys if k == f or k.startswith(f + "\\")]:
            del self.keys[k]


def parse_quoted(s, where):
    """s starts with '"'; returns (text, rest after the closing quote)."""
    out, i = [], 1
    while i < len(s):
        c = s[i]
        if c == "\\":
            if i + 1 >= len(s) or s[i + 1] not in "\\\"":
                raise RegError("%s: unknown escape in quoted text" % where)
            out.append(s[i + 1])
            i += 2
            continue
        if c == '"':
            return "".join(out), s[i + 1:]
        out.append(c)
        i += 1
    raise RegError("%s: quoted text without its closing quote" % where)


def parse_reg(data, name, drop_sim=False):
    text, fmt = decode_reg(data, name)
    ansi = fmt == "regedit4"
    lines = [l.rstrip("\r") for l in text.split("\n")]
    tree, key, i = Tree(), None, 1
    while i < len(lines):
        where = "%s:%d" % (name, i + 1)
        line = lines[i].lstrip()
        i += 1
        if not line or line.startswith(";"):
            continue
        if line.startswith("["):
            end = line.rfind("]")
            if end < 0:
                raise RegError("%s: key line without ']'" % where)
            inner = line[1:end]
            if inner.startswith("-"):
                key = None
                if not (drop_sim and is_sim_key(inner[1:])):
                    tree.delete(inner[1:])
            elif drop_sim and is_sim_key(inner):
                # Its parent stays, as it does when the simulation takes the key out.
                tree.create(SIM_KEY.rsplit("\\", 1)[0])
                key = "skip"
            else:
                key = tree.create(inner)
            continue
        if line.startswith("@"):
            vname, rest = "", line[1:]
        elif line.startswith('"'):
            vname, rest = parse_quoted(line, where)
        else:
            raise RegError("%s: expected a key or a value line" % where)
        rest = rest.lstrip()
        if not rest.startswith("="):
            raise RegError("%s: expected '=' after the value name" % where)
        rest = rest[1:].lstrip()
        if rest.startswith('"'):
            s, _ = parse_quoted(rest, where)
            vtype, vdata = 1, (s + "\0").encode("utf-16-le")
        elif rest == "-":
            vtype, vdata = None, None
        elif rest.lower().startswith("dword:"):
            vtype, vdata = 4, int(rest[6:].strip(), 16).to_bytes(4, "little")
        elif rest.lower().startswith("hex"):
            colon = rest.find(":")
            kind = rest[3:colon]
            vtype = int(kind[1:-1], 16) if kind.startswith("(") else 3
            hexes = rest[colon + 1:].strip()
            while hexes.endswith("\\"):
                hexes = hexes[:-1] + (lines[i].strip() if i < len(lines) else "")
                i += 1
            vdata = bytes(int(h, 16) for h in hexes.replace(" ", "").split(",") if h)
            if ansi and vtype in STRING_TYPES:
                vdata = ansi_decode(vdata).encode("utf-16-le")
        else:
            raise RegError("%s: unknown value data %r" % (where, rest[:20]))
        if key is None:
            raise RegError("%s: a value before any key" % where)
        if key == "skip":
            continue
        if vtype is None:
            key[1].pop(fold(vname), None)
        else:
            key[1][fold(vname)] = (vname, vtype, vdata)
    return tree


def unescape_dump(s):
    out, i = [], 0
    while i < len(s):
        if s[i] == "\\" and i + 1 < len(s) and s[i + 1] in "tnr\\":
            out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}[s[i + 1]])
            i += 2
        else:
            out.append(s[i])
            i += 1
    return "".join(out)


def parse_dump(path):
    tree = Tree()
    with open(path, "rb") as f:
        for raw in f.read().decode("utf-8").split("\n"):
            if not raw:
                continue
            parts = raw.split("\t")
            if parts[0] == "K":
                tree.create(parts[1])
            elif parts[0] == "S" and len(parts) == 3:
                tree.create(parts[1])
                tree.security[fold(parts[1])] = unescape_dump(parts[2])
            elif parts[0] == "V" and len(parts) == 5:
                key = tree.create(parts[1])
                name = unescape_dump(parts[2])
                key[1][fold(name)] = (name, int(parts[3]), bytes.fromhex(parts[4]))
            else:
                raise RegError("%s: unreadable line %r" % (path, raw[:60]))
    return tree


# ---------------------------------------------------------- canonical

def describe(vtype, data):
    tname = TYPE_NAMES.get(vtype, "hex(%x)" % vtype)
    text = "%s:%s" % (tname, data.hex())
    if vtype == 4 and len(data) == 4:
        text += "  (%d)" % int.from_bytes(data, "little")
    elif vtype in STRING_TYPES and len(data) % 2 == 0:
        s = data.decode("utf-16-le", "replace")
        text += "  (%r)" % (s.rstrip("\0").split("\0") if vtype == 7 else s.rstrip("\0"))
    return text


def canon_lines(tree, roots=None):
    """[(sort/compare key, display line)] for keys and values (under roots)."""
    out = []
    for f, (path, values) in tree.keys.items():
        if roots is not None and not under(path, roots):
            continue
        out.append(((f, 0, ""), "[%s]" % path))
        for fn, (name, vtype, data) in values.items():
            shown = "@" if name == "" else '"%s"' % name.replace("\\", "\\\\").replace('"', '\\"')
            out.append(((f, 1, fn, vtype, data.hex()), "[%s] %s=%s" % (path, shown, describe(vtype, data))))
    out.sort(key=lambda x: x[0])
    return out


def changes(before, after, roots):
    """Sorted [(compare key, display)]: '+' added, '-' removed lines. The
    existence of the roots themselves is left out (Wine has keys that a
    machine file leaves implied)."""
    b = dict(canon_lines(before, roots))
    a = dict(canon_lines(after, roots))
    root_keys = {fold(r.rstrip("\\")) for r in roots}
    out = []
    for k in sorted(set(a) | set(b)):
        if k[1] == 0 and k[0] in root_keys:
            continue
        if k in a and k not in b:
            out.append((("+",) + k, "+ " + a[k]))
        elif k in b and k not in a:
            out.append((("-",) + k, "- " + b[k]))
    out.sort(key=lambda x: (x[0][1:], x[0][0]))
    return out


def outside_changes(before, after, roots):
    """Changes anywhere except under roots (and the roots' parents)."""
    all_b, all_a = dict(canon_lines(before)), dict(canon_lines(after))
    out = []
    for k in sorted(set(all_a) ^ set(all_b)):
        path = (all_a.get(k) or all_b.get(k))
        key_path = path[1:path.index("]")]
        if under(key_path, roots):
            continue
        if k[1] == 0 and any(fold(r).startswith(k[0] + "\\") or fold(r) == k[0] for r in roots):
            continue
        out.append(("+ " if k in all_a else "- ") + path)
    return out


def cmd_sim_value(machine, name, default):
    with open(machine, "rb") as f:
        tree = parse_reg(f.read(), machine)
    key = tree.keys.get(fold(SIM_KEY))
    value = key[1].get(fold(name)) if key else None
    if value and value[1] in (1, 2):
        print(value[2].decode("utf-16-le").rstrip("\0"))
    else:
        print(default)
    return 0


def cmd_sim_values(machine, subkey):
    with open(machine, "rb") as f:
        tree = parse_reg(f.read(), machine)
    key = tree.keys.get(fold(SIM_KEY + "\\" + subkey))
    if not key:
        return 0
    for name, vtype, data in key[1].values():
        if vtype in (1, 2):
            print("%s\t%s" % (name, data.decode("utf-16-le").rstrip("\0")))
        elif vtype == 4:
            print("%s\t%d" % (name, int.from_bytes(data, "little")))
    return 0


def cmd_win_ini(machine, path):
    with open(machine, "rb") as f:
        tree = parse_reg(f.read(), machine)
    prefix = fold(SIM_KEY + "\\win.ini\\")
    sections = {}
    for f, (kpath, values) in tree.keys.items():
        if f.startswith(prefix) and "\\" not in f[len(prefix):]:
            sections[kpath[len(prefix):]] = [(n, d.decode("utf-16-le").rstrip("\0"))
                                             for n, t, d in values.values() if t in (1, 2)]
    if not sections:
        return 0
    try:
        with open(path, "rb") as f:
            lines = ansi_decode(f.read()).replace("\r\n", "\n").split("\n")
    except FileNotFoundError:
        lines = []
    while lines and lines[-1] == "":
        lines.pop()
    for section, values in sections.items():
        start = next((i for i, l in enumerate(lines)
                      if l.strip().startswith("[") and fold(l.strip()[1:].split("]")[0].strip()) == fold(section)), None)
        if start is None:
            lines.append("[%s]" % section)
            start = len(lines) - 1
        end = next((i for i in range(start + 1, len(lines)) if lines[i].strip().startswith("[")), len(lines))
        for name, text in values:
            at = next((i for i in range(start + 1, end)
                       if "=" in lines[i] and fold(lines[i].split("=", 1)[0].strip()) == fold(name)), None)
            if at is None:
                lines.insert(end, "%s=%s" % (name, text))
                end += 1
            else:
                lines[at] = "%s=%s" % (name, text)
        print("win.ini [%s]: %s" % (section, ", ".join("%s=%s" % v for v in values)))
    with open(path, "wb") as f:
        f.write(ansi_bytes("\r\n".join(lines) + "\r\n", machine))
    return 0


def security_check(before, after, roots, written):
    """(report lines, differences) for the keys under roots that both dumps
    hold with an access list."""
    report, diffs = [], []
    for f in sorted(set(before.security) & set(after.security)):
        path = after.keys[f][0]
        if not under(path, roots):
            continue
        b, a = before.security[f], after.security[f]
        mark = "written  " if f in written else "unwritten"
        report.append("%s %s %s  %s" % ("same   " if a == b else "CHANGED", mark, path, b if a == b else "%s -> %s" % (b, a)))
        if a != b:
            diffs.append("  %s: %s -> %s" % (path, b, a))
    lost = [before.keys[f][0] for f in before.security if f in after.keys and f not in after.security]
    for path in lost:
        diffs.append("  %s: no access list after the run" % path)
    return report, diffs


def cmd_canon_reg(path, roots):
    with open(path, "rb") as f:
        tree = parse_reg(f.read(), path, drop_sim=True)
    for _, line in canon_lines(tree, roots or None):
        print(line)
    return 0


def cmd_canon_dump(path):
    for _, line in canon_lines(parse_dump(path)):
        print(line)
    return 0


def write_lines(path, lines):
    with open(path, "w", encoding="utf-8") as f:
        for line in lines:
            f.write(line + "\n")


def cmd_compare(args):
    opts, roots, i = {}, [], 0
    while i < len(args):
        if args[i] in ("--machine", "--sim-out", "--before", "--after", "--outdir"):
            opts[args[i][2:]] = args[i + 1]
            i += 2
        elif args[i] == "--access-may-change":
            opts["access-may-change"] = True
            i += 1
        else:
            roots.append(args[i])
            i += 1
    for need in ("machine", "sim-out", "before", "after", "outdir"):
        if need not in opts:
            raise RegError("compare needs --%s" % need)
    if not roots:
        raise RegError("compare needs at least one KEY")
    with open(opts["machine"], "rb") as f:
        machine = parse_reg(f.read(), opts["machine"], drop_sim=True)
    with open(opts["sim-out"], "rb") as f:
        # --out keeps the simulation key (a machine file to run again); it is
        # the simulation's own, not part of what Windows holds.
        sim_after = parse_reg(f.read(), opts["sim-out"], drop_sim=True)
    wine_before, wine_after = parse_dump(opts["before"]), parse_dump(opts["after"])

    sim = changes(machine, sim_after, roots)
    wine = changes(wine_before, wine_after, roots)
    outside = outside_changes(machine, sim_after, roots)
    d = opts["outdir"]
    write_lines(d + "/registry-sim.txt", [l for _, l in sim] + ["# outside the compared keys: " + l for l in outside])
    write_lines(d + "/registry-wine.txt", [l for _, l in wine])
    write_lines(d + "/registry-wine-after.txt", [l for _, l in canon_lines(wine_after, roots)])
    written = {k[1] for k, _ in wine}  # folded paths of the keys with a changed line
    sec_report, sec_diffs = security_check(wine_before, wine_after, roots, written)
    if wine_before.security:
        write_lines(d + "/registry-security.txt", sec_report)

    # What the machine file holds under the keys must be in Wine's registry
    # before the run, as written.
    have = dict(canon_lines(wine_before, roots))
    missing = [line for k, line in canon_lines(machine, roots)
               if k not in have and not (k[1] == 0 and k[0] in {fold(r.rstrip("\\")) for r in roots})]
    write_lines(d + "/registry-import.txt", missing)

    ok = True
    sim_keys, wine_keys = [k for k, _ in sim], [k for k, _ in wine]
    if sim_keys != wine_keys:
        ok = False
        print("registry changes differ (simulation | Wine):")
        s, w = dict(sim), dict(wine)
        for k in sorted(set(s) | set(w), key=lambda x: (x[1:], x[0])):
            if k in s and k not in w:
                print("  only in the simulation: " + s[k])
            elif k in w and k not in s:
                print("  only under Wine:        " + w[k])
    if outside:
        ok = False
        print("the simulation changed keys that the Wine run does not look at:")
        for l in outside:
            print("  " + l)
    if missing:
        ok = False
        print("the machine file did not arrive in Wine's registry as written:")
        for l in missing[:20]:
            print("  missing: " + l)
        if len(missing) > 20:
            print("  ... and %d more (registry-import.txt)" % (len(missing) - 20))
    if sec_diffs and not opts.get("access-may-change"):
        ok = False
        print("access lists changed under Wine (registry-security.txt):")
        for l in sec_diffs:
            print(l)
    if ok:
        print("registry changes equal: %d line(s)" % len(sim))
        if wine_before.security:
            n_written = sum(1 for l in sec_report if " written " in l)
            print("access lists unchanged: %d key(s), %d of them written to" % (len(sec_report), n_written))
    return 0 if ok else 1


def main(argv):
    try:
        if len(argv) == 3 and argv[0] == "import":
            return cmd_import(argv[1], argv[2])
        if len(argv) == 4 and argv[0] == "sim-value":
            return cmd_sim_value(argv[1], argv[2], argv[3])
        if len(argv) == 3 and argv[0] == "sim-values":
            return cmd_sim_values(argv[1], argv[2])
        if len(argv) == 3 and argv[0] == "win-ini":
            return cmd_win_ini(argv[1], argv[2])
        if len(argv) >= 2 and argv[0] == "canon-reg":
            return cmd_canon_reg(argv[1], argv[2:])
        if len(argv) == 2 and argv[0] == "canon-dump":
            return cmd_canon_dump(argv[1])
        if argv and argv[0] == "compare":
            return cmd_compare(argv[1:])
    except (RegError, OSError, UnicodeDecodeError, ValueError, IndexError) as e:
        print("regtool: %s" % e, file=sys.stderr)
        return 2
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
