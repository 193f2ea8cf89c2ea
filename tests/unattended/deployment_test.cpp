// The options of an unattended run: what they accept, what they refuse and
// how they say so, and the outcome a deployment tool reads.
#include "unattended/deployment.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/win_constants.h"
#include "support/sim_harness.h"
#include "support/unattended_run.h"

namespace cw::test {
namespace {

struct Parsed { OptionParse result; DeploymentOptions options; std::string problem; };

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "chanwiz-cli");
  Parsed out{OptionParse::Taken, {}, ""};
  for (size_t i = 1; i < args.size() && out.result == OptionParse::Taken; ++i)
    out.result = ParseDeploymentOption(args, &i, &out.options, &out.problem);
  return out;
}

TEST(DeploymentOptions, NameTheRowTheirPageWouldChoose) {
  struct Case { std::vector<std::string> args; int standardRow, letter, row; const char* choice; } cases[] = {
      {{"--standard", "PAL DK (NICAM I)"}, 11, -1, -1, "PAL DK (NICAM I)"},
      {{"--standard", "  pal bg \r"}, 2, -1, -1, "PAL BG"},
      {{"--standard", "PAL/SECAM"}, 10, -1, -1, "PAL/SECAM"},
      {{"--country", "Italy (PAL-B/G)"}, -1, 8, 11, "Italy (PAL-B/G)"},
      {{"--country", "U.S.A. (HRC) (NTSC-M)"}, -1, 20, 1, "U.S.A. (HRC) (NTSC-M)"},
      {{"--country-code", "39"}, -1, 8, 11, "Italy (PAL-B/G)"},
      {{"--country-code", "1"}, -1, 20, 0, "U.S.A. (NTSC-M)"},
      {{"--country-code", "86"}, -1, 2, 6, "China (PAL-D/K)"},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(c.args);
    ASSERT_EQ(p.result, OptionParse::Taken) << c.args[1] << ": " << p.problem;
    EXPECT_EQ(std::make_tuple(p.options.standardRow, p.options.countryLetter, p.options.countryRow, p.options.choice),
              std::make_tuple(c.standardRow, c.letter, c.row, std::string(c.choice)));
  }
}

TEST(DeploymentOptions, RefuseWhatCannotBeUsedAndSayWhy) {
  struct Case { std::vector<std::string> args; const char* says; } cases[] = {
      {{"--standard", "PAL Z"}, "lists \"NTSC\", \"NTSC J\""},
      {{"--standard"}, "--standard needs a value"},
      {{"--country", "Italia"}, "e.g. \"Italy (PAL-B/G)\""},
      {{"--country", "korea"}, "did you mean \"Korea"},
      {{"--country-code", "999"}, "no country on the country page has this code"},
      {{"--country-code", "39x"}, "no country on the country page has this code"},
      {{"--country-code", "-1"}, "no country on the country page has this code"},
      {{"--country-code", "99999999999999999999"}, "no country"},
      {{"--country-code", "39", "--standard", "NTSC"}, "give one of --standard"},
      {{"--nicam", "maybe"}, "--nicam takes yes or no"},
      {{"--answers", "click"}, "--answers: step 1"},
      {{"--answers", "@/nonexistent/answers.txt"}, "cannot read the answers"},
  };
  for (const Case& c : cases) {
    Parsed p = Parse(c.args);
    EXPECT_EQ(p.result, OptionParse::Bad) << c.args[0];
    EXPECT_NE(p.problem.find(c.says), std::string::npos) << p.problem;
  }
  EXPECT_EQ(Parse({"--machine", "x.reg"}).result, OptionParse::NotMine);
  std::string problem;
  EXPECT_FALSE(CheckDeploymentOptions(Parse({"--restart", "--dry-run"}).options, &problem));
  EXPECT_NE(problem.find("give --standard, --country or --country-code"), std::string::npos);
  EXPECT_TRUE(CheckDeploymentOptions(Parse({"--answers", "click 1016"}).options, &problem));
}

// An answers file is read whole, over several reads when it is long; one of
// 1 MiB or more is the wrong file.
TEST(DeploymentOptions, AnswersFromAFile) {
  const std::string text = "esc\n# " + std::string(5000, '-') + "\nclick 1\r\nclick 1023; click 1\n";
  Parsed p = Parse({"--answers", "@" + WriteTempFile(text)});
  ASSERT_EQ(p.result, OptionParse::Taken) << p.problem;
  std::string steps;
  for (const sim::ScriptStep& step : p.options.answers) steps += step.ToString() + ";";
  EXPECT_EQ(steps, "esc;click 1;click 1023;click 1;");
  for (size_t size : {(size_t{1} << 20) - 1, size_t{1} << 20}) {
    Parsed big = Parse({"--answers", "@" + WriteTempFile(std::string(size, '#'))});
    EXPECT_EQ(big.result, size < (size_t{1} << 20) ? OptionParse::Taken : OptionParse::Bad) << size;
    EXPECT_EQ(big.problem.find("the file is too large") != std::string::npos, big.result == OptionParse::Bad);
  }
}

