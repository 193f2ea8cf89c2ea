// .reg files: what the reader takes and refuses, what the writer exports,
// that the two agree in every format, and that a run's undo puts it back.
#include "regtree/reg_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/win_constants.h"
#include "regtree/undo.h"
#include "support/sim_harness.h"
#include "support/tree_compare.h"

namespace cw::sim {
namespace {

using cw::test::TreesEqual;
using Bytes = std::vector<BYTE>;

// UTF-16LE bytes of a literal, embedded NULs included.
template <size_t N>
Bytes Wide(const char16_t (&text)[N]) {
  Bytes out;
  for (size_t i = 0; i + 1 < N; ++i)
    out.insert(out.end(), {static_cast<BYTE>(text[i] & 0xFF), static_cast<BYTE>(text[i] >> 8)});
  return out;
}

std::string V5(const std::string& body) { return "Windows Registry Editor Version 5.00\r\n\r\n" + body; }
std::string K(const std::string& values) { return V5("[HKEY_LOCAL_MACHINE\\K]\r\n" + values); }

// A UTF-8 text as a UTF-16LE file with its byte-order mark.
std::string Utf16File(const std::string& utf8) {
  const std::vector<BYTE> wide = Utf8ToUtf16Le(utf8);
  return "\xFF\xFE" + std::string(wide.begin(), wide.end());
}

bool Apply(const std::string& file, RegistryTree* tree, RegFileFormat* format = nullptr,
           RegFileError* error = nullptr) {
  return ApplyRegFile(file, "test.reg", tree, format, error);
}

// What people and regedit write but the writer never does (its own forms are
// the export texts'): BOM, LF ends, comments, short forms, deletions.
TEST(RegFileRead, FormsTheWriterDoesNotUse) {
  RegistryTree tree;
  RegKey* a = tree.Create(RegRoot::LocalMachine, "A", nullptr);
  a->SetValue("drop", REG_SZ, StringData("2"));
  a->SetValue("", REG_SZ, StringData("default"));
  tree.Create(RegRoot::LocalMachine, "A\\Sub\\Deeper", nullptr);
  tree.Create(RegRoot::CurrentUser, "Gone\\Child", nullptr);
  RegKey* kept = tree.Create(RegRoot::LocalMachine, "Kept", nullptr);
  const std::string file =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
      ";[HKEY_LOCAL_MACHINE\\Commented]\n"
      "  [HKLM\\A]   \n"
      "\t\"x\" = dword:1F  \n"
      "\"y\"=hex:\\\n      01,\\\n\t02 , 03\n"
      "\"n\"=hex(0):\n"
      "\"DROP\"=-\n@=-\n\"never there\"=-\n"
      "[-HKEY_LOCAL_MACHINE\\A\\Sub]\n"
      "[-HKEY_CURRENT_USER\\Gone]\n"
      "[-HKEY_CURRENT_USER\\Never\\There]\n"
      "[HKCU\\Gone\\Again]\n"
      "[HKCR\\.reg\\ShellNew]\n"
      "[HKU\\.DEFAULT\\a]b]\n"
      "[HKEY_LOCAL_MACHINE]\n"
      "\"OnRoot\"=dword:0\n";
  RegFileFormat format = RegFileFormat::Regedit4;
  RegFileError error;
  ASSERT_TRUE(Apply(file, &tree, &format, &error)) << error.ToString();
  EXPECT_EQ(format, RegFileFormat::Utf8v5);
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "Commented"), nullptr);
  ASSERT_EQ(a->values().size(), 3u);  // "x", "y" and "n"
  EXPECT_EQ(a->FindValue("x")->data, DwordData(0x1f));
  EXPECT_EQ(a->FindValue("y")->data, Bytes({1, 2, 3}));
  EXPECT_TRUE(a->values()[2].type == REG_NONE && a->values()[2].data.empty());
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "A\\Sub"), nullptr);
  EXPECT_EQ(tree.Find(RegRoot::CurrentUser, "Gone\\Child"), nullptr);
  EXPECT_NE(tree.Find(RegRoot::CurrentUser, "gone\\again"), nullptr);
  EXPECT_NE(tree.Find(RegRoot::ClassesRoot, ".reg\\ShellNew"), nullptr);
  EXPECT_NE(tree.Find(RegRoot::Users, ".DEFAULT\\a]b"), nullptr);
  EXPECT_NE(tree.Root(RegRoot::LocalMachine).FindValue("OnRoot"), nullptr);
  // Handles hold key pointers: an import must not move the keys it keeps.
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "A"), a);
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "Kept"), kept);
}

