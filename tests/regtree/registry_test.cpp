#include "regtree/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win_constants.h"

namespace cw::sim {
namespace {

std::vector<BYTE> Bytes(std::initializer_list<int> list) {
  std::vector<BYTE> out;
  for (int b : list) out.push_back(static_cast<BYTE>(b));
  return out;
}

std::vector<std::string> SubkeyNames(const RegKey& key) {
  std::vector<std::string> names;
  for (const auto& entry : key.subkeys()) names.push_back(entry.second->name());
  return names;
}

// ---- Name order and comparison ----

TEST(SimRegistryNames, SubkeysEnumerateInUpperCaseOrder) {
  RegKey key("Enum");
  // Inserted out of order on purpose.
  for (const char* name : {"ROOT", "_x", "Pci_x", "4&10", "PCIIDE", "Z", "abc", "PCI", "4&1", "ABD"})
    ASSERT_NE(key.CreateSubkey(name, nullptr), nullptr) << name;
  // '_' (0x5F) sorts after every letter once names are upper-cased; a
  // lower-casing or byte-wise order would put it elsewhere.
  const std::vector<std::string> expected = {"4&1", "4&10", "abc", "ABD", "PCI",
                                             "PCIIDE", "Pci_x", "ROOT", "Z", "_x"};
  EXPECT_EQ(SubkeyNames(key), expected);
}

struct LessCase {
  const char* a;
  const char* b;
  bool aBeforeB;
  bool bBeforeA;
};

TEST(SimRegistryNames, RegNameLessTable) {
  const LessCase cases[] = {
      {"PCI", "PCIIDE", true, false},
      {"PCIIDE", "PCI_X", true, false},
      {"pci_x", "PCIIDE", false, true},
      {"4&1", "4&10", true, false},
      {"abc", "ABC", false, false},          // same key
      {"Citt\xC3\xA0", "CITT\xC3\x80", false, false},  // à and À are one letter
      {"zeta", "\xC3\xA9t\xC3\xA9", true, false},        // é (U+00C9 upper) after Z
      {"\xD0\xB4", "\xD0\x94", false, false},            // Cyrillic д / Д
      {"", "a", true, false},
      {"a", "a_", true, false},
      {"\xEF\xBF\xBD", "\xF0\x9F\x98\x80", false, true},  // U+FFFD after a surrogate pair
      {"\xFF", "\xFE", false, true},  // malformed bytes stay distinct
  };
  const RegNameLess less;
  for (const LessCase& c : cases) {
    EXPECT_EQ(less(std::string(c.a), std::string(c.b)), c.aBeforeB) << c.a << " < " << c.b;
    EXPECT_EQ(less(std::string(c.b), std::string(c.a)), c.bBeforeA) << c.b << " < " << c.a;
    EXPECT_EQ(RegNameEqual(c.a, c.b), !c.aBeforeB && !c.bBeforeA) << c.a << " == " << c.b;
  }
}

// ---- Keys ----

TEST(SimRegistryKey, SubkeyNamesKeepCaseAndAreFoundWithoutIt) {
  RegKey key("Root");
  bool created = false;
  RegKey* first = key.CreateSubkey("Enum", &created);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(created);
  RegKey* again = key.CreateSubkey("ENUM", &created);
  EXPECT_EQ(again, first);
  EXPECT_FALSE(created);
  EXPECT_EQ(first->name(), "Enum");
  EXPECT_EQ(key.FindSubkey("eNuM"), first);
  EXPECT_EQ(key.FindSubkey("Enu"), nullptr);
  EXPECT_EQ(key.subkeys().size(), 1u);
}

TEST(SimRegistryKey, RejectsNamesWindowsRejects) {
  RegKey key("Root");
  bool created = true;
  EXPECT_EQ(key.CreateSubkey("", &created), nullptr);
  EXPECT_FALSE(created);
  EXPECT_EQ(key.CreateSubkey("a\\b", nullptr), nullptr);
  EXPECT_EQ(key.CreateSubkey(std::string(256, 'k'), nullptr), nullptr);
  EXPECT_NE(key.CreateSubkey(std::string(255, 'k'), nullptr), nullptr);
  // 255 characters, not bytes: "à" is two bytes of UTF-8 but one character.
  std::string accented;
  for (int i = 0; i < 255; ++i) accented += "\xC3\xA0";
  EXPECT_NE(key.CreateSubkey(accented, nullptr), nullptr);
  EXPECT_EQ(key.subkeys().size(), 2u);
}

TEST(SimRegistryKey, ManyValuesStayConsistentThroughDeletes) {
  RegKey key("k");
  constexpr DWORD kCount = 2000;
  for (DWORD i = 0; i < kCount; ++i) key.SetValue("v" + std::to_string(i), REG_DWORD, DwordData(i));
  for (DWORD i = 0; i < kCount; i += 3) ASSERT_TRUE(key.DeleteValue("V" + std::to_string(i)));
  for (DWORD i = 0; i < kCount; ++i) {
    const RegValue* v = key.FindValue("v" + std::to_string(i));
    if (i % 3 == 0) {
      EXPECT_EQ(v, nullptr) << i;
    } else {
      ASSERT_NE(v, nullptr) << i;
      EXPECT_EQ(v->data, DwordData(i)) << i;
    }
  }
  std::unique_ptr<RegKey> clone = key.Clone();
  clone->DeleteValue("v1");
  EXPECT_EQ(clone->FindValue("v2")->data, DwordData(2));
  EXPECT_EQ(key.FindValue("v1")->data, DwordData(1));
}

TEST(SimRegistryKey, DeleteSubkeyRemovesItsTree) {
  RegKey key("Root");
  RegKey* child = key.CreateSubkey("Child", nullptr);
  child->CreateSubkey("Grandchild", nullptr);
  EXPECT_TRUE(key.DeleteSubkey("CHILD"));
  EXPECT_EQ(key.FindSubkey("Child"), nullptr);
  EXPECT_FALSE(key.DeleteSubkey("Child"));
}

TEST(SimRegistryKey, ValuesKeepFirstSetOrderAndCase) {
  RegKey key("k");
  EXPECT_TRUE(key.SetValue("Zeta", REG_SZ, StringData("1")));
  EXPECT_TRUE(key.SetValue("alpha", REG_DWORD, DwordData(2)));
  EXPECT_TRUE(key.SetValue("", REG_SZ, StringData("default")));
  // Updating keeps the place and the original case, but takes the new type.
  EXPECT_FALSE(key.SetValue("ZETA", REG_BINARY, Bytes({1, 2, 3})));
  ASSERT_EQ(key.values().size(), 3u);
  EXPECT_EQ(key.values()[0].name, "Zeta");
  EXPECT_EQ(key.values()[0].type, REG_BINARY);
  EXPECT_EQ(key.values()[0].data, Bytes({1, 2, 3}));
  EXPECT_EQ(key.values()[1].name, "alpha");
  EXPECT_EQ(key.values()[2].name, "");

  ASSERT_NE(key.FindValue("ALPHA"), nullptr);
  EXPECT_EQ(key.FindValue("ALPHA")->data, DwordData(2));
  EXPECT_EQ(key.FindValue("alph"), nullptr);

  EXPECT_TRUE(key.DeleteValue("zeta"));
  EXPECT_FALSE(key.DeleteValue("zeta"));
  // The values after the deleted one are still found, with their own data.
  ASSERT_NE(key.FindValue("alpha"), nullptr);
  EXPECT_EQ(key.FindValue("alpha")->data, DwordData(2));
  ASSERT_NE(key.FindValue(""), nullptr);
  EXPECT_EQ(key.FindValue("")->data, StringData("default"));
  EXPECT_TRUE(key.SetValue("zeta", REG_SZ, StringData("back")));
  ASSERT_EQ(key.values().size(), 3u);
  EXPECT_EQ(key.values()[2].name, "zeta");  // a recreated value goes last
}

// ---- Roots ----

TEST(SimRegistryRoots, NamesAndHandles) {
  struct Case {
    const char* name;
    bool known;
    RegRoot root;
  };
  const Case cases[] = {
      {"HKEY_LOCAL_MACHINE", true, RegRoot::LocalMachine},
      {"HKLM", true, RegRoot::LocalMachine},
      {"hkey_local_machine", true, RegRoot::LocalMachine},
      {"HKEY_CURRENT_USER", true, RegRoot::CurrentUser},
      {"HKCU", true, RegRoot::CurrentUser},
      {"HKEY_CLASSES_ROOT", true, RegRoot::ClassesRoot},
      {"HKCR", true, RegRoot::ClassesRoot},
      {"HKEY_USERS", true, RegRoot::Users},
      {"HKU", true, RegRoot::Users},
      {"HKEY_CURRENT_CONFIG", false, RegRoot::LocalMachine},
      {"HKEY_LOCAL_MACHINE_", false, RegRoot::LocalMachine},
      {"", false, RegRoot::LocalMachine},
  };
  for (const Case& c : cases) {
    RegRoot root = RegRoot::Users;
    EXPECT_EQ(ParseRegRootName(c.name, &root), c.known) << c.name;
    if (c.known) {
      EXPECT_EQ(root, c.root) << c.name;
    }
  }
  EXPECT_STREQ(RegRootName(RegRoot::LocalMachine), "HKEY_LOCAL_MACHINE");
  EXPECT_STREQ(RegRootName(RegRoot::Users), "HKEY_USERS");

  EXPECT_EQ(RegRootHandle(RegRoot::LocalMachine), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(RegRootHandle(RegRoot::ClassesRoot), HKEY_CLASSES_ROOT);
  for (RegRoot r : RegistryTree::kAllRoots) {
    RegRoot back;
    ASSERT_TRUE(RegRootFromHandle(RegRootHandle(r), &back));
    EXPECT_EQ(back, r);
  }
  RegRoot unused;
  EXPECT_FALSE(RegRootFromHandle(HKEY(0x80000005u), &unused));
  EXPECT_FALSE(RegRootFromHandle(HKEY(0), &unused));
}

// ---- The tree ----

TEST(SimRegistryTree, CreateMakesEveryMissingPart) {
  RegistryTree tree;
  bool created = false;
  RegKey* c = tree.Create(RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Enum", &created);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(created);
  EXPECT_EQ(c->name(), "Enum");
  EXPECT_NE(tree.Find(RegRoot::LocalMachine, "SYSTEM"), nullptr);
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "system\\currentcontrolset\\ENUM"), c);
  EXPECT_EQ(tree.Find(RegRoot::CurrentUser, "SYSTEM"), nullptr);

  EXPECT_EQ(tree.Create(RegRoot::LocalMachine, "System\\CurrentControlSet\\Enum", &created), c);
  EXPECT_FALSE(created);
  // The last part exists but its parent was new: still not "created".
  tree.Create(RegRoot::LocalMachine, "SYSTEM\\Other", nullptr);
  tree.Create(RegRoot::LocalMachine, "SYSTEM\\Other\\Leaf", &created);
  EXPECT_TRUE(created);
}

TEST(SimRegistryTree, PathsWithEmptyPartsAreRejectedWithoutDebris) {
  RegistryTree tree;
  for (const char* path : {"A\\\\B", "A\\", "\\A", "\\"}) {
    bool created = true;
    EXPECT_EQ(tree.Create(RegRoot::LocalMachine, path, &created), nullptr) << path;
    EXPECT_FALSE(created);
    EXPECT_EQ(tree.Find(RegRoot::LocalMachine, path), nullptr) << path;
  }
  EXPECT_EQ(tree.Create(RegRoot::LocalMachine, "New\\" + std::string(256, 'x'), nullptr), nullptr);
  EXPECT_TRUE(tree.Root(RegRoot::LocalMachine).subkeys().empty());
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, ""), &tree.Root(RegRoot::LocalMachine));
}

