// The pages the simulated Windows builds and the pages Chanwiz.exe carries
// come from two texts: this test reads the resource script and fails on any
// difference, so the two cannot drift apart.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "app/dialog_templates.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::map<std::string, long> ResourceIds() {
  std::map<std::string, long> ids;
  std::regex define(R"(#define\s+(\w+)\s+(\d+))");
  std::string text = ReadText(SourcePath("resources/resource.h"));
  for (std::sregex_iterator it(text.begin(), text.end(), define), end; it != end; ++it)
    ids[(*it)[1]] = std::stol((*it)[2]);
  return ids;
}

long Number(const std::string& token, const std::map<std::string, long>& ids) {
  auto it = ids.find(token);
  if (it != ids.end()) return it->second;
  return std::stol(token, nullptr, 0);
}

TEST(DialogTemplates, ResourceScriptMatchesTheTemplatesTheSimulationUses) {
  const auto ids = ResourceIds();
  std::string rc = ReadText(SourcePath("resources/dialogs.rc"));
  ASSERT_FALSE(rc.empty());
  std::regex header(R"re((\w+) DIALOGEX (\d+), (\d+), (\d+), (\d+)\nSTYLE (\w+)\nEXSTYLE (\w+)\nCAPTION "([^"]*)"\nFONT (\d+), "([^"]*)", 0, 0, 0x0\nBEGIN\n((?:    CONTROL [^\n]*\n)*)END)re");
  std::regex control(
      R"re(    CONTROL "([^"]*)", (\w+), "(\w+)", (\w+), (\d+), (\d+), (\d+), (\d+), (\w+)\n)re");
  size_t dialogs = 0;
  for (std::sregex_iterator it(rc.begin(), rc.end(), header), end; it != end; ++it) {
    const std::smatch& m = *it;
    const DialogTemplate* t = FindDialogTemplate(WizardDialogs(), static_cast<int>(Number(m[1], ids)));
    ASSERT_NE(t, nullptr) << m[1];
    SCOPED_TRACE(t->id);
    ++dialogs;
    EXPECT_EQ(std::stol(m[4]), t->cx);
    EXPECT_EQ(std::stol(m[5]), t->cy);
    EXPECT_EQ(static_cast<DWORD>(Number(m[6], ids)), t->style);
    EXPECT_EQ(static_cast<DWORD>(Number(m[7], ids)), t->exStyle);
    EXPECT_EQ(m[8].str(), t->caption);
    EXPECT_EQ(std::stoi(m[9]), t->pointSize);
    EXPECT_EQ(m[10].str(), t->fontName);
    std::string body = m[11];
    size_t index = 0;
    for (std::sregex_iterator c(body.begin(), body.end(), control); c != end; ++c, ++index) {
      ASSERT_LT(index, t->controls.size());
      const ControlTemplate& ct = t->controls[index];
      SCOPED_TRACE(ct.id);
      EXPECT_EQ((*c)[1].str(), ct.text);
      EXPECT_EQ(Number((*c)[2], ids), ct.id);
      EXPECT_EQ((*c)[3].str(), ct.className);
      EXPECT_EQ(static_cast<DWORD>(Number((*c)[4], ids)), ct.style);
      EXPECT_EQ(std::stol((*c)[5]), ct.x);
      EXPECT_EQ(std::stol((*c)[6]), ct.y);
      EXPECT_EQ(std::stol((*c)[7]), ct.cx);
      EXPECT_EQ(std::stol((*c)[8]), ct.cy);
      EXPECT_EQ(static_cast<DWORD>(Number((*c)[9], ids)), ct.exStyle);
    }
    EXPECT_EQ(index, t->controls.size());
  }
  EXPECT_EQ(dialogs, WizardDialogs().size());
  EXPECT_EQ(dialogs, 4u);
}

}  // namespace
}  // namespace cw::test
