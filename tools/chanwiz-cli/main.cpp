// chanwiz-cli.exe: the wizard for unattended deployment on many PCs.
//
// The same wizard as Chanwiz.exe, on the same real Windows calls, except
// that no window opens: its pages are answered from the options, and its
// message boxes go to standard error (and the transcript). A deployment tool
// reads the exit code: 0 settings written, 1 nothing to configure or a write
// failed, 2 unusable options, 3 the answers did not cover a question.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "app/dialog_templates.h"
#include "app/wizard_app.h"
#include "chanwiz_version.h"
#include "common/files.h"
#include "common/run_files.h"
#include "scripting/page_host.h"
#include "unattended/report.h"
#include "platform/win32/win32_platform.h"
#include "unattended/deployment.h"
#include "unattended/headless_platform.h"
#include "unattended/recording_platform.h"

namespace {

using namespace cw;

const char kHelp[] =
    "usage: chanwiz-cli (--standard NAME | --country TEXT | --country-code N)\n"
    "                   [--nicam yes|no] [--restart] [--dry-run] [--answers SCRIPT|@FILE]\n"
    "                   [--changes FILE] [--undo FILE] [--report FILE] [--transcript FILE]\n"
    "       chanwiz-cli --version\n"
    "\n"
    "Sets up the TV tuner board of this PC as the Chanwiz wizard does, without a window:\n"
    "finds the board, writes its drivers' settings for the TV system or country given,\n"
    "and marks the wizard as run. Run it as an administrator (or as SYSTEM).\n"
    "\n"
    "The choice (one of):\n"
    "  --standard NAME     a TV system as the wizard lists it: \"NTSC\", \"NTSC J\", \"PAL BG\",\n"
    "                      \"PAL DK\", \"PAL DK (NICAM I)\", \"PAL I\", \"PAL M\", \"PAL N\", ...\n"
    "  --country TEXT      a country as the wizard lists it, e.g. \"Italy (PAL-B/G)\"\n"
    "  --country-code N    the country the wizard preselects for the telephone code N\n"
    "                      that Windows' country setting uses, e.g. 39 for Italy\n"
    "Answers:\n"
    "  --nicam yes|no      the wizard's question for China (86): NICAM I sound or not\n"
    "  --restart           restart Windows at the end (never forced; default: no restart)\n"
    "  --answers SCRIPT    answers to anything else, in the script language of chanwiz-sim:\n"
    "                      \"click ID | enter | esc | close | select ID N | yes | no | ok\"\n"
    "Records:\n"
    "  --dry-run           change nothing; print the changes it would make as .reg text\n"
    "  --changes FILE      the changes made, as a .reg file regedit can import\n"
    "  --undo FILE         a .reg file that puts every changed value back (regedit /s FILE)\n"
    "  --report FILE       a plain-text report: devices, choice, old and new values, messages\n"
    "  --transcript FILE   every page and message, one JSON object per line\n"
    "  Each file is checked before the run and written whole or not at all; after a run\n"
    "  that stopped (exit 3) each is marked INCOMPLETE at its top.\n"
    "\n"
    "Messages the wizard would show go to standard error.\n"
    "Exit codes: 0 settings written (dry run: would be written)\n"
    "            1 nothing to configure (no board, or two), or a write failed\n"
    "            2 unusable options, or an output file that cannot be written\n"
    "            3 the options did not answer a question (e.g. --nicam for China)\n"
    "\n"
    "Examples:\n"
    "  Try it first:      chanwiz-cli --country-code 39 --dry-run\n"
    "  Group Policy:      a computer startup script (Computer Configuration > Policies >\n"
    "                     Windows Settings > Scripts > Startup), setup-tuner.cmd:\n"
    "                       \"%~dp0chanwiz-cli.exe\" --country \"Italy (PAL-B/G)\" ^\n"
    "                         --undo \"%SystemRoot%\\Temp\\chanwiz-undo.reg\"\n"
    "                       exit /b %errorlevel%\n"
    "  Intune:            a Win32 app (.intunewin of chanwiz-cli.exe and Chanwiz.ini),\n"
    "                     install command:\n"
    "                       chanwiz-cli.exe --standard \"PAL BG\" --report %TEMP%\\chanwiz.txt\n"
    "                     return codes: 0 success, 1 and 2 failed, 3 failed\n"
    "                     detection: registry HKLM\\SOFTWARE\\Morvex Multimedia\\Common,\n"
    "                     value UpdateChanwiz exists; a 32-bit program's key, so on\n"
    "                     64-bit Windows mark the rule as one for a 32-bit app\n"
    "  Configuration Manager:  an application's deployment type (script installer),\n"
    "                     installation program:\n"
    "                       chanwiz-cli.exe --country-code 49 --restart\n"
    "                     (or --restart left out and the restart left to the client's\n"
    "                     settings); the same detection as for Intune\n"
    "  Roll back:         regedit /s chanwiz-undo.reg\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "chanwiz-cli: %s\n(chanwiz-cli --help lists the options)\n",
               problem.c_str());
  return kExitBadOptions;
}

