// chanwiz-sim: the wizard on a simulated Windows machine.
//
// Exit codes: 0 the run ended by itself (whatever path it took); 2 unusable
// input (machine file, script, text file or options), with a message naming
// the file and line; 3 the answers ran out while a page or question waited.
// A rehearsal of an unattended run (--standard, --country, --country-code,
// --nicam, --restart, --dry-run) ends as chanwiz-cli.exe would: 0 settings
// written, 1 nothing to configure or a write failed, 2, 3 as above.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "app/dialog_templates.h"
#include "app/wizard_app.h"
#include "chanwiz_version.h"
#include "common/files.h"
#include "common/run_files.h"
#include "platform/sim/machine.h"
#include "regtree/reg_file.h"
#include "unattended/report.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/terminal.h"
#include "chanwiz-sim/text_check.h"
#include "platform/sim/profile.h"
#include "regtree/undo.h"
#include "unattended/deployment.h"
#include "unattended/recording_platform.h"

#ifndef CHANWIZ_DATA_DIR
#define CHANWIZ_DATA_DIR "."
#endif

namespace {

using namespace cw;
using namespace cw::sim;

const char kUsage[] =
    "usage: chanwiz-sim [--machine FILE] [--answers SCRIPT|@FILE] [--ini FILE | --no-ini]\n"
    "                   [--out FILE] [--changes FILE] [--undo FILE] [--transcript FILE]\n"
    "                   [--report FILE] [--check-texts FILE.ini]\n"
    "                   [--standard NAME | --country TEXT | --country-code N]\n"
    "                   [--nicam yes|no] [--restart] [--dry-run]\n"
    "                   [--fail OPERATION:N[:ERROR]] [--quiet] [ARG]\n"
    "       chanwiz-sim --version\n"
    "\n"
    "Runs the Chanwiz wizard on a simulated Windows machine described by a .reg file\n"
    "(default: the bundled sample, one SAA7134 board on Windows XP in Italy).\n"
    "  --machine FILE      the machine (.reg export: REGEDIT4 or 5.00, UTF-16LE or UTF-8)\n"
    "  --answers SCRIPT    the user's answers, e.g. \"click 1016; select 1021 8; click 1\";\n"
    "                      @FILE reads them from a file. Without it a person answers at the\n"
    "                      terminal (when standard input is one).\n"
    "  --ini FILE          the Chanwiz.ini beside the program (default: the shipped one)\n"
    "  --no-ini            no text file beside the program\n"
    "  --out FILE          the whole registry after the run, in the machine file's format,\n"
    "                      simulation key included: a machine file to run again\n"
    "  --changes FILE      only the changes the run made, as an importable .reg file\n"
    "  --undo FILE         a .reg file that, imported after the run, puts the registry back\n"
    "                      (both as regedit reads them: 5.00 in UTF-16LE, REGEDIT4 in ANSI)\n"
    "  --report FILE       a plain-text report for support: devices, choice, changes, boxes\n"
    "  --check-texts FILE.ini  checks a text file and runs nothing: missing keys, texts\n"
    "                      cut at their capacity, unknown keys (exit 1 for cut or unknown)\n"
    "  --transcript FILE   every page, message box and restart request, as JSON Lines\n"
    "  --fail OP:N[:ERR]   make the Nth call of a Windows operation fail (N 0 = every call)\n"
    "Rehearsing an unattended run of chanwiz-cli.exe (same options, same exit codes):\n"
    "  --standard NAME     the TV system, as its page lists it, e.g. \"PAL DK (NICAM I)\"\n"
    "  --country TEXT      the country, as its page lists it, e.g. \"Italy (PAL-B/G)\"\n"
    "  --country-code N    the country the country page preselects for code N, e.g. 39\n"
    "  --nicam yes|no      the answer to the NICAM I question (asked for China, 86)\n"
    "  --restart           restart at the end (default: not)\n"
    "  --dry-run           write nothing; print the changes the run would make\n"
    "  With these, --answers answers only what the options do not, and the exit code\n"
    "  is 0 settings written, 1 nothing to configure or a write failed, 2, 3.\n"
    "  --quiet             do not print the pages and boxes\n"
    "  ARG                 the wizard's own argument (\"1\" suppresses the restart page)\n"
    "Output files are checked before the run (a path that cannot be written, or two\n"
    "options naming one file, stop it with exit 2) and each is written whole or not at\n"
    "all. A run that stopped (exit 2 or 3) still writes them, each marked INCOMPLETE at\n"
    "its top: the changes it made until then, and the undo of those.\n"
    "Exit codes: 0 ended by itself, 2 unusable input or an output file that could not\n"
    "be written, 3 the answers ran out.\n"
    "With --check-texts: 0 nothing to fix, 1 a text is cut or a key unknown, 2 unreadable.\n";

// Input limits: far above any real file, low enough to refuse a wrong one.
constexpr size_t kMaxMachineFileBytes = size_t{256} << 20;
constexpr size_t kMaxTextFileBytes = size_t{16} << 20;

int Fail(const std::string& problem) {
  std::fprintf(stderr, "chanwiz-sim: %s\n", problem.c_str());
  return 2;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "chanwiz-sim: %s\n\n%s", problem.c_str(), kUsage);
  return 2;
}

