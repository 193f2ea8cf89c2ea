// The road of a run: which pages and boxes appear, in which order, and where
// the run ends, for every exit of the wizard.
#include <gtest/gtest.h>

#include "regtree/reg_file.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

using sim::RegRoot;

bool MarkerWritten(const SimRun& run) {
  return run.platform->FinalRegistry().Find(RegRoot::LocalMachine,
                                            "SOFTWARE\\Morvex Multimedia\\Common") != nullptr;
}

std::string Changes(const SimRun& run) {
  return sim::WriteRegChanges(run.before, run.platform->FinalRegistry(),
                              sim::RegFileFormat::Utf8v5);
}

TEST(WizardRoad, NoDeviceShowsOneLineBreakMessageWithExclamation) {
  SimRun run(MachineFromSample("nodevice-xp.reg"));
  run.Run();
  auto boxes = run.Events("messagebox");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "{\"event\":\"messagebox\",\"text\":\"Sorry, we can't find any QL750 Device on your "
            "computer.\\nPlease check your hardware.\",\"caption\":\"QL750 Chanwiz Wizard\","
            "\"style\":48,\"answer\":1}");
  EXPECT_TRUE(run.Events("page").empty());
  EXPECT_FALSE(MarkerWritten(run));
  EXPECT_FALSE(run.platform->halt());
  EXPECT_EQ(run.app->DeviceCount, 0);
}

TEST(WizardRoad, SeveralDevicesShowBlankLineMessageWithoutIcon) {
  for (const char* sample : {"two-saa7134-xp.reg", "saa7133-and-usb-xp.reg"}) {
    SCOPED_TRACE(sample);
    SimRun run(MachineFromSample(sample));
    run.Run();
    auto boxes = run.Events("messagebox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0],
              "{\"event\":\"messagebox\",\"text\":\"We found that at least there are two TV Tuner "
              "devices on your computer.\\n\\nPlease remove one of them for a while if you want "
              "to re-initialize the TV Tuner settings.\",\"caption\":\"QL750 Chanwiz Wizard\","
              "\"style\":0,\"answer\":1}");
    EXPECT_TRUE(run.Events("page").empty());
    EXPECT_FALSE(MarkerWritten(run));
    EXPECT_EQ(run.app->DeviceCount, 2);
  }
}

TEST(WizardRoad, SaaBoardAndUsbDeviceAreBothCounted) {
  SimRun run(MachineFromSample("saa7133-and-usb-xp.reg"));
  run.Run();
  EXPECT_EQ(run.app->DeviceFlags, 0x10002u);
}

struct StartCase {
  const char* name;
  const char* script;
  std::vector<int> pagesOpened;  // templates, in order
  bool writes;                   // reached the family steps and the marker
  bool halted;
};

TEST(WizardRoad, EachStartAndSelectionResultLeadsWhereItShould) {
  const StartCase cases[] = {
      {"TV System button, then OK", "click 1015; click 1; click 1023; click 1", {102, 129, 131},
       true, false},
      {"Enter is TV System", "enter; click 1; click 1023; click 1", {102, 129, 131}, true, false},
      {"Country button, then OK", "click 1016; click 1; click 1023; click 1", {102, 130, 131},
       true, false},
      {"Esc is Country", "esc; click 1; click 1023; click 1", {102, 130, 131}, true, false},
      {"close box ends the run", "close", {102}, false, false},
      {"Cancel on the TV system page", "click 1015; click 2", {102, 129}, false, false},
      {"Esc on the TV system page", "click 1015; esc", {102, 129}, false, false},
      {"close box on the TV system page", "click 1015; close", {102, 129}, false, false},
      {"Cancel on the country page", "click 1016; click 2", {102, 130}, false, false},
      {"close box on the country page", "click 1016; close", {102, 130}, false, false},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.name);
    SimRun run(MachineFromSample("saa7134-xp-italy.reg"), c.script);
    run.Run();
    std::vector<int> opened;
    for (const std::string& page : run.Events("page"))
      opened.push_back(std::stoi(page.substr(page.find("\"template\":") + 11)));
    EXPECT_EQ(opened, c.pagesOpened);
    EXPECT_EQ(MarkerWritten(run), c.writes);
    EXPECT_EQ(run.platform->halt().has_value(), c.halted);
    EXPECT_EQ(run.app->family_run() == Family::Saa713x, c.writes);
  }
}

