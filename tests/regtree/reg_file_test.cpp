#include "regtree/reg_file.h"
#include "regtree/undo.h"

#include <gtest/gtest.h>

#include "support/tree_compare.h"

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win_constants.h"
#include "support/sim_harness.h"

namespace cw::sim {
namespace {

using cw::test::Hex;
using cw::test::TreesEqual;

const char kHeader5[] = "Windows Registry Editor Version 5.00\r\n\r\n";

std::vector<BYTE> Bytes(std::initializer_list<int> list) {
  std::vector<BYTE> out;
  for (int b : list) out.push_back(static_cast<BYTE>(b));
  return out;
}

// UTF-16LE bytes of a literal, embedded NULs included (the literal's own
// terminator is not).
template <size_t N>
std::vector<BYTE> Wide(const char16_t (&text)[N]) {
  std::vector<BYTE> out;
  for (size_t i = 0; i + 1 < N; ++i) {
    const char16_t c = text[i];
    out.push_back(static_cast<BYTE>(c & 0xFF));
    out.push_back(static_cast<BYTE>(c >> 8));
  }
  return out;
}

std::string V5(const std::string& body) { return std::string(kHeader5) + body; }
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

const RegValue* ValueAt(const RegistryTree& tree, const char* path, const char* name) {
  const RegKey* key = tree.Find(RegRoot::LocalMachine, path);
  return key ? key->FindValue(name) : nullptr;
}

// ---- Reading ----

const char kSample[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; a comment\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia\\Common]\r\n"
    "\"UpdateChanwiz\"=dword:00000001\r\n"
    "\"Short\"=dword:1F\r\n"
    "@=\"default\"\r\n"
    "\"Town\"=\"Citt\xC3\xA0\"\r\n"
    "\"Quoted \\\"name\\\" \\\\\"=\"C:\\\\Drivers\\\\\\\"x\\\"\"\r\n"
    "\"Bin\"=hex:01,ff,00\r\n"
    "\"Empty\"=hex:\r\n"
    "\"Path\"=hex(2):25,00,41,00,25,00,00,00\r\n"
    "\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\"Q\"=hex(b):01,02,03,04,05,06,07,08\r\n"
    "\"None\"=hex(0):\r\n"
    "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
    "  17,18,19\r\n"
    "\r\n"
    "[HKLM\\SYSTEM\\Empty Key]\r\n"
    "\r\n";

void ExpectSampleValues(const RegistryTree& tree) {
  const char* key = "SOFTWARE\\Morvex Multimedia\\Common";
  struct Case {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
  };
  std::vector<BYTE> longData;
  for (int i = 0; i < 0x1a; ++i) longData.push_back(static_cast<BYTE>(i));
  const Case cases[] = {
      {"UpdateChanwiz", REG_DWORD, Bytes({1, 0, 0, 0})},
      {"Short", REG_DWORD, Bytes({0x1f, 0, 0, 0})},
      {"", REG_SZ, Wide(u"default\0")},
      {"Town", REG_SZ, Wide(u"Citt\u00E0\0")},
      {"Quoted \"name\" \\", REG_SZ, Wide(u"C:\\Drivers\\\"x\"\0")},
      {"Bin", REG_BINARY, Bytes({1, 0xff, 0})},
      {"Empty", REG_BINARY, {}},
      {"Path", REG_EXPAND_SZ, Wide(u"%A%\0")},
      {"List", REG_MULTI_SZ, Wide(u"a\0b\0\0")},
      {"Q", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8})},
      {"None", REG_NONE, {}},
      {"Long", REG_BINARY, longData},
  };
  for (const Case& c : cases) {
    const RegValue* v = ValueAt(tree, key, c.name);
    ASSERT_NE(v, nullptr) << c.name;
    EXPECT_EQ(v->type, c.type) << c.name;
    EXPECT_EQ(Hex(v->data), Hex(c.data)) << c.name;
  }
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, key)->values().size(), std::size(cases));
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, key)->values()[0].name, "UpdateChanwiz");
  const RegKey* empty = tree.Find(RegRoot::LocalMachine, "SYSTEM\\Empty Key");
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->values().empty());
}

TEST(RegFileRead, Utf8FileWithEveryValueForm) {
  RegistryTree tree;
  RegFileFormat format = RegFileFormat::Regedit4;
  RegFileError error;
  ASSERT_TRUE(Apply(kSample, &tree, &format, &error)) << error.ToString();
  EXPECT_EQ(format, RegFileFormat::Utf8v5);
  ExpectSampleValues(tree);
}

TEST(RegFileRead, Utf8FileWithByteOrderMark) {
  RegistryTree tree;
  RegFileFormat format = RegFileFormat::Regedit4;
  RegFileError error;
  ASSERT_TRUE(Apply(std::string("\xEF\xBB\xBF") + kSample, &tree, &format, &error))
      << error.ToString();
  EXPECT_EQ(format, RegFileFormat::Utf8v5);
  ExpectSampleValues(tree);
}

TEST(RegFileRead, Utf16FileGivesTheSameTree) {
  RegistryTree fromUtf8;
  ASSERT_TRUE(Apply(kSample, &fromUtf8));
  RegistryTree tree;
  RegFileFormat format = RegFileFormat::Utf8v5;
  RegFileError error;
  ASSERT_TRUE(Apply(Utf16File(kSample), &tree, &format, &error)) << error.ToString();
  EXPECT_EQ(format, RegFileFormat::Unicode5);
  ExpectSampleValues(tree);
  EXPECT_TRUE(TreesEqual(tree, fromUtf8));
}

