// The platform of the console program: the real Windows for everything but
// the user interface, whose pages and message boxes are answered without
// windows by a PageHost (from the options of an unattended run).
#pragma once

#include "platform/forwarding_platform.h"
#include "scripting/page_host.h"

namespace cw {

class HeadlessPlatform : public ForwardingPlatform {
 public:
  HeadlessPlatform(Platform& inner, sim::PageHost& pages)
      : ForwardingPlatform(inner), pages_(pages) {}

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
  sim::PageHost& pages_;
};

}  // namespace cw
