#!/usr/bin/env python3
"""Write the .reg files the Wine probe imports, in the format regedit writes:
"Windows Registry Editor Version 5.00", UTF-16LE with a BOM, CRLF line ends.

usage: make_reg.py OUTDIR
  OUTDIR/device.reg   a PCI capture board (VEN_1131&DEV_7134) under Enum\\PCI with
                      its driver key under Control\\Class\\{4d36e96c-...}\\0000 (+ DriverData),
                      and a second board (DEV_7133) that has no ClassGUID value
  OUTDIR/winver-xp.reg  HKLM\\...\\Windows NT\\CurrentVersion set to 5.1 / 2600 / SP3
                      (+ Control\\Windows "CSDVersion"=0x300 for the SP number)
  OUTDIR/winver-wine.reg  HKCU\\Software\\Wine "Version"="winxp64" (Wine's own switch)
"""
import os
import sys

MEDIA = "{4d36e96c-e325-11ce-bfc1-08002be10318}"
ENUM = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\PCI"
CLASS = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class" + "\\" + MEDIA


def q(s):
    """Quote a REG_SZ value the way regedit does."""
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def hex_bytes(prefix, data):
    """hex(N):.. value with regedit's 80-column line wrapping (",\\" + 2 spaces)."""
    parts = ["%02x" % b for b in data]
    out, line = [], prefix
    for i, p in enumerate(parts):
        piece = p + ("," if i < len(parts) - 1 else "")
        if len(line) + len(piece) > 76 and i:
            out.append(line + "\\")
            line = "  "
        line += piece
    out.append(line)
    return "\r\n".join(out)


def multi_sz(name, strings):
    data = ("\0".join(strings) + "\0\0").encode("utf-16-le")
    return hex_bytes(q(name) + "=hex(7):", data)


def dword(name, v):
    return "%s=dword:%08x" % (q(name), v)


def write_reg(path, blocks):
    text = "Windows Registry Editor Version 5.00\r\n\r\n"
    for key, values in blocks:
        text += "[" + key + "]\r\n"
        for v in values:
            text += v + "\r\n"
        text += "\r\n"
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le"))


def device_blocks(dev, rev, instance, with_class, driver_index):
    base = "VEN_1131&DEV_%s" % dev
    hwids = [
        "PCI\\%s&SUBSYS_00000000&REV_%s" % (base, rev),
        "PCI\\%s&SUBSYS_00000000" % base,
        "PCI\\%s&CC_048000" % base,
        "PCI\\%s&CC_0480" % base,
    ]
    compat = [
        "PCI\\%s&REV_%s" % (base, rev),
        "PCI\\%s" % base,
        "PCI\\VEN_1131&CC_048000",
        "PCI\\VEN_1131&CC_0480",
        "PCI\\VEN_1131",
        "PCI\\CC_048000",
        "PCI\\CC_0480",
    ]
    values = [
        multi_sz("HardwareID", hwids),
        multi_sz("CompatibleIDs", compat),
        q("DeviceDesc") + "=" + q("Probe %s video capture" % dev),
        q("Mfg") + "=" + q("Probe"),
        q("Service") + "=" + q("probetv"),
        q("LocationInformation") + "=" + q("PCI bus 1, device 5, function 0"),
        dword("ConfigFlags", 0),
        dword("Capabilities", 0),
        dword("UINumber", 5),
    ]
    if with_class:
        values += [
            q("ClassGUID") + "=" + q(MEDIA),
            q("Class") + "=" + q("MEDIA"),
            q("Driver") + "=" + q("%s\\%04d" % (MEDIA, driver_index)),
        ]
    key = "%s\\%s&SUBSYS_00000000&REV_%s\\%s" % (ENUM, base, rev, instance)
    return [(key, values)]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    blocks = device_blocks("7134", "01", "4&1", True, 0)
    blocks += device_blocks("7133", "d1", "4&2", False, 1)
    blocks += [
        (CLASS + "\\0000", [
            q("DriverDesc") + "=" + q("Probe 7134 video capture"),
            q("ProviderName") + "=" + q("Probe"),
            q("DriverDate") + "=" + q("12-6-2026"),
            q("DriverVersion") + "=" + q("1.0.0.0"),
            q("MatchingDeviceId") + "=" + q("pci\\ven_1131&dev_7134"),
            q("InfPath") + "=" + q("oem1.inf"),
            q("InfSection") + "=" + q("Probe7134"),
        ]),
        (CLASS + "\\0000\\DriverData", [
            dword("Tuner", 0x36),
            dword("CardType", 5),
            dword("TvStandard", 0x10),
            q("BoardName") + "=" + q("Probe board"),
            hex_bytes(q("Eeprom") + "=hex:", bytes(range(0, 40))),
        ]),
    ]
    write_reg(os.path.join(out, "device.reg"), blocks)

    nt = r"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion"
    write_reg(os.path.join(out, "winver-xp.reg"), [
        (nt, [
            q("CurrentVersion") + "=" + q("5.1"),
            q("CurrentBuildNumber") + "=" + q("2600"),
            q("CurrentBuild") + "=" + q("2600"),
            q("CSDVersion") + "=" + q("Service Pack 3"),
            q("ProductName") + "=" + q("Microsoft Windows XP"),
            # Windows 10 style numbers would win over CurrentVersion: remove them.
            q("CurrentMajorVersionNumber") + "=-",
            q("CurrentMinorVersionNumber") + "=-",
        ]),
        # The service pack number (wServicePackMajor/Minor) is read from here.
        (r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Windows", [dword("CSDVersion", 0x300)]),
    ])
    write_reg(os.path.join(out, "winver-wine.reg"), [
        (r"HKEY_CURRENT_USER\Software\Wine", [q("Version") + "=" + q("winxp64")]),
    ])
    return 0


if __name__ == "__main__":
    sys.exit(main())
