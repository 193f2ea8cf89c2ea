// The simulated registry's tree: names compared and ordered as Windows does,
// the limits it enforces, and the text conversions its data goes through.
#include "regtree/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win_constants.h"

namespace cw::sim {
namespace {

using Bytes = std::vector<BYTE>;

TEST(SimRegistryNames, FoundWithoutCaseAndEnumeratedInUpperCaseOrder) {
  RegKey key("Enum");
  for (const char* name : {"ROOT", "_x", "Pci_x", "4&10", "PCIIDE", "abc", "PCI", "4&1", "ABD",
                           "Citt\xC3\xA0", "\xD0\xB4"})
    ASSERT_NE(key.CreateSubkey(name, nullptr), nullptr) << name;
  // '_' sorts after every letter once names are upper-cased.
  std::string names;
  for (const auto& entry : key.subkeys()) names += entry.second->name() + " ";
  EXPECT_EQ(names, "4&1 4&10 abc ABD Citt\xC3\xA0 PCI PCIIDE Pci_x ROOT _x \xD0\xB4 ");
  // Letter case does not make another key, beyond ASCII too; bad bytes stay distinct.
  bool created = true;
  EXPECT_EQ(key.CreateSubkey("CITT\xC3\x80", &created), key.FindSubkey("citt\xC3\xA0"));
  EXPECT_FALSE(created);
  EXPECT_EQ(key.FindSubkey("\xD0\x94"), key.FindSubkey("\xD0\xB4"));
  ASSERT_NE(key.CreateSubkey("\xFF", nullptr), nullptr);
  EXPECT_EQ(key.FindSubkey("\xFE"), nullptr);
}

TEST(SimRegistryKey, ValuesKeepFirstSetOrderAndCaseThroughUpdatesAndDeletes) {
  RegKey key("k");
  constexpr DWORD kCount = 300;
  for (DWORD i = 0; i < kCount; ++i) key.SetValue("v" + std::to_string(i), REG_DWORD, DwordData(i));
  // Updating keeps the place and the first case, but takes the new type.
  EXPECT_FALSE(key.SetValue("V1", REG_BINARY, Bytes({1, 2, 3})));
  EXPECT_EQ(key.values()[1].name, "v1");
  EXPECT_EQ(key.values()[1].type, REG_BINARY);
  for (DWORD i = 0; i < kCount; i += 3) ASSERT_TRUE(key.DeleteValue("V" + std::to_string(i)));
  EXPECT_FALSE(key.DeleteValue("v0"));
  for (DWORD i = 2; i < kCount; ++i) {
    const RegValue* v = key.FindValue("v" + std::to_string(i));
    EXPECT_EQ(v ? v->data : std::vector<BYTE>(), i % 3 ? DwordData(i) : std::vector<BYTE>()) << i;
  }
  EXPECT_TRUE(key.SetValue("V0", REG_SZ, StringData("back")));
  EXPECT_EQ(key.values().back().name, "V0");  // a recreated value goes last
  EXPECT_EQ(key.values().size(), kCount - kCount / 3 + 1);
}

TEST(SimRegistryTree, CreateRefusesWhatWindowsRefusesAndDeleteTakesTheSubtree) {
  RegistryTree tree;
  bool created = false;
  RegKey* c = tree.Create(RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Enum", &created);
  ASSERT_TRUE(c && created);
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "system\\currentcontrolset\\ENUM"), c);
  EXPECT_EQ(tree.Find(RegRoot::CurrentUser, "SYSTEM"), nullptr);
  // Empty parts, names over 255 characters (not bytes) and paths too deep: refused, nothing left.
  std::string accented, deep = "k";
  for (int i = 0; i < 255; ++i) accented += "\xC3\xA0";
  for (size_t i = 1; i < RegistryTree::kMaxDepth; ++i) deep += "\\k";
  EXPECT_NE(tree.Create(RegRoot::Users, accented, nullptr), nullptr);
  EXPECT_NE(tree.Create(RegRoot::Users, deep, nullptr), nullptr);
  for (const std::string& path : {std::string("A\\\\B"), std::string("A\\"), std::string("\\A"),
                                  "New\\" + accented + "a", "New\\" + deep}) {
    created = true;
    EXPECT_EQ(tree.Create(RegRoot::Users, path, &created), nullptr) << path;
    EXPECT_FALSE(created);
  }
  EXPECT_EQ(tree.Root(RegRoot::Users).subkeys().size(), 2u);

  tree.Create(RegRoot::LocalMachine, "SYSTEM\\Other", nullptr);
  EXPECT_TRUE(tree.Delete(RegRoot::LocalMachine, "system\\currentCONTROLset"));
  EXPECT_EQ(tree.Find(RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet"), nullptr);
  EXPECT_NE(tree.Find(RegRoot::LocalMachine, "SYSTEM\\Other"), nullptr);
  EXPECT_FALSE(tree.Delete(RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet"));
  EXPECT_FALSE(tree.Delete(RegRoot::LocalMachine, ""));  // a root stays
}

TEST(SimRegistryText, Conversions) {
  // ANSI is Windows-1252: every byte comes back, holes too; what it lacks is '?'.
  for (int b = 0; b < 256; ++b) {
    const std::string ansi(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(ansi)), ansi) << b;
  }
  EXPECT_EQ(AnsiToUtf8("\x80\x81\xE0"), "\xE2\x82\xAC\xC2\x81\xC3\xA0");
  EXPECT_EQ(Utf8ToAnsi("\xC2\x80|\xC4\x80|\xE6\x97\xA5\xE6\x9C\xAC|\xF0\x9F\x98\x80|\xFF"),
            "?|?|??|?|?");
  // An empty string inside a multi-string would end the list for readers.
  EXPECT_EQ(MultiStringData({"a", "", "b"}), Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
  EXPECT_EQ(MultiStringData({}), Bytes({0, 0}));
}

}  // namespace
}  // namespace cw::sim