TEST(RegFileRead, Regedit4TextAndStringDataAreAnsi) {
  const std::string file =
      "REGEDIT4\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
      "\"Citt\xE0\"=\"Citt\xE0 \x80\"\r\n"
      "\"Path\"=hex(2):25,53,59,53,25,e0,00\r\n"
      "\"List\"=hex(7):61,00,80,00,00\r\n"
      "\"Odd\"=hex(1):41,42\r\n"
      "\"Bin\"=hex:e0,00\r\n"
      "\"Q\"=hex(b):e0,00,00,00,00,00,00,00\r\n";
  RegistryTree tree;
  RegFileFormat format = RegFileFormat::Unicode5;
  RegFileError error;
  ASSERT_TRUE(Apply(file, &tree, &format, &error)) << error.ToString();
  EXPECT_EQ(format, RegFileFormat::Regedit4);
  const char* key = "SOFTWARE\\Vendor";
  const RegValue* town = ValueAt(tree, key, "Citt\xC3\xA0");
  ASSERT_NE(town, nullptr);
  EXPECT_EQ(town->name, "Citt\xC3\xA0");
  EXPECT_EQ(Hex(town->data), Hex(Wide(u"Citt\u00E0 \u20AC\0")));
  EXPECT_EQ(Hex(ValueAt(tree, key, "Path")->data), Hex(Wide(u"%SYS%\u00E0\0")));
  EXPECT_EQ(Hex(ValueAt(tree, key, "List")->data), Hex(Wide(u"a\0\u20AC\0\0")));
  EXPECT_EQ(Hex(ValueAt(tree, key, "Odd")->data), Hex(Wide(u"AB")));
  // Types that are not text keep their bytes.
  EXPECT_EQ(ValueAt(tree, key, "Bin")->data, Bytes({0xe0, 0}));
  EXPECT_EQ(ValueAt(tree, key, "Q")->data, Bytes({0xe0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(RegFileRead, LfLineEndsCommentsAndIndentation) {
  const std::string file =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      ";[HKEY_LOCAL_MACHINE\\Commented]\n"
      "  [HKLM\\A]   \n"
      "\t\"x\" = dword:0000000a  \n"
      "\n"
      "\"y\"=hex:01,\\\n"
      "\n";
  // The continuation's next line is blank: the list cannot end on a comma.
  RegistryTree tree;
  RegFileError error;
  EXPECT_FALSE(Apply(file, &tree, nullptr, &error));
  EXPECT_EQ(error.line, 8);

  const std::string good =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      ";[HKEY_LOCAL_MACHINE\\Commented]\n"
      "  [HKLM\\A]   \n"
      "\t\"x\" = dword:0000000a  \n"
      "\"y\"=hex:\\\n"
      "      01,\\\n"
      "\t02 , 03\n";
  ASSERT_TRUE(Apply(good, &tree, nullptr, &error)) << error.ToString();
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "Commented"), nullptr);
  EXPECT_EQ(ValueAt(tree, "A", "x")->data, DwordData(10));
  EXPECT_EQ(ValueAt(tree, "A", "y")->data, Bytes({1, 2, 3}));
}

TEST(RegFileRead, DeletionsOfKeysAndValues) {
  RegistryTree tree;
  RegKey* a = tree.Create(RegRoot::LocalMachine, "A", nullptr);
  a->SetValue("keep", REG_SZ, StringData("1"));
  a->SetValue("drop", REG_SZ, StringData("2"));
  a->SetValue("", REG_SZ, StringData("default"));
  tree.Create(RegRoot::LocalMachine, "A\\Sub\\Deeper", nullptr);
  tree.Create(RegRoot::CurrentUser, "Gone\\Child", nullptr);

  const std::string file = std::string(kHeader5) +
                           "[HKEY_LOCAL_MACHINE\\A]\r\n"
                           "\"DROP\"=-\r\n"
                           "@=-\r\n"
                           "\"never there\"=-\r\n"
                           "\r\n"
                           "[-HKEY_LOCAL_MACHINE\\A\\Sub]\r\n"
                           "[-HKEY_CURRENT_USER\\Gone]\r\n"
                           "[-HKEY_CURRENT_USER\\Never\\There]\r\n"
                           "[HKEY_CURRENT_USER\\Gone\\Again]\r\n"
                           "\"v\"=dword:2\r\n";
  RegFileError error;
  ASSERT_TRUE(Apply(file, &tree, nullptr, &error)) << error.ToString();
  ASSERT_EQ(a->values().size(), 1u);
  EXPECT_EQ(a->values()[0].name, "keep");
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "A\\Sub"), nullptr);
  EXPECT_EQ(tree.Find(RegRoot::CurrentUser, "Gone\\Child"), nullptr);
  ASSERT_NE(tree.Find(RegRoot::CurrentUser, "Gone\\Again"), nullptr);
  EXPECT_EQ(tree.Find(RegRoot::CurrentUser, "Gone\\Again")->FindValue("v")->data, DwordData(2));
}

TEST(RegFileRead, KeysTheFileDoesNotDeleteStayInPlace) {
  // Handles into the simulated registry hold key pointers; importing a file
  // must not move keys it does not delete.
  RegistryTree tree;
  RegKey* kept = tree.Create(RegRoot::LocalMachine, "SOFTWARE\\Kept", nullptr);
  RegKey* updated = tree.Create(RegRoot::LocalMachine, "SOFTWARE\\Updated", nullptr);
  RegFileError error;
  ASSERT_TRUE(Apply(V5("[HKLM\\SOFTWARE\\Updated]\r\n\"v\"=dword:5\r\n[HKLM\\Other]\r\n"), &tree,
                    nullptr, &error))
      << error.ToString();
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "SOFTWARE\\Kept"), kept);
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "SOFTWARE\\Updated"), updated);
  ASSERT_NE(updated->FindValue("v"), nullptr);
  EXPECT_EQ(updated->FindValue("v")->data, DwordData(5));
}

TEST(RegFileRead, ShortRootNamesAndParentsAreCreated) {
  RegistryTree tree;
  const std::string file = std::string(kHeader5) +
                           "[HKCR\\.reg\\ShellNew]\r\n"
                           "[HKCU\\Control Panel\\International]\r\n"
                           "\"iCountry\"=\"39\"\r\n"
                           "[HKU\\.DEFAULT]\r\n"
                           "[HKEY_LOCAL_MACHINE]\r\n"
                           "\"OnRoot\"=dword:0\r\n";
  RegFileError error;
  ASSERT_TRUE(Apply(file, &tree, nullptr, &error)) << error.ToString();
  EXPECT_NE(tree.Find(RegRoot::ClassesRoot, ".reg"), nullptr);
  EXPECT_NE(tree.Find(RegRoot::ClassesRoot, ".reg\\ShellNew"), nullptr);
  EXPECT_NE(tree.Find(RegRoot::CurrentUser, "control panel\\international"), nullptr);
  EXPECT_NE(tree.Find(RegRoot::Users, ".DEFAULT"), nullptr);
  EXPECT_NE(tree.Root(RegRoot::LocalMachine).FindValue("OnRoot"), nullptr);
}

TEST(RegFileRead, KeyNamesMayContainClosingBrackets) {
  RegistryTree tree;
  RegFileError error;
  ASSERT_TRUE(Apply(std::string(kHeader5) + "[HKLM\\a]b]\r\n", &tree, nullptr, &error))
      << error.ToString();
  EXPECT_NE(tree.Find(RegRoot::LocalMachine, "a]b"), nullptr);
}

