// The start, TV system and country pages driven by scripts, as a user would
// drive them.
#include <gtest/gtest.h>

#include "app/start_dialog.h"
#include "app/text_keys.h"
#include "platform/win_constants.h"
#include "selection/country_dialog.h"
#include "selection/standard_dialog.h"
#include "support/sim_harness.h"
#include "system/windows_settings.h"

namespace cw::test {
namespace {

std::string CountryMachine(const std::string& iCountry) {
  std::string body;
  if (!iCountry.empty())
    body = "[HKEY_CURRENT_USER\\Control Panel\\International]\r\n\"iCountry\"=\"" + iCountry +
           "\"\r\n\r\n";
  return RegText(body);
}

const sim::ControlState* FindControl(const sim::PageState& page, int id) {
  for (const sim::ControlState& c : page.controls)
    if (c.id == id) return &c;
  return nullptr;
}

template <typename Page>
INT_PTR RunPage(SimRun& run) {
  run.state.IsNtFamily = IsNtFamilyOs(*run.platform);
  LoadTexts(*run.platform, run.state);
  Page page(*run.platform, run.state);
  return page.DoModal();
}

TEST(StandardPage, EachChoiceRecordsItsStandard) {
  struct Case {
    int row;
    const char* nameShown;
    int32_t standard;
    int32_t variant;
  };
  const Case cases[] = {{0, "NTSC", 0, 0},      {1, "NTSC J", 1, 0},    {2, "PAL BG", 2, 0},
                        {3, "PAL DK", 3, 0},    {4, "PAL I", 4, 0},     {5, "PAL M", 5, 0},
                        {6, "PAL N", 6, 0},     {7, "SECAM BG", 7, 0},  {8, "SECAM DK", 8, 0},
                        {9, "SECAM L", 9, 0},   {10, "PAL/SECAM", 8, 0}, {11, "PAL DK", 3, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    SimRun run(MachineFromText(RegText("")), "select 1012 " + std::to_string(c.row) + "; click 1");
    run.state.StandardIndex = 77;
    EXPECT_EQ(RunPage<StandardDialog>(run), IDOK);
    EXPECT_EQ(run.state.StandardIndex, c.standard);
    EXPECT_EQ(run.state.StandardVariant, c.variant);
    EXPECT_EQ(run.state.CountryCode, 0);
    auto actions = run.Events("action");
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_NE(actions[0].find("{\"id\":1020,\"class\":\"EDIT\",\"text\":\"" + std::string(c.nameShown) + "\""),
              std::string::npos);
  }
}

TEST(StandardPage, OpensOnNtscAndOkAtOnceRecordsIt) {
  SimRun run(MachineFromText(RegText("")), "enter");
  run.state.StandardIndex = 5;
  EXPECT_EQ(RunPage<StandardDialog>(run), IDOK);
  EXPECT_EQ(run.state.StandardIndex, 0);
  EXPECT_EQ(run.state.StandardVariant, 0);
  auto pages = run.Events("page");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_NE(pages[0].find("\"title\":\"Select TV System\""), std::string::npos);
  EXPECT_NE(pages[0].find("\"text\":\"Your TV System is :\""), std::string::npos);
  EXPECT_NE(pages[0].find("\"selected\":0}"), std::string::npos);
  EXPECT_NE(pages[0].find("{\"id\":1020,\"class\":\"EDIT\",\"text\":\"NTSC\",\"enabled\":false}"),
            std::string::npos);
}

TEST(StandardPage, TheNicamVariantIsSetOnOkOnly) {
  SimRun run(MachineFromText(RegText("")), "select 1012 11; select 1012 3; click 1");
  EXPECT_EQ(RunPage<StandardDialog>(run), IDOK);
  EXPECT_EQ(run.state.StandardIndex, 3);
  EXPECT_EQ(run.state.StandardVariant, 0);
}

TEST(StandardPage, CancelRecordsNothing) {
  for (const char* script : {"select 1012 11; click 2", "select 1012 9; esc", "close"}) {
    SCOPED_TRACE(script);
    SimRun run(MachineFromText(RegText("")), script);
    run.state.StandardIndex = 4;
    EXPECT_EQ(RunPage<StandardDialog>(run), IDCANCEL);
    EXPECT_EQ(run.state.StandardIndex, 4);
    EXPECT_EQ(run.state.StandardVariant, 0);
  }
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
      {"abc", 20, 8, 0, true},   // unreadable: as for code 1
      {"", 20, 8, 0, true},      // no value: as for code 1
  };
  for (const Opening& c : cases) {
    SCOPED_TRACE(c.iCountry);
    SimRun run(MachineFromText(CountryMachine(c.iCountry)), "");
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

TEST(CountryPage, OkRecordsTheEntrysStandardAndCode) {
  struct Case {
    const char* iCountry;
    const char* script;
    int32_t standard;
    int32_t code;
  };
  const Case cases[] = {
      {"39", "click 1", 2, 39},
      {"873", "click 1", 0, 871},
      {"39", "select 1021 17; select 1019 3; click 1", 8, 7},   // Russia Moscow
      {"39", "select 1021 20; select 1019 1; enter", 0, 1},     // U.S.A. (HRC)
      {"39", "select 1021 23; click 1", 0, 1},                  // X: an empty list
      {"39", "select 1021 14; click 1", 2, 968},                // O
      {"39", "select 1021 16; click 1", 2, 974},                // Q
      {"1000", "select 1021 5; click 1", 4, 500},               // F row 0 after a letter change
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    SimRun run(MachineFromText(CountryMachine(c.iCountry)), c.script);
    EXPECT_EQ(RunPage<CountryDialog>(run), IDOK);
    EXPECT_EQ(run.state.StandardIndex, c.standard);
    EXPECT_EQ(run.state.CountryCode, c.code);
  }
}

TEST(CountryPage, OkIsDisabledWhileThereIsNoEntry) {
  // An unknown country: no letter, no list; OK and Enter do nothing until a
  // letter is chosen.
  SimRun run(MachineFromText(CountryMachine("1000")), "click 1; enter; select 1021 3; click 1");
  run.state.StandardIndex = 6;
  run.state.CountryCode = 55;
  EXPECT_EQ(RunPage<CountryDialog>(run), IDOK);
  EXPECT_EQ(run.state.StandardIndex, 2);  // Denmark, row 0 of D
  EXPECT_EQ(run.state.CountryCode, 45);
  auto actions = run.Events("action");
  ASSERT_EQ(actions.size(), 3u);
  EXPECT_NE(actions[0].find("\"text\":\"OK\",\"enabled\":false"), std::string::npos);
  EXPECT_NE(actions[2].find("\"text\":\"OK\",\"enabled\":true"), std::string::npos);
}

TEST(CountryPage, ALetterChangeRefillsAndSelectsTheFirstRow) {
  SimRun run(MachineFromText(CountryMachine("39")), "select 1021 15; select 1021 8; click 2");
  EXPECT_EQ(RunPage<CountryDialog>(run), IDCANCEL);
  auto actions = run.Events("action");
  ASSERT_EQ(actions.size(), 2u);
  EXPECT_NE(actions[0].find("\"items\":[\"Pakistan (PAL-B/G)\""), std::string::npos);
  EXPECT_NE(actions[1].find("\"items\":[\"Iceland (PAL-B/G)\""), std::string::npos);
  for (const std::string& a : actions) {
    size_t list = a.find("{\"id\":1019");
    EXPECT_NE(a.find("\"selected\":0}", list), std::string::npos);
  }
}

TEST(CountryPage, CancelRecordsNothing) {
  for (const char* script : {"click 2", "esc", "close", "select 1021 4; click 2"}) {
    SCOPED_TRACE(script);
    SimRun run(MachineFromText(CountryMachine("39")), script);
    run.state.StandardIndex = 9;
    run.state.CountryCode = 33;
    EXPECT_EQ(RunPage<CountryDialog>(run), IDCANCEL);
    EXPECT_EQ(run.state.StandardIndex, 9);
    EXPECT_EQ(run.state.CountryCode, 33);
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
  run.platform->MapFile("C:\\Program Files\\Morvex\\Chanwiz\\Chanwiz.ini", WriteTempFile(ini));
  run.state.IsNtFamily = 1;
  LoadTexts(*run.platform, run.state);
  // An empty value in the file is an empty label, not the default.
  EXPECT_STREQ(run.state.TVSystemText, "");
  StartDialog page(*run.platform, run.state);
  EXPECT_EQ(page.DoModal(), IDCANCEL);
}

}  // namespace
}  // namespace cw::test
