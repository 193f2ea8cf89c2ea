#!/usr/bin/env python3
"""Writes the sample machines of chanwiz-sim (one .reg file each).

NT-family machines are written as "Windows Registry Editor Version 5.00"
text in UTF-8 (readable in a diff; chanwiz-sim reads UTF-8 and regedit's
UTF-16LE alike); 9x machines as REGEDIT4 in ANSI, as Windows 98 exports.
Run it after changing a machine here: python3 samples/make_samples.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
MEDIA = "{4d36e96c-e325-11ce-bfc1-08002be10318}"
SYSTEM = "{4d36e97d-e325-11ce-bfc1-08002be10318}"
USBCLASS = "{36fc9e60-c465-11cf-8056-444553540000}"
NT_CLASS = r"SYSTEM\CurrentControlSet\Control\Class"
W9X_CLASS = r"SYSTEM\CurrentControlSet\Services\Class"
ENUM = r"SYSTEM\CurrentControlSet\Enum"
SIM = r"SOFTWARE\Chanwiz Simulation"


def hexbytes(data, indent):
    parts = ["%02x" % b for b in data]
    out, line = [], indent
    for i, p in enumerate(parts):
        piece = p + ("," if i < len(parts) - 1 else "")
        if len(line) + len(piece) > 76:
            out.append(line + "\\")
            line = "  "
        line += piece
    out.append(line)
    return "\n".join(out)


class Machine:
    def __init__(self, name, nt=True):
        self.name, self.nt, self.keys = name, nt, {}

    def key(self, path):
        return self.keys.setdefault("HKEY_LOCAL_MACHINE\\" + path if not path.startswith("HKEY_") else path, [])

    def sz(self, path, name, text):
        self.key(path).append(("sz", name, text))

    def dword(self, path, name, value):
        self.key(path).append(("dword", name, value))

    def multi(self, path, name, texts):
        self.key(path).append(("multi", name, texts))

    def binary(self, path, name, data):
        self.key(path).append(("binary", name, data))

    def device(self, enum_path, ids, driver, class_guid=MEDIA):
        path = ENUM + "\\" + enum_path
        self.multi(path, "HardwareID", ids)
        self.sz(path, "ClassGUID", class_guid)
        if driver:
            self.sz(path, "Driver", driver)

    def render(self):
        lines = ["Windows Registry Editor Version 5.00" if self.nt else "REGEDIT4", ""]
        for path in sorted(self.keys, key=lambda p: p.upper()):
            lines.append("[%s]" % path)
            for kind, name, value in self.keys[path]:
                lead = '@=' if name == "" else '"%s"=' % name.replace("\\", "\\\\").replace('"', '\\"')
                if kind == "sz":
                    lines.append(lead + '"%s"' % value.replace("\\", "\\\\").replace('"', '\\"'))
                elif kind == "dword":
                    lines.append(lead + "dword:%08x" % value)
                elif kind == "binary":
                    lines.append(hexbytes(value, lead + "hex:"))
                else:
                    text = "".join(t + "\0" for t in value) + "\0"
                    data = text.encode("utf-16-le") if self.nt else text.encode("cp1252")
                    lines.append(hexbytes(data, lead + "hex(7):"))
            lines.append("")
        text = "\r\n".join(lines) + "\r\n"
        with open(os.path.join(HERE, self.name), "wb") as f:
            f.write(text.encode("utf-8") if self.nt else text.encode("cp1252"))


def base(name, nt, country, version=None):
    m = Machine(name, nt)
    if nt:
        m.sz(r"SOFTWARE\Microsoft\Windows NT\CurrentVersion", "CurrentVersion", version or "5.1")
        m.sz(r"SOFTWARE\Microsoft\Windows NT\CurrentVersion", "CurrentBuildNumber", "7601" if version == "6.1" else "2600")
        if version == "6.1":
            m.sz(r"SOFTWARE\Microsoft\Windows NT\CurrentVersion", "CSDVersion", "Service Pack 1")
        m.sz(r"HKEY_CURRENT_USER\Control Panel\International", "iCountry", str(country))
        m.sz(r"HKEY_CURRENT_USER\Control Panel\International", "sCountry", "Italy" if country == 39 else "Country")
    else:
        m.sz(r"SOFTWARE\Microsoft\Windows\CurrentVersion", "VersionNumber", "4.10.2222")
        m.sz(SIM + r"\win.ini\intl", "iCountry", str(country))
    # Devices every PC has: they must never be taken for a tuner board.
    m.device(r"ACPI\PNP0A03\0", ["ACPI\\PNP0A03", "*PNP0A03"], SYSTEM + "\\0010" if nt else "SYSTEM\\0010", SYSTEM)
    m.device(r"PCI\VEN_8086&DEV_2448&SUBSYS_00000000&REV_D3\3&267a616a&0&F0",
             ["PCI\\VEN_8086&DEV_2448&SUBSYS_00000000&REV_D3", "PCI\\VEN_8086&DEV_2448"],
             SYSTEM + "\\0011" if nt else "SYSTEM\\0011", SYSTEM)
    m.device(r"ROOT\LEGACY_BEEP\0000", ["ROOT\\LEGACY_BEEP"], None, "{8ecc055d-047f-11d1-a537-0000f8753ed1}")
    return m


def x64(name, country):
    """Windows 7 SP1, 64-bit, where the wizard runs as the 32-bit program it is:
    what it reads and writes of HKLM\\SOFTWARE lies under SOFTWARE\\Wow6432Node."""
    m = base(name, True, country, "6.1")
    m.sz(r"SYSTEM\CurrentControlSet\Control\Session Manager\Environment", "PROCESSOR_ARCHITECTURE", "AMD64")
    m.key(r"SOFTWARE\Wow6432Node")
    m.sz(SIM, "ModuleFileName", r"C:\Program Files (x86)\Morvex\Chanwiz\Chanwiz.exe")
    m.sz(SIM, "WindowsDirectory", r"C:\Windows")
    m.sz(SIM, "SystemDirectory", r"C:\Windows\system32")
    return m


def drv(m, n):
    return (MEDIA + "\\%04d" % n) if m.nt else ("MEDIA\\%04d" % n)


def cls(m, n, sub=""):
    root = NT_CLASS + "\\" + MEDIA if m.nt else W9X_CLASS + "\\MEDIA"
    return root + "\\%04d" % n + sub


def saa7134(m, index=0, dev="7134", tuner="34", item22=0):
    cap, tun = 1 + 2 * index, 2 + 2 * index
    m.device(r"PCI\VEN_1131&DEV_%s&SUBSYS_01381131&REV_01\4&2b8260c&0&%d0F0" % (dev, index),
             ["PCI\\VEN_1131&DEV_%s&SUBSYS_01381131&REV_01" % dev, "PCI\\VEN_1131&DEV_%s&SUBSYS_01381131" % dev,
              "PCI\\VEN_1131&DEV_%s&CC_048000" % dev], drv(m, cap))
    tuner_id = ("Stream\\PhTVTune.%s" if m.nt else "STREAM\\PHTVTUNE.%s") % tuner
    m.device(r"STREAM\PHTVTUNE.%s\5&1ad9b2e&0&%d" % (tuner, index), [tuner_id], drv(m, tun))
    m.sz(cls(m, cap), "DriverDesc", "Philips SAA%s Capture" % dev)
    m.sz(cls(m, cap), "CountryCode", "1")
    m.dword(cls(m, cap, "\\Audio"), "ForceNicamI", 0)
    m.sz(cls(m, tun), "DriverDesc", "Philips Tuner")
    m.sz(cls(m, tun), "DefaultStandard", "0x00000001")
    m.sz(cls(m, tun), "TunerType", "FM1236")
    m.sz(cls(m, tun), "Address", "0xC0")
    # The driver's component, installed, with the usual tuner.
    m.dword(SIM + r"\Vamp", "DeviceCount", 1)
    m.dword(SIM + r"\Vamp", "Item22", item22)


def cx2388x(m):
    m.device(r"PCI\VEN_14F1&DEV_8800&SUBSYS_88011461&REV_05\4&1f7dbc9f&0&40F0",
             ["PCI\\VEN_14F1&DEV_8800&SUBSYS_88011461&REV_05", "PCI\\VEN_14F1&DEV_8800&SUBSYS_88011461"], drv(m, 3))
    m.device(r"PCI\VEN_14F1&DEV_8811&SUBSYS_88011461&REV_05\4&1f7dbc9f&0&41F0",
             ["PCI\\VEN_14F1&DEV_8811&SUBSYS_88011461&REV_05"], drv(m, 5))
    tid = "Stream\\cxtune.VEN_14F1.Philips" if m.nt else "STREAM\\CXTUNE.VEN_14F1.PHILIPS"
    m.device(r"STREAM\CXTUNE.VEN_14F1.PHILIPS\6&2e4a1b1&0&0", [tid], drv(m, 4))
    m.sz(cls(m, 3), "DriverDesc", "Conexant 2388x Video Capture")
    m.dword(cls(m, 3, "\\DriverData"), "VideoStandard", 1)
    m.dword(cls(m, 3, "\\DriverData"), "WWAudioCountryCode", 1)
    m.dword(cls(m, 3, "\\DriverData"), "WWVideoCountryCode", 1)
    m.sz(cls(m, 4), "DriverDesc", "Conexant Tuner")
    m.dword(cls(m, 4, "\\DriverData"), "TunerBrand", 2)
    m.dword(cls(m, 4, "\\DriverData"), "TunerType", 1)
    m.dword(cls(m, 4, "\\DriverData"), "TunerI2CAddress", 192)
    # The capture filter and the register that tells the tuner variants apart.
    m.sz(SIM + r"\CaptureFilter", "FriendlyName", "Conexant 2388x Video Capture")
    m.dword(SIM + r"\CaptureFilter", "Register_350018", 0x3F)


def bt878a(m):
    m.device(r"PCI\VEN_109E&DEV_036E&SUBSYS_00000000&REV_11\4&3b2f5b7&0&48F0",
             ["PCI\\VEN_109E&DEV_036E&SUBSYS_00000000&REV_11", "PCI\\VEN_109E&DEV_036E"], drv(m, 6))
    m.device(r"PCI\VEN_109E&DEV_0878&SUBSYS_00000000&REV_11\4&3b2f5b7&0&49F0",
             ["PCI\\VEN_109E&DEV_0878&SUBSYS_00000000&REV_11"], drv(m, 8))
    tid = "Stream\\bttuner.phil" if m.nt else "STREAM\\BTTUNER.PHIL"
    m.device(r"STREAM\BTTUNER.PHIL\6&1c9e2b3&0&0", [tid], drv(m, 7))
    m.sz(cls(m, 6), "DriverDesc", "BT878A Video Capture")
    m.dword(cls(m, 6, "\\DriverData"), "VideoStandard", 1)
    m.dword(cls(m, 6, "\\DriverData"), "WWVideoCountryCode", 1)
    m.dword(cls(m, 6, "\\DriverData"), "WWAudioCountryCode", 1)
    m.sz(cls(m, 7), "DriverDesc", "BT878A Tuner")
    m.dword(cls(m, 7, "\\DriverData"), "TunerBrand", 2)
    m.dword(cls(m, 7, "\\DriverData"), "TunerType", 1)
    m.dword(cls(m, 7, "\\DriverData"), "TunerI2CAddress", 192)
    m.dword(cls(m, 7, "\\DriverData"), "TunerChip", 1)


def usb(m, product, rev="0100"):
    hid = ("USB\\Vid_eb1a&Pid_%s&Rev_%s" if m.nt else "USB\\VID_EB1A&PID_%s&REV_%s") % (product, rev)
    short = ("USB\\Vid_eb1a&Pid_%s" if m.nt else "USB\\VID_EB1A&PID_%s") % product
    m.device(r"USB\VID_EB1A&PID_%s\5&2c8f6e0&0&2" % product, [hid, short], drv(m, 9))
    m.sz(cls(m, 9), "DriverDesc", "USB 2861 Device")
    m.key(cls(m, 9, r"\settings\OEMSettings"))
    m.key(cls(m, 9, r"\settings\PropDefaults"))
    m.key(r"SYSTEM\CurrentControlSet\Enum\USB\ROOT_HUB20\4&1b0e8b3&0")
    m.device(r"USB\ROOT_HUB20\4&1b0e8b3&0", ["USB\\ROOT_HUB20&VID8086&PID24CD&REV0003", "USB\\ROOT_HUB20"],
             "{36fc9e60-c465-11cf-8056-444553540000}\\0001" if m.nt else "USB\\0001", USBCLASS)


def main():
    m = base("saa7134-xp-italy.reg", True, 39); saa7134(m); m.render()
    m = base("saa7134-98-italy.reg", False, 39); saa7134(m); m.render()
    m = base("cx2388x-xp-germany.reg", True, 49); cx2388x(m); m.render()
    m = base("cx2388x-98-germany.reg", False, 49); cx2388x(m); m.render()
    m = base("bt878a-xp-uk.reg", True, 44); bt878a(m); m.render()
    m = base("bt878a-98-uk.reg", False, 44); bt878a(m); m.render()
    m = base("usb2821-xp-china.reg", True, 86); usb(m, "2821"); m.render()
    m = base("usb2800-98-usa.reg", False, 1); usb(m, "2800"); m.render()
    m = base("nodevice-xp.reg", True, 1); m.render()
    m = base("two-saa7134-xp.reg", True, 39); saa7134(m, 0); saa7134(m, 1); m.render()
    m = base("saa7133-and-usb-xp.reg", True, 1); saa7134(m, 0, "7133", "33"); usb(m, "2800"); m.render()
    m = base("saa7134-nt4.reg", True, 39, "4.0"); saa7134(m); m.render()
    # The driver's component answers "the alternative tuner".
    m = base("saa7134-xp-italy-tn.reg", True, 39); saa7134(m, item22=1); m.render()
    m = base("usb2800-xp-usa.reg", True, 1); usb(m, "2800", "0100"); m.render()
    # What a run killed while the tuner's driver key was widened leaves: the
    # widened list on the key, and the record of the list it had (the usual
    # one: SYSTEM and Administrators full control, Users reading, passed on to
    # subkeys), as RegGetKeySecurity gave it, in a block sized for owner and
    # group too.
    m = base("cx2388x-xp-germany-left-open.reg", True, 49); cx2388x(m)
    m.sz(SIM + r"\Security", "HKEY_LOCAL_MACHINE\\" + cls(m, 4),
         "O:BAG:SYD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x2001f;;;BU)")
    sid = lambda *sub: bytes([1, len(sub), 0, 0, 0, 0, 0, 5]) + b"".join(x.to_bytes(4, "little") for x in sub)
    ace = lambda mask, sid: bytes([0, 2]) + (8 + len(sid)).to_bytes(2, "little") + mask.to_bytes(4, "little") + sid
    aces = ace(0xF003F, sid(18)) + ace(0xF003F, sid(32, 544)) + ace(0x20019, sid(32, 545))
    acl = bytes([2, 0]) + (8 + len(aces)).to_bytes(2, "little") + bytes([3, 0, 0, 0]) + aces
    listed = bytes([1, 0, 4, 0x80]) + bytes(12) + (20).to_bytes(4, "little") + acl + bytes(28)
    record = r"SOFTWARE\Morvex Multimedia\Chanwiz Saved Access"
    m.sz(record, "Key", cls(m, 4))
    m.binary(record, "Access List", listed)
    m.render()
    # A driver key whose access list denies Users the writing of values.
    m = base("cx2388x-xp-germany-deny.reg", True, 49); cx2388x(m)
    m.sz(SIM + r"\Security", "HKEY_LOCAL_MACHINE\\" + cls(m, 4),
         "O:BAG:SYD:(D;;0x2;;;BU)(A;;KA;;;SY)(A;;KA;;;BA)(A;;KR;;;BU)")
    m.render()
    # Nobody may set values in the maker's key, where the wizard marks itself
    # as run (nor create keys there): that write fails.
    m = base("saa7134-xp-italy-locked.reg", True, 39); saa7134(m)
    m.key(r"SOFTWARE\Morvex Multimedia\Common")
    m.sz(SIM + r"\Security", r"HKEY_LOCAL_MACHINE\SOFTWARE\Morvex Multimedia\Common",
         "O:BAG:SYD:(D;;0x6;;;WD)(A;;KA;;;SY)(A;;KA;;;BA)")
    m.render()
    # 64-bit Windows 7, one per family. The driver's component is registered
    # by its key alone ("Registered" 0), where the 32-bit regsvr32 puts it: in
    # the 32-bit view, the only one the wizard looks in.
    m = x64("saa7134-x64-italy-tn.reg", 39); saa7134(m, item22=1)
    m.dword(SIM + r"\Vamp", "Registered", 0)
    clsid = r"SOFTWARE\Wow6432Node\Classes\CLSID\{B8A9279E-C453-11D4-AD45-0060080BA634}\InprocServer32"
    m.sz(clsid, "", r"C:\Windows\SysWOW64\34com.dll")
    m.sz(clsid, "ThreadingModel", "Apartment")
    m.render()
    # The maker's key is there already, in the 32-bit view (its other
    # software, 32-bit too, made it).
    m = x64("cx2388x-x64-germany.reg", 49); cx2388x(m)
    m.dword(r"SOFTWARE\Wow6432Node\Morvex Multimedia\Common", "UpdateChanwiz", 0)
    m.render()
    m = x64("bt878a-x64-uk.reg", 44); bt878a(m); m.render()
    m = x64("usb2821-x64-china.reg", 86); usb(m, "2821"); m.render()


if __name__ == "__main__":
    main()