// ---- Errors ----

struct ErrorCase {
  const char* what;
  std::string file;
  int line;
  const char* message;  // a part of the expected message
};


TEST(RegFileErrors, EachErrorNamesItsLineAndLeavesTheTreeAlone) {
  const ErrorCase cases[] = {
      {"empty file", "", 1, "header"},
      {"no header", "[HKEY_LOCAL_MACHINE\\K]\r\n\"a\"=\"b\"\r\n", 1, "header"},
      {"near-miss header", "Windows Registry Editor Version 5.0\r\n\r\n", 1, "header"},
      {"header with trailing text", "REGEDIT4 x\r\n", 1, "header"},
      {"utf-16 big endian", "\xFE\xFF\x00W", 1, "big-endian"},
      {"value before any key", V5("\"a\"=\"b\"\r\n"), 3, "before any key"},
      {"unterminated data", K("\"a\"=\"b\r\n"), 4, "unterminated"},
      {"unterminated name", K("\"abc\r\n"), 4, "unterminated"},
      {"escaped closing quote", K("\"a\"=\"b\\\"\r\n"), 4, "unterminated"},
      {"unknown escape", K("\"a\"=\"C:\\Windows\"\r\n"), 4, "escape"},
      {"missing =", K("\"a\" \"b\"\r\n"), 4, "expected '='"},
      {"missing = after @", K("@\r\n"), 4, "expected '='"},
      {"unknown type", K("\"a\"=foo:1\r\n"), 4, "unknown value type 'foo:1'"},
      {"bare word", K("\"a\"=abc\r\n"), 4, "unknown value type"},
      {"nothing after =", K("\"a\"=\r\n"), 4, "unknown value type"},
      {"bad hex byte", K("\"a\"=hex:01,zz,03\r\n"), 4, "bad hex byte 'zz'"},
      {"three-digit hex byte", K("\"a\"=hex:012\r\n"), 4, "bad hex byte"},
      {"hex byte with junk", K("\"a\"=hex:0g\r\n"), 4, "bad hex byte"},
      {"missing comma", K("\"a\"=hex:01 02\r\n"), 4, "after hex byte"},
      {"trailing comma", K("\"a\"=hex:01,\r\n"), 4, "expected a hex byte"},
      {"double comma", K("\"a\"=hex:01,,02\r\n"), 4, "bad hex byte"},
      {"bad hex type", K("\"a\"=hex(2:00\r\n"), 4, "hex(N)"},
      {"empty hex type", K("\"a\"=hex():00\r\n"), 4, "hex(N)"},
      {"hex type too big", K("\"a\"=hex(100000000):00\r\n"), 4, "out of range"},
      {"garbage after string", K("\"a\"=\"b\" x\r\n"), 4, "after the value data"},
      {"garbage after dword", K("\"a\"=dword:1 x\r\n"), 4, "after the value data"},
      {"dword 0x prefix", K("\"a\"=dword:0x10\r\n"), 4, "after the value data"},
      {"garbage after delete", K("\"a\"=-x\r\n"), 4, "after the value data"},
      {"dword too long", K("\"a\"=dword:123456789\r\n"), 4, "out of range"},
      {"dword with no digits", K("\"a\"=dword:\r\n"), 4, "1 to 8 hex digits"},
      {"text after continuation", K("\"a\"=hex:01,\\ 02\r\n"), 4, "continuation"},
      {"continuation at end", K("\"a\"=hex:01,\\\r\n"), 4, "end of the file"},
      {"error on a continuation line", K("\"a\"=hex:01,\\\r\n  02,\\\r\n  zz\r\n"), 6,
       "bad hex byte"},
      {"value under deleted key", V5("[-HKEY_LOCAL_MACHINE\\K]\r\n\r\n\"a\"=\"b\"\r\n"), 5,
       "deleted key"},
      {"key without ]", V5("[HKEY_LOCAL_MACHINE\\K\r\n"), 3, "closing ']'"},
      {"text after ]", V5("[HKEY_LOCAL_MACHINE\\K] ; note\r\n"), 3, "after ']'"},
      {"unknown root", V5("[HKEY_FOO\\K]\r\n"), 3, "unknown root key 'HKEY_FOO'"},
      {"unknown root in delete", V5("[-HKEY_FOO\\K]\r\n"), 3, "unknown root key"},
      {"empty key line", V5("[]\r\n"), 3, "no key"},
      {"empty path part", V5("[HKEY_LOCAL_MACHINE\\a\\\\b]\r\n"), 3, "empty key name"},
      {"trailing backslash", V5("[HKEY_LOCAL_MACHINE\\a\\]\r\n"), 3, "empty key name"},
      {"root with backslash only", V5("[HKLM\\]\r\n"), 3, "empty key name"},
      {"delete a root", V5("[-HKEY_LOCAL_MACHINE]\r\n"), 3, "root key cannot be deleted"},
      {"key name too long", V5("[HKLM\\" + std::string(256, 'n') + "]\r\n"), 3, "255"},
      {"value name too long", K("\"" + std::string(16384, 'n') + "\"=\"\"\r\n"), 4, "16383"},
      {"stray line", K("garbage\r\n"), 4, "expected a key line"},
      {"NUL in text", K("\"a\"=\"b\"\r\n\"c\"=\"d" + std::string(1, '\0') + "\"\r\n"), 5, "NUL"},
      {"binary garbage", K("\"a\"=\"b\"\r\n\x80\x81\xff\xfe\r\n"), 5, "not valid UTF-8"},
      {"ANSI text under a 5.00 header", K("\"Citt\xE0\"=\"\"\r\n"), 4, "not valid UTF-8"},
      {"NUL in ANSI text", "REGEDIT4\r\n\r\n[HKLM\\K]\r\n" + std::string("\"a\"=\"\0\"", 7), 4,
       "NUL"},
      {"utf-16 odd length", Utf16File(K("\"a\"=\"b\"\r\n")) + "x", 5, "not valid UTF-16"},
      {"utf-16 lone surrogate",
       Utf16File(K("\"a\"=\"b\"\r\n")) + std::string("\x00\xD8\x41\x00", 4), 5,
       "not valid UTF-16"},
      {"utf-16 without the 5.00 header", Utf16File("[HKLM\\K]\r\n"), 1, "header"},
  };

  RegistryTree base;
  base.Create(RegRoot::LocalMachine, "K", nullptr)->SetValue("a", REG_SZ, StringData("old"));
  base.Create(RegRoot::LocalMachine, "Other", nullptr);

  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.what);
    RegistryTree tree(base);
    RegFileFormat format = RegFileFormat::Regedit4;
    RegFileError error;
    EXPECT_FALSE(ApplyRegFile(c.file, "machine.reg", &tree, &format, &error));
    EXPECT_EQ(error.file, "machine.reg");
    EXPECT_EQ(error.line, c.line) << error.message;
    EXPECT_NE(error.message.find(c.message), std::string::npos) << error.message;
    EXPECT_EQ(format, RegFileFormat::Regedit4);  // untouched on failure
    EXPECT_TRUE(TreesEqual(tree, base));
  }
}