TEST(SimRegistryTree, DepthIsBounded) {
  RegistryTree tree;
  std::string path = "k";
  for (size_t i = 1; i < RegistryTree::kMaxDepth; ++i) path += "\\k";
  EXPECT_NE(tree.Create(RegRoot::Users, path, nullptr), nullptr);
  EXPECT_EQ(tree.Create(RegRoot::Users, path + "\\k", nullptr), nullptr);
}

TEST(SimRegistryTree, DeleteRemovesTheSubtreeOnly) {
  RegistryTree tree;
  tree.Create(RegRoot::LocalMachine, "A\\B\\C", nullptr);
  tree.Create(RegRoot::LocalMachine, "A\\B2", nullptr);
  EXPECT_TRUE(tree.Delete(RegRoot::LocalMachine, "a\\b"));
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "A\\B"), nullptr);
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "A\\B\\C"), nullptr);
  EXPECT_NE(tree.Find(RegRoot::LocalMachine, "A\\B2"), nullptr);
  EXPECT_FALSE(tree.Delete(RegRoot::LocalMachine, "A\\B"));
  EXPECT_FALSE(tree.Delete(RegRoot::LocalMachine, "Missing\\B"));
  EXPECT_FALSE(tree.Delete(RegRoot::LocalMachine, ""));  // a root stays
  EXPECT_FALSE(tree.Delete(RegRoot::LocalMachine, "A\\"));
  EXPECT_NE(tree.Find(RegRoot::LocalMachine, "A"), nullptr);
}

