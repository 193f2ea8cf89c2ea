// The localized texts: the section chosen by the Windows country, the
// fallback to section "1", the defaults, and the cut at capacity.
#include <gtest/gtest.h>

#include "support/sim_harness.h"
#include "app/text_keys.h"
#include "system/windows_settings.h"

namespace cw::test {
namespace {

const char kModuleDir[] = "C:\\Program Files\\Morvex\\Chanwiz\\";

std::string XpMachine(const std::string& iCountryValue, const std::string& extra = "") {
  std::string body =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
      "\"CurrentVersion\"=\"5.1\"\r\n\r\n";
  if (!iCountryValue.empty())
    body += "[HKEY_CURRENT_USER\\Control Panel\\International]\r\n\"iCountry\"=" + iCountryValue +
            "\r\n\r\n";
  return RegText(body + extra);
}

struct Loaded {
  std::unique_ptr<SimRun> run;
  WizardState& app() { return run->state; }
};

Loaded Load(const std::string& machine, const std::string* ini,
            const std::string& iniName = "Chanwiz.ini") {
  Loaded l;
  l.run = std::make_unique<SimRun>(MachineFromText(machine));
  if (ini) l.run->platform->MapFile(std::string(kModuleDir) + iniName, WriteTempFile(*ini));
  l.run->state.IsNtFamily = IsNtFamilyOs(*l.run->platform);
  LoadTexts(*l.run->platform, l.run->state);
  return l;
}

const std::string kIni =
    "[1]\r\nAppTitleName=English title\r\nOKText=OK\r\nCountryText=Country!\r\n"
    "[39]\r\nappTITLEname=Titolo\r\nOKText=Avanti\r\n"
    "[49]\r\nOKText=Weiter\r\n"
    "[44]\r\nAppTitleName=\r\n"
    "[86]\r\nAppTitleName=Long\r\nOKText=0123456789abcdefXYZ\r\nCANCELText=exactly15chars!\r\n";

TEST(Texts, SectionOfTheWindowsCountry) {
  Loaded l = Load(XpMachine("\"39\""), &kIni);
  EXPECT_STREQ(l.app().TextSection, "39");
  EXPECT_STREQ(l.app().AppTitleName, "Titolo");
  EXPECT_STREQ(l.app().OKText, "Avanti");
  // A key missing from the chosen section takes its default, not section 1's.
  EXPECT_STREQ(l.app().CountryText, "Country");
  EXPECT_STREQ(l.app().NoDeviceMsg2, "Please check your hardware.");
}

TEST(Texts, FallbackToSectionOneIsDecidedByTheTitleAlone) {
  for (const char* country : {"\"49\"", "\"44\"", "\"7\""}) {
    SCOPED_TRACE(country);
    Loaded l = Load(XpMachine(country), &kIni);
    EXPECT_STREQ(l.app().TextSection, "1");
    EXPECT_STREQ(l.app().AppTitleName, "English title");
    EXPECT_STREQ(l.app().CountryText, "Country!");
  }
}

TEST(Texts, NoFileGivesEveryDefault) {
  Loaded l = Load(XpMachine("\"39\""), nullptr);
  EXPECT_STREQ(l.app().TextSection, "1");
  EXPECT_STREQ(l.app().AppTitleName, "QL750 Chanwiz Wizard");
  EXPECT_STREQ(l.app().RebootNoText, "No, I will restart  my computer later.");
  EXPECT_STREQ(l.app().OKText, "OK");
  EXPECT_STREQ(l.app().CANCELText, "Cancel");
  EXPECT_STREQ(l.app().USBUpdateRegFail2, "Please reboot your PC and then re-install QL750 WDM Driver.");
}

TEST(Texts, LongValuesAreCutAtCapacityLessOne) {
  Loaded l = Load(XpMachine("\"86\""), &kIni);
  EXPECT_STREQ(l.app().OKText, "0123456789abcde");
  EXPECT_STREQ(l.app().CANCELText, "exactly15chars!");
  std::string longTip(400, 't');
  std::string ini = "[1]\r\nAppTitleName=T\r\nChanwizTextTip=" + longTip + "\r\n";
  Loaded l2 = Load(XpMachine("\"1\""), &ini);
  EXPECT_EQ(std::string(l2.app().ChanwizTextTip), std::string(255, 't'));
}

TEST(Texts, TheFileIsFoundBesideARenamedProgram) {
  const std::string machine = XpMachine(
      "\"39\"",
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation]\r\n"
      "\"ModuleFileName\"=\"C:\\\\Program Files\\\\Morvex\\\\Chanwiz\\\\Chanwiz (1).exe\"\r\n\r\n");
  Loaded l = Load(machine, &kIni);
  EXPECT_STREQ(l.app().AppTitleName, "Titolo");
}

TEST(Texts, AProgramPathThatDoesNotFitLeavesTheDefaults) {
  const std::string machine = XpMachine(
      "\"39\"", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation]\r\n"
                "\"ModuleFileName\"=\"C:\\\\" + std::string(130, 'd') + "\\\\Chanwiz.exe\"\r\n\r\n");
  SimRun run(MachineFromText(machine));
  run.platform->MapFile("C:\\" + std::string(130, 'd') + "\\Chanwiz.ini", WriteTempFile(kIni));
  run.state.IsNtFamily = 1;
  LoadTexts(*run.platform, run.state);
  EXPECT_STREQ(run.state.AppTitleName, "QL750 Chanwiz Wizard");
  EXPECT_STREQ(run.state.TextSection, "1");
}