TEST(RegFileErrors, NothingBeforeTheErrorIsApplied) {
  RegistryTree tree;
  tree.Create(RegRoot::LocalMachine, "Keep", nullptr)->SetValue("v", REG_DWORD, DwordData(1));
  const RegistryTree before(tree);
  const std::string file = V5(
      "[HKEY_LOCAL_MACHINE\\New]\r\n"
      "\"x\"=dword:1\r\n"
      "[-HKEY_LOCAL_MACHINE\\Keep]\r\n"
      "[HKEY_LOCAL_MACHINE\\Later]\r\n"
      "\"y\"=dword:123456789\r\n");
  RegFileError error;
  ASSERT_FALSE(Apply(file, &tree, nullptr, &error));
  EXPECT_EQ(error.line, 7);
  EXPECT_TRUE(TreesEqual(tree, before));
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "New"), nullptr);
}

TEST(RegFileErrors, MessageFormatAndMissingOutputs) {
  RegFileError error;
  error.file = "machine.reg";
  error.line = 12;
  error.message = "bad hex byte";
  EXPECT_EQ(error.ToString(), "machine.reg:12: bad hex byte");
  error.line = 0;
  EXPECT_EQ(error.ToString(), "machine.reg: bad hex byte");

  RegistryTree tree;
  EXPECT_TRUE(ApplyRegFile(V5("[HKLM\\A]\r\n"), "f.reg", &tree, nullptr, nullptr));
  EXPECT_FALSE(ApplyRegFile("junk", "f.reg", &tree, nullptr, nullptr));
  EXPECT_FALSE(ApplyRegFile(V5(""), "f.reg", nullptr, nullptr, &error));
  EXPECT_EQ(error.line, 0);
}

TEST(RegFileErrors, HugeInputsStayLinear) {
  // A million bytes on 40,000 continued lines, and one line of a million.
  constexpr size_t kBytes = 1000000;
  std::string chained = K("\"big\"=hex:");
  std::string single = K("\"big\"=hex:");
  for (size_t i = 0; i < kBytes; ++i) {
    const char* sep = i + 1 == kBytes ? "" : ",";
    chained += "ab";
    chained += sep;
    single += "ab";
    single += sep;
    if (i % 25 == 24 && i + 1 != kBytes) chained += "\\\r\n  ";
  }
  chained += "\r\n";
  single += "\r\n";
  const auto start = std::chrono::steady_clock::now();
  for (const std::string* file : {&chained, &single}) {
    RegistryTree tree;
    RegFileError error;
    ASSERT_TRUE(Apply(*file, &tree, nullptr, &error)) << error.ToString();
    EXPECT_EQ(ValueAt(tree, "K", "big")->data.size(), kBytes);
  }
  // Linear work takes well under a second; a quadratic pass would take minutes.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

  // Fifty thousand values under one key.
  std::string wide = K("");
  for (int i = 0; i < 50000; ++i) wide += "\"value" + std::to_string(i) + "\"=dword:1\r\n";
  const auto wideStart = std::chrono::steady_clock::now();
  {
    RegistryTree tree;
    RegFileError error;
    ASSERT_TRUE(Apply(wide, &tree, nullptr, &error)) << error.ToString();
    EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "K")->values().size(), 50000u);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - wideStart, std::chrono::seconds(20));

  std::string deep = "[HKLM";
  for (size_t i = 0; i <= RegistryTree::kMaxDepth; ++i) deep += "\\d";
  RegistryTree tree;
  RegFileError error;
  EXPECT_FALSE(Apply(V5(deep + "]\r\n"), &tree, nullptr, &error));
  EXPECT_EQ(error.line, 3);
  EXPECT_NE(error.message.find("deep"), std::string::npos);
}

// ---- Writing ----

TEST(RegFileWrite, ExportsAsRegeditDoes) {
  RegistryTree tree;
  RegKey* common = tree.Create(RegRoot::LocalMachine, "SOFTWARE\\Morvex Multimedia\\Common",
                               nullptr);
  common->SetValue("UpdateChanwiz", REG_DWORD, DwordData(1));
  common->SetValue("Name", REG_SZ, StringData("Chanwiz \"beta\" C:\\x"));
  common->SetValue("", REG_SZ, StringData("default"));
  common->SetValue("Bin", REG_BINARY, Bytes({0x01, 0xAB}));
  common->SetValue("Exp", REG_EXPAND_SZ, Wide(u"%A%\0"));
  common->SetValue("Q", REG_QWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
  common->SetValue("BigMask", REG_DWORD, DwordData(0x40000));
  tree.Create(RegRoot::LocalMachine, "SOFTWARE\\Empty", nullptr);
  tree.Create(RegRoot::CurrentUser, "Software", nullptr)->SetValue("x", REG_SZ, StringData(""));

  const std::string expected =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software]\r\n"
      "\"x\"=\"\"\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty]\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia\\Common]\r\n"
      "\"UpdateChanwiz\"=dword:00000001\r\n"
      "\"Name\"=\"Chanwiz \\\"beta\\\" C:\\\\x\"\r\n"
      "@=\"default\"\r\n"
      "\"Bin\"=hex:01,ab\r\n"
      "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"BigMask\"=dword:00040000\r\n"
      "\r\n";
  EXPECT_EQ(WriteRegFile(tree, RegFileFormat::Utf8v5), expected);
}

TEST(RegFileWrite, EmptyTreeIsHeaderOnly) {
  const RegistryTree tree;
  EXPECT_EQ(WriteRegFile(tree, RegFileFormat::Utf8v5), kHeader5);
  EXPECT_EQ(WriteRegFile(tree, RegFileFormat::Regedit4), "REGEDIT4\r\n\r\n");
}