TEST(UnattendedOutcome, DriverKeysWithoutTheValuesAreNotASuccess) {
  // The SAA7134 sample with the tuner's and the capture device's values gone:
  // update-if-present finds nothing to update.
  sim::Machine m = MachineFromSample("saa7134-xp-italy.reg");
  const std::string cls = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\";
  for (const std::string& key : {cls + "0001", cls + "0001\\Audio", cls + "0002"}) {
    sim::RegKey* k = m.registry.Find(sim::RegRoot::LocalMachine, key);
    ASSERT_NE(k, nullptr) << key;
    while (!k->values().empty()) k->DeleteValue(std::string(k->values().front().name));
  }
  UnattendedSimRun run(std::move(m), {"--country-code", "39"});
  EXPECT_EQ(run.outcome.exitCode, kExitNotWritten);
  EXPECT_NE(run.outcome.message.find("hold none of the values"), std::string::npos) << run.outcome.message;
}

TEST(UnattendedOutcome, FromEachRoadOfTheRun) {
  struct Case { const char* sample; std::vector<std::string> args; int exitCode; const char* says; } cases[] = {
      {"saa7134-xp-italy.reg", {"--country-code", "39"}, kExitWritten, "settings written: 5 driver values"},
      {"saa7134-xp-italy.reg", {"--country-code", "39", "--dry-run"}, kExitWritten, "nothing was changed"},
      {"usb2800-98-usa.reg", {"--standard", "NTSC"}, kExitWritten, "for the USB EM28xx device"},
      {"nodevice-xp.reg", {"--standard", "NTSC"}, kExitNotWritten, "nothing to configure"},
      {"saa7133-and-usb-xp.reg", {"--standard", "NTSC"}, kExitNotWritten, "2 supported TV tuner devices"},
      {"saa7134-xp-italy.reg", {"--answers", "click 1016; click 2"}, kExitNotWritten, "before a TV system or country was chosen"},
      {"saa7134-xp-italy.reg", {"--country-code", "86"}, kExitAnswersShort, "give --nicam yes or --nicam no"},
      {"saa7134-xp-italy.reg", {"--country-code", "86", "--nicam", "no"}, kExitWritten, "settings written"},
      {"saa7134-xp-italy.reg", {"--answers", "click 1016; select 1021 40"}, kExitBadOptions, "row 40 does not exist"},
      {"saa7134-xp-italy-locked.reg", {"--country-code", "39"}, kExitNotWritten, "a write failed: RegCreateKeyExA"},
  };
  for (const Case& c : cases) {
    UnattendedSimRun run(c.sample, c.args);
    SCOPED_TRACE(std::string(c.sample) + " " + c.args[0] + ": " + run.outcome.message);
    EXPECT_EQ(run.outcome.exitCode, c.exitCode);
    EXPECT_NE(run.outcome.message.find(c.says), std::string::npos);
  }
}

TEST(OptionAnswers, AnswerEachPageOnceAndLeaveTheRestToTheScript) {
  DeploymentOptions options;
  options.standardRow = 4;
  options.restart = true;
  std::string problem;
  ASSERT_TRUE(sim::ParseScript("ok", &options.answers, &problem));
  OptionAnswers answers(options);
  auto next = [&answers] {
    sim::ScriptStep step;
    return answers.Peek(&step) ? step.ToString() : "(none)";
  };
  answers.PageWaits(102);
  EXPECT_EQ(next(), "click 1015");
  answers.Take();
  // Past its own steps the page hears from the script; met again, it gets
  // nothing more from the options.
  EXPECT_EQ(next(), "ok");
  answers.PageWaits(102);
  EXPECT_EQ(next(), "ok");
  answers.PageWaits(131);
  EXPECT_EQ(next(), "click 1022");
  // A box in the middle of a page is not answered with the page's steps.
  answers.MessageBoxWaits("Can't run ExitWindowsEx.", MB_OK);
  EXPECT_EQ(next(), "ok");
  answers.MessageBoxAnswered();
  EXPECT_EQ(next(), "click 1022");
}

}  // namespace
}  // namespace cw::test
