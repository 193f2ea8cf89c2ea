#!/usr/bin/env python3
"""Check the resources linked into Chanwiz.exe, reading the PE file directly.

  - the four pages (dialogs 102, 129, 130, 131) are extended templates whose
    styles, extended styles, sizes, captions, font and controls (id, class,
    style, extended style, position, size, text, tab order) are exactly those
    of src/app/dialog_templates.cpp, the table the simulated
    Windows builds its pages from: the resource compiler must not have added
    or dropped a single style bit;
  - icon group 128 holds two 32x32 images, one 32-bit and one palette image,
    and each image it names is present and well formed;
  - a version record with the product's names, its number and text agreeing
    (which number: check_version.py);
  - the manifest (RT_MANIFEST 1) asks for administrator rights, the version 6
    common controls and DPI awareness;
  - the file is a GUI program.

Only the Python standard library is used.

usage: check_resources.py [--source-dir DIR] EXE
Prints one line per check and ends with "N passed, N failed"; the exit status
is 0 only when every check passed.
"""
import argparse
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON = 3
RT_DIALOG = 5
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

DS_SETFONT = 0x40
DS_SHELLFONT = 0x48

CLASS_ATOMS = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC", 0x83: "LISTBOX",
               0x84: "SCROLLBAR", 0x85: "COMBOBOX"}

DIALOG_IDS = (102, 129, 130, 131)
ICON_GROUP_ID = 128


class FormatError(Exception):
    pass


# --- PE file ------------------------------------------------------------------

class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise FormatError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise FormatError("no PE signature")
        (self.machine, sections, _, _, _, opt_size, _) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        if self.magic == 0x10B:
            dirs = opt + 96
        elif self.magic == 0x20B:
            dirs = opt + 112
        else:
            raise FormatError("unknown optional header magic 0x%x" % self.magic)
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        count = struct.unpack_from("<I", data, dirs - 4)[0]
        self.resource_rva, self.resource_size = (
            struct.unpack_from("<II", data, dirs + 2 * 8) if count > 2 else (0, 0))
        self.sections = []
        table = opt + opt_size
        for i in range(sections):
            name, vsize, va, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((va, max(vsize, raw_size), raw_ptr, raw_size))

    def offset(self, rva, size=0):
        for va, vsize, raw_ptr, raw_size in self.sections:
            if va <= rva and rva + size <= va + vsize:
                if rva + size > va + raw_size:
                    raise FormatError("RVA 0x%x+%d lies outside the file" % (rva, size))
                return raw_ptr + (rva - va)
        raise FormatError("RVA 0x%x is in no section" % rva)

    def resources(self):
        """{(type, name): [(language, bytes, file offset)]}; type and name are
        ints or upper-case strings."""
        if not self.resource_rva:
            return {}
        base = self.offset(self.resource_rva)
        data = self.data
        result = {}

        def read_name(entry_name):
            if entry_name & 0x80000000:
                at = base + (entry_name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, at)[0]
                return data[at + 2:at + 2 + 2 * length].decode("utf-16-le").upper()
            return entry_name

        def directory(at, depth):
            _, _, _, _, named, ids = struct.unpack_from("<IIHHHH", data, at)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", data, at + 16 + 8 * i)
                yield read_name(name), target, depth

        for type_id, t_off, _ in directory(base, 0):
            if not t_off & 0x80000000:
                raise FormatError("resource type without a directory")
            for name_id, n_off, _ in directory(base + (t_off & 0x7FFFFFFF), 1):
                if not n_off & 0x80000000:
                    raise FormatError("resource name without a directory")
                for lang, l_off, _ in directory(base + (n_off & 0x7FFFFFFF), 2):
                    rva, size, _, _ = struct.unpack_from("<IIII", data, base + l_off)
                    at = self.offset(rva, size)
                    result.setdefault((type_id, name_id), []).append((lang, data[at:at + size], at))
        return result


