#!/usr/bin/env python3
"""A machine file derived from another, for runs that need a small variation.

  machine_variant.py IN OUT [--country N] [--drop-key KEY]... [--set-sz KEY NAME TEXT]...

  --country N     HKEY_CURRENT_USER\\Control Panel\\International "iCountry"
                  becomes "N" (the Windows country code, which picks the
                  section of Chanwiz.ini); the value must be there already
  --drop-key KEY  the key KEY and its subkeys are left out
  --set-sz KEY NAME TEXT
                  the value NAME of KEY (there already, on one line) becomes
                  the string TEXT

IN is a "Windows Registry Editor Version 5.00" file (UTF-8 or UTF-16LE with
a byte-order mark); OUT is written in the same encoding, every other line as it was.
REGEDIT4 (9x) machines keep iCountry in win.ini and are refused.
Exit 0 written, 2 unusable input.
"""
import re
import sys

HEADER5 = "Windows Registry Editor Version 5.00"
INTL = "HKEY_CURRENT_USER\\Control Panel\\International"


def fail(message):
    print("machine_variant: " + message, file=sys.stderr)
    sys.exit(2)


def key_of(line):
    s = line.strip()
    if not s.startswith("[") or "]" not in s:
        return None
    return s[1:s.rfind("]")].lstrip("-")


def under(path, key):
    p, k = path.upper(), key.upper().rstrip("\\")
    return p == k or p.startswith(k + "\\")


def main(argv):
    if len(argv) < 2:
        fail("usage: machine_variant.py IN OUT [--country N] [--drop-key KEY]...")
    src, out, country, drops, sets, i = argv[0], argv[1], None, [], {}, 2
    while i < len(argv):
        if argv[i] == "--country" and i + 1 < len(argv) and argv[i + 1].isdigit():
            country = argv[i + 1]
        elif argv[i] == "--drop-key" and i + 1 < len(argv):
            drops.append(argv[i + 1])
        elif argv[i] == "--set-sz" and i + 3 < len(argv):
            sets[(argv[i + 1].upper(), argv[i + 2].lower())] = argv[i + 3]
            i += 2
        else:
            fail("unknown or incomplete option %r" % argv[i])
        i += 2
    try:
        data = open(src, "rb").read()
    except OSError as e:
        fail(str(e))
    utf16 = data.startswith(b"\xff\xfe")
    try:
        text = data[2:].decode("utf-16-le") if utf16 else data.decode("utf-8-sig")
    except UnicodeDecodeError:
        fail("%s: neither UTF-16LE with a byte-order mark nor UTF-8" % src)
    # Split at "\n" only, each line keeping its end (the samples mix CRLF
    # and LF within wrapped hex values).
    lines = [l for l in re.split(r"(?<=\n)", text) if l]
    if not lines or lines[0].rstrip("\r\n") != HEADER5:
        fail("%s: not a %r file (9x machines keep iCountry in win.ini)" % (src, HEADER5))

    kept, key, dropping, set_country, dropped, done = [], None, False, False, set(), set()
    for line in lines:
        k = key_of(line)
        if k is not None:
            key = k
            dropping = any(under(k, d) for d in drops)
            if dropping:
                dropped.add(k)
        if dropping:
            continue
        if (country is not None and key is not None and key.upper() == INTL.upper()
                and line.strip().lower().startswith('"icountry"=')):
            line = '"iCountry"="%s"' % country + line[len(line.rstrip("\r\n")):]
            set_country = True
        for (skey, sname), text in sets.items():
            lead = '"%s"=' % sname
            if (key is not None and key.upper() == skey and line.strip().lower().startswith(lead.lower())
                    and not line.rstrip("\r\n").endswith("\\")):
                quoted = text.replace("\\", "\\\\").replace('"', '\\"')
                line = '"%s"="%s"' % (line.strip()[1:len(sname) + 1], quoted) + line[len(line.rstrip("\r\n")):]
                done.add((skey, sname))
        kept.append(line)
    if country is not None and not set_country:
        fail('%s: no "iCountry" value under [%s]' % (src, INTL))
    for skey, sname in sets:
        if (skey, sname) not in done:
            fail("%s: no value %r of one line under [%s]" % (src, sname, skey))
    for d in drops:
        if not any(under(k, d) for k in dropped):
            fail("%s: no key %s to leave out" % (src, d))
    body = "".join(kept)
    with open(out, "wb") as f:
        f.write(b"\xff\xfe" + body.encode("utf-16-le") if utf16 else body.encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
