// The pages the simulated Windows builds and the pages Chanwiz.exe carries
// come from two texts: this test reads the resource script and fails on any
// difference, so the two cannot drift apart.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "app/dialog_templates.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

TEST(DialogTemplates, ResourceScriptMatchesTheTemplatesTheSimulationUses) {
  // The names resource.h defines, else numbers, as decimal text.
  std::map<std::string, long> ids;
  const std::string names = SourceBytes("resources/resource.h");
  std::regex define(R"(#define\s+(\w+)\s+(\d+))");
  for (std::sregex_iterator it(names.begin(), names.end(), define), end; it != end; ++it)
    ids[(*it)[1]] = std::stol((*it)[2]);
  auto n = [&ids](const std::string& token) {
    return std::to_string(ids.count(token) ? ids[token] : std::stol(token, nullptr, 0));
  };
  std::string rc = SourceBytes("resources/dialogs.rc");
  std::regex header(R"re((\w+) DIALOGEX (\d+), (\d+), (\d+), (\d+)\nSTYLE (\w+)\nEXSTYLE (\w+)\nCAPTION "([^"]*)"\nFONT (\d+), "([^"]*)", 0, 0, 0x0\nBEGIN\n((?:    CONTROL [^\n]*\n)*)END)re");
  std::regex control(
      R"re(    CONTROL "([^"]*)", (\w+), "(\w+)", (\w+), (\d+), (\d+), (\d+), (\d+), (\w+)\n)re");
  auto str = [](long value) { return std::to_string(value); };
  size_t dialogs = 0;
  for (std::sregex_iterator it(rc.begin(), rc.end(), header), end; it != end; ++it) {
    const std::smatch& m = *it;
    const DialogTemplate* t = FindDialogTemplate(WizardDialogs(), std::stoi(n(m[1])));
    ASSERT_NE(t, nullptr) << m[1];
    SCOPED_TRACE(t->id);
    ++dialogs;
    // Size, styles, caption and font.
    EXPECT_EQ((std::vector<std::string>{n(m[4]), n(m[5]), n(m[6]), n(m[7]), m[8], n(m[9]), m[10]}),
              (std::vector<std::string>{str(t->cx), str(t->cy), str(t->style), str(t->exStyle), t->caption,
                                        str(t->pointSize), t->fontName}));
    std::string body = m[11];
    size_t index = 0;
    for (std::sregex_iterator c(body.begin(), body.end(), control); c != end; ++c, ++index) {
      ASSERT_LT(index, t->controls.size());
      const ControlTemplate& ct = t->controls[index];
      SCOPED_TRACE(ct.id);
      const std::smatch& f = *c;
      EXPECT_EQ((std::vector<std::string>{f[1], n(f[2]), f[3], n(f[4]), n(f[5]), n(f[6]), n(f[7]), n(f[8]), n(f[9])}),
                (std::vector<std::string>{ct.text, str(ct.id), ct.className, str(ct.style), str(ct.x), str(ct.y),
                                          str(ct.cx), str(ct.cy), str(ct.exStyle)}));
    }
    EXPECT_EQ(index, t->controls.size());
  }
  EXPECT_EQ(dialogs, WizardDialogs().size());
  EXPECT_EQ(dialogs, 4u);
}

}  // namespace
}  // namespace cw::test
