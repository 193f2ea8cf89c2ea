// Pages and message boxes without windows.
//
// The wizard's modal pages are built from its dialog templates and behave as
// Windows' controls do; an AnswerSource (a script, a person at the terminal,
// or the options of an unattended run) plays the user. Every page and box is
// recorded in a transcript. The simulated Windows shows its pages here, and
// so does the console program on the real Windows, which has no screen to
// show them on.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/platform.h"
#include "scripting/script.h"
#include "scripting/transcript.h"

namespace cw::sim {

// Why the run stopped before the program ended by itself.
struct Halt {
  int exitCode = 0;  // 2 a script step that cannot apply, 3 the answers ran out
  std::string message;
};

class PageHost {
 public:
  // What the host needs from the platform it serves.
  struct Hooks {
    std::function<void(DWORD)> setLastError;
    // True when the call is to fail, with *error the Windows error code.
    std::function<bool(const char* operation, DWORD* error)> inject;
    // Called once, when the run stops (see halt()).
    std::function<void()> halted;
    // Called for every message box once it has been answered.
    std::function<void(const std::string& text, const std::string& caption, UINT style,
                       int answer)>
        messageBoxShown;
  };

  // `dialogs` are the templates of the program whose pages are shown.
  // `answers` may be null (every page and question then stops the run).
  // `echo` receives the text picture of every page and box (null for none).
  PageHost(DialogResources dialogs, AnswerSource* answers, std::FILE* echo, Hooks hooks);
  ~PageHost();
  PageHost(const PageHost&) = delete;
  PageHost& operator=(const PageHost&) = delete;

  Transcript& transcript() { return transcript_; }
  const Transcript& transcript() const { return transcript_; }
  // Set when a page or question waited with no answer, or a step could not
  // apply: the run is over at that point, as if the process had been ended.
  const std::optional<Halt>& halt() const { return halt_; }
  // The state of the last page shown, as it was after its last step (null
  // before any page).
  const PageState* LastPage() const { return last_page_ ? &*last_page_ : nullptr; }
  // Replaces the hook called for every message box once answered.
  void SetMessageBoxHook(decltype(Hooks::messageBoxShown) hook) {
    hooks_.messageBoxShown = std::move(hook);
  }
  // Writes a line to the echo stream, when there is one.
  void Echo(const std::string& text);

  // The user-interface operations of Platform.
  INT_PTR DialogBoxParamA(int templateId, HWND parent, DialogProcHandler* handler);
  BOOL EndDialog(HWND dialog, INT_PTR result);
  HWND GetDlgItem(HWND dialog, int id);
  int GetDlgCtrlID(HWND control);
  BOOL SetWindowTextA(HWND window, const char* text);
  int GetWindowTextA(HWND window, char* buffer, int size);
  BOOL SetDlgItemTextA(HWND dialog, int id, const char* text);
  LRESULT SendMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  BOOL CheckDlgButton(HWND dialog, int id, UINT check);
  UINT IsDlgButtonChecked(HWND dialog, int id);
  BOOL EnableWindow(HWND window, BOOL enable);
  BOOL IsWindowEnabled(HWND window);
  HICON LoadIconA(int resourceId);
  BOOL IsIconic(HWND window);
  int GetSystemMetrics(int index);
  BOOL GetClientRect(HWND window, RECT* rect);
  HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
  BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
  BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
  int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

 private:
  struct Control;
  struct Dialog;

  void SetLastError(DWORD error);
  bool Inject(const char* operation, DWORD* error);
  void Stop(int exitCode, const std::string& message);

  Dialog* DialogOf(HWND hwnd) const;
  Control* ControlOf(HWND hwnd, Dialog** owner = nullptr) const;
  PageState Snapshot(const Dialog& dialog) const;
  LRESULT ControlMessage(Dialog& dialog, Control& control, UINT msg, WPARAM wparam,
                         LPARAM lparam);
  void SendCommand(Dialog& dialog, int id, int code);
  bool ApplyStep(Dialog& dialog, const ScriptStep& step, std::string* error);

  DialogResources resources_;
  AnswerSource* answers_;
  std::FILE* echo_;
  Hooks hooks_;
  Transcript transcript_;
  std::optional<Halt> halt_;
  std::vector<std::unique_ptr<Dialog>> dialogs_;  // the stack of open pages
  uintptr_t next_hwnd_ = 0x10000;
  std::optional<PageState> last_page_;
};

}  // namespace cw::sim
