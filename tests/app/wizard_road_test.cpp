// The road of a run: which pages and boxes appear, in which order, and where
// the run ends, for every exit of the wizard.
#include <gtest/gtest.h>

#include "platform/win_constants.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

bool MarkerWritten(const SimRun& run) {
  return run.platform->FinalRegistry().Find(sim::RegRoot::LocalMachine, "SOFTWARE\\Morvex Multimedia\\Common");
}

std::vector<int> PagesOpened(const SimRun& run) {
  std::vector<int> opened;
  for (const std::string& page : run.Events("page"))
    opened.push_back(std::stoi(page.substr(page.find("\"template\":") + 11)));
  return opened;
}

TEST(WizardRoad, EachStartAndSelectionResultLeadsWhereItShould) {
  // The templates opened in order, the start page's end (the framework's; the
  // close box 5), and whether the family steps and the marker were reached.
  struct Case { const char *name, *script; std::vector<int> pagesOpened; int startResult; bool writes; };
  const Case cases[] = {
      {"TV System button, then OK", "click 1015; click 1; click 1023; click 1", {102, 129, 131}, 1, true},
      {"Enter is TV System", "enter; click 1; click 1023; click 1", {102, 129, 131}, 1, true},
      {"Country button, then OK", "click 1016; click 1; click 1023; click 1", {102, 130, 131}, 2, true},
      {"Esc is Country", "esc; click 1; click 1023; click 1", {102, 130, 131}, 2, true},
      {"close box ends the run", "close", {102}, 5, false},
      {"Cancel on the TV system page", "click 1015; click 2", {102, 129}, 1, false},
      {"Cancel on the country page", "click 1016; click 2", {102, 130}, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimRun run(MachineFromSample("saa7134-xp-italy.reg"), c.script);
    run.Run();
    EXPECT_EQ(PagesOpened(run), c.pagesOpened);
    auto ends = run.Events("end");
    ASSERT_FALSE(ends.empty());
    EXPECT_EQ(ends[0], "{\"event\":\"end\",\"template\":102,\"result\":" +
                           std::to_string(c.startResult) + "}");
    EXPECT_EQ(MarkerWritten(run), c.writes);
  }
}

TEST(WizardRoad, APageThatCannotBeShownEndsTheRunWithoutWriting) {
  // The first page, and each selection page, failing to be created.
  for (int nth : {1, 2}) {
    for (const char* script : {"click 1015", "click 1016"}) {
      SCOPED_TRACE(std::to_string(nth) + " " + script);
      SimRun run(MachineFromSample("saa7134-xp-italy.reg"), script);
      run.platform->AddFault({"DialogBoxParamA", nth, 1813});
      run.Run();
      EXPECT_FALSE(MarkerWritten(run));
      EXPECT_EQ(run.app->family_run(), Family::None);
      EXPECT_TRUE(run.Events("messagebox").empty());
    }
  }
}

TEST(WizardRoad, RestartDecision) {
  const std::string xp = "{\"event\":\"restart\",\"flags\":18,\"reason\":0}";
  // The shutdown privilege, ExitWindowsEx failing (when given), whether the
  // restart page showed, the restart asked for, the boxes shown.
  struct Case {
    const char *name, *sample, *script;
    std::vector<std::string> args;
    bool privilege;
    const char* fault;
    bool restartPage;
    std::vector<std::string> restart, boxes;
  };
  const char *italy = "saa7134-xp-italy.reg", *ok = "click 1015; click 1; click 1",
             *no = "click 1015; click 1; click 1023; click 1";
  const Case cases[] = {
      // "Yes" is preselected: a restart that is not forced.
      {"OK at once restarts", italy, ok, {}, true, nullptr, true, {xp}, {}},
      {"no, then OK", italy, no, {}, true, nullptr, true, {}, {}},
      {"no, yes, then OK", italy, "click 1015; click 1; click 1023; click 1022; click 1", {}, true, nullptr,
       true, {xp}, {}},
      {"Esc", italy, "click 1015; click 1; esc", {}, true, nullptr, true, {}, {}},
      {"argument 1 suppresses the page", italy, "click 1015; click 1", {"1"}, true, nullptr, false, {}, {}},
      // The file name as the framework parses it, only "1" suppresses.
      {"other arguments do not", italy, no, {"2"}, true, nullptr, true, {}, {}},
      {"without the shutdown privilege nothing shows", italy, ok, {}, false, nullptr, true, {}, {}},
      {"a failed restart is reported", italy, ok, {}, true, "ExitWindowsEx", true, {},
       {BoxRecord("Can't run ExitWindowsEx.", 0)}},
      // Windows 9x restarts without asking for the privilege.
      {"Windows 9x", "saa7134-98-italy.reg", ok, {}, false, nullptr, true,
       {"{\"event\":\"restart\",\"flags\":2,\"reason\":0}"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Machine m = MachineFromSample(c.sample);
    m.config.shutdownPrivilege = c.privilege;
    SimRun run(std::move(m), c.script, c.args);
    if (c.fault) run.platform->AddFault({c.fault, 1, 5});
    run.Run();
    const std::vector<int> pages = PagesOpened(run);
    EXPECT_EQ(std::count(pages.begin(), pages.end(), 131), c.restartPage ? 1 : 0);
    EXPECT_EQ(run.Events("restart"), c.restart);
    EXPECT_EQ(run.Events("messagebox"), c.boxes);
    EXPECT_FALSE(run.platform->halt()) << run.platform->halt()->message;
    EXPECT_TRUE(MarkerWritten(run));
  }
}

TEST(WizardRoad, UsbOutcomeRules) {
  const std::string failed = BoxRecord(
      "Sorry, the process of updating TV settings is failed ! Maybe the driver is NOT ready "
      "!\\n\\nPlease reboot your PC and then re-install QL750 WDM Driver.", 48);
  const std::string replug = BoxRecord(
      "Please Re-Plugin the QL750 Device on your computer.\\n\\nOtherwise, the QL750 Device maybe "
      "can't work well.", 64);
  struct Case { int32_t result, showRestart; std::vector<std::string> boxes; };
  const Case cases[] = {{0, 1, {failed}}, {0, 0, {failed}}, {1, 1, {replug}}, {1, 0, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.result) + "/" + std::to_string(c.showRestart));
    SimRun run(MachineFromSample("nodevice-xp.reg"));
    run.app->LoadTexts();
    run.app->UsbWriteResult = c.result;
    run.app->ShowRestart = c.showRestart;
    run.app->ReportUsbOutcome();
    EXPECT_EQ(run.Events("messagebox"), c.boxes);
    EXPECT_EQ(run.app->ShowRestart, 0);
  }
}

TEST(WizardRoad, FamilyIsChosenBySaaThenCxThenBtThenUsb) {
  const std::pair<uint32_t, Family> cases[] = {
      {0x0, Family::None},         {0x1, Family::Saa713x},        {0x2, Family::Saa713x},
      {0x4, Family::Saa713x},      {0x10, Family::Cx2388x},       {0x80, Family::Cx2388x},
      {0x100, Family::Bt878a},     {0x10000, Family::Usb},        {0x10111, Family::Saa713x},
      {0x10110, Family::Cx2388x},  {0x10100, Family::Bt878a},     {0x200, Family::None},
  };
  for (const auto& [flags, family] : cases) EXPECT_EQ(ChooseFamily(flags), family) << std::hex << flags;
}

// Each sample's board takes its family's steps, with the calls of its
// Windows family; NT 4 takes the 9x variants and still finds its one board.
// The USB path never offers a restart. No device, or several (a SAA board
// and a USB device both count), end with a message before any page.
TEST(WizardRoad, EachSampleTakesItsFamilysSteps) {
  const std::string several = BoxRecord(
      "We found that at least there are two TV Tuner devices on your computer.\\n\\nPlease "
      "remove one of them for a while if you want to re-initialize the TV Tuner settings.", 0);
  struct Case { const char* sample; Family family; int32_t nt, win9x, count = 1; uint32_t flags = 0; std::string box = ""; };
  const Case cases[] = {
      {"saa7134-xp-italy.reg", Family::Saa713x, 1, 0}, {"saa7134-98-italy.reg", Family::Saa713x, 0, 1},
      {"saa7134-nt4.reg", Family::Saa713x, 0, 0},      {"cx2388x-xp-germany.reg", Family::Cx2388x, 1, 0},
      {"cx2388x-98-germany.reg", Family::Cx2388x, 0, 1}, {"bt878a-xp-uk.reg", Family::Bt878a, 1, 0},
      {"bt878a-98-uk.reg", Family::Bt878a, 0, 1},      {"usb2821-xp-china.reg", Family::Usb, 1, 0},
      {"usb2800-98-usa.reg", Family::Usb, 0, 1},
      {"nodevice-xp.reg", Family::None, 1, 0, 0, 0,
       BoxRecord("Sorry, we can't find any QL750 Device on your computer.\\nPlease check your hardware.", 48)},
      {"two-saa7134-xp.reg", Family::None, 1, 0, 2, 0x4u, several},
      {"saa7133-and-usb-xp.reg", Family::None, 1, 0, 2, 0x10002u, several},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sample);
    SimRun run(MachineFromSample(c.sample), "click 1016; click 1; click 1023; click 1");
    run.Run();
    EXPECT_EQ(run.app->family_run(), c.family);
    const std::vector<int> none, usbPages = {102, 130}, pages = {102, 130, 131};
    EXPECT_EQ(PagesOpened(run), c.box.empty() ? c.family == Family::Usb ? usbPages : pages : none);
    EXPECT_EQ(MarkerWritten(run), c.box.empty());
    EXPECT_FALSE(run.platform->halt());
    EXPECT_EQ(run.app->DeviceCount, c.count);
    EXPECT_EQ(run.app->IsNtFamily, c.nt);
    EXPECT_EQ(run.app->IsNtFamilyOs(), c.nt);
    EXPECT_EQ(run.app->IsWin9xOs(), c.win9x);
    if (c.box.empty()) continue;
    EXPECT_EQ(run.Events("messagebox"), std::vector<std::string>{c.box});
    EXPECT_EQ(run.app->DeviceFlags, c.flags);
  }
  // A failed version query counts as neither family.
  SimRun failed(MachineFromSample("saa7134-xp-italy.reg"));
  failed.platform->AddFault({"GetVersionExA", 0, 122});
  EXPECT_EQ(failed.app->IsNtFamilyOs(), 0);
  EXPECT_EQ(failed.app->IsWin9xOs(), 0);
}

TEST(WizardRoad, ComposedMessagesNeverRunPastTheBuffer) {
  // Two full 255-character texts with a blank line between them need 512
  // characters and the terminator: the box gets the first 511.
  std::string ini = "[1]\r\nAppTitleName=T\r\nFoundMultiDevMsg1=" + std::string(255, 'x') +
                    "\r\nFoundMultiDevMsg2=" + std::string(254, 'y') + "z\r\n";
  SimRun run(MachineFromSample("two-saa7134-xp.reg"));
  run.platform->MapFile("C:\\Program Files\\Morvex\\Chanwiz\\Chanwiz.ini", WriteTempFile(ini));
  // iCountry 39 has no section here: the texts come from section "1".
  run.Run();
  EXPECT_EQ(run.Events("messagebox"),
            std::vector<std::string>{BoxRecord(std::string(255, 'x') + "\\n\\n" + std::string(254, 'y'), 0, "T")});
  EXPECT_EQ(std::string(run.app->MessageBuffer).size(), 511u);
}

}  // namespace
}  // namespace cw::test