TEST(RegFileErrors, EachErrorNamesItsLineAndNothingIsApplied) {
  struct Case { const char* what; std::string file; int line; const char* message /* a part of it */; };
  std::string tooDeep = "[HKLM";
  for (size_t i = 0; i <= RegistryTree::kMaxDepth; ++i) tooDeep += "\\d";
  const Case cases[] = {
      {"no header", "[HKEY_LOCAL_MACHINE\\K]\r\n\"a\"=\"b\"\r\n", 1, "header"},
      {"utf-16 big endian", "\xFE\xFF\x00W", 1, "big-endian"},
      {"value before any key", V5("\"a\"=\"b\"\r\n"), 3, "before any key"},
      {"unterminated data", K("\"a\"=\"b\\\"\r\n"), 4, "unterminated"},
      {"unknown escape", K("\"a\"=\"C:\\Windows\"\r\n"), 4, "escape"},
      {"missing =", K("\"a\" \"b\"\r\n"), 4, "expected '='"},
      {"unknown type", K("\"a\"=foo:1\r\n"), 4, "unknown value type 'foo:1'"},
      {"bad hex type", K("\"a\"=hex(2:00\r\n"), 4, "hex(N)"},
      {"hex type too big", K("\"a\"=hex(100000000):00\r\n"), 4, "out of range"},
      {"garbage after data", K("\"a\"=dword:0x10\r\n"), 4, "after the value data"},
      {"dword with no digits", K("\"a\"=dword:\r\n"), 4, "1 to 8 hex digits"},
      {"missing comma", K("\"a\"=hex:01 02\r\n"), 4, "after hex byte"},
      {"continuation into a blank line", K("\"a\"=hex:01,\\\r\n\r\n\"b\"=\"c\"\r\n"), 5, "expected a hex byte"},
      {"bad byte on a continuation line", K("\"a\"=hex:01,\\\r\n  02,\\\r\n  zz\r\n"), 6,
       "bad hex byte 'zz'"},
      {"text after continuation", K("\"a\"=hex:01,\\ 02\r\n"), 4, "continuation"},
      {"continuation at end", K("\"a\"=hex:01,\\\r\n"), 4, "end of the file"},
      {"value under deleted key", V5("[-HKEY_LOCAL_MACHINE\\K]\r\n\r\n\"a\"=\"b\"\r\n"), 5, "deleted key"},
      {"key without ]", V5("[HKEY_LOCAL_MACHINE\\K\r\n"), 3, "closing ']'"},
      {"text after ]", V5("[HKEY_LOCAL_MACHINE\\K] ; note\r\n"), 3, "after ']'"},
      {"unknown root", V5("[HKEY_FOO\\K]\r\n"), 3, "unknown root key 'HKEY_FOO'"},
      {"empty key line", V5("[]\r\n"), 3, "no key"},
      {"empty path part", V5("[HKEY_LOCAL_MACHINE\\a\\\\b]\r\n"), 3, "empty key name"},
      {"delete a root", V5("[-HKEY_LOCAL_MACHINE]\r\n"), 3, "root key cannot be deleted"},
      {"key name too long", V5("[HKLM\\" + std::string(256, 'n') + "]\r\n"), 3, "255"},
      {"key too deep", V5(tooDeep + "]\r\n"), 3, "deep"},
      {"value name too long", K("\"" + std::string(16384, 'n') + "\"=\"\"\r\n"), 4, "16383"},
      {"stray line", K("garbage\r\n"), 4, "expected a key line"},
      {"NUL in text", K("\"a\"=\"b\"\r\n\"c\"=\"d" + std::string(1, '\0') + "\"\r\n"), 5, "NUL"},
      {"ANSI text under a 5.00 header", K("\"a\"=\"b\"\r\n\"Citt\xE0\"=\"\"\r\n"), 5, "not valid UTF-8"},
      {"utf-16 lone surrogate",
       Utf16File(K("\"a\"=\"b\"\r\n")) + std::string("\x00\xD8\x41\x00", 4), 5, "not valid UTF-16"},
      // Good lines before the error: a new key, a changed value, a deleted key.
      {"error after changes",
       V5("[HKLM\\New]\r\n\"x\"=dword:1\r\n[-HKLM\\Other]\r\n"
          "[HKLM\\K]\r\n\"a\"=dword:1\r\n\"y\"=dword:123456789\r\n"),
       8, "out of range"},
  };

  RegistryTree base;
  base.Create(RegRoot::LocalMachine, "K", nullptr)->SetValue("a", REG_SZ, StringData("old"));
  base.Create(RegRoot::LocalMachine, "Other", nullptr);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegistryTree tree(base);
    RegFileFormat format = RegFileFormat::Regedit4;
    RegFileError error;
    EXPECT_FALSE(ApplyRegFile(c.file, "machine.reg", &tree, &format, &error));
    EXPECT_EQ(error.line, c.line) << error.message;
    EXPECT_NE(error.message.find(c.message), std::string::npos) << error.message;
    EXPECT_EQ(error.ToString(), "machine.reg:" + std::to_string(c.line) + ": " + error.message);
    EXPECT_EQ(format, RegFileFormat::Regedit4);  // untouched on failure
    EXPECT_TRUE(TreesEqual(tree, base));
  }
}

