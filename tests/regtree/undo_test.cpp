// The undo file of a run puts the registry back exactly as it was: same
// keys (with their letter case), values, types, bytes and value order.
#include "regtree/undo.h"

#include <gtest/gtest.h>

#include "support/tree_compare.h"

#include <string>
#include <vector>

#include "platform/win_constants.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

// Applies a .reg text to *tree; fails the test when it does not apply.
void Apply(const std::string& bytes, const char* what, sim::RegistryTree* tree) {
  sim::RegFileFormat format;
  sim::RegFileError error;
  ASSERT_TRUE(sim::ApplyRegFile(bytes, what, tree, &format, &error)) << error.ToString();
}

struct UndoCase {
  const char* sample;
  const char* script;
  bool writes;  // the run changes the registry
};

const UndoCase kUndoCases[] = {
    {"saa7134-xp-italy.reg", "click 1016; click 1; click 1023; click 1", true},
    {"saa7134-98-italy.reg", "click 1016; click 1; click 1023; click 1", true},
    {"saa7134-nt4.reg", "click 1016; click 1; click 1023; click 1", true},
    {"saa7134-xp-italy-tn.reg", "click 1016; click 1; click 1023; click 1", true},
    {"cx2388x-xp-germany.reg", "click 1016; click 1; click 1023; click 1", true},
    {"cx2388x-98-germany.reg", "click 1016; click 1; click 1023; click 1", true},
    {"cx2388x-xp-germany-deny.reg", "click 1016; click 1; click 1023; click 1", true},
    {"bt878a-xp-uk.reg", "click 1016; click 1; click 1023; click 1", true},
    {"bt878a-98-uk.reg", "click 1016; click 1; click 1023; click 1", true},
    {"usb2821-xp-china.reg", "click 1015; click 1", true},
    {"usb2800-98-usa.reg", "click 1015; click 1", true},
    {"usb2800-xp-usa.reg", "click 1015; click 1", true},
    {"nodevice-xp.reg", "", false},
    {"two-saa7134-xp.reg", "", false},
    {"saa7133-and-usb-xp.reg", "", false},
};

TEST(RegUndo, PutsEverySampleRunBack) {
  for (const UndoCase& c : kUndoCases) {
    SCOPED_TRACE(c.sample);
    SimRun run(MachineFromSample(c.sample), c.script);
    run.Run();
    ASSERT_FALSE(run.platform->halt()) << run.platform->halt()->message;
    const sim::RegistryTree& after = run.platform->FinalRegistry();
    const sim::RegFileFormat format = run.machine.format;
    const std::string changes = sim::WriteRegChanges(run.before, after, format);
    const std::string undo = sim::WriteRegUndo(run.before, after, format);
    ASSERT_FALSE(undo.empty());
    EXPECT_EQ(!TreesEqual(run.before, after), c.writes);

    // The run's changes and then the undo, on a copy of the original.
    sim::RegistryTree replay = run.before;
    Apply(changes, "changes.reg", &replay);
    ASSERT_TRUE(TreesEqual(replay, after));
    Apply(undo, "undo.reg", &replay);
    EXPECT_TRUE(TreesEqual(replay, run.before));

    // The undo on the registry the run left.
    sim::RegistryTree left = after;
    Apply(undo, "undo.reg", &left);
    EXPECT_TRUE(TreesEqual(left, run.before));
  }
}

