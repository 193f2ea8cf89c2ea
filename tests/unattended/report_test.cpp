// The run report: what it says about each kind of run, line by line.
#include "unattended/report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win_constants.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

// Whether `line` is a whole line of `text`.
bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text + "\n").find("\n" + line + "\n") != std::string::npos;
}

// The lines that must each be a whole line of the report, and those that may not.
struct ReportCase { const char *sample, *script; std::vector<std::string> lines, absent; };

const char kSaaKey[] = "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001";

const ReportCase kReportCases[] = {
    {"saa7134-xp-italy.reg",
     "click 1016; click 1; click 1023; click 1",
     {"  PCI\\VEN_1131&DEV_7134&SUBSYS_01381131&REV_01  driver \"" + std::string(kSaaKey) + "\"",
      "  ROOT\\LEGACY_BEEP  driver (none)",
      "  supported devices: 1",
      "  device flags: 0x00000004",
      "  family: SAA713X",
      "  capture driver key: \"" + std::string(kSaaKey) + "\"",
      "  tuner driver key: \"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0002\"",
      "  by: country page",
      "  TV system: 2 PAL BG",
      "  country code: 39",
      "  HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia  (key created)",
      "  HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia\\Common  \"UpdateChanwiz\"  REG_DWORD  "
      "0x00000001 (1)  (created)",
      "  HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\" + std::string(kSaaKey) +
          "  \"CountryCode\"  REG_SZ  \"1\" -> \"39\"",
      "  HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-"
      "08002be10318}\\0002  \"TunerType\"  REG_SZ  \"FM1236\" -> \"FQ1216TN\"",
      "Message boxes",
      "  (none)"},
     {"  (no choice made)"}},
    {"usb2821-xp-china.reg",
     "click 1015; click 1",
     {"  family: USB EM28xx",
      "  device flags: 0x00010000",
      "  tuner driver key: (none)",
      "  by: TV system page",
      "  TV system: 0 NTSC",
      "  [QL750 Chanwiz Wizard]",
      "    Please Re-Plugin the QL750 Device on your computer.",
      "    Otherwise, the QL750 Device maybe can't work well."},
     {"  country code: 86", "  (none)"}},
    {"nodevice-xp.reg",
     "",
     {"  supported devices: 0",
      "  family: none",
      "  capture driver key: (none)",
      "  (no choice made)",
      "Registry changes",
      "  (none)",
      "    Sorry, we can't find any QL750 Device on your computer."},
     {"  by: TV system page", "  by: country page"}},
};

TEST(RunReport, SaysWhatEachRunDid) {
  for (const ReportCase& c : kReportCases) {
    SCOPED_TRACE(c.sample);
    SimRun run(MachineFromSample(c.sample), c.script);
    run.Run();
    EXPECT_FALSE(run.platform->halt());
    const std::string report = sim::WriteReport(sim::FactsOf(*run.app), run.before,
                                                run.platform->FinalRegistry(), run.platform->transcript());
    for (const std::string& want : c.lines) EXPECT_TRUE(HasLine(report, want)) << want << "\nin:\n" << report;
    for (const std::string& unwanted : c.absent) EXPECT_FALSE(HasLine(report, unwanted)) << report;
  }
}

TEST(RunReport, ValueTexts) {
  struct Row { DWORD type; std::vector<BYTE> data; const char* want; };
  const Row rows[] = {
      {REG_DWORD, sim::DwordData(12), "0x0000000c (12)"},
      {REG_SZ, sim::StringData("FM1236"), "\"FM1236\""},
      {REG_EXPAND_SZ, sim::StringData("%SystemRoot%"), "\"%SystemRoot%\""},
      {REG_MULTI_SZ, sim::MultiStringData({"A", "B"}), "\"A\" \"B\""},
      {REG_MULTI_SZ, sim::MultiStringData({}), "(empty)"},
      {REG_BINARY, {0x01, 0xab}, "hex:01,ab"},
      {REG_BINARY, {}, "(no data)"},
      {REG_DWORD, {1, 2}, "hex:01,02"},  // a dword of the wrong size shows its bytes
  };
  for (const Row& r : rows) EXPECT_EQ(sim::ReportValueText(r.type, r.data), r.want) << r.want;
}

TEST(RunReport, ChangedDeletedAndRetypedValues) {
  const sim::RegistryTree before = MachineFromText(RegText(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\V]\r\n" + Dword("Kept", 1) + Sz("Gone", "old") + Sz("Retyped", "5") +
      "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\Old]\r\n")).registry;
  sim::RegistryTree after = before;
  sim::RegKey* a = after.Find(sim::RegRoot::LocalMachine, "SOFTWARE\\V");
  a->DeleteValue("Gone");
  a->SetValue("Retyped", REG_DWORD, sim::DwordData(5));
  after.Delete(sim::RegRoot::LocalMachine, "SOFTWARE\\V\\Old");
  const std::string report = sim::WriteReport({}, before, after, sim::Transcript());
  for (const char* w : {
           "  HKEY_LOCAL_MACHINE\\SOFTWARE\\V  \"Retyped\"  REG_SZ -> REG_DWORD  \"5\" -> 0x00000005 (5)",
           "  HKEY_LOCAL_MACHINE\\SOFTWARE\\V  \"Gone\"  REG_SZ  \"old\"  (deleted)",
           "  HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\Old  (key deleted)"})
    EXPECT_TRUE(HasLine(report, w)) << w << "\nin:\n" << report;
  EXPECT_EQ(report.find("\"Kept\""), std::string::npos) << report;
}

}  // namespace
}  // namespace cw::test
