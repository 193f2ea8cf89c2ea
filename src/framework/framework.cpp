#include "framework/framework.h"

#include <algorithm>
#include <cctype>

#include "base/text.h"
#include "platform/win_constants.h"

namespace cw {

// ---------------------------------------------------------------- CDialog

CDialog::CDialog(Platform& platform, int templateId)
    : platform_(platform), template_id_(templateId) {}

INT_PTR CDialog::DoModal() {
  INT_PTR result = platform_.DialogBoxParamA(template_id_, HWND(0), this);
  hwnd_ = HWND(0);
  return result;
}

BOOL CDialog::OnInitDialog() { return TRUE; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }
bool CDialog::OnCommand(int, int) { return false; }
bool CDialog::OnClose() { return false; }
bool CDialog::OnPaint() { return false; }
HICON CDialog::OnQueryDragIcon() { return HICON(0); }

void CDialog::EndDialog(INT_PTR result) { platform_.EndDialog(hwnd_, result); }
HWND CDialog::GetDlgItem(int id) const { return platform_.GetDlgItem(hwnd_, id); }
void CDialog::SetCaption(const char* text) { platform_.SetWindowTextA(hwnd_, text); }
void CDialog::SetItemText(int id, const char* text) {
  platform_.SetDlgItemTextA(hwnd_, id, text);
}
LRESULT CDialog::SendItemMessage(int id, UINT msg, WPARAM wparam, LPARAM lparam) {
  return platform_.SendMessageA(GetDlgItem(id), msg, wparam, lparam);
}

INT_PTR CDialog::HandleDialogMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM /*lparam*/) {
  // Messages that arrive before WM_INITDIALOG (the dialog manager sends a
  // few while it creates the page) are left to the default processing.
  if (msg != WM_INITDIALOG && hwnd_ == HWND(0)) return FALSE;
  INT_PTR handled = FALSE;
  switch (msg) {
    case WM_INITDIALOG:
      hwnd_ = hwnd;
      handled = OnInitDialog();
      break;
    case WM_COMMAND: {
      int id = LowWord(wparam);
      int code = HighWord(wparam);
      if (OnCommand(id, code)) {
        handled = TRUE;
      } else if (id == IDOK && code == static_cast<int>(BN_CLICKED)) {
        OnOK();
        handled = TRUE;
      } else if (id == IDCANCEL && code == static_cast<int>(BN_CLICKED)) {
        OnCancel();
        handled = TRUE;
      }
      break;
    }
    case WM_CLOSE:
      handled = OnClose() ? TRUE : FALSE;
      break;
    case WM_PAINT:
      handled = OnPaint() ? TRUE : FALSE;
      break;
    case WM_QUERYDRAGICON:
      // One of the messages whose result a dialog procedure returns directly.
      handled = static_cast<INT_PTR>(OnQueryDragIcon());
      break;
    case WM_DESTROY:
      break;
    default:
      break;
  }
  return handled;
}

// ------------------------------------------------------- CCommandLineInfo

void CCommandLineInfo::ParseParam(const char* param, bool flag, bool last) {
  if (flag)
    ParseParamFlag(param);
  else
    ParseParamNotFlag(param);
  ParseLast(last);
}

void CCommandLineInfo::ParseParamFlag(const std::string& flag) {
  if (EqualsNoCase(flag, "pt")) {
    m_nShellCommand = FilePrintTo;
  } else if (EqualsNoCase(flag, "p")) {
    m_nShellCommand = FilePrint;
  } else if (EqualsNoCase(flag, "Unregister") || EqualsNoCase(flag, "Unregserver")) {
    m_nShellCommand = AppUnregister;
  } else if (EqualsNoCase(flag, "dde")) {
    m_nShellCommand = FileDDE;
  } else if (EqualsNoCase(flag, "Embedding")) {
    m_bRunEmbedded = true;
    m_bShowSplash = false;
  } else if (EqualsNoCase(flag, "Automation")) {
    m_bRunAutomated = true;
    m_bShowSplash = false;
  }
}

void CCommandLineInfo::ParseParamNotFlag(const std::string& param) {
  // After /pt the next three plain arguments name the printer, its driver
  // and its port; only then does a plain argument become the file name.
  if (m_strFileName.empty()) {
    m_strFileName = param;
  } else if (m_nShellCommand == FilePrintTo && m_strPrinterName.empty()) {
    m_strPrinterName = param;
  } else if (m_nShellCommand == FilePrintTo && m_strDriverName.empty()) {
    m_strDriverName = param;
  } else if (m_nShellCommand == FilePrintTo && m_strPortName.empty()) {
    m_strPortName = param;
  }
}

void CCommandLineInfo::ParseLast(bool last) {
  if (last && m_nShellCommand == FileNew && !m_strFileName.empty())
    m_nShellCommand = FileOpen;
}

// ---------------------------------------------------------------- CWinApp

std::string AppNameFromModulePath(const std::string& path) {
  size_t slash = path.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

CWinApp::CWinApp(Platform& platform, std::vector<std::string> args)
    : platform_(platform), args_(std::move(args)) {}

int CWinApp::Run() {
  char path[MAX_PATH + 1] = {};
  DWORD length = platform_.GetModuleFileNameA(path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) app_name_ = AppNameFromModulePath(path);
  if (app_name_.empty()) app_name_ = "Chanwiz";
  // InitInstance runs the whole program; a zero result ends the process
  // without a message loop.
  InitInstance();
  return 0;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info) const {
  for (size_t i = 0; i < args_.size(); ++i) {
    const std::string& arg = args_[i];
    bool flag = !arg.empty() && (arg[0] == '/' || arg[0] == '-');
    std::string param = flag ? arg.substr(1) : arg;
    info.ParseParam(param.c_str(), flag, i + 1 == args_.size());
  }
}

BOOL CWinApp::ProcessShellCommand(const CCommandLineInfo& info) {
  switch (info.m_nShellCommand) {
    case CCommandLineInfo::FileNothing:
    case CCommandLineInfo::FileNew:
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL CWinApp::Enable3dControls() { return TRUE; }
void CWinApp::AfxEnableControlContainer() {}

int CWinApp::AfxMessageBox(const char* text, UINT type, UINT /*helpId*/) {
  if ((type & MB_ICONMASK) == 0) {
    switch (type & MB_TYPEMASK) {
      case MB_OK:
      case MB_OKCANCEL:
        type |= MB_ICONEXCLAMATION;
        break;
      case MB_YESNO:
      case MB_YESNOCANCEL:
        type |= MB_ICONQUESTION;
        break;
      default:
        break;
    }
  }
  return platform_.MessageBoxA(HWND(0), text, app_name_.c_str(), type);
}

}  // namespace cw
