#include "support/unattended_run.h"

#include <gtest/gtest.h>

#include "app/dialog_templates.h"
#include "regtree/reg_file.h"
#include "support/sim_harness.h"

namespace cw::test {

UnattendedSimRun::UnattendedSimRun(const std::string& sample,
                                   const std::vector<std::string>& args, const sim::Fault& fault)
    : UnattendedSimRun(MachineFromSample(sample), args, fault) {}

UnattendedSimRun::UnattendedSimRun(sim::Machine m, const std::vector<std::string>& args,
                                   const sim::Fault& fault, bool keepOldValues)
    : machine(std::move(m)), before(machine.registry) {
  std::vector<std::string> all = {"chanwiz-cli"};
  all.insert(all.end(), args.begin(), args.end());
  for (size_t i = 1; i < all.size(); ++i) {
    std::string problem;
    EXPECT_EQ(ParseDeploymentOption(all, &i, &options, &problem), OptionParse::Taken) << problem;
  }
  answers = std::make_unique<OptionAnswers>(options);
  platform = std::make_unique<sim::SimPlatform>(machine, answers.get(), nullptr, WizardDialogs());
  if (!fault.operation.empty()) platform->AddFault(fault);
  recorder = std::make_unique<RecordingPlatform>(
      *platform, options.dryRun ? RecordingPlatform::Mode::DryRun : RecordingPlatform::Mode::Apply,
      keepOldValues);
  recorder->SetStopped([this] { return platform->halt().has_value(); });
  WizardApp app(*recorder, {});
  app.Run();
  outcome = DecideOutcome(app, *recorder, platform->halt());
}

std::string UnattendedSimRun::RecordedChanges() const {
  return sim::WriteRegChanges(recorder->before(), recorder->after(), sim::RegFileFormat::Utf8v5);
}

std::string UnattendedSimRun::WholeChanges() const {
  return sim::WriteRegChanges(before, platform->FinalRegistry(), sim::RegFileFormat::Utf8v5);
}

}  // namespace cw::test