TEST(RegFileWrite, ExportsAsRegeditDoes) {
  RegistryTree tree;
  RegKey* common =
      tree.Create(RegRoot::LocalMachine, "SOFTWARE\\Morvex Multimedia\\Common", nullptr);
  Bytes wrapped(60);
  for (int i = 0; i < 60; ++i) wrapped[i] = static_cast<BYTE>(i);
  common->SetValue("UpdateChanwiz", REG_DWORD, DwordData(1));
  common->SetValue("Name", REG_SZ, StringData("Chanwiz \"beta\" C:\\x \xE6\x97\xA5"));
  common->SetValue("", REG_SZ, StringData("default"));
  common->SetValue("Bin", REG_BINARY, wrapped);
  common->SetValue("Exp", REG_EXPAND_SZ, Wide(u"%A%\0"));
  common->SetValue("Q", REG_QWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
  common->SetValue("Emoji", REG_SZ, Wide(u"\U0001F600\0"));
  // Values that are not plain text keep their bytes (more in the round trips).
  common->SetValue("NoEnd", REG_SZ, Wide(u"ab"));
  common->SetValue("ShortDword", REG_DWORD, Bytes({1, 2, 3}));
  tree.Create(RegRoot::LocalMachine, "SOFTWARE\\Empty", nullptr);
  tree.Create(RegRoot::LocalMachine, "Parent\\Child\\Leaf", nullptr);
  tree.Create(RegRoot::CurrentUser, "Software", nullptr)->SetValue("x", REG_SZ, StringData(""));

  // Keys with values or without subkeys only; their parents are implied.
  const std::string expected =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software]\r\n\"x\"=\"\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Parent\\Child\\Leaf]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia\\Common]\r\n"
      "\"UpdateChanwiz\"=dword:00000001\r\n"
      "\"Name\"=\"Chanwiz \\\"beta\\\" C:\\\\x \xE6\x97\xA5\"\r\n"
      "@=\"default\"\r\n"
      "\"Bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,"
      "14,15,16,\\\r\n"
      "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\\\r\n"
      "  30,31,32,33,34,35,36,37,38,39,3a,3b\r\n"
      "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"Emoji\"=\"\xF0\x9F\x98\x80\"\r\n"
      "\"NoEnd\"=hex(1):61,00,62,00\r\n"
      "\"ShortDword\"=hex(4):01,02,03\r\n"
      "\r\n";
  EXPECT_EQ(WriteRegFile(tree, RegFileFormat::Utf8v5), expected);
  // regedit's Unicode format is the same text in UTF-16LE with its mark.
  EXPECT_EQ(WriteRegFile(tree, RegFileFormat::Unicode5), Utf16File(expected));
}

TEST(RegFileWrite, Regedit4IsAnsiWithSingleByteStrings) {
  RegistryTree tree;
  RegKey* key = tree.Create(RegRoot::LocalMachine, "Citt\xC3\xA0", nullptr);
  key->SetValue("Town", REG_SZ, StringData("Citt\xC3\xA0 \xE2\x82\xAC"));
  key->SetValue("Path", REG_EXPAND_SZ, Wide(u"%A%\u00E0\0"));
  key->SetValue("List", REG_MULTI_SZ, Wide(u"a\0b\0\0"));
  key->SetValue("Raw", REG_SZ, Wide(u"ab"));
  EXPECT_EQ(WriteRegFile(tree, RegFileFormat::Regedit4),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Citt\xE0]\r\n"
            "\"Town\"=\"Citt\xE0 \x80\"\r\n"
            "\"Path\"=hex(2):25,41,25,e0,00\r\n"
            "\"List\"=hex(7):61,00,62,00,00\r\n"
            "\"Raw\"=hex(1):61,62\r\n"
            "\r\n");
}

