#!/usr/bin/env python3
"""Makes sure check_resources.py notices what it is there to notice: each test
damages one thing in a copy of a built Chanwiz.exe (or in a copy of the
template table) and expects exactly that check to fail, while the intact file
passes.

usage: check_resources_test.py EXE [unittest options]
"""
import io
import os
import shutil
import struct
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_resources as cr  # noqa: E402

SOURCE_DIR = os.path.normpath(os.path.join(HERE, "..", ".."))
EXE = None


def utf16(text):
    return text.encode("utf-16-le")


class DamagedExe(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(EXE, "rb") as f:
            cls.original = f.read()
        cls.resources = cr.PeFile(cls.original).resources()

    def run_checks(self, data, source_dir=SOURCE_DIR):
        out = io.StringIO()
        checks = cr.run(bytes(data), source_dir, out)
        failures = [line for line in out.getvalue().splitlines() if line.startswith("FAIL")]
        return checks, failures

    def patch(self, key, old, new):
        """A copy of the file with `old` replaced by `new` (same length) inside
        resource `key`; `old` must occur there exactly once."""
        self.assertEqual(len(old), len(new))
        (_, data, at), = self.resources[key]
        self.assertEqual(data.count(old), 1, "%r in %r" % (old, key))
        copy = bytearray(self.original)
        where = at + data.index(old)
        copy[where:where + len(old)] = new
        return copy

    def assertOnlyFails(self, data, fragment, source_dir=SOURCE_DIR):
        checks, failures = self.run_checks(data, source_dir)
        self.assertGreater(checks.failed, 0, "the damage went unnoticed")
        for line in failures:
            self.assertIn(fragment, line)

    def test_intact_file_passes(self):
        checks, failures = self.run_checks(self.original)
        self.assertEqual(failures, [])
        self.assertGreater(checks.passed, 20)

    def test_a_style_bit_added_by_the_resource_compiler_is_caught(self):
        # The start page's "Country" button gains WS_GROUP.
        damaged = self.patch((cr.RT_DIALOG, 102), struct.pack("<I", 0x50010000),
                             struct.pack("<I", 0x50030000))
        self.assertOnlyFails(damaged, "dialog 102")

    def test_a_dialog_style_is_caught(self):
        # The restart page loses WS_SYSMENU.
        damaged = self.patch((cr.RT_DIALOG, 131), struct.pack("<I", 0x80C800C0),
                             struct.pack("<I", 0x80C000C0))
        self.assertOnlyFails(damaged, "dialog 131")

    def test_an_extended_style_is_caught(self):
        # The restart note loses its sunken frame.
        damaged = self.patch((cr.RT_DIALOG, 131), struct.pack("<I", 0x201), struct.pack("<I", 0x200))
        self.assertOnlyFails(damaged, "dialog 131")

    def test_a_control_text_is_caught(self):
        damaged = self.patch((cr.RT_DIALOG, 102), utf16("Nazione"), utf16("Nazioni"))
        self.assertOnlyFails(damaged, "dialog 102")

    def test_a_font_is_caught(self):
        damaged = self.patch((cr.RT_DIALOG, 130), utf16("Arial"), utf16("Arian"))
        self.assertOnlyFails(damaged, "dialog 130")

    def test_a_control_id_is_caught(self):
        # The letter box (1021) becomes 1022.
        damaged = self.patch((cr.RT_DIALOG, 130), struct.pack("<I", 1021) + utf16("COMBOBOX"),
                             struct.pack("<I", 1022) + utf16("COMBOBOX"))
        self.assertOnlyFails(damaged, "dialog 130")

    def test_a_single_icon_image_is_caught(self):
        damaged = self.patch((cr.RT_GROUP_ICON, 128), struct.pack("<HHH", 0, 1, 2),
                             struct.pack("<HHH", 0, 1, 1))
        self.assertOnlyFails(damaged, "icon group")

    def test_a_version_name_is_caught(self):
        damaged = self.patch((cr.RT_VERSION, 1), utf16("Morvex"), utf16("Morvix"))
        self.assertOnlyFails(damaged, "CompanyName")

    def test_a_manifest_without_administrator_rights_is_caught(self):
        damaged = self.patch((cr.RT_MANIFEST, 1), b'"requireAdministrator"', b'"highestAvailable"    ')
        self.assertOnlyFails(damaged, "administrator")

    def test_a_change_of_the_template_table_is_caught(self):
        # The exe stays as built; the table the simulation uses changes.
        with tempfile.TemporaryDirectory() as tmp:
            for part in (("resources",), ("src", "app")):
                os.makedirs(os.path.join(tmp, *part))
            shutil.copy(os.path.join(SOURCE_DIR, "resources", "resource.h"),
                        os.path.join(tmp, "resources"))
            table = os.path.join("src", "app", "dialog_templates.cpp")
            with open(os.path.join(SOURCE_DIR, table), encoding="utf-8") as f:
                text = f.read()
            self.assertEqual(text.count("15, 30, 130, 100"), 2)
            text = text.replace("15, 30, 130, 100", "15, 30, 130, 101", 1)
            with open(os.path.join(tmp, table), "w", encoding="utf-8") as f:
                f.write(text)
            self.assertOnlyFails(self.original, "dialog 129", tmp)


class TemplateParsing(unittest.TestCase):
    def test_class_atoms_and_ordinal_texts_are_read(self):
        # One button given by atom 0x80 with an ordinal title, as rc.exe
        # writes predefined classes.
        t = struct.pack("<HHIIIHhhhh", 1, 0xFFFF, 0, 0, 0x80C800C0, 1, 0, 0, 100, 50)
        t += b"\0\0" + b"\0\0" + utf16("Title\0") + struct.pack("<HHBB", 8, 0, 0, 0) + utf16("Arial\0")
        t += b"\0" * (-len(t) % 4)
        t += struct.pack("<IIIhhhhI", 0, 0, 0x50010001, 1, 2, 3, 4, 7)
        t += struct.pack("<HH", 0xFFFF, 0x80) + struct.pack("<HH", 0xFFFF, 5) + struct.pack("<H", 0)
        d = cr.parse_dialog(t)
        self.assertEqual(d["caption"], "Title")
        self.assertEqual(d["font"][:2], (8, "Arial"))
        self.assertEqual(d["controls"][0]["className"], "BUTTON")
        self.assertEqual(d["controls"][0]["text"], 5)
        self.assertEqual(d["controls"][0]["id"], 7)

    def test_the_table_is_read_with_its_constants_and_names(self):
        dialogs = cr.expected_dialogs(SOURCE_DIR)
        self.assertEqual(sorted(dialogs), [102, 129, 130, 131])
        start = dialogs[102]
        # kChild | 0x00010000u, with IDC_COUNTRY_BUTTON from resource.h.
        self.assertEqual(start["controls"][1]["id"], 1016)
        self.assertEqual(start["controls"][1]["style"], 0x50010000)
        # A text split over two literals is one text.
        self.assertTrue(start["controls"][2]["text"].endswith("can work well."))
        self.assertIn("step by step", start["controls"][2]["text"])


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    EXE = sys.argv.pop(1)
    unittest.main()