TEST(RegFileWrite, LongHexValuesWrapAtEightyColumns) {
  RegistryTree tree;
  std::vector<BYTE> data;
  for (int i = 0; i < 60; ++i) data.push_back(static_cast<BYTE>(i));
  tree.Create(RegRoot::LocalMachine, "K", nullptr)->SetValue("Bin", REG_BINARY, data);
  const std::string expected =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\K]\r\n"
      "\"Bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
      "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\\\r\n"
      "  30,31,32,33,34,35,36,37,38,39,3a,3b\r\n"
      "\r\n";
  EXPECT_EQ(WriteRegFile(tree, RegFileFormat::Utf8v5), expected);
}

TEST(RegFileWrite, NoLineIsLongerThanEightyColumns) {
  for (size_t nameLength : {0, 1, 7, 30, 60, 70, 75, 76, 77, 78, 90}) {
    for (size_t size : {1, 2, 22, 23, 24, 25, 26, 100}) {
      RegistryTree tree;
      std::vector<BYTE> data(size, 0x5A);
      tree.Create(RegRoot::Users, "K", nullptr)
          ->SetValue(std::string(nameLength, 'n'), REG_MULTI_SZ, data);
      const std::string text = WriteRegFile(tree, RegFileFormat::Utf8v5);
      size_t start = 0;
      while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(start, end - start);
        const bool isValueLine = line.rfind("\"", 0) == 0 || line.rfind("@", 0) == 0;
        if (!isValueLine || nameLength < 60) {
          EXPECT_LE(line.size(), 80u) << "name " << nameLength << ", size " << size << ": " << line;
        }
        start = end + 2;
      }
      RegistryTree back;
      RegFileError error;
      ASSERT_TRUE(Apply(text, &back, nullptr, &error)) << error.ToString();
      EXPECT_TRUE(TreesEqual(back, tree));
    }
  }
}

TEST(RegFileWrite, KeysImpliedBySubkeysAreLeftOutButEmptyLeavesStay) {
  RegistryTree tree;
  tree.Create(RegRoot::LocalMachine, "Parent\\Child\\Leaf", nullptr);
  tree.Create(RegRoot::LocalMachine, "Parent\\Valued", nullptr)
      ->SetValue("v", REG_DWORD, DwordData(0));
  const std::string text = WriteRegFile(tree, RegFileFormat::Utf8v5);
  EXPECT_EQ(text,
            std::string(kHeader5) +
                "[HKEY_LOCAL_MACHINE\\Parent\\Child\\Leaf]\r\n\r\n"
                "[HKEY_LOCAL_MACHINE\\Parent\\Valued]\r\n\"v\"=dword:00000000\r\n\r\n");
  RegistryTree back;
  ASSERT_TRUE(Apply(text, &back));
  EXPECT_TRUE(TreesEqual(back, tree));
}

struct OddValueCase {
  const char* what;
  DWORD type;
  std::vector<BYTE> data;
  const char* expectedLine;
};

TEST(RegFileWrite, ValuesThatAreNotPlainTextKeepTheirBytes) {
  const OddValueCase cases[] = {
      {"no terminator", REG_SZ, Wide(u"ab"), "\"v\"=hex(1):61,00,62,00"},
      {"embedded NUL", REG_SZ, Wide(u"a\0b\0"), "\"v\"=hex(1):61,00,00,00,62,00,00,00"},
      {"odd size", REG_SZ, Bytes({0x61, 0, 0}), "\"v\"=hex(1):61,00,00"},
      {"empty", REG_SZ, {}, "\"v\"=hex(1):"},
      {"line break", REG_SZ, Wide(u"a\r\nb\0"),
       "\"v\"=hex(1):61,00,0d,00,0a,00,62,00,00,00"},
      {"lone surrogate", REG_SZ, Wide(u"\xD800x\0"), "\"v\"=hex(1):00,d8,78,00,00,00"},
      {"two terminators", REG_SZ, Wide(u"a\0\0"), "\"v\"=hex(1):61,00,00,00,00,00"},
      {"short dword", REG_DWORD, Bytes({1, 2, 3}), "\"v\"=hex(4):01,02,03"},
      {"long dword", REG_DWORD, Bytes({1, 2, 3, 4, 5}), "\"v\"=hex(4):01,02,03,04,05"},
      {"big-endian dword", REG_DWORD_BIG_ENDIAN, Bytes({0, 0, 0, 1}), "\"v\"=hex(5):00,00,00,01"},
      {"none", REG_NONE, Bytes({7}), "\"v\"=hex(0):07"},
      {"large type number", 0x100000u, Bytes({7}), "\"v\"=hex(100000):07"},
      {"surrogate pair is text", REG_SZ, Wide(u"\U0001F600\0"), "\"v\"=\"\xF0\x9F\x98\x80\""},
      {"tab is text", REG_SZ, Wide(u"a\tb\0"), "\"v\"=\"a\tb\""},
  };
  for (const OddValueCase& c : cases) {
    SCOPED_TRACE(c.what);
    RegistryTree tree;
    tree.Create(RegRoot::LocalMachine, "K", nullptr)->SetValue("v", c.type, c.data);
    const std::string text = WriteRegFile(tree, RegFileFormat::Utf8v5);
    EXPECT_EQ(text, V5("[HKEY_LOCAL_MACHINE\\K]\r\n" + std::string(c.expectedLine) + "\r\n\r\n"));
    for (RegFileFormat format : {RegFileFormat::Utf8v5, RegFileFormat::Unicode5}) {
      RegistryTree back;
      RegFileError error;
      ASSERT_TRUE(Apply(WriteRegFile(tree, format), &back, nullptr, &error)) << error.ToString();
      EXPECT_TRUE(TreesEqual(back, tree));
    }
  }
}

TEST(RegFileWrite, Unicode5IsUtf16WithByteOrderMark) {
  RegistryTree tree;
  tree.Create(RegRoot::LocalMachine, "Citt\xC3\xA0", nullptr)
      ->SetValue("n", REG_SZ, StringData("\xE6\x97\xA5"));
  const std::string utf8 = WriteRegFile(tree, RegFileFormat::Utf8v5);
  const std::string wide = WriteRegFile(tree, RegFileFormat::Unicode5);
  EXPECT_EQ(wide, Utf16File(utf8));
  EXPECT_EQ(wide.substr(0, 4), std::string("\xFF\xFEW\0", 4));
}