// What a format cannot carry is refused, naming the key and value, not
// written as a stand-in character that an import would misread.
TEST(RegFileWrite, RefusesWhatTheFormatCannotCarry) {
  // `value` null: the key's name is at fault; `nameAtFault` false: the data,
  // which a deletion does not write.
  const Bytes one = DwordData(1);
  const struct { RegFileFormat format; const char *key, *value; DWORD type; Bytes data; const char* because;
                 bool nameAtFault = true; } cases[] = {
      {RegFileFormat::Regedit4, "SOFTWARE\\\xEF\xBB\xBFWindows", nullptr, REG_DWORD, one, "Windows-1252"},
      {RegFileFormat::Regedit4, "K", "Name", REG_SZ, StringData("\xD0\x94"), "Windows-1252", false},
      {RegFileFormat::Regedit4, "K", "List", REG_MULTI_SZ, Bytes({0x61, 0, 0}), "half a character", false},
      {RegFileFormat::Unicode5, "K", "a\nb", REG_DWORD, one, "line break"},
      {RegFileFormat::Utf8v5, "K", "\xFF", REG_DWORD, one, "not valid"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.because);
    RegistryTree tree;
    tree.Create(RegRoot::LocalMachine, c.key, nullptr)
        ->SetValue(c.value ? c.value : "Plain", c.type, c.data);
    // Without the value, or the key: putting it back, or deleting it, must name it too.
    RegistryTree without = tree;
    if (c.value)
      without.Find(RegRoot::LocalMachine, c.key)->DeleteValue(c.value);
    else
      without.Delete(RegRoot::LocalMachine, c.key);
    std::vector<RegWriteError> errors(c.nameAtFault ? 3 : 2);
    EXPECT_EQ(WriteRegFile(tree, c.format, &errors[0]), "");
    EXPECT_EQ(WriteRegUndo(tree, without, c.format, {}, &errors[1]), "");
    if (c.nameAtFault) { EXPECT_EQ(WriteRegChanges(tree, without, c.format, &errors[2]), ""); }
    const std::string wantKey = std::string("HKEY_LOCAL_MACHINE\\") + c.key;
    for (const RegWriteError& error : errors) {
      EXPECT_EQ(error.key, wantKey);
      EXPECT_EQ(error.hasValue, c.value != nullptr);
      EXPECT_EQ(error.value, c.value ? c.value : "");
      EXPECT_NE(error.message.find(c.because), std::string::npos) << error.message;
      EXPECT_EQ(error.ToString("out.reg").rfind("out.reg: cannot write key " + wantKey, 0), 0u)
          << error.ToString("out.reg");
    }
  }
}

const char kClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96C-E325-11CE-BFC1-08002BE10318}\\0001";