TEST(SimRegistryTree, ForEachKeyVisitsParentsFirstInOrder) {
  RegistryTree tree;
  tree.Create(RegRoot::LocalMachine, "b\\y", nullptr);
  tree.Create(RegRoot::LocalMachine, "A", nullptr);
  tree.Create(RegRoot::LocalMachine, "b\\X", nullptr);
  tree.Create(RegRoot::ClassesRoot, ".reg", nullptr);
  std::vector<std::string> seen;
  tree.ForEachKey([&](RegRoot root, const std::string& path, const RegKey&) {
    seen.push_back(std::string(RegRootName(root)) + ":" + path);
  });
  const std::vector<std::string> expected = {
      "HKEY_CLASSES_ROOT:",  "HKEY_CLASSES_ROOT:.reg", "HKEY_CURRENT_USER:",
      "HKEY_LOCAL_MACHINE:", "HKEY_LOCAL_MACHINE:A",   "HKEY_LOCAL_MACHINE:b",
      "HKEY_LOCAL_MACHINE:b\\X", "HKEY_LOCAL_MACHINE:b\\y", "HKEY_USERS:"};
  EXPECT_EQ(seen, expected);
}

TEST(SimRegistryTree, CopiesAreIndependent) {
  RegistryTree original;
  RegKey* key = original.Create(RegRoot::LocalMachine, "SOFTWARE\\Vendor", nullptr);
  key->SetValue("v", REG_DWORD, DwordData(1));
  key->set_security(Bytes({1, 0, 4, 0x80}));

  RegistryTree copy(original);
  RegKey* copied = copy.Find(RegRoot::LocalMachine, "SOFTWARE\\Vendor");
  ASSERT_NE(copied, nullptr);
  ASSERT_NE(copied, key);
  EXPECT_EQ(copied->security(), key->security());
  ASSERT_NE(copied->FindValue("v"), nullptr);
  EXPECT_EQ(copied->FindValue("v")->data, DwordData(1));

  copied->SetValue("v", REG_DWORD, DwordData(2));
  copied->SetValue("new", REG_SZ, StringData("x"));
  copied->set_security({});
  copy.Create(RegRoot::LocalMachine, "SOFTWARE\\Vendor\\Sub", nullptr);
  copy.Delete(RegRoot::LocalMachine, "SOFTWARE");

  EXPECT_EQ(original.Find(RegRoot::LocalMachine, "SOFTWARE\\Vendor"), key);
  EXPECT_EQ(key->FindValue("v")->data, DwordData(1));
  EXPECT_EQ(key->FindValue("new"), nullptr);
  EXPECT_EQ(key->security(), Bytes({1, 0, 4, 0x80}));
  EXPECT_TRUE(key->subkeys().empty());

  RegistryTree assigned;
  assigned.Create(RegRoot::Users, "old", nullptr);
  assigned = original;
  EXPECT_EQ(assigned.Find(RegRoot::Users, "old"), nullptr);
  RegKey* a = assigned.Find(RegRoot::LocalMachine, "SOFTWARE\\Vendor");
  ASSERT_NE(a, nullptr);
  a->DeleteValue("v");
  EXPECT_NE(key->FindValue("v"), nullptr);

  assigned = assigned;  // self-assignment keeps the contents
  EXPECT_NE(assigned.Find(RegRoot::LocalMachine, "SOFTWARE\\Vendor"), nullptr);
}