TEST(RegFileWrite, Regedit4IsAnsiWithSingleByteStrings) {
  RegistryTree tree;
  RegKey* key = tree.Create(RegRoot::LocalMachine, "Citt\xC3\xA0", nullptr);
  key->SetValue("Town", REG_SZ, StringData("Citt\xC3\xA0"));
  key->SetValue("Path", REG_EXPAND_SZ, Wide(u"%A%\u00E0\0"));
  key->SetValue("List", REG_MULTI_SZ, Wide(u"a\0b\0\0"));
  key->SetValue("Raw", REG_SZ, Wide(u"ab"));
  key->SetValue("Bin", REG_BINARY, Bytes({0xE0, 0}));
  const std::string expected =
      "REGEDIT4\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Citt\xE0]\r\n"
      "\"Town\"=\"Citt\xE0\"\r\n"
      "\"Path\"=hex(2):25,41,25,e0,00\r\n"
      "\"List\"=hex(7):61,00,62,00,00\r\n"
      "\"Raw\"=hex(1):61,62\r\n"
      "\"Bin\"=hex:e0,00\r\n"
      "\r\n";
  const std::string text = WriteRegFile(tree, RegFileFormat::Regedit4);
  EXPECT_EQ(text, expected);
  RegistryTree back;
  RegFileFormat format = RegFileFormat::Utf8v5;
  ASSERT_TRUE(Apply(text, &back, &format));
  EXPECT_EQ(format, RegFileFormat::Regedit4);
  EXPECT_TRUE(TreesEqual(back, tree));
}

