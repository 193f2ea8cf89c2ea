// An unattended run of the wizard: the pages answered from a few options an
// administrator gives once for a whole fleet of PCs, and an exit code a
// deployment tool can act on. Shared by chanwiz-cli.exe (the live machine)
// and chanwiz-sim (a rehearsal on an exported registry).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/wizard_app.h"
#include "scripting/page_host.h"
#include "unattended/report.h"
#include "scripting/script.h"
#include "unattended/recording_platform.h"

namespace cw {

// Exit codes of an unattended run.
constexpr int kExitWritten = 0;       // the settings were written (dry run: would be)
constexpr int kExitNotWritten = 1;    // nothing to configure, or a write failed
constexpr int kExitBadOptions = 2;    // the options (or a script step) cannot be used
constexpr int kExitAnswersShort = 3;  // a page or question waited with no answer

struct DeploymentOptions {
  // The choice: at most one of a TV system (its row on the TV system page)
  // or a country (its letter and row on the country page).
  int standardRow = -1;
  int countryLetter = -1;
  int countryRow = -1;
  std::string choice;  // as the administrator named it, for messages
  int nicam = -1;      // the NICAM I question: -1 not given, 0 No, 1 Yes
  bool restart = false;
  bool dryRun = false;
  bool haveAnswers = false;
  std::vector<sim::ScriptStep> answers;  // --answers, for anything else
  std::string changesPath, undoPath, reportPath, transcriptPath;

  bool HasChoice() const { return standardRow >= 0 || countryLetter >= 0; }
};

enum class OptionParse {
  NotMine,  // not one of the deployment options
  Taken,    // taken, with its value (*index moved past it)
  Bad,      // one of them, but unusable (*problem says why)
};

// Tries args[*index] as one of --standard, --country, --country-code,
// --nicam, --restart, --answers, --dry-run, --changes, --undo, --report,
// --transcript.
OptionParse ParseDeploymentOption(const std::vector<std::string>& args, size_t* index,
                                  DeploymentOptions* options, std::string* problem);

// Whether the options go together (one choice at most; something to answer
// the pages with). False with *problem when they do not.
bool CheckDeploymentOptions(const DeploymentOptions& options, std::string* problem);

// The row of a TV system text on its page, or of a country text (letter and
// row) on the country page; false when there is none. Letter case and spaces
// around the text do not matter.
bool FindTvSystem(const std::string& text, int* row);
bool FindCountry(const std::string& text, int* letter, int* row);
// Up to `most` country texts that contain `text`, for a hint.
std::vector<std::string> CountriesLike(const std::string& text, size_t most);

// Answers the pages from the options, each page once: the start page, the
// chosen selection page, the restart page (No unless --restart), and the
// NICAM I question when --nicam was given. Anything else is answered from
// --answers in order.
class OptionAnswers : public sim::AnswerSource {
 public:
  explicit OptionAnswers(const DeploymentOptions& options);

  bool Peek(sim::ScriptStep* step) override;
  void Take() override;
  void PageWaits(int templateId) override;
  void MessageBoxWaits(const std::string& text, UINT style) override;
  void MessageBoxAnswered() override;

 private:
  std::vector<sim::ScriptStep> StepsForPage(int templateId) const;

  const DeploymentOptions& options_;
  sim::ScriptAnswers script_;
  std::vector<int> pages_answered_;
  std::vector<sim::ScriptStep> page_steps_;  // for the page that waits, front first
  std::vector<sim::ScriptStep> box_steps_;   // for the box that waits
  bool box_waits_ = false;
};

struct UnattendedOutcome {
  int exitCode = kExitWritten;
  std::string message;  // one line (or a few) for standard error
};

// What the run came to, from the application's record, the recorder's
// account of the registry, and whether the pages stopped it.
UnattendedOutcome DecideOutcome(const WizardApp& app, const RecordingPlatform& recorder,
                                const std::optional<sim::Halt>& halt);

// The report's facts, with the devices as the recorder saw Windows list them.
sim::ReportFacts ReportFactsOf(const WizardApp& app, const RecordingPlatform& recorder);

// A message box as the console shows it: "[caption] text (answer)".
std::string DescribeMessageBox(const std::string& text, const std::string& caption, UINT style,
                               int answer);

}  // namespace cw