// Every kind of value; `ansiOnly` keeps to Windows-1252, for REGEDIT4.
RegistryTree RichTree(bool ansiOnly) {
  RegistryTree tree;
  RegKey* k = tree.Create(RegRoot::LocalMachine, kClassKey, nullptr);
  k->SetValue("", REG_SZ, StringData("Default \"text\" C:\\x\\"));
  k->SetValue("TunerType", REG_DWORD, DwordData(0x12345678));
  k->SetValue("Citt\xC3\xA0", REG_SZ, StringData("Citt\xC3\xA0 \xE2\x82\xAC 5"));
  k->SetValue("Expand", REG_EXPAND_SZ, StringData("%SystemRoot%\\system32\\drivers"));
  k->SetValue("Multi", REG_MULTI_SZ, MultiStringData({"one", "t\xC3\xA9o", "three"}));
  k->SetValue("Binary", REG_BINARY, Bytes({0, 1, 0x7f, 0x80, 0xff}));
  k->SetValue("Qword", REG_QWORD, Bytes({0xef, 0xcd, 0xab, 0x89, 0x67, 0x45, 0x23, 0x01}));
  k->SetValue("Empty \"string\" \\", REG_SZ, StringData(""));
  k->SetValue("NotTerminated", REG_SZ, Wide(u"abc"));
  Bytes big(1000);
  for (int i = 0; i < 1000; ++i) big[i] = static_cast<BYTE>(i * 7);
  k->SetValue("Long binary value that wraps", REG_BINARY, big);
  tree.Create(RegRoot::LocalMachine, "SYSTEM\\Enum\\PCI\\VEN_1131&DEV_7134\\4&1", nullptr)
      ->SetValue("Driver", REG_SZ, StringData("{4D36E96C-E325-11CE-BFC1-08002BE10318}\\0001"));
  tree.Create(RegRoot::LocalMachine, "SYSTEM\\Enum\\ROOT", nullptr);
  tree.Create(RegRoot::CurrentUser, "Control Panel\\International", nullptr)
      ->SetValue("iCountry", REG_SZ, StringData("39"));
  tree.Create(RegRoot::ClassesRoot, "Key]With]Brackets", nullptr)
      ->SetValue("@", REG_SZ, StringData("a value named @ is not the default"));
  if (!ansiOnly) {
    RegKey* u = tree.Create(RegRoot::Users, "\xE6\x97\xA5\xE6\x9C\xAC\\\xD0\x94", nullptr);
    u->SetValue("\xF0\x9F\x98\x80", REG_SZ, StringData("\xE6\x97\xA5 \xF0\x9F\x98\x80"));
    u->SetValue("Expand", REG_EXPAND_SZ, StringData("\xC4\x80"));
    // REG_SZ that is not plain text: written as bytes, read back the same.
    for (const Bytes& odd : {Wide(u"a\0b\0"), Bytes({0x61, 0, 0}), Bytes(), Wide(u"a\r\nb\0"),
                             Wide(u"\xD800x\0"), Wide(u"\xDC00\0")})
      u->SetValue("Odd" + std::to_string(u->values().size()), REG_SZ, odd);
  }
  return tree;
}

class RegFileRoundTrip : public ::testing::TestWithParam<RegFileFormat> {};

TEST_P(RegFileRoundTrip, WriteThenReadGivesTheSameTree) {
  const RegFileFormat format = GetParam();
  const RegistryTree tree = RichTree(format == RegFileFormat::Regedit4);
  const std::string text = WriteRegFile(tree, format);
  RegistryTree back;
  RegFileFormat read =
      format == RegFileFormat::Unicode5 ? RegFileFormat::Utf8v5 : RegFileFormat::Unicode5;
  RegFileError error;
  ASSERT_TRUE(Apply(text, &back, &read, &error)) << error.ToString();
  EXPECT_EQ(read, format);
  EXPECT_TRUE(TreesEqual(back, tree));
  EXPECT_EQ(WriteRegFile(back, format), text);  // and again the same bytes
}

// Changes imported into the first tree give the second; the undo, the first.
TEST_P(RegFileRoundTrip, ChangesAndTheirUndo) {
  const RegFileFormat format = GetParam();
  const auto key = [](RegistryTree* t) { return t->Find(RegRoot::LocalMachine, kClassKey); };
  struct Case { const char* what; std::function<void(RegistryTree*)> change; };
  const Case cases[] = {
      // Changed, added, deleted (the default too), moved last, renamed in case.
      {"values",
       [&](RegistryTree* t) {
         key(t)->SetValue("Multi", REG_DWORD, DwordData(7));
         key(t)->SetValue("New", REG_DWORD, DwordData(0));
         key(t)->DeleteValue("Binary");
         key(t)->DeleteValue("");
         key(t)->DeleteValue("TunerType");
         key(t)->SetValue("TunerType", REG_DWORD, DwordData(0x12345678));
         key(t)->DeleteValue("Qword");
         key(t)->SetValue("QWORD", REG_QWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
       }},
      // Deleted with their subtree, added under new parents, renamed in case.
      {"keys",
       [](RegistryTree* t) {
         t->Delete(RegRoot::LocalMachine, "SYSTEM\\Enum\\PCI");
         t->Create(RegRoot::LocalMachine, "SOFTWARE\\Morvex Multimedia\\Common", nullptr)
             ->SetValue("UpdateChanwiz", REG_DWORD, DwordData(1));
         t->Create(RegRoot::Users, "S-1-5-18\\Empty", nullptr);
         t->Delete(RegRoot::LocalMachine, "SYSTEM\\Enum\\ROOT");
         t->Create(RegRoot::LocalMachine, "SYSTEM\\Enum\\Root\\Sub", nullptr);
       }},
      {"everything deleted", [](RegistryTree* t) { *t = RegistryTree(); }},
  };
  const RegistryTree before = RichTree(format == RegFileFormat::Regedit4);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegistryTree after(before);
    c.change(&after);
    RegFileError error;
    const std::string changes = WriteRegChanges(before, after, format);
    RegistryTree applied(before);
    ASSERT_TRUE(Apply(changes, &applied, nullptr, &error)) << error.ToString() << "\n" << changes;
    EXPECT_TRUE(TreesEqual(applied, after)) << changes;
    const std::string undo = WriteRegUndo(before, after, format);
    ASSERT_TRUE(Apply(undo, &applied, nullptr, &error)) << error.ToString() << "\n" << undo;
    EXPECT_TRUE(TreesEqual(applied, before)) << undo;
  }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, RegFileRoundTrip,
                         ::testing::Values(RegFileFormat::Unicode5, RegFileFormat::Utf8v5,
                                           RegFileFormat::Regedit4));