TEST(WizardRoad, StartPageResultsAreTheFrameworksAndTheCloseBoxGivesFive) {
  const std::pair<const char*, const char*> cases[] = {
      {"click 1015; click 2", "{\"event\":\"end\",\"template\":102,\"result\":1}"},
      {"enter; click 2", "{\"event\":\"end\",\"template\":102,\"result\":1}"},
      {"click 1016; click 2", "{\"event\":\"end\",\"template\":102,\"result\":2}"},
      {"esc; click 2", "{\"event\":\"end\",\"template\":102,\"result\":2}"},
      {"close", "{\"event\":\"end\",\"template\":102,\"result\":5}"},
  };
  for (const auto& [script, end] : cases) {
    SCOPED_TRACE(script);
    SimRun run(MachineFromSample("saa7134-xp-italy.reg"), script);
    run.Run();
    auto ends = run.Events("end");
    ASSERT_FALSE(ends.empty());
    EXPECT_EQ(ends[0], end);
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

TEST(WizardRoad, CountryPathWritesTheChoiceAndTheMarkerThenOffersARestart) {
  SimRun run(MachineFromSample("saa7134-xp-italy.reg"), "click 1016; click 1; click 1");
  run.Run();
  EXPECT_EQ(run.app->SelectionMode, 1);
  EXPECT_EQ(run.app->CountryCode, 39);
  EXPECT_EQ(run.app->StandardIndex, 2);
  EXPECT_TRUE(MarkerWritten(run));
  // Restart page answered OK with "yes" preselected: a restart that is not forced.
  auto restarts = run.Events("restart");
  ASSERT_EQ(restarts.size(), 1u);
  EXPECT_EQ(restarts[0], "{\"event\":\"restart\",\"flags\":18,\"reason\":0}");
}

TEST(WizardRoad, RestartDecision) {
  struct Case {
    const char* name;
    const char* script;
    std::vector<std::string> args;
    bool restartPage;
    bool restart;
  };
  const Case cases[] = {
      {"OK at once restarts", "click 1015; click 1; click 1", {}, true, true},
      {"no, then OK", "click 1015; click 1; click 1023; click 1", {}, true, false},
      {"no, yes, then OK", "click 1015; click 1; click 1023; click 1022; click 1", {}, true, true},
      {"Esc", "click 1015; click 1; esc", {}, true, false},
      {"close box", "click 1015; click 1; close", {}, true, false},
      {"argument 1 suppresses the page", "click 1015; click 1", {"1"}, false, false},
      {"other arguments do not", "click 1015; click 1; click 1023; click 1", {"2"}, true, false},
      {"flags are not the file name", "click 1015; click 1; click 1023; click 1", {"/1", "-x"},
       true, false},
      {"the first plain argument counts", "click 1015; click 1", {"-q", "1", "2"}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimRun run(MachineFromSample("saa7134-xp-italy.reg"), c.script, c.args);
    run.Run();
    bool pageShown = false;
    for (const std::string& p : run.Events("page")) pageShown |= p.find("\"template\":131") != std::string::npos;
    EXPECT_EQ(pageShown, c.restartPage);
    EXPECT_EQ(!run.Events("restart").empty(), c.restart);
    EXPECT_FALSE(run.platform->halt()) << run.platform->halt()->message;
    EXPECT_TRUE(MarkerWritten(run));
  }
}

TEST(WizardRoad, RestartWithoutTheShutdownPrivilegeShowsNothing) {
  sim::Machine m = MachineFromSample("saa7134-xp-italy.reg");
  m.config.shutdownPrivilege = false;
  SimRun run(std::move(m), "click 1015; click 1; click 1");
  run.Run();
  EXPECT_TRUE(run.Events("restart").empty());
  EXPECT_TRUE(run.Events("messagebox").empty());
}

TEST(WizardRoad, FailedRestartIsReported) {
  SimRun run(MachineFromSample("saa7134-xp-italy.reg"), "click 1015; click 1; click 1");
  run.platform->AddFault({"ExitWindowsEx", 1, 5});
  run.Run();
  auto boxes = run.Events("messagebox");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("\"text\":\"Can't run ExitWindowsEx.\",\"caption\":\"QL750 Chanwiz "
                          "Wizard\",\"style\":0"),
            std::string::npos);
}

TEST(WizardRoad, Windows9xRestartsWithoutAskingForThePrivilege) {
  sim::Machine m = MachineFromSample("saa7134-98-italy.reg");
  m.config.shutdownPrivilege = false;
  SimRun run(std::move(m), "click 1015; click 1; click 1");
  run.Run();
  auto restarts = run.Events("restart");
  ASSERT_EQ(restarts.size(), 1u);
  EXPECT_EQ(restarts[0], "{\"event\":\"restart\",\"flags\":2,\"reason\":0}");
}

TEST(WizardRoad, UsbPathNeverShowsTheRestartPage) {
  for (const char* sample : {"usb2821-xp-china.reg", "usb2800-98-usa.reg"}) {
    for (bool argument : {false, true}) {
      SCOPED_TRACE(std::string(sample) + (argument ? " with 1" : ""));
      SimRun run(MachineFromSample(sample), "click 1015; click 1",
                 argument ? std::vector<std::string>{"1"} : std::vector<std::string>{});
      run.Run();
      EXPECT_EQ(run.app->family_run(), Family::Usb);
      for (const std::string& p : run.Events("page"))
        EXPECT_EQ(p.find("\"template\":131"), std::string::npos);
      EXPECT_TRUE(MarkerWritten(run));
      EXPECT_FALSE(run.platform->halt());
    }
  }
}

TEST(WizardRoad, UsbOutcomeRules) {
  struct Case {
    int32_t result;
    int32_t showRestart;
    const char* expectedText;  // null: no box
    int style;
  };
  const Case cases[] = {
      {0, 1,
       "Sorry, the process of updating TV settings is failed ! Maybe the driver is NOT ready "
       "!\\n\\nPlease reboot your PC and then re-install QL750 WDM Driver.",
       48},
      {0, 0,
       "Sorry, the process of updating TV settings is failed ! Maybe the driver is NOT ready "
       "!\\n\\nPlease reboot your PC and then re-install QL750 WDM Driver.",
       48},
      {1, 1,
       "Please Re-Plugin the QL750 Device on your computer.\\n\\nOtherwise, the QL750 Device maybe "
       "can't work well.",
       64},
      {1, 0, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.result) + "/" + std::to_string(c.showRestart));
    SimRun run(MachineFromSample("nodevice-xp.reg"));
    run.app->LoadTexts();
    run.app->UsbWriteResult = c.result;
    run.app->ShowRestart = c.showRestart;
    run.app->ReportUsbOutcome();
    auto boxes = run.Events("messagebox");
    if (c.expectedText == nullptr) {
      EXPECT_TRUE(boxes.empty());
    } else {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0], std::string("{\"event\":\"messagebox\",\"text\":\"") + c.expectedText +
                              "\",\"caption\":\"QL750 Chanwiz Wizard\",\"style\":" +
                              std::to_string(c.style) + ",\"answer\":1}");
    }
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

TEST(WizardRoad, EachSampleTakesItsFamilysSteps) {
  const std::pair<const char*, Family> cases[] = {
      {"saa7134-xp-italy.reg", Family::Saa713x}, {"saa7134-98-italy.reg", Family::Saa713x},
      {"cx2388x-xp-germany.reg", Family::Cx2388x}, {"cx2388x-98-germany.reg", Family::Cx2388x},
      {"bt878a-xp-uk.reg", Family::Bt878a},      {"bt878a-98-uk.reg", Family::Bt878a},
      {"usb2821-xp-china.reg", Family::Usb},     {"usb2800-98-usa.reg", Family::Usb},
  };
  for (const auto& [sample, family] : cases) {
    SCOPED_TRACE(sample);
    SimRun run(MachineFromSample(sample), "click 1016; click 1; click 1023; click 1");
    run.Run();
    EXPECT_EQ(run.app->family_run(), family);
    EXPECT_EQ(run.app->DeviceCount, 1);
  }
}

TEST(WizardRoad, WindowsVersionDecidesTheFamilyOfCalls) {
  const std::pair<const char*, int32_t> cases[] = {
      {"saa7134-xp-italy.reg", 1}, {"saa7134-98-italy.reg", 0}, {"saa7134-nt4.reg", 0}};
  for (const auto& [sample, nt] : cases) {
    SCOPED_TRACE(sample);
    SimRun run(MachineFromSample(sample), "click 1016; click 2");
    run.Run();
    EXPECT_EQ(run.app->IsNtFamily, nt);
    EXPECT_EQ(run.app->IsNtFamilyOs(), nt);
    EXPECT_EQ(run.app->IsWin9xOs(), std::string(sample).find("98") != std::string::npos ? 1 : 0);
    // NT 4 takes the 9x variants and still finds its one board.
    EXPECT_EQ(run.app->DeviceCount, 1);
  }
}

TEST(WizardRoad, AFailedVersionQueryCountsAsNotNt) {
  SimRun run(MachineFromSample("saa7134-xp-italy.reg"));
  run.platform->AddFault({"GetVersionExA", 0, 122});
  EXPECT_EQ(run.app->IsNtFamilyOs(), 0);
  EXPECT_EQ(run.app->IsWin9xOs(), 0);
}

TEST(WizardRoad, ScriptRunningOutStopsAtTheWaitingPage) {
  SimRun run(MachineFromSample("saa7134-xp-italy.reg"), "click 1016");
  run.Run();
  ASSERT_TRUE(run.platform->halt());
  EXPECT_EQ(run.platform->halt()->exitCode, 3);
  EXPECT_NE(run.platform->halt()->message.find("page 130 \"Select Country\""), std::string::npos);
  EXPECT_FALSE(MarkerWritten(run));
  EXPECT_EQ(Changes(run), "Windows Registry Editor Version 5.00\r\n\r\n");
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
  auto boxes = run.Events("messagebox");
  ASSERT_EQ(boxes.size(), 1u);
  std::string expected = std::string(255, 'x') + "\\n\\n" + std::string(254, 'y');
  EXPECT_NE(boxes[0].find("\"text\":\"" + expected + "\",\"caption\":\"T\""), std::string::npos)
      << boxes[0];
  EXPECT_EQ(std::string(run.app->MessageBuffer).size(), 511u);
}

}  // namespace
}  // namespace cw::test
