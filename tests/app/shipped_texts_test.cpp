// The Chanwiz.ini shipped beside the program: every section complete, every
// text within its buffer, and section "1" the same as the built-in texts.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/sim/profile.h"
#include "app/text_keys.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

struct Field {
  const char* key;
  size_t capacity;
  const char* (*get)(const WizardState&);
};

#define CW_FIELD(name) \
  Field { #name, sizeof(WizardState::name), [](const WizardState& s) -> const char* { return s.name; } }

const Field kFields[] = {
    CW_FIELD(AppTitleName),      CW_FIELD(ChanwizTextTip),    CW_FIELD(TVSystemText),
    CW_FIELD(CountryText),       CW_FIELD(DialogCountryTitle), CW_FIELD(CountryAlphabetTip),
    CW_FIELD(DialogVideoTitle),  CW_FIELD(VideoFormatText),   CW_FIELD(DialogRebootTitle),
    CW_FIELD(RebootYesText),     CW_FIELD(RebootNoText),      CW_FIELD(RebootTextTip1),
    CW_FIELD(RebootTextTip2),    CW_FIELD(RebootTextTip3),    CW_FIELD(OKText),
    CW_FIELD(CANCELText),        CW_FIELD(NoDeviceMsg1),      CW_FIELD(NoDeviceMsg2),
    CW_FIELD(FoundMultiDevMsg1), CW_FIELD(FoundMultiDevMsg2), CW_FIELD(USBUpdateRegPass1),
    CW_FIELD(USBUpdateRegPass2), CW_FIELD(USBUpdateRegFail1), CW_FIELD(USBUpdateRegFail2),
};
#undef CW_FIELD

std::string ShippedIni() {
  std::ifstream in(SourcePath("resources/Chanwiz.ini"), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::unique_ptr<SimRun> LoadFor(const std::string& country, bool withIni) {
  auto run = std::make_unique<SimRun>(MachineFromText(RegText(
      "[HKEY_CURRENT_USER\\Control Panel\\International]\r\n\"iCountry\"=\"" + country + "\"\r\n")));
  if (withIni)
    run->platform->MapFile("C:\\Program Files\\Morvex\\Chanwiz\\Chanwiz.ini",
                           SourcePath("resources/Chanwiz.ini"));
  run->state.IsNtFamily = 1;
  LoadTexts(*run->platform, run->state);
  return run;
}

TEST(ShippedTexts, EverySectionHasEveryKeyWithinItsBuffer) {
  const std::string ini = ShippedIni();
  ASSERT_FALSE(ini.empty());
  for (const char* section : {"1", "39", "49", "33", "34", "31", "55", "48", "7"}) {
    for (const Field& f : kFields) {
      SCOPED_TRACE(std::string(section) + "/" + f.key);
      std::string value;
      ASSERT_TRUE(sim::ProfileLookup(ini, section, f.key, &value));
      EXPECT_FALSE(value.empty());
      EXPECT_LT(value.size(), f.capacity);
    }
  }
}

TEST(ShippedTexts, SectionOneIsTheBuiltInEnglish) {
  auto shipped = LoadFor("1", true);
  auto builtIn = LoadFor("1", false);
  for (const Field& f : kFields)
    EXPECT_STREQ(f.get(*shipped->app), f.get(*builtIn->app)) << f.key;
}

TEST(ShippedTexts, ItalianAndGermanSectionsAreChosenByTheCountry) {
  auto italian = LoadFor("39", true);
  EXPECT_STREQ(italian->state.TextSection, "39");
  EXPECT_STREQ(italian->state.CANCELText, "Annulla");
  EXPECT_STREQ(italian->state.RebootNoText, "No, riavvier\xF2 il computer pi\xF9 tardi.");
  auto german = LoadFor("49", true);
  EXPECT_STREQ(german->state.TextSection, "49");
  EXPECT_STREQ(german->state.CANCELText, "Abbrechen");
  // The bytes of the section's own code page (1251: "Отмена").
  auto russian = LoadFor("7", true);
  EXPECT_STREQ(russian->state.CANCELText, "\xce\xf2\xec\xe5\xed\xe0");
  auto japanese = LoadFor("81", true);
  EXPECT_STREQ(japanese->state.TextSection, "1");
  EXPECT_STREQ(japanese->state.CANCELText, "Cancel");
}

}  // namespace
}  // namespace cw::test
