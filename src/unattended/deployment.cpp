#include "unattended/deployment.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "platform/win_constants.h"
#include "resource.h"
#include "selection/country_table.h"
#include "selection/tv_standards.h"
#include "writers/nicam_question.h"

namespace cw {

namespace {

// An answers file is a few lines; anything this large is the wrong file.
constexpr size_t kMaxAnswersBytes = size_t{1} << 20;

using sim::ScriptStep;

bool SameText(const std::string& a, const std::string& b) { return Lower(std::string(TrimSpace(a))) == Lower(std::string(TrimSpace(b))); }

ScriptStep Step(ScriptStep::Kind kind, int id = 0, int index = 0) {
  ScriptStep step;
  step.kind = kind;
  step.id = id;
  step.index = index;
  return step;
}

bool ReadAnswers(const std::string& value, std::vector<ScriptStep>* steps, std::string* problem) {
  std::string script = value;
  const bool fromFile = !script.empty() && script[0] == '@';
  const std::string path = fromFile ? script.substr(1) : std::string();
  if (fromFile) {
    // No stream exceptions: a folder or an unreadable file is a message.
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) {
      *problem = path + ": cannot read the answers: " + std::strerror(errno);
      return false;
    }
    script.clear();
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0 && script.size() < kMaxAnswersBytes)
      script.append(buffer, got);
    const bool failed = std::ferror(in) != 0;
    const int error = errno;
    std::fclose(in);
    if (failed || script.size() >= kMaxAnswersBytes) {
      *problem = path + ": cannot read the answers: " +
                 (failed ? std::string(std::strerror(error)) : std::string("the file is too large"));
      return false;
    }
  }
  std::string error;
  int line = 0;
  if (!sim::ParseScript(script, steps, &error, &line)) {
    *problem = fromFile ? path + ":" + std::to_string(line) + ": " + error : "--answers: " + error;
    return false;
  }
  return true;
}

std::string TvSystemList() {
  std::string list;
  for (int i = 0; i < kTvSystemChoiceCount; ++i)
    list += std::string(i ? ", " : "") + "\"" + TvSystemChoices[i].listText + "\"";
  return list;
}

// The class keys under HKEY_LOCAL_MACHINE where the drivers' settings live.
bool UnderClassRoot(const std::string& fullPath) {
  return StartsWithNoCase(fullPath, "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\") ||
         StartsWithNoCase(fullPath, "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Class\\");
}

std::string DescribeCall(const RecordingPlatform::FailedCall& call) {
  std::string text = call.operation + " " + call.key;
  if (!call.value.empty() || call.operation == "RegSetValueExA")
    text += " \"" + call.value + "\"";
  return text + " (error " + std::to_string(call.error) + ")";
}

// Records the one choice of the run; a second one is refused.
bool Choose(DeploymentOptions* options, int standardRow, int letter, int row, const char* text,
            std::string* problem) {
  if (options->HasChoice()) {
    *problem = "give one of --standard, --country and --country-code";
    return false;
  }
  options->standardRow = standardRow;
  options->countryLetter = letter;
  options->countryRow = row;
  options->choice = text;
  return true;
}

}  // namespace

bool FindTvSystem(const std::string& text, int* row) {
  for (int i = 0; i < kTvSystemChoiceCount; ++i)
    if (SameText(text, TvSystemChoices[i].listText)) {
      *row = i;
      return true;
    }
  return false;
}

bool FindCountry(const std::string& text, int* letter, int* row) {
  for (int l = 0; l < kCountryLetterCount; ++l) {
    const CountryGroup group = CountryGroupAt(l);
    for (int r = 0; r < group.count; ++r)
      if (SameText(text, group.entries[r].text)) {
        *letter = l;
        *row = r;
        return true;
      }
  }
  return false;
}

std::vector<std::string> CountriesLike(const std::string& text, size_t most) {
  std::vector<std::string> out;
  const std::string wanted = Lower(std::string(TrimSpace(text)));
  if (wanted.empty()) return out;
  for (const CountryEntry& entry : CountryTable) {
    if (Lower(entry.text).find(wanted) == std::string::npos) continue;
    out.push_back(entry.text);
    if (out.size() >= most) break;
  }
  return out;
}

