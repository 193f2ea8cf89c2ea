// Runs the wizard on a machine as chanwiz-cli.exe would: the options answer
// the pages (--answers gives a script, --dry-run the recorder's mode), the
// recorder stands between the wizard and Windows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_platform.h"
#include "unattended/deployment.h"
#include "unattended/recording_platform.h"

namespace cw::test {

struct UnattendedSimRun {
  // `options` as on the command line (they must parse); `fault`, when its
  // operation is not empty, is injected.
  UnattendedSimRun(const std::string& sample, const std::vector<std::string>& options,
                   const sim::Fault& fault = sim::Fault{"", 0, 0});
  UnattendedSimRun(sim::Machine m, const std::vector<std::string>& options,
                   const sim::Fault& fault = sim::Fault{"", 0, 0}, bool keepOldValues = true);

  std::string RecordedChanges() const;
  std::string WholeChanges() const;

  sim::Machine machine;
  sim::RegistryTree before;
  DeploymentOptions options;
  std::unique_ptr<OptionAnswers> answers;
  std::unique_ptr<sim::SimPlatform> platform;
  std::unique_ptr<RecordingPlatform> recorder;
  UnattendedOutcome outcome;
};

}  // namespace cw::test
