// The unattended run's recorder under every single failing call, its own
// reads included: what it reports must still be what happened. A real run's
// recorded changes equal the whole registry's (unless it says an old value
// could not be read), and a dry run never changes the registry, whatever
// fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>

#include "regtree/reg_file.h"
#include "support/sim_harness.h"
#include "support/tree_compare.h"
#include "support/unattended_run.h"
#include "unattended/deployment.h"
#include "unattended/recording_platform.h"
#include "writers/security_record.h"

namespace cw::test {
namespace {

struct Scenario {
  const char* sample;
  std::vector<std::string> options;
};

const Scenario kScenarios[] = {
    {"saa7134-xp-italy.reg", {"--country-code", "39"}},
    {"saa7134-xp-italy.reg", {"--country-code", "86", "--nicam", "yes", "--restart"}},
    {"cx2388x-xp-germany-deny.reg", {"--standard", "PAL DK (NICAM I)"}},
    {"bt878a-98-uk.reg", {"--country-code", "44"}},
    {"usb2821-xp-china.reg", {"--standard", "SECAM L"}},
    {"saa7134-xp-italy-locked.reg", {"--country-code", "39"}},
};

TEST(RecorderFaultSweep, ReportsWhatHappenedWhateverFails) {
  int runs = 0, exact = 0;
  for (const Scenario& s : kScenarios) {
    for (bool dry : {false, true}) {
      std::vector<std::string> options = s.options;
      if (dry) options.push_back("--dry-run");
      const UnattendedSimRun baseline(s.sample, options);
      const std::vector<std::string> calls = baseline.platform->calls();
      std::map<std::string, int> seen;
      for (const std::string& op : calls) {
        const int nth = ++seen[op];
        UnattendedSimRun run(s.sample, options, sim::Fault{op, nth, 5});
        ++runs;
        SCOPED_TRACE(std::string(s.sample) + " " + op + " #" + std::to_string(nth) +
                     (dry ? " (dry run)" : ""));
        // (A close that fails leaves its key open, on Windows too.)
        if (op != "RegCloseKey") {
          EXPECT_TRUE(run.platform->OpenKeyPaths().empty());
        }
        // A saved-access record the run could not remove is no setting of its own.
        sim::RegistryTree final = run.platform->FinalRegistry();
        final.Delete(sim::RegRoot::LocalMachine, kSecurityRecordKey);
        const std::string whole =
            sim::WriteRegChanges(run.before, final, sim::RegFileFormat::Utf8v5);
        if (dry) {
          EXPECT_TRUE(TreesEqual(run.before, run.platform->FinalRegistry()));
        } else if (run.recorder->unknownOldValues().empty()) {
          EXPECT_EQ(sim::WriteRegChanges(run.recorder->before(), run.recorder->after(),
                                         sim::RegFileFormat::Utf8v5),
                    whole);
          ++exact;
        }
        // Success is only claimed when nothing the run wrote failed.
        if (run.outcome.exitCode == kExitWritten) {
          EXPECT_TRUE(run.recorder->failedWrites().empty()) << run.outcome.message;
        }
      }
    }
  }
  std::printf("recorder fault sweep: %d runs, %d with exact changes\n", runs, exact);
}

}  // namespace
}  // namespace cw::test
