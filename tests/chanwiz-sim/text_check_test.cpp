// The text-file check: what it finds in each kind of Chanwiz.ini, and that
// what it predicts is what the wizard then shows.
#include "chanwiz-sim/text_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/text_keys.h"
#include "platform/sim/profile.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

// Every key, each with a short text, for a section with nothing missing.
std::string FullSection(const std::string& name, const std::string& title) {
  std::string out = "[" + name + "]\r\nAppTitleName=" + title + "\r\n";
  for (size_t i = 0; i < kTextKeyCount; ++i)
    out += std::string(kTextKeys[i].key) + "=t" + std::to_string(i) + "\r\n";
  return out;
}

std::string All(const sim::TextCheck& c) {
  std::string out;
  for (const std::string& l : c.lines) out += l + "\n";
  return out;
}

TEST(TextCheck, FindingsPerFile) {
  const int keys = static_cast<int>(kTextKeyCount);
  const struct {
    const char* name;
    std::string ini;
    int exitCode, cut, unknown, missing, unused;
    std::vector<std::string> lines;
  } cases[] = {
      // "Мастер" in 1251, its section's code page, and as UTF-8.
      {"complete, Russian in 1251", FullSection("1", "T") + FullSection("7", "\xcc\xe0\xf1\xf2\xe5\xf0"),
       0, 0, 0, 0, 0, {"[1] ok", "[7] ok", "0 cut, 0 unknown, 0 missing, 0 sections not used"}},
      {"Russian saved as UTF-8", FullSection("1", "T") + FullSection("7", "\u041c\u0430\u0441\u0442\u0435\u0440"),
       1, 0, 0, 0, 0, {"  AppTitleName: saved as UTF-8, not in code page 1251"}},
      {"Polish with a byte 1250 lacks", FullSection("1", "T") + FullSection("48", "Kreator\x81"), 1,
       0, 0, 0, 0, {"  AppTitleName: byte 0x81 is no character of code page 1250"}},
      // A missing key takes the built-in default, not section 1's.
      {"missing keys", "[1]\r\nOKText=Go\r\n[39]\r\nAppTitleName=Titolo\r\n", 0, 0, 0, 2 * keys, 0,
       {"[39]", "  missing OKText: the default shows \"OK\"",
        "  missing AppTitleName: the default shows \"QL750 Chanwiz Wizard\""}},
      {"unknown keys, also in a section not used for want of a title; key case does not matter",
       FullSection("1", "T") + "[7]\r\nOKTexte=Suivant\r\nokTEXT=x\r\n", 1, 0, 1, 0, 1,
       {"  unknown key \"OKTexte\"",
        "  not used: AppTitleName is missing or empty, so section [1] is used instead"}},
      // Quotes and blanks are taken off as the wizard reads it; then 15 bytes fit.
      {"capacity less one fits", "[1]\r\nAppTitleName = \"T\" \r\nOKText=\"0123456789abcde\"\r\n", 0, 0,
       0, keys - 1, 0, {}},
      {"one byte more is cut", FullSection("1", "T") + "[86]\r\nAppTitleName=Long\r\nOKText=0123456789abcdef\r\n",
       1, 1, 0, keys - 1, 0, {"  cut OKText to 15 bytes: \"0123456789abcde\""}},
      {"a cut Russian text shows in 1251",
       FullSection("1", "T") + "[7]\r\nAppTitleName=\xcc\r\nOKText=" + std::string(16, '\xcf') + "\r\n",
       1, 1, 0, keys - 1, 0,
       {"  cut OKText to 15 bytes: \"\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\""}},
      {"a repeated section is not read", FullSection("1", "T") + "[1]\r\nBogus=1\r\n", 0, 0, 0, 0, 0,
       {"[1] appears again: only its first occurrence is read"}},
      {"no section 1", FullSection("39", "Titolo"), 0, 0, 0, 0, 0,
       {"no section [1]: where no section is used, the built-in English texts show"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const sim::TextCheck check = sim::CheckTexts(c.ini);
    EXPECT_EQ(std::vector<int>({check.ExitCode(), check.cut, check.unknown, check.missing, check.unusedSections}),
              std::vector<int>({c.exitCode, c.cut, c.unknown, c.missing, c.unused})) << All(check);
    for (const std::string& line : c.lines)
      EXPECT_NE(std::find(check.lines.begin(), check.lines.end(), line), check.lines.end()) << line << "\n" << All(check);
  }
}

// The shipped Chanwiz.ini: every section complete and in its code page,
// section "1" the built-in English, each section chosen by its country.
TEST(TextCheck, ShippedTexts) {
  const std::string file = SourcePath("resources/Chanwiz.ini");
  const sim::TextCheck check = sim::CheckTexts(sim::ProfileTextFromBytes(SourceBytes("resources/Chanwiz.ini")));
  // Its exit code is the command line's test ("shipped texts pass").
  EXPECT_EQ(std::make_pair(check.missing, check.unusedSections), std::make_pair(0, 0)) << All(check);
  EXPECT_EQ(check.lines.size(), 10u) << "nine sections and the summary\n" << All(check);

  const std::pair<const char*, const char*> cancel[] = {
      {"1", "Cancel"}, {"39", "Annulla"}, {"49", "Abbrechen"},
      {"7", "\xce\xf2\xec\xe5\xed\xe0"},  // "Отмена" in 1251
      {"81", "Cancel"}};
  for (const auto& [country, text] : cancel) {
    SCOPED_TRACE(country);
    SimRun run(MachineFromText(MachineText("5.1", std::string("\"") + country + "\"")));
    run.LoadTexts(file);
    EXPECT_STREQ(run.state.CANCELText, text);
    if (std::string(text) != "Cancel") continue;
    EXPECT_STREQ(run.state.AppTitleName, "QL750 Chanwiz Wizard");
    for (size_t i = 0; i < kTextKeyCount; ++i)
      EXPECT_STREQ(kTextKeys[i].field(run.state), kTextKeys[i].defaultText) << kTextKeys[i].key;
  }
}

}  // namespace
}  // namespace cw::test
