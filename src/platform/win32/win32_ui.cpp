// The real Windows behind the platform seam: pages, controls and message
// boxes. Each operation is one call of the API, with its result and last
// error handed back untouched.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_convert.h"

namespace cw::win32 {

using namespace convert;

namespace {

// The dialog procedure of every page: the page's handler arrives with
// WM_INITDIALOG and is kept in the dialog's DWLP_USER slot; every later
// message goes to it. The handler's result is the procedure's result, which
// is what Windows expects both for the TRUE/FALSE messages and for the few
// whose value is returned directly (WM_INITDIALOG, WM_QUERYDRAGICON).
INT_PTR CALLBACK PageProc(::HWND hwnd, ::UINT msg, ::WPARAM wparam, ::LPARAM lparam) {
  DialogProcHandler* handler = nullptr;
  if (msg == WM_INITDIALOG) {
    handler = reinterpret_cast<DialogProcHandler*>(lparam);
    ::SetWindowLongPtrA(hwnd, DWLP_USER, lparam);
  } else {
    handler = reinterpret_cast<DialogProcHandler*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
  }
  // Before WM_INITDIALOG (WM_SETFONT and the creation messages) there is no
  // handler yet; the dialog manager's default processing applies.
  if (handler == nullptr) return FALSE;

  INT_PTR result = FALSE;
  // User32 is C: an exception must not unwind through it. A page that fails
  // this way ends as a page that could not be shown, so the wizard stops
  // rather than act on a half-run page.
  try {
    result = handler->HandleDialogMessage(ToMirror<HWND>(hwnd), msg, wparam, lparam);
  } catch (...) {
    ::EndDialog(hwnd, -1);
    result = FALSE;
  }
  // The window is gone after this one; do not keep pointing at the handler.
  if (msg == WM_NCDESTROY) ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
  return result;
}

}  // namespace

// ---------------------------------------------------------------------------
// User interface

INT_PTR Win32Platform::DialogBoxParamA(int templateId, HWND parent, DialogProcHandler* handler) {
  // Without a handler nothing could ever end the page: refuse it as a page
  // that cannot be created.
  if (handler == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId),
                           RealWnd(parent), &PageProc, reinterpret_cast<::LPARAM>(handler));
}

BOOL Win32Platform::EndDialog(HWND dialog, INT_PTR result) {
  return ::EndDialog(RealWnd(dialog), result);
}

HWND Win32Platform::GetDlgItem(HWND dialog, int id) {
  return ToMirror<HWND>(::GetDlgItem(RealWnd(dialog), id));
}

int Win32Platform::GetDlgCtrlID(HWND control) { return ::GetDlgCtrlID(RealWnd(control)); }

BOOL Win32Platform::SetWindowTextA(HWND window, const char* text) {
  return ::SetWindowTextA(RealWnd(window), text);
}

int Win32Platform::GetWindowTextA(HWND window, char* buffer, int size) {
  return ::GetWindowTextA(RealWnd(window), buffer, size);
}

BOOL Win32Platform::SetDlgItemTextA(HWND dialog, int id, const char* text) {
  return ::SetDlgItemTextA(RealWnd(dialog), id, text);
}

LRESULT Win32Platform::SendMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::SendMessageA(RealWnd(window), msg, wparam, lparam);
}

BOOL Win32Platform::CheckDlgButton(HWND dialog, int id, UINT check) {
  return ::CheckDlgButton(RealWnd(dialog), id, check);
}

UINT Win32Platform::IsDlgButtonChecked(HWND dialog, int id) {
  return ::IsDlgButtonChecked(RealWnd(dialog), id);
}

BOOL Win32Platform::EnableWindow(HWND window, BOOL enable) {
  return ::EnableWindow(RealWnd(window), enable);
}

BOOL Win32Platform::IsWindowEnabled(HWND window) { return ::IsWindowEnabled(RealWnd(window)); }

HICON Win32Platform::LoadIconA(int resourceId) {
  return ToMirror<HICON>(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resourceId)));
}

BOOL Win32Platform::IsIconic(HWND window) { return ::IsIconic(RealWnd(window)); }

int Win32Platform::GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

BOOL Win32Platform::GetClientRect(HWND window, RECT* rect) {
  return ::GetClientRect(RealWnd(window), reinterpret_cast<::LPRECT>(rect));
}

HDC Win32Platform::BeginPaint(HWND window, PAINTSTRUCT* paint) {
  return ToMirror<HDC>(::BeginPaint(RealWnd(window), reinterpret_cast<::LPPAINTSTRUCT>(paint)));
}

BOOL Win32Platform::EndPaint(HWND window, const PAINTSTRUCT* paint) {
  return ::EndPaint(RealWnd(window), reinterpret_cast<const ::PAINTSTRUCT*>(paint));
}

BOOL Win32Platform::DrawIcon(HDC dc, int x, int y, HICON icon) {
  return ::DrawIcon(RealDc(dc), x, y, RealIcon(icon));
}

int Win32Platform::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  return ::MessageBoxA(RealWnd(owner), text, caption, type);
}

}  // namespace cw::win32
