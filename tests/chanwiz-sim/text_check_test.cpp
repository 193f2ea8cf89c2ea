// The text-file check: what it finds in each kind of Chanwiz.ini, and that
// what it predicts is what the wizard then shows.
#include "chanwiz-sim/text_check.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
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

bool HasLine(const sim::TextCheck& c, const std::string& line) {
  for (const std::string& l : c.lines)
    if (l == line) return true;
  return false;
}

std::string All(const sim::TextCheck& c) {
  std::string out;
  for (const std::string& l : c.lines) out += l + "\n";
  return out;
}

struct CheckCase {
  const char* name;
  std::string ini;
  int exitCode;
  int cut, unknown, missing, unused;
  std::vector<std::string> lines;
};

const std::vector<CheckCase>& Cases() {
  static const std::vector<CheckCase> cases = {
      {"complete", FullSection("1", "T") + FullSection("39", "Titolo"), 0, 0, 0, 0, 0,
       {"[1] ok", "[39] ok", "0 cut, 0 unknown, 0 missing, 0 sections not used"}},
      {"a missing key takes the built-in default, not section 1's",
       FullSection("1", "T") + "[39]\r\nAppTitleName=Titolo\r\n", 0, 0, 0,
       static_cast<int>(kTextKeyCount), 0,
       {"[39]", "  missing OKText: the default shows \"OK\"",
        "  missing TVSystemText: the default shows \"TV System\""}},
      {"a section without title is not used", FullSection("1", "T") + "[49]\r\nOKText=Weiter\r\n",
       0, 0, 0, 0, 1,
       {"[49]", "  not used: AppTitleName is missing or empty, so section [1] is used instead"}},
      {"section 1 without title shows the built-in title",
       "[1]\r\nOKText=OK\r\n", 0, 0, 0, static_cast<int>(kTextKeyCount), 0,
       {"  missing AppTitleName: the default shows \"QL750 Chanwiz Wizard\""}},
      {"a text one byte too long is cut to capacity less one",
       FullSection("1", "T") + "[86]\r\nAppTitleName=Long\r\nOKText=0123456789abcdef\r\n", 1, 1,
       0, static_cast<int>(kTextKeyCount) - 1, 0,
       {"  cut OKText to 15 bytes: \"0123456789abcde\""}},
      {"a text of exactly capacity less one fits",
       "[1]\r\nAppTitleName=T\r\nCANCELText=exactly15chars!\r\n", 0, 0, 0,
       static_cast<int>(kTextKeyCount) - 1, 0, {}},
      {"unknown keys, also in an unused section; key case does not matter",
       FullSection("1", "T") + "[7]\r\nOKTexte=Suivant\r\nokTEXT=x\r\n", 1, 0, 1, 0, 1,
       {"  unknown key \"OKTexte\""}},
      {"quotes and blanks are taken off as the wizard reads it",
       "[1]\r\nAppTitleName = \"T\" \r\nOKText=\"0123456789abcde\"\r\n", 0, 0, 0,
       static_cast<int>(kTextKeyCount) - 1, 0, {}},
      {"a repeated section is not read",
       FullSection("1", "T") + "[1]\r\nBogus=1\r\n", 0, 0, 0, 0, 0,
       {"[1] appears again: only its first occurrence is read"}},
      {"no section 1", FullSection("39", "Titolo"), 0, 0, 0, 0, 0,
       {"no section [1]: where no section is used, the built-in English texts show"}},
      // Each section in its language's code page: "Мастер" in 1251 and as
      // UTF-8; a byte 1250 lacks; a cut text shown in its code page.
      {"Russian in 1251", FullSection("1", "T") + FullSection("7", "\xcc\xe0\xf1\xf2\xe5\xf0"), 0,
       0, 0, 0, 0, {"[7] ok"}},
      {"Russian saved as UTF-8", FullSection("1", "T") + FullSection("7", "\u041c\u0430\u0441\u0442\u0435\u0440"),
       1, 0, 0, 0, 0, {"  AppTitleName: saved as UTF-8, not in code page 1251"}},
      {"Polish with a byte 1250 lacks", FullSection("1", "T") + FullSection("48", "Kreator\x81"), 1,
       0, 0, 0, 0, {"  AppTitleName: byte 0x81 is no character of code page 1250"}},
      {"a cut Russian text shows in 1251",
       FullSection("1", "T") + "[7]\r\nAppTitleName=\xcc\r\nOKText=" + std::string(16, '\xcf') + "\r\n",
       1, 1, 0, static_cast<int>(kTextKeyCount) - 1, 0,
       {"  cut OKText to 15 bytes: \"\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\u041f\""}},
  };
  return cases;
}

TEST(TextCheck, FindingsPerFile) {
  for (const CheckCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const sim::TextCheck check = sim::CheckTexts(c.ini);
    EXPECT_EQ(check.ExitCode(), c.exitCode) << All(check);
    EXPECT_EQ(check.cut, c.cut) << All(check);
    EXPECT_EQ(check.unknown, c.unknown) << All(check);
    EXPECT_EQ(check.missing, c.missing) << All(check);
    EXPECT_EQ(check.unusedSections, c.unused) << All(check);
    for (const std::string& line : c.lines) EXPECT_TRUE(HasLine(check, line)) << line << "\n" << All(check);
  }
}

// The Chanwiz.ini shipped beside the program: every section complete and
// in its code page, section "1" the built-in English, each section chosen by
// its country.
TEST(TextCheck, ShippedTexts) {
  const std::string file = SourcePath("resources/Chanwiz.ini");
  std::ifstream in(file, std::ios::binary);
  ASSERT_TRUE(in);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const sim::TextCheck check = sim::CheckTexts(sim::ProfileTextFromBytes(bytes));
  EXPECT_EQ(check.ExitCode(), 0) << All(check);
  EXPECT_EQ(check.missing, 0) << All(check);
  EXPECT_EQ(check.unusedSections, 0) << All(check);
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