# --- reading resource data ----------------------------------------------------

class Reader:
    def __init__(self, data, at=0):
        self.data = data
        self.at = at

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def string(self):
        end = self.at
        while True:
            if end + 2 > len(self.data):
                raise FormatError("unterminated string")
            if self.data[end:end + 2] == b"\0\0":
                break
            end += 2
        text = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return text

    def sz_or_ord(self):
        if self.data[self.at:self.at + 2] == b"\xff\xff":
            self.at += 2
            return self.take("H")
        return self.string()

    def align(self, n=4):
        self.at = (self.at + n - 1) // n * n


def parse_dialog(data):
    r = Reader(data)
    version, signature = r.take("HH")
    if version != 1 or signature != 0xFFFF:
        raise FormatError("not an extended dialog template (version %d, signature 0x%x)"
                          % (version, signature))
    d = {}
    d["helpId"], d["exStyle"], d["style"], count = r.take("IIIH")
    d["x"], d["y"], d["cx"], d["cy"] = r.take("hhhh")
    d["menu"] = r.sz_or_ord()
    d["windowClass"] = r.sz_or_ord()
    d["caption"] = r.string()
    d["font"] = None
    if d["style"] & DS_SETFONT or (d["style"] & DS_SHELLFONT) == DS_SHELLFONT:
        size, weight, italic, charset = r.take("HHBB")
        d["font"] = (size, r.string(), weight, italic, charset)
    controls = []
    for _ in range(count):
        r.align(4)
        c = {}
        c["helpId"], c["exStyle"], c["style"] = r.take("III")
        c["x"], c["y"], c["cx"], c["cy"] = r.take("hhhh")
        c["id"] = r.take("I")
        cls = r.sz_or_ord()
        c["className"] = CLASS_ATOMS.get(cls, "atom 0x%x" % cls) if isinstance(cls, int) else cls
        c["text"] = r.sz_or_ord()
        extra = r.take("H")
        r.at += extra
        controls.append(c)
    d["controls"] = controls
    return d


# --- the table the simulated Windows uses ------------------------------------

TOKEN = re.compile(r'''
    (?P<ws>\s+|//[^\n]*|/\*.*?\*/)
  | (?P<string>"(?:\\.|[^"\\\n])*")
  | (?P<number>0[xX][0-9a-fA-F]+[uUlL]*|\d+[uUlL]*)
  | (?P<ident>[A-Za-z_]\w*)
  | (?P<punct>.)
''', re.S | re.X)

ESCAPES = {"n": "\n", "t": "\t", "\\": "\\", '"': '"', "'": "'", "0": "\0", "r": "\r"}


def tokens(text):
    for m in TOKEN.finditer(text):
        kind = m.lastgroup
        if kind == "ws":
            continue
        value = m.group()
        if kind == "string":
            value = re.sub(r"\\(.)", lambda e: ESCAPES.get(e.group(1), e.group(1)), value[1:-1])
        elif kind == "number":
            value = int(value.rstrip("uUlL"), 0)
        yield kind, value


def resource_defines(path):
    ids = {}
    with open(path, encoding="utf-8") as f:
        for m in re.finditer(r"^\s*#define\s+(\w+)\s+(\d+|0x[0-9a-fA-F]+)\s*$", f.read(), re.M):
            ids[m.group(1)] = int(m.group(2), 0)
    return ids


def evaluate(expr, names):
    """An initializer: adjacent string literals, or integers joined by | and +
    (with unary minus), using the names known so far."""
    if not expr:
        raise FormatError("empty initializer")
    if all(kind == "string" for kind, _ in expr):
        return "".join(value for _, value in expr)
    total, op, sign = 0, "|", 1
    for kind, value in expr:
        if kind == "punct" and value in "|+" and op is None:
            op = value
            continue
        if kind == "punct" and value == "-" and op is not None:
            sign = -sign
            continue
        if kind == "number":
            operand = value
        elif kind == "ident" and value in names:
            operand = names[value]
        else:
            raise FormatError("cannot evaluate %r" % (value,))
        operand *= sign
        total = total | operand if op == "|" else total + operand
        op, sign = None, 1
    return total