// A hand-made run, with the exact undo text it must give.
TEST(RegUndo, WritesOldDataDeletesCreatedValuesAndTopmostCreatedKeys) {
  sim::Machine m = MachineFromText(RegText(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
      "\"Kept\"=\"same\"\r\n"
      "\"Changed\"=dword:00000005\r\n"
      "\"Retyped\"=\"text\"\r\n"
      "\"Gone\"=hex:01,02\r\n\r\n"));
  const sim::RegistryTree before = m.registry;
  sim::RegistryTree after = before;
  bool created = false;
  sim::RegKey* vendor = after.Find(sim::RegRoot::LocalMachine, "SOFTWARE\\Vendor");
  ASSERT_NE(vendor, nullptr);
  vendor->SetValue("Changed", REG_DWORD, sim::DwordData(9));
  vendor->SetValue("Retyped", REG_DWORD, sim::DwordData(1));
  vendor->DeleteValue("Gone");
  vendor->SetValue("New", REG_SZ, sim::StringData("x"));
  sim::RegKey* deep = after.Create(sim::RegRoot::LocalMachine, "SOFTWARE\\Vendor\\A\\B\\C", &created);
  ASSERT_NE(deep, nullptr);
  deep->SetValue("Deep", REG_DWORD, sim::DwordData(2));

  const std::string undo = sim::WriteRegUndo(before, after, sim::RegFileFormat::Utf8v5);
  const std::string want =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
      "\"New\"=-\r\n"
      "\"Changed\"=dword:00000005\r\n"
      "\"Retyped\"=\"text\"\r\n"
      "\"Gone\"=hex:01,02\r\n\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\A]\r\n\r\n";
  EXPECT_EQ(undo, want);

  sim::RegistryTree left = after;
  Apply(undo, "undo.reg", &left);
  EXPECT_TRUE(TreesEqual(left, before));
}

// A value whose old data could not be read is neither deleted nor set to a
// guess: the undo leaves it as the run left it and says so in a comment.
TEST(RegUndo, UnreadOldValuesAreLeftAloneAndNamed) {
  sim::Machine m = MachineFromText(RegText(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
      "\"Unread\"=\"old ?\"\r\n"
      "\"Changed\"=dword:00000005\r\n\r\n"));
  const sim::RegistryTree before = m.registry;
  sim::RegistryTree after = before;
  sim::RegKey* vendor = after.Find(sim::RegRoot::LocalMachine, "SOFTWARE\\Vendor");
  ASSERT_NE(vendor, nullptr);
  vendor->SetValue("Unread", REG_SZ, sim::StringData("new"));
  vendor->SetValue("Changed", REG_DWORD, sim::DwordData(9));
  // What the recorder knew: the value was not read, so its "before" lacks it.
  sim::RegistryTree known = before;
  known.Find(sim::RegRoot::LocalMachine, "SOFTWARE\\Vendor")->DeleteValue("Unread");
  const std::vector<sim::UnreadValue> unread = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor", "Unread", "code page 1251"}};

  for (sim::RegFileFormat format : {sim::RegFileFormat::Utf8v5, sim::RegFileFormat::Unicode5,
                                    sim::RegFileFormat::Regedit4}) {
    const std::string undo = sim::WriteRegUndo(known, after, format, unread);
    sim::RegistryTree back;
    sim::RegFileFormat read;
    sim::RegFileError error;
    ASSERT_TRUE(sim::ApplyRegFile(undo, "undo.reg", &back, &read, &error)) << error.ToString();
    EXPECT_EQ(read, format);
    sim::RegistryTree left = after;
    Apply(undo, "undo.reg", &left);
    const sim::RegKey* k = left.Find(sim::RegRoot::LocalMachine, "SOFTWARE\\Vendor");
    ASSERT_NE(k, nullptr);
    ASSERT_NE(k->FindValue("Unread"), nullptr);
    EXPECT_EQ(k->FindValue("Unread")->data, sim::StringData("new"));
    EXPECT_EQ(k->FindValue("Changed")->data, sim::DwordData(5));
  }
  const std::string text = sim::WriteRegUndo(known, after, sim::RegFileFormat::Utf8v5, unread);
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n\r\n"
                       "; NOT PUT BACK: HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor, value \"Unread\": "
                       "its old data could not be read (code page 1251)\r\n[",
                       0),
            0u)
      << text;
  EXPECT_EQ(text.find("\"Unread\"="), std::string::npos);
}

TEST(RegUndo, NothingChangedGivesOnlyTheHeader) {
  const sim::Machine m = MachineFromSample("saa7134-xp-italy.reg");
  EXPECT_EQ(sim::WriteRegUndo(m.registry, m.registry, sim::RegFileFormat::Utf8v5),
            "Windows Registry Editor Version 5.00\r\n\r\n");
  EXPECT_EQ(sim::WriteRegUndo(m.registry, m.registry, sim::RegFileFormat::Regedit4),
            "REGEDIT4\r\n\r\n");
}

}  // namespace
}  // namespace cw::test