OptionParse ParseDeploymentOption(const std::vector<std::string>& args, size_t* index,
                                  DeploymentOptions* options, std::string* problem) {
  const std::string& name = args[*index];
  const bool takesValue = name == "--standard" || name == "--country" || name == "--country-code" ||
                          name == "--nicam" || name == "--answers" || name == "--changes" ||
                          name == "--undo" || name == "--report" || name == "--transcript";
  if (!takesValue && name != "--restart" && name != "--dry-run") return OptionParse::NotMine;
  if (name == "--restart") {
    options->restart = true;
    return OptionParse::Taken;
  }
  if (name == "--dry-run") {
    options->dryRun = true;
    return OptionParse::Taken;
  }
  if (*index + 1 >= args.size()) {
    *problem = name + " needs a value";
    return OptionParse::Bad;
  }
  const std::string value = args[++*index];

  if (name == "--standard") {
    int row = -1;
    if (!FindTvSystem(value, &row)) {
      *problem = "--standard \"" + value + "\" is not on the TV system page; it lists " +
                 TvSystemList();
      return OptionParse::Bad;
    }
    if (!Choose(options, row, -1, -1, TvSystemChoices[row].listText, problem)) return OptionParse::Bad;
  } else if (name == "--country") {
    int letter = -1, row = -1;
    if (!FindCountry(value, &letter, &row)) {
      *problem = "--country \"" + value + "\" is not on the country page";
      std::vector<std::string> like = CountriesLike(value, 8);
      if (!like.empty()) {
        *problem += "; did you mean";
        for (size_t i = 0; i < like.size(); ++i) *problem += (i ? ", \"" : " \"") + like[i] + "\"";
      } else {
        *problem += "; name it as the page lists it, e.g. \"Italy (PAL-B/G)\"";
      }
      return OptionParse::Bad;
    }
    if (!Choose(options, -1, letter, row, CountryGroupAt(letter).entries[row].text, problem))
      return OptionParse::Bad;
  } else if (name == "--country-code") {
    char* end = nullptr;
    const long code = std::strtol(value.c_str(), &end, 10);
    int32_t row = 0;
    const bool number = !value.empty() && *end == '\0' && code >= 0 && code <= 99999;
    const int32_t letter = number ? LetterForCountryCode(static_cast<int32_t>(code)) : -1;
    CountryValues values = {};
    if (!number || letter < 0 || letter >= kCountryLetterCount ||
        !RowForCountryCode(static_cast<int32_t>(code), &row) ||
        !CountryEntryValues(letter, row, &values)) {
      *problem = "--country-code " + value +
                 ": no country on the country page has this code (codes are the telephone "
                 "codes Windows uses, e.g. 39 for Italy)";
      return OptionParse::Bad;
    }
    if (!Choose(options, -1, letter, row, CountryGroupAt(letter).entries[row].text, problem))
      return OptionParse::Bad;
  } else if (name == "--nicam") {
    if (SameText(value, "yes")) {
      options->nicam = 1;
    } else if (SameText(value, "no")) {
      options->nicam = 0;
    } else {
      *problem = "--nicam takes yes or no";
      return OptionParse::Bad;
    }
  } else if (name == "--answers") {
    if (!ReadAnswers(value, &options->answers, problem)) return OptionParse::Bad;
    options->haveAnswers = true;
  } else if (name == "--changes") {
    options->changesPath = value;
  } else if (name == "--undo") {
    options->undoPath = value;
  } else if (name == "--report") {
    options->reportPath = value;
  } else if (name == "--transcript") {
    options->transcriptPath = value;
  }
  return OptionParse::Taken;
}

bool CheckDeploymentOptions(const DeploymentOptions& options, std::string* problem) {
  if (!options.HasChoice() && !options.haveAnswers) {
    *problem = "nothing chooses the settings: give --standard, --country or --country-code";
    return false;
  }
  return true;
}

OptionAnswers::OptionAnswers(const DeploymentOptions& options)
    : options_(options), script_(options.answers) {}

std::vector<ScriptStep> OptionAnswers::StepsForPage(int templateId) const {
  std::vector<ScriptStep> steps;
  switch (templateId) {
    case IDD_START_PAGE:
      if (options_.standardRow >= 0) steps.push_back(Step(ScriptStep::Click, IDC_TVSYSTEM_BUTTON));
      if (options_.countryLetter >= 0) steps.push_back(Step(ScriptStep::Click, IDC_COUNTRY_BUTTON));
      break;
    case IDD_STANDARD_PAGE:
      if (options_.standardRow >= 0) {
        steps.push_back(Step(ScriptStep::Select, IDC_SYSTEM_LIST, options_.standardRow));
        steps.push_back(Step(ScriptStep::Click, IDOK));
      }
      break;
    case IDD_COUNTRY_PAGE:
      if (options_.countryLetter >= 0) {
        steps.push_back(Step(ScriptStep::Select, IDC_LETTER_BOX, options_.countryLetter));
        steps.push_back(Step(ScriptStep::Select, IDC_COUNTRY_LIST, options_.countryRow));
        steps.push_back(Step(ScriptStep::Click, IDOK));
      }
      break;
    case IDD_RESTART_PAGE:
      // Whether to restart is the administrator's --restart alone.
      steps.push_back(
          Step(ScriptStep::Click, options_.restart ? IDC_RESTART_YES : IDC_RESTART_NO));
      steps.push_back(Step(ScriptStep::Click, IDOK));
      break;
    default:
      break;
  }
  return steps;
}

void OptionAnswers::PageWaits(int templateId) {
  page_steps_.clear();
  // Each page once: should it stay open, the options have nothing more to say.
  if (std::find(pages_answered_.begin(), pages_answered_.end(), templateId) !=
      pages_answered_.end())
    return;
  pages_answered_.push_back(templateId);
  page_steps_ = StepsForPage(templateId);
}

