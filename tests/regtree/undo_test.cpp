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
void Apply(const std::string& bytes, sim::RegistryTree* tree) {
  sim::RegFileError error;
  ASSERT_TRUE(sim::ApplyRegFile(bytes, "undo.reg", tree, nullptr, &error)) << error.ToString();
}

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
      SimRun run(MachineFromSample(sample), r.script);
      run.Run();
      ASSERT_FALSE(run.platform->halt()) << run.platform->halt()->message;
      const sim::RegistryTree& after = run.platform->FinalRegistry();
      EXPECT_EQ(!TreesEqual(run.before, after), *r.script != '\0');
      sim::RegistryTree left = after;
      Apply(sim::WriteRegUndo(run.before, after, run.machine.format), &left);
      EXPECT_TRUE(TreesEqual(left, run.before));
    }
}

// A value whose old data could not be read is neither deleted nor set to a
// guess: the undo leaves it as the run left it and says so in a comment, which
// every format must still read (the comment's wording is the recorder suite's).
TEST(RegUndo, UnreadOldValuesAreLeftAloneAndNamed) {
  const sim::Machine m =
      MachineFromText(RegText("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n\"Unread\"=\"old ?\"\r\n"
                              "\"Changed\"=dword:00000005\r\n\r\n"));
  const auto vendor = [](sim::RegistryTree& t) { return t.Find(sim::RegRoot::LocalMachine, "SOFTWARE\\Vendor"); };
  // What the recorder knew: the value was not read, so its "before" lacks it.
  sim::RegistryTree known = m.registry;
  vendor(known)->DeleteValue("Unread");
  sim::RegistryTree after = m.registry;
  vendor(after)->SetValue("Unread", REG_SZ, sim::StringData("new"));
  const sim::RegistryTree want = after;  // all put back but the unread value
  vendor(after)->SetValue("Changed", REG_DWORD, sim::DwordData(9));
  const std::vector<sim::UnreadValue> unread = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor", "Unread", "code page 1251"}};

  for (sim::RegFileFormat format :
       {sim::RegFileFormat::Utf8v5, sim::RegFileFormat::Unicode5, sim::RegFileFormat::Regedit4}) {
    sim::RegistryTree left = after;
    Apply(sim::WriteRegUndo(known, after, format, unread), &left);
    EXPECT_TRUE(TreesEqual(left, want));
  }
}

}  // namespace
}  // namespace cw::test