bool ParseFault(const std::string& text, Fault* fault) {
  size_t a = text.find(':');
  if (a == std::string::npos || a == 0) return false;
  fault->operation = text.substr(0, a);
  size_t b = text.find(':', a + 1);
  std::string nth = text.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
  char* end = nullptr;
  long n = std::strtol(nth.c_str(), &end, 10);
  if (nth.empty() || *end != '\0' || n < 0 || n > 1000000) return false;
  fault->nth = static_cast<int>(n);
  if (b != std::string::npos) {
    std::string err = text.substr(b + 1);
    unsigned long e = std::strtoul(err.c_str(), &end, 0);
    if (err.empty() || *end != '\0' || e > 0xFFFFFFFFul) return false;
    fault->error = static_cast<DWORD>(e);
  }
  return true;
}

// A rehearsal of chanwiz-cli.exe on the simulated machine: the same answers,
// the same recorder between the wizard and Windows, the same exit codes. The
// files describe the whole registry before and after (in a dry run: what the
// recorder kept aside).
// The format of the files meant for regedit (--changes, --undo): regedit
// reads a 5.00 file without a byte-order mark as ANSI, which would garble
// every text beyond ASCII, so 5.00 is written as regedit writes it, in
// UTF-16LE; REGEDIT4 stays ANSI.
RegFileFormat ImportFormat(RegFileFormat machineFormat) {
  return machineFormat == RegFileFormat::Utf8v5 ? RegFileFormat::Unicode5 : machineFormat;
}

// Every output of a run that has ended, written whole or not at all.
int WriteOutputs(files::Outputs* outputs, const Machine& machine, const RegistryTree& from,
                 const RegistryTree& to, const RegistryTree& after, std::string report,
                 std::string transcript, const std::optional<Halt>& halt, int exitCode) {
  files::RunRecord run;
  run.from = &from;
  run.to = &to;
  run.importFormat = ImportFormat(machine.format);
  if (outputs->Has("--out")) run.machine = WithSimulationKey(machine, after);
  run.machineFormat = machine.format;
  run.report = std::move(report);
  run.transcript = std::move(transcript);
  run.halt = halt;
  std::string problem;
  if (files::WriteRunFiles(outputs, run, &problem)) return exitCode;
  std::fprintf(stderr, "chanwiz-sim: %s; no output file was written\n", problem.c_str());
  return kExitBadOptions;
}

