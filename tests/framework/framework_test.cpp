// The framework that stands in for MFC: the command line as CCommandLineInfo
// parses it, and AfxMessageBox's caption and icon.
#include <gtest/gtest.h>

#include "framework/framework.h"
#include "app/dialog_templates.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

struct NoRun : CWinApp {
  using CWinApp::CWinApp;
  BOOL InitInstance() override { return FALSE; }
};

TEST(CommandLine, ParsedAsTheFrameworkParsesIt) {
  struct Case { std::vector<std::string> args; const char* fileName; CCommandLineInfo::ShellCommand command; };
  const Case cases[] = {
      {{}, "", CCommandLineInfo::FileNew},
      {{"1"}, "1", CCommandLineInfo::FileOpen},
      {{"/x", "1"}, "1", CCommandLineInfo::FileOpen},
      {{"-1"}, "", CCommandLineInfo::FileNew},
      {{"/1"}, "", CCommandLineInfo::FileNew},
      {{"2", "1"}, "2", CCommandLineInfo::FileOpen},
      {{"/p", "1"}, "1", CCommandLineInfo::FilePrint},
      // After /pt the first plain argument is still the file name.
      {{"/pt", "1", "printer"}, "1", CCommandLineInfo::FilePrintTo},
      {{"/dde"}, "", CCommandLineInfo::FileDDE},
      {{"/Unregister"}, "", CCommandLineInfo::AppUnregister},
  };
  sim::Machine m = MachineFromText(RegText(""));
  sim::SimPlatform p(m, nullptr);
  for (const Case& c : cases) {
    NoRun app(p, c.args);
    CCommandLineInfo info;
    app.ParseCommandLine(info);
    EXPECT_EQ(info.m_strFileName, c.fileName) << testing::PrintToString(c.args);
    EXPECT_EQ(info.m_nShellCommand, c.command) << testing::PrintToString(c.args);
    // Only a new document (and nothing) succeeds as a shell command.
    EXPECT_EQ(app.ProcessShellCommand(info), c.command == CCommandLineInfo::FileNew);
  }
  CCommandLineInfo nothing;
  nothing.m_nShellCommand = CCommandLineInfo::FileNothing;
  EXPECT_TRUE(NoRun(p, {}).ProcessShellCommand(nothing));
}

TEST(AfxMessageBox, CaptionIsTheProgramNameAndTheIconIsAdded) {
  struct Case { UINT type, shown; const char* answer; int result; };
  const Case cases[] = {
      {MB_OK, MB_OK | MB_ICONEXCLAMATION, "", IDOK},
      {MB_OKCANCEL, MB_OKCANCEL | MB_ICONEXCLAMATION, "ok", IDOK},
      {MB_YESNO, MB_YESNO | MB_ICONQUESTION, "yes", IDYES},
      {MB_OK | MB_ICONINFORMATION, MB_OK | MB_ICONINFORMATION, "", IDOK},
  };
  for (const Case& c : cases) {
    SimRun run(MachineFromText(RegText("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Chanwiz Simulation]\r\n" +
                                       Sz("ModuleFileName", "D:\\Downloads\\Chanwiz (1).exe"))),
               c.answer);
    NoRun app(*run.platform, {});
    app.Run();
    app.AfxMessageBox("Can't Write USB Registry on Win2K.", c.type);
    EXPECT_EQ(run.platform->transcript().lines(),
              std::vector<std::string>{BoxRecord("Can't Write USB Registry on Win2K.", static_cast<int>(c.shown),
                                                 "Chanwiz (1)", c.result)})
        << c.type;
  }
}

TEST(AfxMessageBox, AppNameFromModulePath) {
  EXPECT_EQ(AppNameFromModulePath("C:\\a.b\\Setup.v2.exe"), "Setup.v2");
  EXPECT_EQ(AppNameFromModulePath("Chanwiz"), "Chanwiz");
}

}  // namespace
}  // namespace cw::test