TEST(SimRegistryTree, CloneOfKeyIsDeep) {
  RegKey key("k");
  key.CreateSubkey("child", nullptr)->SetValue("x", REG_SZ, StringData("1"));
  std::unique_ptr<RegKey> clone = key.Clone();
  clone->FindSubkey("child")->SetValue("x", REG_SZ, StringData("2"));
  EXPECT_EQ(key.FindSubkey("child")->FindValue("x")->data, StringData("1"));
  EXPECT_EQ(clone->name(), "k");
}

// ---- Encodings ----

struct Utf16Case {
  const char* utf8;
  std::vector<BYTE> utf16;
};

TEST(SimRegistryText, Utf8ToUtf16Le) {
  const Utf16Case cases[] = {
      {"", {}},
      {"A", Bytes({0x41, 0})},
      {"Citt\xC3\xA0", Bytes({'C', 0, 'i', 0, 't', 0, 't', 0, 0xE0, 0})},
      {"\xE2\x82\xAC", Bytes({0xAC, 0x20})},                   // €
      {"\xF0\x9F\x98\x80", Bytes({0x3D, 0xD8, 0x00, 0xDE})},   // U+1F600
      {"a\xFFz", Bytes({'a', 0, 0xFD, 0xFF, 'z', 0})},         // not UTF-8
      {"\xC3", Bytes({0xFD, 0xFF})},                           // truncated
      {"\xED\xA0\x80", Bytes({0xFD, 0xFF, 0xFD, 0xFF, 0xFD, 0xFF})},  // encoded surrogate
  };
  for (const Utf16Case& c : cases) EXPECT_EQ(Utf8ToUtf16Le(c.utf8), c.utf16) << c.utf8;
}