int RunUnattended(SimPlatform& platform, const Machine& machine, const RegistryTree& before,
                  const DeploymentOptions& options, const std::vector<std::string>& wizardArgs,
                  files::Outputs* outputs) {
  RecordingPlatform recorder(platform, options.dryRun ? RecordingPlatform::Mode::DryRun
                                                      : RecordingPlatform::Mode::Apply,
                             /*keepOldValues=*/false);
  recorder.SetStopped([&platform] { return platform.halt().has_value(); });
  // As chanwiz-cli.exe shows them: on standard error.
  platform.SetMessageBoxHook(
      [](const std::string& text, const std::string& caption, UINT style, int answer) {
        std::fprintf(stderr, "chanwiz-sim: %s\n",
                     DescribeMessageBox(text, caption, style, answer).c_str());
      });
  WizardApp app(recorder, wizardArgs);
  app.Run();
  const UnattendedOutcome outcome = DecideOutcome(app, recorder, platform.halt());

  const RegistryTree& after = platform.FinalRegistry();
  const RegistryTree& from = options.dryRun ? recorder.before() : before;
  const RegistryTree& to = options.dryRun ? recorder.after() : after;
  if (options.dryRun) {
    std::fputs(WriteRegChanges(from, to, RegFileFormat::Utf8v5).c_str(), stdout);
    for (const std::string& note : recorder.notes())
      std::fprintf(stderr, "chanwiz-sim: dry run: %s\n", note.c_str());
  }
  const std::string report =
      outputs->Has("--report")
          ? WriteReport(options.dryRun ? ReportFactsOf(app, recorder) : FactsOf(app), from, to,
                        platform.transcript())
          : std::string();
  std::fprintf(stderr, "chanwiz-sim: %s\n", outcome.message.c_str());
  return WriteOutputs(outputs, machine, from, to, after, report,
                      platform.transcript().Text(), platform.halt(), outcome.exitCode);
}

}  // namespace

