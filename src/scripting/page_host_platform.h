// The user-interface calls of Platform answered by a PageHost, written once
// for every platform that shows its pages without windows. `Base` gives the
// rest of the calls: the simulated Windows derives from
// PageHostPlatform<Platform> and implements them itself; the console program
// wraps the real Windows in PageHostPlatform<ForwardingPlatform>.
#pragma once

#include <utility>

#include "platform/platform.h"
#include "scripting/page_host.h"

namespace cw::sim {

template <class Base>
class PageHostPlatform : public Base {
 public:
  // `pages` is only kept here, not used, until the first call: a derived
  // class may pass a member of its own that it has not built yet.
  template <class... BaseArgs>
  explicit PageHostPlatform(PageHost& pages, BaseArgs&&... baseArgs)
      : Base(std::forward<BaseArgs>(baseArgs)...), pages_(pages) {}

  INT_PTR DialogBoxParamA(int templateId, HWND parent, DialogProcHandler* handler) override {
    return pages_.DialogBoxParamA(templateId, parent, handler);
  }
  BOOL EndDialog(HWND dialog, INT_PTR result) override { return pages_.EndDialog(dialog, result); }
  HWND GetDlgItem(HWND dialog, int id) override { return pages_.GetDlgItem(dialog, id); }
  int GetDlgCtrlID(HWND control) override { return pages_.GetDlgCtrlID(control); }
  BOOL SetWindowTextA(HWND window, const char* text) override {
    return pages_.SetWindowTextA(window, text);
  }
  int GetWindowTextA(HWND window, char* buffer, int size) override {
    return pages_.GetWindowTextA(window, buffer, size);
  }
  BOOL SetDlgItemTextA(HWND dialog, int id, const char* text) override {
    return pages_.SetDlgItemTextA(dialog, id, text);
  }
  LRESULT SendMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) override {
    return pages_.SendMessageA(window, msg, wparam, lparam);
  }
  BOOL CheckDlgButton(HWND dialog, int id, UINT check) override {
    return pages_.CheckDlgButton(dialog, id, check);
  }
  UINT IsDlgButtonChecked(HWND dialog, int id) override {
    return pages_.IsDlgButtonChecked(dialog, id);
  }
  BOOL EnableWindow(HWND window, BOOL enable) override {
    return pages_.EnableWindow(window, enable);
  }
  BOOL IsWindowEnabled(HWND window) override { return pages_.IsWindowEnabled(window); }
  HICON LoadIconA(int resourceId) override { return pages_.LoadIconA(resourceId); }
  BOOL IsIconic(HWND window) override { return pages_.IsIconic(window); }
  int GetSystemMetrics(int index) override { return pages_.GetSystemMetrics(index); }
  BOOL GetClientRect(HWND window, RECT* rect) override {
    return pages_.GetClientRect(window, rect);
  }
  HDC BeginPaint(HWND window, PAINTSTRUCT* paint) override {
    return pages_.BeginPaint(window, paint);
  }
  BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) override {
    return pages_.EndPaint(window, paint);
  }
  BOOL DrawIcon(HDC dc, int x, int y, HICON icon) override {
    return pages_.DrawIcon(dc, x, y, icon);
  }
  int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override {
    return pages_.MessageBoxA(owner, text, caption, type);
  }

 private:
  PageHost& pages_;
};

}  // namespace cw::sim