TEST(SimRegistryText, Utf16LeToUtf8) {
  const std::vector<BYTE> pair = Bytes({0x3D, 0xD8, 0x00, 0xDE});
  EXPECT_EQ(Utf16LeToUtf8(pair.data(), pair.size()), "\xF0\x9F\x98\x80");
  const std::vector<BYTE> lone = Bytes({0x3D, 0xD8, 'a', 0});
  EXPECT_EQ(Utf16LeToUtf8(lone.data(), lone.size()), "\xEF\xBF\xBD" "a");
  const std::vector<BYTE> odd = Bytes({'a', 0, 'b'});
  EXPECT_EQ(Utf16LeToUtf8(odd.data(), odd.size()), "a\xEF\xBF\xBD");
  const std::vector<BYTE> withNul = Bytes({'a', 0, 0, 0, 'b', 0});
  EXPECT_EQ(Utf16LeToUtf8(withNul.data(), withNul.size()), std::string("a\0b", 3));
  EXPECT_EQ(Utf16LeToUtf8(nullptr, 4), "");
}

TEST(SimRegistryText, Windows1252Table) {
  struct Case {
    unsigned char ansi;
    const char* utf8;
  };
  const Case cases[] = {
      {0x41, "A"},
      {0x80, "\xE2\x82\xAC"},  // €
      {0x81, "\xC2\x81"},      // undefined in the code page: U+0081
      {0x8D, "\xC2\x8D"},
      {0x8F, "\xC2\x8F"},
      {0x90, "\xC2\x90"},
      {0x9D, "\xC2\x9D"},
      {0x8A, "\xC5\xA0"},      // Š
      {0x92, "\xE2\x80\x99"},  // ’
      {0x99, "\xE2\x84\xA2"},  // ™
      {0x9F, "\xC5\xB8"},      // Ÿ
      {0xA0, "\xC2\xA0"},
      {0xE0, "\xC3\xA0"},  // à
      {0xFF, "\xC3\xBF"},  // ÿ
  };
  for (const Case& c : cases) {
    const std::string ansi(1, static_cast<char>(c.ansi));
    EXPECT_EQ(AnsiToUtf8(ansi), c.utf8) << int(c.ansi);
    EXPECT_EQ(Utf8ToAnsi(c.utf8), ansi) << int(c.ansi);
  }
  // Every byte comes back as itself.
  for (int b = 0; b < 256; ++b) {
    const std::string ansi(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(ansi)), ansi) << b;
  }
}

TEST(SimRegistryText, CharactersWithoutAnAnsiFormBecomeQuestionMarks) {
  struct Case {
    const char* utf8;
    const char* ansi;
  };
  const Case cases[] = {
      {"\xC2\x80", "?"},              // U+0080: byte 0x80 is € in this code page
      {"\xC4\x80", "?"},              // Ā
      {"\xE6\x97\xA5\xE6\x9C\xAC", "??"},  // 日本
      {"a\xF0\x9F\x98\x80z", "a?z"},
      {"bad\xFF", "bad?"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
}

TEST(SimRegistryText, ValueDataHelpers) {
  EXPECT_EQ(StringData(""), Bytes({0, 0}));
  EXPECT_EQ(StringData("0xC0"), Bytes({'0', 0, 'x', 0, 'C', 0, '0', 0, 0, 0}));
  EXPECT_EQ(MultiStringData({"a", "bc"}), Bytes({'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0}));
  EXPECT_EQ(MultiStringData({}), Bytes({0, 0}));
  // An empty string inside would end the list for readers; it is left out.
  EXPECT_EQ(MultiStringData({"a", "", "b"}), Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
  EXPECT_EQ(DwordData(0x12345678), Bytes({0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(DwordData(0xFFFFFFFFu), Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
}

}  // namespace
}  // namespace cw::sim