void OptionAnswers::MessageBoxWaits(const std::string& text, UINT style) {
  box_waits_ = true;
  box_steps_.clear();
  if (options_.nicam >= 0 && text == kNicamIQuestion && (style & MB_TYPEMASK) == MB_YESNO)
    box_steps_.push_back(Step(options_.nicam ? ScriptStep::Yes : ScriptStep::No));
}

void OptionAnswers::MessageBoxAnswered() {
  box_waits_ = false;
  box_steps_.clear();
}

bool OptionAnswers::Peek(ScriptStep* step) {
  // While a box waits the page's own steps are not offered: they cannot
  // answer it.
  std::vector<ScriptStep>& mine = box_waits_ ? box_steps_ : page_steps_;
  if (!mine.empty()) {
    *step = mine.front();
    return true;
  }
  return script_.Peek(step);
}

void OptionAnswers::Take() {
  std::vector<ScriptStep>& mine = box_waits_ ? box_steps_ : page_steps_;
  if (!mine.empty()) {
    mine.erase(mine.begin());
    return;
  }
  script_.Take();
}

UnattendedOutcome DecideOutcome(const WizardApp& app, const RecordingPlatform& recorder,
                                const std::optional<sim::Halt>& halt) {
  const bool dry = recorder.mode() == RecordingPlatform::Mode::DryRun;
  if (halt) {
    if (halt->exitCode == kExitAnswersShort) {
      std::string text = "the answers did not cover a question: " + halt->message;
      if (halt->message.find("NICAM_I") != std::string::npos)
        text += "; give --nicam yes or --nicam no";
      return {kExitAnswersShort, text};
    }
    return {kExitBadOptions, "an answer could not be used: " + halt->message};
  }
  if (app.DeviceCount == 0)
    return {kExitNotWritten, "nothing to configure: no supported TV tuner device was found"};
  if (app.DeviceCount >= 2)
    return {kExitNotWritten, "nothing configured: " + std::to_string(app.DeviceCount) +
                                 " supported TV tuner devices were found, and the wizard sets "
                                 "up one at a time"};
  if (app.family_run() == Family::None)
    return {kExitNotWritten,
            "nothing configured: the run ended before a TV system or country was chosen"};

  std::vector<std::string> failures;
  for (const auto& call : recorder.failedWrites()) failures.push_back(DescribeCall(call));
  for (const auto& call : recorder.failedOpens()) {
    // A driver key the writers could not open for their writes.
    const bool forWrites =
        call.operation == "RegOpenKeyA" || (call.access & (KEY_SET_VALUE | WRITE_DAC)) != 0;
    if (forWrites && UnderClassRoot(call.key)) failures.push_back(DescribeCall(call));
  }
  if (!failures.empty()) {
    std::string text = "a write failed: ";
    const size_t shown = std::min<size_t>(failures.size(), 5);
    for (size_t i = 0; i < shown; ++i) text += (i ? "; " : "") + failures[i];
    if (failures.size() > shown)
      text += "; and " + std::to_string(failures.size() - shown) + " more";
    return {kExitNotWritten, text};
  }
  if (app.family_run() == Family::Usb && app.UsbWriteResult == 0)
    return {kExitNotWritten, "a write failed: the USB device's settings were not all written"};

  size_t driverValues = 0;
  for (const auto& written : recorder.writtenValues())
    if (UnderClassRoot(written.key)) ++driverValues;
  if (driverValues == 0)
    return {kExitNotWritten,
            "nothing configured: the driver keys hold none of the values the wizard updates"};
  return {kExitWritten, std::string(dry ? "dry run: would write " : "settings written: ") +
                            std::to_string(driverValues) + " driver value" +
                            (driverValues == 1 ? "" : "s") + " for the " +
                            FamilyName(app.family_run()) + " device" +
                            (dry ? "; nothing was changed" : "")};
}

sim::ReportFacts ReportFactsOf(const WizardApp& app, const RecordingPlatform& recorder) {
  sim::ReportFacts facts = sim::FactsOf(app);
  facts.devices.emplace();
  for (const RecordingPlatform::Device& device : recorder.devices())
    facts.devices->push_back({device.hardwareId, device.driver});
  return facts;
}

std::string DescribeMessageBox(const std::string& text, const std::string& caption, UINT style,
                               int answer) {
  std::string flat;
  for (char c : text) {
    if (c == '\n') {
      if (!flat.empty() && flat.back() != ' ') flat += ' ';
    } else {
      flat += c;
    }
  }
  const UINT buttons = style & MB_TYPEMASK;
  std::string answered = answer == IDYES ? "Yes" : answer == IDNO ? "No" : "OK";
  std::string line = "[" + caption + "] " + std::string(TrimSpace(flat));
  if (buttons != MB_OK) line += " (answered " + answered + ")";
  return line;
}

}  // namespace cw