TEST(Texts, WindowsCountryCodeIsTheLeadingDigitsOfICountry) {
  struct Case {
    const char* value;  // as written in the .reg file; "" = no value
    int32_t code;
  };
  const Case cases[] = {
      {"\"39\"", 39},   {"\"1\"", 1},     {"\"886\"", 886},   {"\"123456\"", 12345},
      {"\"44abc\"", 44}, {"\"abc\"", 1},  {"\"\"", 1},        {"", 1},
      {"dword:00000027", 1},  // not text: no digit where the text would be
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    SimRun run(MachineFromText(XpMachine(c.value)));
    run.state.IsNtFamily = 1;
    EXPECT_EQ(GetWindowsCountryCode(*run.platform, run.state.IsNtFamily), c.code);
  }
}

TEST(Texts, Windows9xReadsTheCountryFromWinIni) {
  const std::string version =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"
      "\"VersionNumber\"=\"4.10.2222\"\r\n\r\n";
  SimRun with(MachineFromText(RegText(version +
                                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation\\win.ini\\intl]\r\n"
                                      "\"iCountry\"=\"49\"\r\n\r\n")));
  with.state.IsNtFamily = 0;
  EXPECT_EQ(GetWindowsCountryCode(*with.platform, with.state.IsNtFamily), 49);
  SimRun without(MachineFromText(RegText(version)));
  without.state.IsNtFamily = 0;
  EXPECT_EQ(GetWindowsCountryCode(*without.platform, without.state.IsNtFamily), 1);
}

// NT 4 takes the 9x road for the country (GetProfileIntA), but on the NT
// family win.ini's [intl] is the user's International key.
TEST(Texts, NtFamilyProfileCountryIsTheUsersInternationalKey) {
  SimRun nt4(MachineFromSample("saa7134-nt4.reg"));
  nt4.state.IsNtFamily = 0;
  EXPECT_EQ(GetWindowsCountryCode(*nt4.platform, nt4.state.IsNtFamily), 39);
  // A win.ini [intl] of the simulation's is not what NT reads.
  SimRun xp(MachineFromText(RegText(
      "[HKEY_CURRENT_USER\\Control Panel\\International]\r\n\"iCountry\"=\"44\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation\\win.ini\\intl]\r\n"
      "\"iCountry\"=\"49\"\r\n\r\n")));
  xp.state.IsNtFamily = 0;
  EXPECT_EQ(GetWindowsCountryCode(*xp.platform, xp.state.IsNtFamily), 44);
}

}  // namespace
}  // namespace cw::test
