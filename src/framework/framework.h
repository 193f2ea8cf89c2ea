// A small application and dialog framework in place of MFC's CWinApp,
// CCommandLineInfo and CDialog, built only on the Platform seam so that the
// same pages run in a real window and in a scripted one.
//
// What a page overrides: OnInitDialog (call the base first), OnOK, OnCancel,
// and the message-map hooks OnCommand, OnClose, OnPaint, OnQueryDragIcon. A
// page talks to its controls only through the platform's window operations.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace cw {

// Low and high words of a WPARAM, as LOWORD/HIWORD give them.
inline int LowWord(WPARAM value) { return static_cast<int>(value & 0xFFFF); }
inline int HighWord(WPARAM value) { return static_cast<int>((value >> 16) & 0xFFFF); }
inline WPARAM MakeWParam(int low, int high) {
  return static_cast<WPARAM>((static_cast<unsigned>(low) & 0xFFFFu) |
                             ((static_cast<unsigned>(high) & 0xFFFFu) << 16));
}

class CDialog : public DialogProcHandler {
 public:
  CDialog(Platform& platform, int templateId);
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;
  virtual ~CDialog() = default;

  // Runs the page modally: the value given to EndDialog (IDOK 1 for OK and
  // Enter, IDCANCEL 2 for Cancel, Esc and the close box, unless the page says
  // otherwise), or -1 when the page cannot be created.
  INT_PTR DoModal();

  int template_id() const { return template_id_; }
  HWND hwnd() const { return hwnd_; }

 protected:
  // Called once the page's controls exist. Returns TRUE to let Windows put
  // the focus on the first tab-stop control.
  virtual BOOL OnInitDialog();
  // The default OK and Cancel end the page with IDOK and IDCANCEL.
  virtual void OnOK();
  virtual void OnCancel();

  // Message-map hooks: return true when the page handled the message. A
  // WM_COMMAND the page does not handle reaches OnOK (IDOK) or OnCancel
  // (IDCANCEL); an unhandled WM_CLOSE gets the dialog manager's default,
  // which cancels the page.
  virtual bool OnCommand(int id, int notifyCode);
  virtual bool OnClose();
  virtual bool OnPaint();
  // The icon shown while the minimized page is dragged; none by default.
  virtual HICON OnQueryDragIcon();

  // Named apart from the Windows calls: <windows.h> makes those names macros.
  void EndDialog(INT_PTR result);
  HWND GetDlgItem(int id) const;
  void SetCaption(const char* text);
  void SetItemText(int id, const char* text);
  LRESULT SendItemMessage(int id, UINT msg, WPARAM wparam, LPARAM lparam);

  Platform& platform_;

 private:
  INT_PTR HandleDialogMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) override;

  int template_id_;
  HWND hwnd_ = HWND(0);
};

// The command line as MFC's CCommandLineInfo parses it.
class CCommandLineInfo {
 public:
  enum ShellCommand {
    FileNew,
    FileOpen,
    FilePrint,
    FilePrintTo,
    FileDDE,
    AppRegister,
    AppUnregister,
    FileNothing = -1
  };

  // One argument: `flag` when it began with '/' or '-' (which is then
  // removed), `last` for the final argument.
  virtual void ParseParam(const char* param, bool flag, bool last);
  virtual ~CCommandLineInfo() = default;

  bool m_bShowSplash = true;
  bool m_bRunEmbedded = false;
  bool m_bRunAutomated = false;
  ShellCommand m_nShellCommand = FileNew;
  std::string m_strFileName;
  std::string m_strPrinterName;
  std::string m_strDriverName;
  std::string m_strPortName;

 private:
  void ParseParamFlag(const std::string& flag);
  void ParseParamNotFlag(const std::string& param);
  void ParseLast(bool last);
};

class CWinApp {
 public:
  // `args` are the program's arguments without the program name.
  CWinApp(Platform& platform, std::vector<std::string> args);
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;
  virtual ~CWinApp() = default;

  // The framework's start: takes the application's name and calls
  // InitInstance. Returns the process exit code (0 when InitInstance returns
  // 0 and no message loop runs).
  int Run();

  virtual BOOL InitInstance() = 0;

  void ParseCommandLine(CCommandLineInfo& info) const;
  // Only FileNothing (and FileNew, which creates no document here) succeed:
  // the wizard has no documents and no main window.
  BOOL ProcessShellCommand(const CCommandLineInfo& info);
  BOOL Enable3dControls();
  void AfxEnableControlContainer();

  // MFC's AfxMessageBox: MessageBoxA with no owner, captioned with the
  // application's name, and with the icon the framework adds when the caller
  // gives none (exclamation for MB_OK and MB_OKCANCEL, question for
  // MB_YESNO and MB_YESNOCANCEL).
  int AfxMessageBox(const char* text, UINT type = 0, UINT helpId = 0);

  // The program file's name without folder and extension.
  const std::string& app_name() const { return app_name_; }
  Platform& platform() { return platform_; }

 protected:
  Platform& platform_;

 private:
  std::vector<std::string> args_;
  std::string app_name_;
};

// The application name as the framework derives it from the module path:
// the file name without its folder and extension.
std::string AppNameFromModulePath(const std::string& path);

}  // namespace cw