def braced(toks, i):
    """Parse the brace list starting at toks[i] == '{'; returns (items, next i)."""
    assert toks[i] == ("punct", "{")
    items, current, i = [], [], i + 1
    while True:
        kind, value = toks[i]
        if kind == "punct" and value == "{":
            sub, i = braced(toks, i)
            current.append(("list", sub))
            continue
        if kind == "punct" and value in ",}":
            if current:
                items.append(current[0][1] if current[0][0] == "list" and len(current) == 1
                             else current)
            current = []
            i += 1
            if value == "}":
                return items, i
            continue
        current.append((kind, value))
        i += 1


def expected_dialogs(source_dir):
    names = resource_defines(os.path.join(source_dir, "resources", "resource.h"))
    path = os.path.join(source_dir, "src", "app", "dialog_templates.cpp")
    with open(path, encoding="utf-8") as f:
        toks = list(tokens(f.read()))
    # File-scope constants such as `constexpr DWORD kChild = 0x50000000u;`.
    for i, tok in enumerate(toks):
        if tok == ("ident", "constexpr") and toks[i + 3] == ("punct", "="):
            end = i + 4
            while toks[end] != ("punct", ";"):
                end += 1
            names[toks[i + 2][1]] = evaluate(toks[i + 4:end], names)
    dialogs = {}
    for i, tok in enumerate(toks):
        if tok == ("ident", "DialogTemplate") and toks[i + 1] == ("punct", "{"):
            items, _ = braced(toks, i + 1)
            if len(items) != 11:
                raise FormatError("a DialogTemplate with %d fields" % len(items))
            d = {}
            for key, expr in zip(("id", "style", "exStyle", "x", "y", "cx", "cy", "caption",
                                  "fontName", "pointSize"), items[:10]):
                d[key] = evaluate(expr, names)
            d["controls"] = []
            for control in items[10]:
                if len(control) != 9:
                    raise FormatError("a control with %d fields in dialog %d" % (len(control), d["id"]))
                c = {}
                for key, expr in zip(("id", "className", "style", "exStyle", "x", "y", "cx", "cy",
                                      "text"), control):
                    c[key] = evaluate(expr, names)
                d["controls"].append(c)
            dialogs[d["id"]] = d
    return dialogs


# --- checks -------------------------------------------------------------------

class Checks:
    def __init__(self, out=sys.stdout):
        self.passed = 0
        self.failed = 0
        self.out = out

    def check(self, ok, what, detail=""):
        if ok:
            self.passed += 1
            print("ok:   " + what, file=self.out)
        else:
            self.failed += 1
            print("FAIL: " + what + (" -- " + detail if detail else ""), file=self.out)
        return ok


def only(resources, key):
    entries = resources.get(key, [])
    return entries[0][1] if len(entries) == 1 else None


