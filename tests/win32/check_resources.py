#!/usr/bin/env python3
"""Check the resources linked into Chanwiz.exe (or, with --cli, chanwiz-cli.exe).

Chanwiz.exe: GUI; pages equal to resources/dialogs.rc; icon, version record,
manifest. chanwiz-cli.exe: console (its exit code is read), no pages or icons,
its own version record and manifest.

usage: check_resources.py [--cli] EXE
Prints one line per check, then "N passed, N failed"; exit 0 only when all passed.
"""
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
DS_SETFONT = 0x40  # also part of DS_SHELLFONT
CLASS_ATOMS = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC", 0x83: "LISTBOX", 0x84: "SCROLLBAR", 0x85: "COMBOBOX"}
DIALOG_IDS = (102, 129, 130, 131)
ICON_GROUP_ID = 128
POSITION = ("x", "y", "cx", "cy")


class FormatError(Exception):
    pass


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise FormatError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise FormatError("no PE signature")
        _, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        if magic not in (0x10B, 0x20B):
            raise FormatError("unknown optional header magic 0x%x" % magic)
        dirs = opt + (96 if magic == 0x10B else 112)
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        count = struct.unpack_from("<I", data, dirs - 4)[0]
        self.resource_rva = struct.unpack_from("<I", data, dirs + 16)[0] if count > 2 else 0
        self.sections = []
        for i in range(sections):
            vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", data, opt + opt_size + 40 * i + 8)
            self.sections.append((va, max(vsize, raw_size), raw_ptr, raw_size))

    def offset(self, rva, size=0):
        for va, vsize, raw_ptr, raw_size in self.sections:
            if va <= rva and rva + size <= va + vsize:
                if rva + size > va + raw_size:
                    raise FormatError("RVA 0x%x+%d lies outside the file" % (rva, size))
                return raw_ptr + (rva - va)
        raise FormatError("RVA 0x%x is in no section" % rva)

    def resources(self):
        """{(type, name): [(language, bytes)]}; type and name are ints or upper-case strings."""
        if not self.resource_rva:
            return {}
        base, data, result = self.offset(self.resource_rva), self.data, {}

        def directory(at):
            named, ids = struct.unpack_from("<HH", data, at + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", data, at + 16 + 8 * i)
                if name & 0x80000000:
                    at = base + (name & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", data, at)[0]
                    name = data[at + 2:at + 2 + 2 * length].decode("utf-16-le").upper()
                yield name, base + (target & 0x7FFFFFFF)

        for type_id, t_at in directory(base):
            for name_id, n_at in directory(t_at):
                for lang, l_at in directory(n_at):
                    rva, size = struct.unpack_from("<II", data, l_at)
                    at = self.offset(rva, size)
                    result.setdefault((type_id, name_id), []).append((lang, data[at:at + size]))
        return result


class Reader:
    def __init__(self, data, at=0):
        self.data, self.at = data, at

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def string(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            if end + 2 > len(self.data):
                raise FormatError("unterminated string")
            end += 2
        self.at, start = end + 2, self.at
        return self.data[start:end].decode("utf-16-le")

    def sz_or_ord(self):
        return self.take("HH")[1] if self.data[self.at:self.at + 2] == b"\xff\xff" else self.string()

    def align(self):
        self.at = (self.at + 3) // 4 * 4


def parse_dialog(data):
    r = Reader(data)
    version, signature = r.take("HH")
    if version != 1 or signature != 0xFFFF:
        raise FormatError("not an extended dialog template (version %d, signature 0x%x)" % (version, signature))
    d = dict(zip(("helpId", "exStyle", "style"), r.take("III")))
    count = r.take("H")
    d.update(zip(POSITION, r.take("hhhh")))
    d["menu"], d["windowClass"], d["caption"] = r.sz_or_ord(), r.sz_or_ord(), r.string()
    if d["style"] & DS_SETFONT:
        d["pointSize"] = r.take("HHBB")[0]
        d["fontName"] = r.string()
    d["controls"] = []
    for _ in range(count):
        r.align()
        c = dict(zip(("helpId", "exStyle", "style"), r.take("III")))
        c.update(zip(POSITION, r.take("hhhh")))
        c["id"] = r.take("I")
        cls = r.sz_or_ord()
        c["className"] = CLASS_ATOMS.get(cls, "atom 0x%x" % cls) if isinstance(cls, int) else cls.upper()
        c["text"] = r.sz_or_ord()
        extra = r.take("H")  # creation data
        r.at += extra
        d["controls"].append(c)
    return d


def version_strings(data):
    """(fixed file version tuple, {name: value}) of a VS_VERSIONINFO. Read as
    UTF-16, each string is its node's type 1, its name, NULs, its value."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        raise FormatError("no VS_FIXEDFILEINFO")
    ms, ls = struct.unpack_from("<II", data, at + 8)
    text = data[:len(data) // 2 * 2].decode("utf-16-le", "replace")
    strings = dict(re.findall("\x01([A-Za-z]+)\0+([^\0]*)", text))
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), strings


RC_DIALOG = re.compile(r'''(\w+) DIALOGEX (\w+), (\w+), (\w+), (\w+)
STYLE (\w+)
EXSTYLE (\w+)
CAPTION "([^"]*)"
FONT (\d+), "([^"]*)", 0, 0, 0x0
BEGIN
((?:    CONTROL [^\n]*\n)*)END''')
RC_CONTROL = re.compile(r'    CONTROL "([^"]*)", (\w+), "(\w+)", (\w+), (\w+), (\w+), (\w+), (\w+), (\w+)\n')


def expected_dialogs(source_dir):
    """The pages of resources/dialogs.rc, the script the build links in (the
    unit tests hold it equal to the simulated Windows' table)."""
    with open(os.path.join(source_dir, "resources", "resource.h"), encoding="utf-8") as f:
        names = {m.group(1): int(m.group(2), 0) for m in
                 re.finditer(r"^\s*#define\s+(\w+)\s+(\d+|0x[0-9a-fA-F]+)\s*$", f.read(), re.M)}
    with open(os.path.join(source_dir, "resources", "dialogs.rc"), encoding="utf-8") as f:
        rc = f.read()
    number = lambda token: names[token] if token in names else int(token, 0)  # noqa: E731
    dialogs = {}
    for m in RC_DIALOG.finditer(rc):
        d = dict(zip(("id", "x", "y", "cx", "cy", "style", "exStyle"), map(number, m.groups()[:7])))
        d.update(caption=m[8], pointSize=int(m[9]), fontName=m[10], menu="", windowClass="", controls=[])
        for c in RC_CONTROL.finditer(m[11]):
            control = dict(zip(("id", "style", "x", "y", "cx", "cy", "exStyle"),
                               map(number, (c[2],) + c.groups()[3:])))
            control.update(text=c[1], className=c[3].upper())
            d["controls"].append(control)
        dialogs[d.pop("id")] = d
    if len(dialogs) != len(DIALOG_IDS):
        raise FormatError("%d pages in resources/dialogs.rc" % len(dialogs))
    return dialogs


class Checks:
    passed = failed = 0

    def check(self, ok, what, detail=""):
        self.passed, self.failed = self.passed + bool(ok), self.failed + (not ok)
        print(("ok:   " + what) if ok else ("FAIL: " + what + (" -- " + detail if detail else "")))
        return ok


def only(resources, key):
    entries = resources.get(key, [])
    return entries[0][1] if len(entries) == 1 else None


def differences(label, got, want):
    """For each field of WANT that GOT holds otherwise: "LABEL KEY: got, want WANT"."""
    if isinstance(want, dict):
        return [p for key in want for p in differences(label + key + " ", got.get(key), want[key])]
    if isinstance(want, list) and len(got) != len(want):
        return ["%scount: %d, want %d" % (label, len(got), len(want))]
    if isinstance(want, list):
        return [p for n, (g, w) in enumerate(zip(got, want)) for p in differences("control %d " % n, g, w)]
    fmt = lambda v: "0x%08X" % v if isinstance(v, int) and v > 9 else repr(v)  # noqa: E731
    return [] if got == want else ["%s: %s, want %s" % (label.strip(), fmt(got), fmt(want))]


def check_dialogs(checks, resources, expected):
    for dialog_id in DIALOG_IDS:
        want = expected.get(dialog_id)
        data = only(resources, (RT_DIALOG, dialog_id))
        if not checks.check(want is not None, "dialog %d is in resources/dialogs.rc" % dialog_id) or \
                not checks.check(data is not None, "dialog %d is linked in, once" % dialog_id):
            continue
        try:
            got = parse_dialog(data)
        except (FormatError, struct.error, UnicodeDecodeError) as e:
            checks.check(False, "dialog %d is an extended template" % dialog_id, str(e))
            continue
        problems = differences("", got, want)
        checks.check(not problems, "dialog %d equals resources/dialogs.rc (%d controls)"
                     % (dialog_id, len(want["controls"])), "; ".join(problems))


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
        width, height, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
        image = only(resources, (RT_ICON, icon_id))
        problems = [] if (width, height) == (32, 32) else ["group entry says %dx%d" % (width, height)]
        if image is None:
            problems.append("RT_ICON %d missing" % icon_id)
        elif len(image) != size:
            problems.append("%d bytes, group says %d" % (len(image), size))
        if image is not None and len(image) < 40:
            problems.append("no bitmap header")
        elif image is not None:
            hsize, bw, bh, bplanes, bbits = struct.unpack_from("<IiiHH", image, 0)
            if (hsize, bw, bh, bplanes) != (40, 32, 64, 1):
                problems.append("bitmap header %r" % ((hsize, bw, bh, bplanes),))
            if bbits != bits:
                problems.append("%d bits, group says %d" % (bbits, bits))
            colours = (struct.unpack_from("<I", image, 32)[0] or (1 << bbits)) if bbits <= 8 else 0
            need = 40 + 4 * colours + (32 * bbits + 31) // 32 * 4 * 32 + 4 * 32
            if len(image) < need:
                problems.append("%d bytes, a %d-bit 32x32 image needs %d" % (len(image), bbits, need))
        depths.append(bits)
        checks.check(not problems, "icon image %d: 32x32, %d-bit" % (icon_id, bits), "; ".join(problems))
    checks.check(max(depths) == 32 and min(depths) in (4, 8),
                 "icon group has a 32-bit and a palette image", "depths %r" % depths)


def check_version(checks, resources, want):
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
    for key, value in want.items():
        checks.check(strings.get(key) == value, "version %s is %r" % (key, value), "got %r" % strings.get(key))


def check_manifest(checks, resources, cli):
    data = only(resources, (RT_MANIFEST, 1))
    if not checks.check(data is not None, "manifest (RT_MANIFEST 1) is linked in"):
        return
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        checks.check(False, "manifest is well-formed XML", str(e))
        return

    def elements(tag):
        return [e for e in root.iter() if e.tag.endswith("}" + tag)]

    level = [e.get("level") for e in elements("requestedExecutionLevel")]
    checks.check(level == ["requireAdministrator"], "manifest asks for administrator rights", "levels %r" % level)
    if cli:
        names = [e.get("name") for e in elements("assemblyIdentity")]
        checks.check(names[:1] == ["MorvexMultimedia.ChanwizCli"], "manifest is the console program's own",
                     "names %r" % names)
        return
    controls = [e for e in elements("assemblyIdentity") if e.get("name") == "Microsoft.Windows.Common-Controls"]
    checks.check(len(controls) == 1 and controls[0].get("version") == "6.0.0.0",
                 "manifest depends on the version 6 common controls")
    dpi = [e.text.strip().lower() for e in elements("dpiAware") if e.text]
    checks.check(dpi == ["true"], "manifest declares DPI awareness", "got %r" % dpi)


def main(argv):
    cli, exe, checks = argv[0] == "--cli", argv[-1], Checks()
    print("== resources of %s" % exe)
    try:
        pe = PeFile(open(exe, "rb").read())
        resources = pe.resources()
    except (FormatError, struct.error) as e:
        checks.check(False, "readable PE file with resources", str(e))
        return 1
    checks.check(pe.subsystem == (3 if cli else 2), ("console" if cli else "GUI") + " subsystem",
                 "subsystem %d" % pe.subsystem)
    if cli:
        kinds = {key[0] for key in resources}
        checks.check(RT_DIALOG not in kinds and RT_GROUP_ICON not in kinds,
                     "no dialog templates or icons", "resource types %r" % sorted(kinds, key=str))
        check_version(checks, resources, {"OriginalFilename": "chanwiz-cli.exe"})
    else:
        try:
            expected = expected_dialogs(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
        except (FormatError, OSError, IndexError, ValueError) as e:
            checks.check(False, "resources/dialogs.rc readable", str(e))
            expected = {}
        check_dialogs(checks, resources, expected)
        check_icon(checks, resources)
        check_version(checks, resources, {"CompanyName": "Morvex Multimedia",
                                          "FileDescription": "Chanwiz TV tuner setup wizard",
                                          "ProductName": "Chanwiz"})
    check_manifest(checks, resources, cli)
    print("%d passed, %d failed" % (checks.passed, checks.failed))
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
