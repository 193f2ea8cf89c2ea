// The start, TV system and country pages driven by scripts, as a user would
// drive them.
#include <gtest/gtest.h>

#include "app/start_dialog.h"
#include "app/text_keys.h"
#include "platform/win_constants.h"
#include "selection/country_dialog.h"
#include "selection/standard_dialog.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

sim::Machine CountryMachine(const std::string& iCountry) {
  return MachineFromText(MachineText("", iCountry.empty() ? "" : "\"" + iCountry + "\""));
}

const sim::ControlState* FindControl(const sim::PageState& page, int id) {
  for (const sim::ControlState& c : page.controls)
    if (c.id == id) return &c;
  return nullptr;
}

template <typename Page>
INT_PTR RunPage(SimRun& run) {
  run.LoadTexts();
  Page page(*run.platform, run.state);
  return page.DoModal();
}

// Each row records its standard on OK, the NICAM I row its variant too;
// the page opens on NTSC, and cancelling records nothing.
TEST(StandardPage, OkRecordsTheChosenRowAndCancelNothing) {
  struct Case {
    std::string script;
    INT_PTR result;
    const char* nameShown;  // in the last step's name box
    int32_t standard;
    int32_t variant;
  };
  const Case cases[] = {
      {"select 1012 0; click 1", IDOK, "NTSC", 0, 0},      {"select 1012 1; click 1", IDOK, "NTSC J", 1, 0},
      {"select 1012 2; click 1", IDOK, "PAL BG", 2, 0},    {"select 1012 3; click 1", IDOK, "PAL DK", 3, 0},
      {"select 1012 4; click 1", IDOK, "PAL I", 4, 0},     {"select 1012 5; click 1", IDOK, "PAL M", 5, 0},
      {"select 1012 6; click 1", IDOK, "PAL N", 6, 0},     {"select 1012 7; click 1", IDOK, "SECAM BG", 7, 0},
      {"select 1012 8; click 1", IDOK, "SECAM DK", 8, 0},  {"select 1012 9; click 1", IDOK, "SECAM L", 9, 0},
      {"select 1012 10; click 1", IDOK, "PAL/SECAM", 8, 0}, {"select 1012 11; click 1", IDOK, "PAL DK", 3, 5},
      {"select 1012 11; select 1012 3; click 1", IDOK, "PAL DK", 3, 0},
      {"enter", IDOK, nullptr, 0, 0},
      {"select 1012 11; click 2", IDCANCEL, "PAL DK", 4, 0},
      {"select 1012 9; esc", IDCANCEL, "SECAM L", 4, 0},
      {"close", IDCANCEL, nullptr, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    SimRun run(MachineFromText(RegText("")), c.script);
    run.state.StandardIndex = 4;
    EXPECT_EQ(RunPage<StandardDialog>(run), c.result);
    EXPECT_EQ(run.state.StandardIndex, c.standard);
    EXPECT_EQ(run.state.StandardVariant, c.variant);
    EXPECT_EQ(run.state.CountryCode, 0);
    auto actions = run.Events("action");
    if (c.nameShown) {
      ASSERT_FALSE(actions.empty());
      EXPECT_NE(actions.back().find("{\"id\":1020,\"class\":\"EDIT\",\"text\":\"" + std::string(c.nameShown) + "\""),
                std::string::npos);
    }
  }
  SimRun run(MachineFromText(RegText("")), "close");
  RunPage<StandardDialog>(run);
  auto pages = run.Events("page");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_NE(pages[0].find("\"title\":\"Select TV System\""), std::string::npos);
  EXPECT_NE(pages[0].find("\"text\":\"Your TV System is :\""), std::string::npos);
  EXPECT_NE(pages[0].find("\"selected\":0}"), std::string::npos);
  EXPECT_NE(pages[0].find("{\"id\":1020,\"class\":\"EDIT\",\"text\":\"NTSC\",\"enabled\":false}"),
            std::string::npos);
}

struct Opening {
  const char* iCountry;
  int letter;       // -1: none shown
  int rows;
  int selectedRow;  // -1: none
  bool okEnabled;
};

TEST(CountryPage, OpensOnTheWindowsCountry) {
  const Opening cases[] = {
      // Which row a code selects is the table's (country_table_test); the
      // page shows the letter and row it gives.
      {"39", 8, 12, 11, true},   // Italy
      {"873", 8, 12, 3, true},   // INMARSAT
      {"1000", -1, 0, -1, false},
      {"3", 3, 2, -1, false},    // a code of 0..25 that no entry has names a letter
      {"", 20, 8, 0, true},      // no value: as for code 1
  };
  for (const Opening& c : cases) {
    SCOPED_TRACE(c.iCountry);
    SimRun run(CountryMachine(c.iCountry), "");
    RunPage<CountryDialog>(run);  // stops at the page: the script is empty
    ASSERT_EQ(run.Events("page").size(), 1u);
    // No step was taken: the last state is the page as it opened.
    const sim::PageState* page = run.platform->LastPage();
    ASSERT_NE(page, nullptr);
    const sim::ControlState* letters = FindControl(*page, 1021);
    const sim::ControlState* list = FindControl(*page, 1019);
    const sim::ControlState* ok = FindControl(*page, IDOK);
    ASSERT_TRUE(letters && list && ok);
    EXPECT_EQ(letters->items.size(), 26u);
    EXPECT_EQ(letters->selected, c.letter);
    EXPECT_EQ(list->items.size(), static_cast<size_t>(c.rows));
    EXPECT_EQ(list->selected, c.selectedRow);
    EXPECT_EQ(ok->enabled, c.okEnabled);
  }
}

// OK records the entry's standard and code; cancelling records nothing.
TEST(CountryPage, OkRecordsTheEntrysStandardAndCodeAndCancelNothing) {
  struct Case {
    const char* iCountry;
    const char* script;
    INT_PTR result;
    int32_t standard;
    int32_t code;
  };
  const Case cases[] = {
      {"39", "click 1", IDOK, 2, 39},
      {"873", "click 1", IDOK, 0, 871},
      {"39", "select 1021 17; select 1019 3; click 1", IDOK, 8, 7},   // Russia Moscow
      {"39", "select 1021 20; select 1019 1; enter", IDOK, 0, 1},     // U.S.A. (HRC)
      {"39", "select 1021 23; click 1", IDOK, 0, 1},                  // X: an empty list
      {"39", "select 1021 14; click 1", IDOK, 2, 968},                // O
      {"39", "select 1021 16; click 1", IDOK, 2, 974},                // Q
      // An unknown country: OK and Enter do nothing until a letter is chosen.
      {"1000", "click 1; enter; select 1021 3; click 1", IDOK, 2, 45},  // D row 0
      {"39", "click 2", IDCANCEL, 9, 33},
      {"39", "select 1021 4; click 2", IDCANCEL, 9, 33},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    SimRun run(CountryMachine(c.iCountry), c.script);
    run.state.StandardIndex = 9;
    run.state.CountryCode = 33;
    EXPECT_EQ(RunPage<CountryDialog>(run), c.result);
    EXPECT_EQ(run.state.StandardIndex, c.standard);
    EXPECT_EQ(run.state.CountryCode, c.code);
  }
}

TEST(StartPage, ShowsItsTextsAndSetsTheFamilyOnceMore) {
  SimRun run(MachineFromText(RegText("")), "close");
  LoadTexts(*run.platform, run.state);
  run.state.IsNtFamily = 0;
  StartDialog page(*run.platform, run.state);
  EXPECT_EQ(page.DoModal(), StartDialog::kClosedResult);
  EXPECT_EQ(run.state.IsNtFamily, 1);
  auto pages = run.Events("page");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0],
            "{\"event\":\"page\",\"template\":102,\"title\":\"QL750 Chanwiz Wizard\",\"controls\":["
            "{\"id\":1015,\"class\":\"BUTTON\",\"text\":\"TV System\",\"enabled\":true},"
            "{\"id\":1016,\"class\":\"BUTTON\",\"text\":\"Country\",\"enabled\":true},"
            "{\"id\":1023,\"class\":\"STATIC\",\"text\":\"Now the Chanwiz Wizard will take you to "
            "re-initialize your QL750 settings step by step so that the QL750 Device can work "
            "well.\",\"enabled\":true}]}");
}

TEST(StartPage, EmptyButtonLabelsStillWork) {
  const std::string ini = "[1]\r\nAppTitleName=T\r\nTVSystemText=\r\nCountryText=\r\n";
  SimRun run(MachineFromText(RegText("")), "click 1016");
  run.LoadTexts(WriteTempFile(ini));
  // An empty value in the file is an empty label, not the default.
  EXPECT_STREQ(run.state.TVSystemText, "");
  StartDialog page(*run.platform, run.state);
  EXPECT_EQ(page.DoModal(), IDCANCEL);
}

}  // namespace
}  // namespace cw::test