void ApplyUndo(const std::string& undo, RegistryTree* tree) {
  RegFileError error;
  ASSERT_TRUE(Apply(undo, tree, nullptr, &error)) << error.ToString();
}

// The undo file of a run puts the registry back exactly as it was: same
// keys (with their letter case), values, types, bytes and value order.
TEST(RegUndo, PutsEverySampleRunBack) {
  struct Runs {
    const char* script;  // "": the run writes nothing
    std::vector<const char*> samples;
  };
  const Runs runs[] = {
      {"click 1016; click 1; click 1023; click 1",
       {"saa7134-xp-italy.reg", "saa7134-98-italy.reg", "saa7134-nt4.reg",
        "saa7134-xp-italy-tn.reg", "cx2388x-xp-germany.reg", "cx2388x-98-germany.reg",
        "cx2388x-xp-germany-deny.reg", "cx2388x-xp-germany-left-open.reg", "bt878a-xp-uk.reg",
        "bt878a-98-uk.reg", "saa7134-x64-italy-tn.reg", "cx2388x-x64-germany.reg", "bt878a-x64-uk.reg"}},
      {"click 1015; click 1",
       {"usb2821-xp-china.reg", "usb2800-98-usa.reg", "usb2800-xp-usa.reg", "usb2821-x64-china.reg"}},
      {"", {"nodevice-xp.reg", "two-saa7134-xp.reg", "saa7133-and-usb-xp.reg"}},
  };
  for (const Runs& r : runs)
    for (const char* sample : r.samples) {
      SCOPED_TRACE(sample);
      test::SimRun run(test::MachineFromSample(sample), r.script);
      run.Run();
      ASSERT_FALSE(run.platform->halt()) << run.platform->halt()->message;
      const RegistryTree& after = run.platform->FinalRegistry();
      EXPECT_EQ(!TreesEqual(run.before, after), *r.script != '\0');
      RegistryTree left = after;
      ApplyUndo(WriteRegUndo(run.before, after, run.machine.format), &left);
      EXPECT_TRUE(TreesEqual(left, run.before));
    }
}

// A value whose old data could not be read is left as the run left it, and
// named in a comment that every format must still read.
TEST(RegUndo, UnreadOldValuesAreLeftAloneAndNamed) {
  const Machine m =
      test::MachineFromText(test::RegText("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n" +
                                          test::Sz("Unread", "old ?") + test::Dword("Changed", 5)));
  const auto vendor = [](RegistryTree& t) { return t.Find(RegRoot::LocalMachine, "SOFTWARE\\Vendor"); };
  // What the recorder knew: the value was not read, so its "before" lacks it.
  RegistryTree known = m.registry;
  vendor(known)->DeleteValue("Unread");
  RegistryTree after = m.registry;
  vendor(after)->SetValue("Unread", REG_SZ, StringData("new"));
  const RegistryTree want = after;  // all put back but the unread value
  vendor(after)->SetValue("Changed", REG_DWORD, DwordData(9));
  const std::vector<UnreadValue> unread = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor", "Unread", "code page 1251"}};

  for (RegFileFormat format :
       {RegFileFormat::Utf8v5, RegFileFormat::Unicode5, RegFileFormat::Regedit4}) {
    RegistryTree left = after;
    ApplyUndo(WriteRegUndo(known, after, format, unread), &left);
    EXPECT_TRUE(TreesEqual(left, want));
  }
}

}  // namespace
}  // namespace cw::sim