def check_dialogs(checks, resources, expected):
    for dialog_id in DIALOG_IDS:
        want = expected.get(dialog_id)
        if not checks.check(want is not None, "dialog %d is in the template table" % dialog_id):
            continue
        data = only(resources, (RT_DIALOG, dialog_id))
        if not checks.check(data is not None, "dialog %d is linked in, once" % dialog_id):
            continue
        try:
            got = parse_dialog(data)
        except (FormatError, struct.error, UnicodeDecodeError) as e:
            checks.check(False, "dialog %d is an extended template" % dialog_id, str(e))
            continue
        problems = []

        def same(label, a, b):
            if a != b:
                problems.append("%s: %s, want %s" % (label, fmt(a), fmt(b)))

        same("style", got["style"], want["style"])
        same("exStyle", got["exStyle"], want["exStyle"])
        same("position", (got["x"], got["y"], got["cx"], got["cy"]),
             (want["x"], want["y"], want["cx"], want["cy"]))
        same("caption", got["caption"], want["caption"])
        same("menu", got["menu"], "")
        same("window class", got["windowClass"], "")
        same("font", got["font"] and got["font"][:2], (want["pointSize"], want["fontName"]))
        same("control count", len(got["controls"]), len(want["controls"]))
        for n, (g, w) in enumerate(zip(got["controls"], want["controls"])):
            label = "control %d (id %d)" % (n, w["id"])
            same(label + " id", g["id"], w["id"])
            same(label + " class", g["className"].upper(), w["className"].upper())
            same(label + " style", g["style"], w["style"])
            same(label + " exStyle", g["exStyle"], w["exStyle"])
            same(label + " position", (g["x"], g["y"], g["cx"], g["cy"]),
                 (w["x"], w["y"], w["cx"], w["cy"]))
            same(label + " text", g["text"], w["text"])
        checks.check(not problems, "dialog %d equals the template table (%d controls)"
                     % (dialog_id, len(want["controls"])), "; ".join(problems))


def fmt(value):
    return "0x%08X" % value if isinstance(value, int) and value > 9 else repr(value)


def check_icon(checks, resources):
    data = only(resources, (RT_GROUP_ICON, ICON_GROUP_ID))
    if not checks.check(data is not None, "icon group %d is linked in" % ICON_GROUP_ID):
        return
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if not checks.check(reserved == 0 and kind == 1 and count == 2 and len(data) == 6 + 14 * count,
                        "icon group %d names two images" % ICON_GROUP_ID,
                        "type %d, %d images, %d bytes" % (kind, count, len(data))):
        return
    depths = []
    for i in range(count):
        width, height, _, _, planes, bits, size, icon_id = struct.unpack_from(
            "<BBBBHHIH", data, 6 + 14 * i)
        image = only(resources, (RT_ICON, icon_id))
        problems = []
        if (width, height) != (32, 32):
            problems.append("group entry says %dx%d" % (width, height))
        if image is None:
            problems.append("RT_ICON %d missing" % icon_id)
        else:
            if len(image) != size:
                problems.append("%d bytes, group says %d" % (len(image), size))
            if len(image) >= 40:
                hsize, bw, bh, bplanes, bbits = struct.unpack_from("<IiiHH", image, 0)
                if (hsize, bw, bh, bplanes) != (40, 32, 64, 1):
                    problems.append("bitmap header %r" % ((hsize, bw, bh, bplanes),))
                if bbits != bits:
                    problems.append("%d bits, group says %d" % (bbits, bits))
                row = (32 * bbits + 31) // 32 * 4
                colours = 0
                if bbits <= 8:
                    used = struct.unpack_from("<I", image, 32)[0]
                    colours = used or (1 << bbits)
                need = 40 + 4 * colours + row * 32 + 4 * 32
                if len(image) < need:
                    problems.append("%d bytes, a %d-bit 32x32 image needs %d" % (len(image), bbits, need))
            else:
                problems.append("no bitmap header")
        depths.append(bits)
        checks.check(not problems, "icon image %d: 32x32, %d-bit" % (icon_id, bits), "; ".join(problems))
    checks.check(sorted(depths)[-1] == 32 and sorted(depths)[0] in (4, 8),
                 "icon group has a 32-bit and a palette image", "depths %r" % depths)