int Run(const std::vector<std::string>& args) {
  DeploymentOptions options;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h" || args[i] == "/?") {
      std::fputs(kHelp, stdout);
      return kExitWritten;
    }
    if (args[i] == "--version") {
      std::fputs("chanwiz-cli " CHANWIZ_VERSION "\n", stdout);
      return kExitWritten;
    }
    std::string problem;
    switch (ParseDeploymentOption(args, &i, &options, &problem)) {
      case OptionParse::Taken:
        break;
      case OptionParse::Bad:
        return Usage(problem);
      case OptionParse::NotMine:
        return Usage("unknown option " + args[i]);
    }
  }
  std::string problem;
  if (!CheckDeploymentOptions(options, &problem)) return Usage(problem);

  // Every output is known to be writable before the registry is touched.
  files::Outputs outputs;
  const std::pair<const char*, const std::string*> named[] = {
      {"--changes", &options.changesPath}, {"--undo", &options.undoPath},
      {"--report", &options.reportPath}, {"--transcript", &options.transcriptPath}};
  for (const auto& [option, path] : named)
    if (!outputs.Add(option, *path, &problem)) return Usage(problem);
  if (!outputs.Check(&problem)) {
    std::fprintf(stderr, "chanwiz-cli: %s\n", problem.c_str());
    return kExitBadOptions;
  }

  OptionAnswers answers(options);
  win32::Win32Platform windows;
  sim::PageHost pages(
      WizardDialogs(), &answers, nullptr,
      sim::PageHost::Hooks{[&windows](DWORD error) { windows.SetLastError(error); }, nullptr,
                           nullptr,
                           [](const std::string& text, const std::string& caption, UINT style,
                              int answer) {
                             std::fprintf(stderr, "chanwiz-cli: %s\n",
                                          DescribeMessageBox(text, caption, style, answer).c_str());
                           }});
  HeadlessPlatform headless(windows, pages);
  RecordingPlatform recorder(headless, options.dryRun ? RecordingPlatform::Mode::DryRun
                                                      : RecordingPlatform::Mode::Apply);
  recorder.SetStopped([&pages] { return pages.halt().has_value(); });

  WizardApp app(recorder, {});
  app.Run();
  const UnattendedOutcome outcome = DecideOutcome(app, recorder, pages.halt());

  if (options.dryRun) {
    std::fputs(sim::WriteRegChanges(recorder.before(), recorder.after(), sim::RegFileFormat::Utf8v5)
                   .c_str(),
               stdout);
    std::fflush(stdout);
    for (const std::string& note : recorder.notes())
      std::fprintf(stderr, "chanwiz-cli: dry run: %s\n", note.c_str());
  }
  for (const auto& value : recorder.unknownOldValues())
    std::fprintf(stderr,
                 "chanwiz-cli: the old data of %s \"%s\" could not be read exactly (%s); the "
                 "undo file leaves it as it is\n",
                 value.key.c_str(), value.value.c_str(), value.why.c_str());
  std::fprintf(stderr, "chanwiz-cli: %s\n", outcome.message.c_str());

  // regedit's own format: version 5.00 in UTF-16LE.
  files::RunRecord run;
  run.from = &recorder.before();
  run.to = &recorder.after();
  run.importFormat = sim::RegFileFormat::Unicode5;
  run.unread = recorder.unknownOldValues();
  if (outputs.Has("--report"))
    run.report = sim::WriteReport(ReportFactsOf(app, recorder), recorder.before(),
                                  recorder.after(), pages.transcript());
  run.transcript = pages.transcript().Text();
  run.halt = pages.halt();
  if (!files::WriteRunFiles(&outputs, run, &problem)) {
    std::fprintf(stderr, "chanwiz-cli: %s; no output file was written\n", problem.c_str());
    return kExitBadOptions;
  }
  return outcome.exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  // The .reg text printed by --dry-run has Windows line ends of its own.
  _setmode(_fileno(stdout), _O_BINARY);
  try {
    return Run(std::vector<std::string>(argv, argv + argc));
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "chanwiz-cli: out of memory\n");
    return kExitNotWritten;
  }
}
