// The completion marker in the maker's key.
#include <gtest/gtest.h>

#include "platform/win_constants.h"
#include "app/restart_dialog.h"
#include "support/sim_harness.h"
#include "writers/family_writers.h"

namespace cw::test {
namespace {

constexpr char kMaker[] = "SOFTWARE\\Morvex Multimedia\\Common";

TEST(CompletionMarker, CreatedOnTheFirstRunAndFoundOnTheNext) {
  SimRun run(MachineFromText(RegText("")));
  EXPECT_EQ(MarkWizardCompleted(*run.platform), 0);
  const sim::RegKey* key = run.machine.registry.Find(sim::RegRoot::LocalMachine, kMaker);
  ASSERT_NE(key, nullptr);
  ASSERT_NE(key->FindValue("UpdateChanwiz"), nullptr);
  EXPECT_EQ(key->FindValue("UpdateChanwiz")->data, sim::DwordData(1));
  EXPECT_EQ(MarkWizardCompleted(*run.platform), 1);
  EXPECT_TRUE(run.Events("messagebox").empty());
}

TEST(CompletionMarker, AnyOldValueBecomesDwordOne) {
  SimRun run(MachineFromText(RegText(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia\\Common]\r\n\"UpdateChanwiz\"=\"yes\"\r\n")));
  EXPECT_EQ(MarkWizardCompleted(*run.platform), 1);
  const sim::RegValue* v =
      run.machine.registry.Find(sim::RegRoot::LocalMachine, kMaker)->FindValue("UpdateChanwiz");
  EXPECT_EQ(v->type, REG_DWORD);
  EXPECT_EQ(v->data, sim::DwordData(1));
}

TEST(CompletionMarker, NeitherOpenNorCreateWritesNothingAndSaysNothing) {
  SimRun run(MachineFromText(RegText("")));
  run.platform->AddFault({"RegCreateKeyExA", 1, 5});
  EXPECT_EQ(MarkWizardCompleted(*run.platform), 0);
  EXPECT_EQ(run.machine.registry.Find(sim::RegRoot::LocalMachine, kMaker), nullptr);
  EXPECT_TRUE(run.Events("messagebox").empty());
}

TEST(Restart, EachFailurePathOfTheNtRestart) {
  struct Case {
    const char* name;
    sim::Fault fault;
    bool restarted;
    bool box;
  };
  const Case cases[] = {
      {"token cannot be opened", {"OpenProcessToken", 1, 5}, false, false},
      {"privilege cannot be adjusted", {"AdjustTokenPrivileges", 1, 5}, false, false},
      {"restart refused", {"ExitWindowsEx", 1, 1314}, false, true},
      {"lookup failing is not tested, the adjustment decides", {"LookupPrivilegeValueA", 1, 1313}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimRun run(MachineFromSample("saa7134-xp-italy.reg"));
    run.platform->AddFault(c.fault);
    run.state.IsNtFamily = 1;
    RestartSystem(*run.platform, run.state);
    EXPECT_EQ(!run.Events("restart").empty(), c.restarted);
    EXPECT_EQ(run.Events("messagebox").size(), c.box ? 1u : 0u);
  }
}

}  // namespace
}  // namespace cw::test
