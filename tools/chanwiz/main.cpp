// Chanwiz.exe: the wizard on the real Windows.
//
// The wizard's headers come first: <windows.h> would rename some of the
// framework's members (SetWindowText -> SetWindowTextA) in this file only.
#include "app/wizard_app.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The program's arguments without its own name, in the ANSI code page the
// rest of the wizard works in.
std::vector<std::string> ProgramArguments() {
  std::vector<std::string> args;
  if (__argv == nullptr) return args;
  for (int i = 1; i < __argc; ++i)
    if (__argv[i] != nullptr) args.emplace_back(__argv[i]);
  return args;
}

int RunWizard() {
  // The manifest asks for version 6 of the common controls; they are only
  // used once comctl32 is initialised.
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  ::InitCommonControlsEx(&controls);

  cw::win32::Win32Platform platform;
  cw::WizardApp app(platform, ProgramArguments());
  return app.Run();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Nothing may escape into the C runtime's start-up code; an exception here
  // means the wizard could not go on (out of memory, in practice).
  try {
    return RunWizard();
  } catch (...) {
    return 1;
  }
}
