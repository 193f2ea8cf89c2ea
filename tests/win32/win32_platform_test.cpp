// The platform contract (tests/platform) on the real API, and what only it
// has: the predefined keys' sign extension and real dialogs. Runs unelevated;
// what it writes is removed again. The wizard's headers come first, as in
// the program: <windows.h>'s macros would rename platform members here only.
#include "platform/platform_contract.h"
#include "platform/win32/win32_platform.h"
#include "resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
// Windows' predefined keys from HKEY_CLASSES_ROOT on, named where HKEY is still its own type.
const ::HKEY kRealPredefined[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
}  // namespace

namespace cw::contract {

class Win32Backend : public Backend {
 public:
  ~Win32Backend() override {
    ::RegDeleteTreeA(kRealPredefined[1], ScratchKey().c_str());
    ::RegDeleteKeyA(kRealPredefined[1], "Software\\Chanwiz win32 tests");
    for (const std::string& file : files_) ::DeleteFileA(file.c_str());
  }
  Platform& platform() override { return platform_; }
  std::string ScratchKey() override {
    return "Software\\Chanwiz win32 tests\\" + std::to_string(::GetCurrentProcessId());
  }
  std::string ProfileFile(const std::string& text) override {
    char folder[MAX_PATH] = {};
    ::GetTempPathA(sizeof(folder), folder);
    files_.push_back(folder + ("chanwiz-" + std::to_string(::GetCurrentProcessId())) + ".ini");
    std::ofstream(files_.back(), std::ios::binary) << text;
    return files_.back();
  }

 private:
  win32::Win32Platform platform_;
  std::vector<std::string> files_;
};

std::unique_ptr<Backend> MakeBackend() { return std::make_unique<Win32Backend>(); }

}  // namespace cw::contract

namespace cw::win32 {
namespace {

// The wizard's 32-bit constants against Windows' own; other handles pass unchanged.
TEST(Win32Keys, PredefinedKeysAreSignExtendedForTheRealApiAndBack) {
  for (std::uintptr_t i = 0; i < 4; ++i) {
    const auto real = reinterpret_cast<std::uintptr_t>(kRealPredefined[i]);
    EXPECT_EQ(RealKeyValue(HKEY(0x80000000u + i)), real);
    EXPECT_EQ(WizardKeyValue(real), HKEY(0x80000000u + i));
  }
  EXPECT_EQ(RealKeyValue(HKEY(0x1A4)), 0x1A4u);
  EXPECT_EQ(WizardKeyValue(0x1A4), HKEY(0x1A4));
  EXPECT_EQ(WizardKeyValue(0), HKEY(0));
#ifdef _WIN64
  // Only the sign-extended form is a predefined key on 64-bit Windows.
  EXPECT_EQ(WizardKeyValue(0x80000002u), HKEY(0x80000002u));
#endif
  // With no sub-key RegOpenKeyA hands back the key given: the wizard's own constant.
  Win32Platform p;
  HKEY same = HKEY(0);
  ASSERT_EQ(p.RegOpenKeyA(HKEY(0x80000001u), "", &same), ERROR_SUCCESS);
  EXPECT_EQ(same, HKEY(0x80000001u));
}

// The dialog procedure hands the page every message from WM_INITDIALOG on.
constexpr UINT kStep = WM_APP + 1;
constexpr UINT kThrow = WM_APP + 2;
constexpr UINT_PTR kGuardTimer = 1;
constexpr INT_PTR kDragIcon = 0x12340;

class RecordingPage : public DialogProcHandler {
 public:
  explicit RecordingPage(Platform& p) : p_(p) {}

  INT_PTR HandleDialogMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) override {
    messages.push_back(msg);
    ::HWND real = reinterpret_cast<::HWND>(static_cast<std::uintptr_t>(hwnd));
    switch (msg) {
      case WM_INITDIALOG:
        first_hwnd = hwnd;
        init_lparam = lparam;
        ::SetTimer(real, kGuardTimer, 10000, nullptr);  // never hang the run on a page
        ::PostMessageA(real, throw_on_step ? kThrow : kStep, 0, 0);
        return TRUE;
      case kStep: {
        same_hwnd = hwnd == first_hwnd;
        // WM_QUERYDRAGICON's answer is the icon itself, returned directly.
        drag_icon = ::SendMessageA(real, WM_QUERYDRAGICON, 0, 0);
        p_.SetDlgItemTextA(hwnd, IDC_SYSTEM_NAME, "PAL BG");
        char text[32] = {};
        p_.GetWindowTextA(p_.GetDlgItem(hwnd, IDC_SYSTEM_NAME), text, sizeof(text));
        name_text = text;
        p_.EndDialog(hwnd, 42);
        return TRUE;
      }
      case kThrow:
        throw std::runtime_error("page failed");
      case WM_QUERYDRAGICON:
        return kDragIcon;
      case WM_TIMER:
        if (wparam == kGuardTimer) p_.EndDialog(hwnd, -77);
        return TRUE;
      default:
        return FALSE;
    }
  }

  Platform& p_;
  bool throw_on_step = false;
  std::vector<UINT> messages;
  HWND first_hwnd = HWND(0);
  LPARAM init_lparam = 0;
  bool same_hwnd = false;
  LRESULT drag_icon = 0;
  std::string name_text;
};

TEST(Win32Dialogs, HandlerGetsEveryMessageFromInitDialogAndEndsThePage) {
  Win32Platform p;
  RecordingPage page(p);
  EXPECT_EQ(p.DialogBoxParamA(IDD_STANDARD_PAGE, HWND(0), &page), 42);
  ASSERT_FALSE(page.messages.empty());
  // Nothing reached the page before WM_INITDIALOG (WM_SETFONT comes first).
  EXPECT_EQ(page.messages.front(), static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(page.init_lparam, reinterpret_cast<LPARAM>(static_cast<DialogProcHandler*>(&page)));
  EXPECT_TRUE(page.same_hwnd);
  EXPECT_EQ(page.drag_icon, kDragIcon);
  EXPECT_EQ(page.name_text, "PAL BG");
}

// A page that cannot be shown: its exception, no template, no handler.
TEST(Win32Dialogs, PagesThatCannotBeShownEndWithMinusOne) {
  Win32Platform p;
  RecordingPage throwing(p), missing(p);
  throwing.throw_on_step = true;
  EXPECT_EQ(p.DialogBoxParamA(IDD_START_PAGE, HWND(0), &throwing), -1);
  EXPECT_EQ(p.DialogBoxParamA(999, HWND(0), &missing), -1);
  EXPECT_TRUE(missing.messages.empty());
  p.SetLastError(0);
  EXPECT_EQ(p.DialogBoxParamA(IDD_START_PAGE, HWND(0), nullptr), -1);
  EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
}  // namespace cw::win32
