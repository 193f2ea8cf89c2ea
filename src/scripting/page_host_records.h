// The records of a PageHost's open pages and their controls, shared by the
// files that run the pages (page_host.cpp) and answer their controls'
// messages (page_host_controls.cpp).
#pragma once

#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/win_constants.h"
#include "scripting/page_host.h"

namespace cw::sim {

struct PageHost::Control {
  HWND hwnd;
  const ControlTemplate* tmpl;
  std::string text;
  bool enabled = true;
  UINT check = BST_UNCHECKED;
  std::vector<std::string> items;
  int cursel = -1;

  bool Is(const char* cls) const { return std::strcmp(tmpl->className, cls) == 0; }
  DWORD ButtonType() const { return tmpl->style & BS_TYPEMASK; }
  bool IsRadio() const {
    return Is("BUTTON") && (ButtonType() == BS_AUTORADIOBUTTON || ButtonType() == BS_RADIOBUTTON);
  }
  bool IsCheckBox() const {
    return Is("BUTTON") && (ButtonType() == BS_AUTOCHECKBOX || ButtonType() == BS_CHECKBOX);
  }
  bool IsPushButton() const {
    return Is("BUTTON") && (ButtonType() == BS_PUSHBUTTON || ButtonType() == BS_DEFPUSHBUTTON);
  }
};

struct PageHost::Dialog {
  HWND hwnd;
  const DialogTemplate* tmpl;
  DialogProcHandler* handler;
  std::string title;
  std::vector<Control> controls;
  bool ended = false;
  INT_PTR result = 0;
  int defaultId = IDOK;
  HICON bigIcon = HICON(0);
  HICON smallIcon = HICON(0);
  std::deque<std::pair<int, int>> posted;  // WM_COMMAND (id, code) posted to the page

  Control* Find(int id) {
    for (Control& c : controls)
      if (c.tmpl->id == id) return &c;
    return nullptr;
  }
};

}  // namespace cw::sim