def version_strings(data):
    """(fixed file version tuple, {name: value}) of a VS_VERSIONINFO."""
    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        r = Reader(data, at + 6)
        key = r.string()
        r.align(4)
        return length, value_length, kind, key, r.at

    length, value_length, _, key, value_at = node(0)
    if key != "VS_VERSION_INFO":
        raise FormatError("root key %r" % key)
    signature, _, ms, ls = struct.unpack_from("<IIII", data, value_at)
    if signature != 0xFEEF04BD:
        raise FormatError("no VS_FIXEDFILEINFO")
    version = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    strings = {}

    def walk(at, end, depth):
        while at < end:
            length, value_length, kind, key, value_at = node(at)
            if length == 0:
                break
            if depth == 2 and kind == 1:
                strings[key] = data[value_at:value_at + 2 * value_length].decode(
                    "utf-16-le").rstrip("\0")
                child = end  # strings have no children
            else:
                child = value_at + (value_length * (2 if kind == 1 else 1))
                child = (child + 3) // 4 * 4
            if depth < 2:
                walk(child, at + length, depth + 1)
            at = (at + length + 3) // 4 * 4

    first = (value_at + value_length + 3) // 4 * 4
    walk(first, length, 0)
    return version, strings


def check_version(checks, resources):
    data = only(resources, (RT_VERSION, 1))
    if not checks.check(data is not None, "version record is linked in"):
        return
    try:
        version, strings = version_strings(data)
    except (FormatError, struct.error, UnicodeDecodeError) as e:
        checks.check(False, "version record is readable", str(e))
        return
    # The number itself is CMake's project version: check_version.py.
    checks.check(version[3] == 0 and strings.get("FileVersion") == "%d.%d.%d.0" % version[:3],
                 "file version and its text agree", "%r, %r" % (version, strings.get("FileVersion")))
    want = {"CompanyName": "Morvex Multimedia",
            "FileDescription": "Chanwiz TV tuner setup wizard",
            "ProductName": "Chanwiz"}
    for key, value in want.items():
        checks.check(strings.get(key) == value, "version %s is %r" % (key, value),
                     "got %r" % strings.get(key))


def check_manifest(checks, resources):
    data = only(resources, (RT_MANIFEST, 1))
    if not checks.check(data is not None, "manifest (RT_MANIFEST 1) is linked in"):
        return
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        checks.check(False, "manifest is well-formed XML", str(e))
        return
    checks.check(True, "manifest is well-formed XML")
    level = [e.get("level") for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
    checks.check(level == ["requireAdministrator"], "manifest asks for administrator rights",
                 "levels %r" % level)
    controls = [e for e in root.iter() if e.tag.endswith("}assemblyIdentity")
                and e.get("name") == "Microsoft.Windows.Common-Controls"]
    checks.check(len(controls) == 1 and controls[0].get("version") == "6.0.0.0",
                 "manifest depends on the version 6 common controls")
    dpi = [e.text.strip().lower() for e in root.iter() if e.tag.endswith("}dpiAware") and e.text]
    checks.check(dpi == ["true"], "manifest declares DPI awareness", "got %r" % dpi)


def read_pe(checks, data):
    """The PE file and its resources, or (None, None) after a failed check."""
    try:
        pe = PeFile(data)
        return pe, pe.resources()
    except (FormatError, struct.error) as e:
        checks.check(False, "readable PE file with resources", str(e))
        return None, None


def check_pe(checks, pe):
    checks.check(pe.subsystem == 2, "GUI subsystem", "subsystem %d" % pe.subsystem)


def run(data, source_dir, out=sys.stdout):
    checks = Checks(out)
    pe, resources = read_pe(checks, data)
    if pe is None:
        return checks
    check_pe(checks, pe)
    try:
        expected = expected_dialogs(source_dir)
    except (FormatError, OSError, IndexError) as e:
        checks.check(False, "template table readable", str(e))
        expected = {}
    check_dialogs(checks, resources, expected)
    check_icon(checks, resources)
    check_version(checks, resources)
    check_manifest(checks, resources)
    return checks


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source-dir", default=os.path.normpath(os.path.join(here, "..", "..")))
    parser.add_argument("exe")
    args = parser.parse_args()
    with open(args.exe, "rb") as f:
        data = f.read()
    print("== resources of %s" % args.exe)
    checks = run(data, args.source_dir)
    print("%d passed, %d failed" % (checks.passed, checks.failed))
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
