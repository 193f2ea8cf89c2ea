// The localized texts: the section chosen by the Windows country, the
// fallback to section "1", and the defaults.
#include <gtest/gtest.h>

#include <cstring>

#include <array>

#include "app/text_keys.h"
#include "support/sim_harness.h"
#include "system/windows_settings.h"

namespace cw::test {
namespace {

const std::string kIni =
    "[1]\r\nAppTitleName=English title\r\nOKText=OK\r\nCountryText=Country!\r\n"
    "[39]\r\nappTITLEname=Titolo\r\nOKText=Avanti\r\n"
    "[49]\r\nOKText=Weiter\r\n"
    "[44]\r\nAppTitleName=\r\n";

// Section "1" when the country's has no title (49) or an empty one (44); a
// key missing from the chosen section takes its default, not section 1's.
TEST(Texts, SectionOfTheWindowsCountryElseSectionOne) {
  const std::array<const char*, 5> cases[] = {{"\"39\"", "39", "Titolo", "Avanti", "Country"},
                                              {"\"49\"", "1", "English title", "OK", "Country!"},
                                              {"\"44\"", "1", "English title", "OK", "Country!"}};
  for (const auto& [country, section, title, ok, countryText] : cases) {
    SCOPED_TRACE(country);
    SimRun run(MachineFromText(MachineText("5.1", country)));
    run.LoadTexts(WriteTempFile(kIni));
    EXPECT_STREQ(run.state.TextSection, section);
    EXPECT_STREQ(run.state.AppTitleName, title);
    EXPECT_STREQ(run.state.OKText, ok);
    EXPECT_STREQ(run.state.CountryText, countryText);
    EXPECT_STREQ(run.state.NoDeviceMsg2, "Please check your hardware.");
  }
}

// The file is looked for beside the program, whatever it is called; a
// program path cut by its 128-byte buffer gives no folder, even where the
// cut still ends in one.
TEST(Texts, TheFileIsTheOneBesideTheProgram) {
  const std::pair<std::string, const char*> cases[] = {
      {"C:\\Program Files\\Morvex\\Chanwiz", "Titolo"},
      {"C:\\" + std::string(115, 'd'), "QL750 Chanwiz Wizard"},
      {"C:\\" + std::string(130, 'd'), "QL750 Chanwiz Wizard"},
  };
  for (const auto& [folder, title] : cases) {
    SCOPED_TRACE(folder.size());
    SimRun run(MachineFromText(MachineText("5.1", "\"39\"", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation]\r\n" +
                                                             Sz("ModuleFileName", folder + "\\Chanwiz (1).exe"))));
    run.platform->MapFile(folder + "\\Chanwiz.ini", WriteTempFile(kIni));
    run.LoadTexts();
    EXPECT_STREQ(run.state.AppTitleName, title);
    if (folder.size() < 128) continue;
    // No folder: each default is copied up to its end and nothing beyond it.
    for (size_t i = 0; i < kTextKeyCount; ++i) {
      const char* field = kTextKeys[i].field(run.state);
      EXPECT_STREQ(field, kTextKeys[i].defaultText) << kTextKeys[i].key;
      for (size_t at = std::strlen(field); at < kTextKeys[i].capacity; ++at)
        ASSERT_EQ(field[at], '\0') << kTextKeys[i].key << " byte " << at;
    }
  }
}

TEST(Texts, WindowsCountryCode) {
  // The user's iCountry as written in the .reg file ("" none), more keys, and
  // the family the country is read for.
  struct Case { const char *version, *iCountry, *more; int32_t nt, code; };
  const char winIni49[] =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation\\win.ini\\intl]\r\n\"iCountry\"=\"49\"\r\n";
  const Case cases[] = {
      {"5.1", "\"39\"", "", 1, 39},        {"5.1", "\"123456\"", "", 1, 12345},
      {"5.1", "\"44abc\"", "", 1, 44},     {"5.1", "\"abc\"", "", 1, 1},
      {"5.1", "", "", 1, 1},
      {"5.1", "dword:00000027", "", 1, 1},  // not text: no digit where the text would be
      // Windows 9x reads win.ini's [intl].
      {"4.10.2222", "", winIni49, 0, 49},  {"4.10.2222", "", "", 0, 1},
      // NT 4 takes the 9x road (GetProfileIntA), but on the NT family
      // win.ini's [intl] is the user's International key.
      {"4.0", "\"44\"", winIni49, 0, 44},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + c.iCountry);
    SimRun run(MachineFromText(MachineText(c.version, c.iCountry, c.more)));
    EXPECT_EQ(GetWindowsCountryCode(*run.platform, c.nt), c.code);
  }
}

}  // namespace
}  // namespace cw::test
