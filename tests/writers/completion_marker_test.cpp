// The completion marker in the maker's key.
#include <gtest/gtest.h>

#include "platform/win_constants.h"
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

}  // namespace
}  // namespace cw::test