// What a format cannot carry is refused, naming the key and value, instead of
// being written as a stand-in character that an import would take for
// another key or value.
TEST(RegFileWrite, RefusesWhatTheFormatCannotCarry) {
  struct Case {
    const char* what;
    RegFileFormat format;
    const char* key;
    const char* value;  // null: the key's name is at fault
    DWORD type;
    std::vector<BYTE> data;
    const char* because;
    bool nameAtFault = true;  // else the data, which a deletion does not write
  };
  const std::vector<BYTE> text = StringData("ok");
  const Case cases[] = {
      {"BOM character in a key name", RegFileFormat::Regedit4,
       "SOFTWARE\\Microsoft\\\xEF\xBB\xBFWindows", nullptr, REG_SZ, text, "Windows-1252"},
      {"Cyrillic value name", RegFileFormat::Regedit4, "K", "\xD0\x94", REG_SZ, text,
       "Windows-1252"},
      {"Cyrillic string", RegFileFormat::Regedit4, "K", "Name", REG_SZ, StringData("\xD0\x94"),
       "Windows-1252", false},
      {"Cyrillic expandable string", RegFileFormat::Regedit4, "K", "Path", REG_EXPAND_SZ,
       StringData("%A%\xD0\x94"), "Windows-1252", false},
      {"half a character", RegFileFormat::Regedit4, "K", "List", REG_MULTI_SZ, Bytes({0x61, 0, 0}),
       "half a character", false},
      {"line break in a value name", RegFileFormat::Unicode5, "K", "a\nb", REG_DWORD,
       DwordData(1), "line break"},
      {"line break in a key name", RegFileFormat::Utf8v5, "K\rX", nullptr, REG_DWORD, DwordData(1),
       "line break"},
      {"invalid UTF-8 in a name", RegFileFormat::Utf8v5, "K", "\xFF", REG_DWORD, DwordData(1),
       "not valid"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegistryTree tree;
    RegKey* key = tree.Create(RegRoot::LocalMachine, c.key, nullptr);
    ASSERT_NE(key, nullptr);
    key->SetValue(c.value ? c.value : "Plain", c.type, c.data);
    const std::string wantKey = std::string("HKEY_LOCAL_MACHINE\\") + c.key;
    const RegistryTree empty;
    // Deleting the value, or the key, must name it too.
    RegistryTree without = tree;
    if (c.value)
      without.Find(RegRoot::LocalMachine, c.key)->DeleteValue(c.value);
    else
      without.Delete(RegRoot::LocalMachine, c.key);
    using Writer = std::function<std::string(RegWriteError*)>;
    const Writer writers[] = {
        [&](RegWriteError* e) { return WriteRegFile(tree, c.format, e); },
        [&](RegWriteError* e) { return WriteRegChanges(empty, tree, c.format, e); },
        [&](RegWriteError* e) { return WriteRegChanges(tree, without, c.format, e); },
        // The undo of a run that took the value or key away puts it back.
        [&](RegWriteError* e) { return WriteRegUndo(tree, without, c.format, {}, e); },
    };
    for (const Writer& write : writers) {
      if (&write == &writers[2] && !c.nameAtFault) continue;
      RegWriteError error;
      EXPECT_EQ(write(&error), "");
      EXPECT_EQ(error.key, wantKey);
      EXPECT_EQ(error.hasValue, c.value != nullptr);
      EXPECT_EQ(error.value, c.value ? c.value : "");
      EXPECT_NE(error.message.find(c.because), std::string::npos) << error.message;
      EXPECT_EQ(error.ToString("out.reg").rfind("out.reg: cannot write key " + wantKey, 0), 0u)
          << error.ToString("out.reg");
    }
  }
  // Windows-1252 itself, its 0x80-0x9F letters included, is written.
  RegistryTree fine;
  fine.Create(RegRoot::LocalMachine, "Citt\xC3\xA0 \xE2\x82\xAC", nullptr)
      ->SetValue("\xC5\x92", REG_SZ, StringData("\xE2\x80\x9C\xC3\xBF"));
  RegWriteError error;
  EXPECT_NE(WriteRegFile(fine, RegFileFormat::Regedit4, &error), "") << error.message;
}

// A fuzzer's finding: a REGEDIT4 file in UTF-8 whose key name holds U+FEFF
// came back from the REGEDIT4 writer as "?Windows", another key.
TEST(RegFileWrite, FindingBomCharacterInAKeyNameIsRefusedNotReplaced) {
  std::ifstream in(cw::test::SourcePath("fuzz/regressions/fuzz_reg_file/"
                                        "reg-file-bom-char-in-key-name.reg"),
                   std::ios::binary);
  ASSERT_TRUE(in);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  RegistryTree tree;
  RegFileFormat format;
  ASSERT_TRUE(Apply(bytes, &tree, &format));
  ASSERT_EQ(format, RegFileFormat::Regedit4);
  RegWriteError error;
  EXPECT_EQ(WriteRegFile(tree, format, &error), "");
  EXPECT_EQ(error.key.rfind("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\\xEF\xBB\xBFWindows", 0), 0u)
      << error.key;
  // The same tree in regedit's Unicode format comes back whole.
  RegistryTree back;
  ASSERT_TRUE(Apply(WriteRegFile(tree, RegFileFormat::Unicode5), &back));
  EXPECT_TRUE(TreesEqual(back, tree));
}

// ---- Round trips ----

// A tree with every kind of value; `ansiOnly` keeps to what Windows-1252 can
// hold, for REGEDIT4 files.
RegistryTree RichTree(bool ansiOnly) {
  RegistryTree tree;
  RegKey* k = tree.Create(RegRoot::LocalMachine,
                          "SYSTEM\\CurrentControlSet\\Control\\Class\\"
                          "{4D36E96C-E325-11CE-BFC1-08002BE10318}\\0001",
                          nullptr);
  k->SetValue("", REG_SZ, StringData("Default text"));
  k->SetValue("DefaultStandard", REG_SZ, StringData("0x00000010"));
  k->SetValue("TunerType", REG_DWORD, DwordData(0x12345678));
  k->SetValue("Name \"with\" quotes \\ and \\\\ backslashes", REG_SZ,
              StringData("C:\\Program Files\\\"Quoted\"\\"));
  k->SetValue("Citt\xC3\xA0", REG_SZ, StringData("Citt\xC3\xA0 \xE2\x82\xAC 5"));
  k->SetValue("Expand", REG_EXPAND_SZ, StringData("%SystemRoot%\\system32\\drivers"));
  k->SetValue("Multi", REG_MULTI_SZ, MultiStringData({"one", "t\xC3\xA9o", "three"}));
  k->SetValue("Binary", REG_BINARY, Bytes({0, 1, 0x7f, 0x80, 0xff}));
  k->SetValue("Qword", REG_QWORD, Bytes({0xef, 0xcd, 0xab, 0x89, 0x67, 0x45, 0x23, 0x01}));
  k->SetValue("EmptyBinary", REG_BINARY, {});
  k->SetValue("EmptyString", REG_SZ, StringData(""));
  k->SetValue("NotTerminated", REG_SZ, Wide(u"abc"));
  std::vector<BYTE> big;
  for (int i = 0; i < 1000; ++i) big.push_back(static_cast<BYTE>(i * 7));
  k->SetValue("Long binary value that wraps", REG_BINARY, big);
  std::vector<std::string> many;
  for (int i = 0; i < 40; ++i) many.push_back("Stream\\PhTVTune." + std::to_string(i));
  k->SetValue("LongMulti", REG_MULTI_SZ, MultiStringData(many));
  tree.Create(RegRoot::LocalMachine, "SYSTEM\\Enum\\PCI\\VEN_1131&DEV_7134\\4&1", nullptr)
      ->SetValue("Driver", REG_SZ, StringData("{4D36E96C-E325-11CE-BFC1-08002BE10318}\\0001"));
  tree.Create(RegRoot::LocalMachine, "SYSTEM\\Enum\\PCI\\VEN_1131&DEV_7134\\4&10", nullptr);
  tree.Create(RegRoot::LocalMachine, "SYSTEM\\Enum\\PCIIDE", nullptr);
  tree.Create(RegRoot::LocalMachine, "SYSTEM\\Enum\\Pci_x", nullptr);
  tree.Create(RegRoot::LocalMachine, "SYSTEM\\Enum\\ROOT", nullptr);
  tree.Create(RegRoot::CurrentUser, "Control Panel\\International", nullptr)
      ->SetValue("iCountry", REG_SZ, StringData("39"));
  tree.Create(RegRoot::ClassesRoot, "Key]With]Brackets", nullptr)
      ->SetValue("@", REG_SZ, StringData("a value named @ is not the default"));
  if (!ansiOnly) {
    RegKey* u = tree.Create(RegRoot::Users, "\xE6\x97\xA5\xE6\x9C\xAC\\\xD0\x94", nullptr);
    u->SetValue("\xF0\x9F\x98\x80", REG_SZ, StringData("\xE6\x97\xA5 \xF0\x9F\x98\x80"));
    u->SetValue("Expand", REG_EXPAND_SZ, StringData("\xC4\x80"));
  }
  return tree;
}

class RegFileRoundTrip : public ::testing::TestWithParam<RegFileFormat> {};

TEST_P(RegFileRoundTrip, WriteThenReadGivesTheSameTree) {
  const RegFileFormat format = GetParam();
  const RegistryTree tree = RichTree(format == RegFileFormat::Regedit4);
  const std::string text = WriteRegFile(tree, format);
  RegistryTree back;
  RegFileFormat read = RegFileFormat::Unicode5;
  RegFileError error;
  ASSERT_TRUE(Apply(text, &back, &read, &error)) << error.ToString();
  EXPECT_EQ(read, format);
  EXPECT_TRUE(TreesEqual(back, tree));
  // Writing again gives the same bytes.
  EXPECT_EQ(WriteRegFile(back, format), text);
}

TEST_P(RegFileRoundTrip, ReadWriteReadOfAFile) {
  const RegFileFormat format = GetParam();
  RegistryTree first;
  const std::string source = format == RegFileFormat::Unicode5 ? Utf16File(kSample) : kSample;
  ASSERT_TRUE(Apply(source, &first));
  RegistryTree second;
  RegFileError error;
  ASSERT_TRUE(Apply(WriteRegFile(first, format), &second, nullptr, &error)) << error.ToString();
  EXPECT_TRUE(TreesEqual(second, first));
}

INSTANTIATE_TEST_SUITE_P(AllFormats, RegFileRoundTrip,
                         ::testing::Values(RegFileFormat::Unicode5, RegFileFormat::Utf8v5,
                                           RegFileFormat::Regedit4));

// ---- Changes ----

struct ChangeCase {
  const char* what;
  std::function<void(RegistryTree*)> change;
  std::vector<std::string> mustContain;
  std::vector<std::string> mustNotContain;
};

TEST(RegFileChanges, ImportingTheChangesGivesTheNewTree) {
  const auto key = [](RegistryTree* t, const char* path) {
    return t->Find(RegRoot::LocalMachine, path);
  };
  const char* cls = "SYSTEM\\CurrentControlSet\\Control\\Class\\"
                    "{4D36E96C-E325-11CE-BFC1-08002BE10318}\\0001";
  const std::string clsLine = std::string("[HKEY_LOCAL_MACHINE\\") + cls + "]";
  const ChangeCase cases[] = {
      {"nothing", [](RegistryTree*) {}, {}, {"["}},
      {"value changed",
       [&](RegistryTree* t) { key(t, cls)->SetValue("TunerType", REG_DWORD, DwordData(7)); },
       {clsLine, "\"TunerType\"=dword:00000007"},
       {"DefaultStandard", "Enum"}},
      {"value type changed",
       [&](RegistryTree* t) { key(t, cls)->SetValue("TunerType", REG_SZ, StringData("7")); },
       {"\"TunerType\"=\"7\""},
       {}},
      {"value added",
       [&](RegistryTree* t) { key(t, cls)->SetValue("ForceNicamI", REG_DWORD, DwordData(0)); },
       {"\"ForceNicamI\"=dword:00000000"},
       {"TunerType"}},
      {"value deleted", [&](RegistryTree* t) { key(t, cls)->DeleteValue("Binary"); },
       {"\"Binary\"=-"}, {}},
      {"default deleted", [&](RegistryTree* t) { key(t, cls)->DeleteValue(""); }, {"@=-"}, {}},
      {"value deleted and set again goes last",
       [&](RegistryTree* t) {
         key(t, cls)->DeleteValue("TunerType");
         key(t, cls)->SetValue("TunerType", REG_DWORD, DwordData(0x12345678));
       },
       {"\"TunerType\"=-"},
       {}},
      {"value name case changed",
       [&](RegistryTree* t) {
         key(t, cls)->DeleteValue("Qword");
         key(t, cls)->SetValue("QWORD", REG_QWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
       },
       {"\"QWORD\"=hex(b):01"},
       {}},
      {"key deleted with its subtree",
       [](RegistryTree* t) { t->Delete(RegRoot::LocalMachine, "SYSTEM\\Enum\\PCI"); },
       {"[-HKEY_LOCAL_MACHINE\\SYSTEM\\Enum\\PCI]"},
       {"[-HKEY_LOCAL_MACHINE\\SYSTEM\\Enum\\PCI\\", "[HKEY"}},
      {"whole root emptied",
       [](RegistryTree* t) { t->Delete(RegRoot::CurrentUser, "Control Panel"); },
       {"[-HKEY_CURRENT_USER\\Control Panel]"},
       {"International"}},
      {"key with subkeys added",
       [](RegistryTree* t) {
         t->Create(RegRoot::LocalMachine, "SOFTWARE\\Morvex Multimedia\\Common", nullptr)
             ->SetValue("UpdateChanwiz", REG_DWORD, DwordData(1));
       },
       {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia\\Common]"},
       {"[HKEY_LOCAL_MACHINE\\SOFTWARE]"}},
      {"empty key added",
       [](RegistryTree* t) { t->Create(RegRoot::Users, "S-1-5-18\\Empty", nullptr); },
       {"[HKEY_USERS\\S-1-5-18\\Empty]"},
       {"[HKEY_USERS\\S-1-5-18]"}},
      {"key name case changed",
       [](RegistryTree* t) {
         t->Delete(RegRoot::LocalMachine, "SYSTEM\\Enum\\ROOT");
         t->Create(RegRoot::LocalMachine, "SYSTEM\\Enum\\Root\\Sub", nullptr);
       },
       {"[-HKEY_LOCAL_MACHINE\\SYSTEM\\Enum\\ROOT]", "[HKEY_LOCAL_MACHINE\\SYSTEM\\Enum\\Root\\Sub]"},
       {}},
      {"value on a root",
       [](RegistryTree* t) {
         t->Root(RegRoot::ClassesRoot).SetValue("r", REG_SZ, StringData("x"));
       },
       {"[HKEY_CLASSES_ROOT]\r\n\"r\"=\"x\""},
       {}},
      {"many changes at once",
       [&](RegistryTree* t) {
         key(t, cls)->DeleteValue("");
         key(t, cls)->SetValue("Citt\xC3\xA0", REG_SZ, StringData("Roma"));
         key(t, cls)->SetValue("Added", REG_BINARY, Bytes({9}));
         key(t, cls)->DeleteValue("Expand");
         key(t, cls)->SetValue("Expand", REG_EXPAND_SZ, StringData("moved"));
         t->Delete(RegRoot::LocalMachine, "SYSTEM\\Enum\\PCIIDE");
         t->Create(RegRoot::LocalMachine, "SYSTEM\\Enum\\PCI\\New", nullptr);
         t->Create(RegRoot::LocalMachine, "SYSTEM\\Enum\\Pci_x", nullptr)
             ->SetValue("v", REG_DWORD, DwordData(3));
       },
       {},
       {}},
  };

  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.what);
    const RegistryTree before = RichTree(true);
    RegistryTree after(before);
    c.change(&after);
    for (RegFileFormat format :
         {RegFileFormat::Utf8v5, RegFileFormat::Unicode5, RegFileFormat::Regedit4}) {
      const std::string changes = WriteRegChanges(before, after, format);
      RegistryTree applied(before);
      RegFileError error;
      ASSERT_TRUE(Apply(changes, &applied, nullptr, &error))
          << error.ToString() << "\n" << changes;
      EXPECT_TRUE(TreesEqual(applied, after)) << changes;
    }
    const std::string text = WriteRegChanges(before, after, RegFileFormat::Utf8v5);
    EXPECT_EQ(text.rfind(kHeader5, 0), 0u);
    for (const std::string& s : c.mustContain)
      EXPECT_NE(text.find(s), std::string::npos) << s << " in\n" << text;
    for (const std::string& s : c.mustNotContain)
      EXPECT_EQ(text.find(s), std::string::npos) << s << " in\n" << text;
  }
}

TEST(RegFileChanges, FromAnEmptyTreeAndBackToOne) {
  const RegistryTree empty;
  const RegistryTree rich = RichTree(false);
  RegistryTree built(empty);
  ASSERT_TRUE(Apply(WriteRegChanges(empty, rich, RegFileFormat::Unicode5), &built));
  EXPECT_TRUE(TreesEqual(built, rich));
  RegistryTree cleared(rich);
  RegFileError error;
  ASSERT_TRUE(Apply(WriteRegChanges(rich, empty, RegFileFormat::Utf8v5), &cleared, nullptr,
                    &error))
      << error.ToString();
  EXPECT_TRUE(TreesEqual(cleared, empty));
  EXPECT_EQ(WriteRegChanges(rich, rich, RegFileFormat::Utf8v5), kHeader5);
}

}  // namespace
}  // namespace cw::sim