int main(int argc, char** argv) {
  std::string machinePath = std::string(CHANWIZ_DATA_DIR) + "/samples/saa7134-xp-italy.reg";
  std::string answers;
  bool haveAnswers = false;
  std::string iniPath = std::string(CHANWIZ_DATA_DIR) + "/resources/Chanwiz.ini";
  bool noIni = false;
  bool iniGiven = false;
  std::string outPath, changesPath, undoPath, transcriptPath, reportPath, checkTextsPath;
  bool quiet = false;
  std::vector<Fault> faults;
  std::vector<std::string> wizardArgs;

  DeploymentOptions deployment;
  bool unattended = false;
  const std::vector<std::string> args(argv, argv + argc);
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--standard" || a == "--country" || a == "--country-code" || a == "--nicam" ||
        a == "--restart" || a == "--dry-run") {
      size_t at = static_cast<size_t>(i);
      std::string problem;
      if (ParseDeploymentOption(args, &at, &deployment, &problem) != OptionParse::Taken)
        return Usage(problem);
      i = static_cast<int>(at);
      unattended = true;
      continue;
    }
    auto value = [&](std::string* out) -> bool {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--version") {
      std::fputs("chanwiz-sim " CHANWIZ_VERSION "\n", stdout);
      return 0;
    } else if (a == "--machine") {
      if (!value(&machinePath)) return Usage("--machine needs a file");
    } else if (a == "--answers") {
      if (!value(&answers)) return Usage("--answers needs a script or @FILE");
      haveAnswers = true;
    } else if (a == "--ini") {
      if (!value(&iniPath)) return Usage("--ini needs a file");
      iniGiven = true;
    } else if (a == "--no-ini") {
      noIni = true;
    } else if (a == "--out") {
      if (!value(&outPath)) return Usage("--out needs a file");
    } else if (a == "--changes") {
      if (!value(&changesPath)) return Usage("--changes needs a file");
    } else if (a == "--undo") {
      if (!value(&undoPath)) return Usage("--undo needs a file");
    } else if (a == "--check-texts") {
      if (!value(&checkTextsPath)) return Usage("--check-texts needs a file");
    } else if (a == "--report") {
      if (!value(&reportPath)) return Usage("--report needs a file");
    } else if (a == "--transcript") {
      if (!value(&transcriptPath)) return Usage("--transcript needs a file");
    } else if (a == "--fail") {
      std::string text;
      Fault fault;
      if (!value(&text) || !ParseFault(text, &fault))
        return Usage("--fail needs OPERATION:N[:ERROR], e.g. RegOpenKeyExA:1:5");
      faults.push_back(fault);
    } else if (a == "--quiet") {
      quiet = true;
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      return Usage("unknown option " + a);
    } else {
      wizardArgs.push_back(a);
    }
  }

  if (!checkTextsPath.empty()) {
    std::string bytes, problem;
    if (!files::ReadInput(checkTextsPath, kMaxTextFileBytes, &bytes, &problem)) return Fail(problem);
    const TextCheck check = CheckTexts(ProfileTextFromBytes(bytes));
    for (const std::string& line : check.lines) std::printf("%s\n", line.c_str());
    return check.ExitCode();
  }

  // Every output is known to be writable before anything runs.
  files::Outputs outputs;
  {
    std::string problem;
    const std::pair<const char*, const std::string*> named[] = {
        {"--out", &outPath},           {"--changes", &changesPath}, {"--undo", &undoPath},
        {"--transcript", &transcriptPath}, {"--report", &reportPath}};
    for (const auto& [option, path] : named)
      if (!outputs.Add(option, *path, &problem)) return Usage(problem);
    if (!outputs.Check(&problem)) return Fail(problem);
  }

  Machine machine;
  {
    std::string bytes, problem;
    if (!files::ReadInput(machinePath, kMaxMachineFileBytes, &bytes, &problem))
      return Fail(problem);
    RegFileError error;
    if (!LoadMachineBytes(bytes, machinePath, &machine, &error)) return Fail(error.ToString());
  }
  const RegistryTree before = machine.registry;

  std::unique_ptr<AnswerSource> source;
  if (haveAnswers) {
    std::string script = answers;
    std::string where = "answers";
    const bool fromFile = !script.empty() && script[0] == '@';
    if (fromFile) {
      std::string problem;
      if (!files::ReadInput(answers.substr(1), kMaxTextFileBytes, &script, &problem))
        return Fail(problem);
    }
    std::vector<ScriptStep> steps;
    std::string problem;
    int line = 0;
    if (!ParseScript(script, &steps, &problem, &line)) {
      // A file's step is found by its line; a script on the command line by its number.
      return Fail(fromFile ? answers.substr(1) + ":" + std::to_string(line) + ": " + problem
                           : "answers: " + problem);
    }
    if (unattended) {
      deployment.answers = std::move(steps);
      deployment.haveAnswers = true;
    } else {
      source = std::make_unique<ScriptAnswers>(std::move(steps));
    }
  }
  if (unattended) {
    std::string problem;
    if (!CheckDeploymentOptions(deployment, &problem)) return Usage(problem);
    source = std::make_unique<OptionAnswers>(deployment);
  } else if (!haveAnswers && isatty(STDIN_FILENO)) {
    source = std::make_unique<TerminalAnswers>(stdin, stdout);
  }

  if (iniGiven && !noIni) {
    std::string probe, problem;
    if (!files::ReadInput(iniPath, kMaxTextFileBytes, &probe, &problem)) return Fail(problem);
  }

  SimPlatform platform(machine, source.get(), quiet ? nullptr : stdout, WizardDialogs());
  for (const Fault& f : faults) platform.AddFault(f);
  if (!noIni) {
    const std::string& module = machine.config.moduleFileName;
    size_t slash = module.find_last_of('\\');
    std::string folder = slash == std::string::npos ? std::string() : module.substr(0, slash + 1);
    platform.MapFile(folder + "Chanwiz.ini", iniPath);
  }

  if (unattended)
    return RunUnattended(platform, machine, before, deployment, wizardArgs, &outputs);

  WizardApp app(platform, wizardArgs);
  app.Run();

  int exitCode = 0;
  if (platform.halt()) {
    std::fprintf(stderr, "chanwiz-sim: %s\n", platform.halt()->message.c_str());
    exitCode = platform.halt()->exitCode;
  }
  const RegistryTree& after = platform.FinalRegistry();
  const std::string report =
      outputs.Has("--report")
          ? WriteReport(FactsOf(app), before, after, platform.transcript())
          : std::string();
  return WriteOutputs(&outputs, machine, before, after, after, report,
                      platform.transcript().Text(), platform.halt(), exitCode);
}
