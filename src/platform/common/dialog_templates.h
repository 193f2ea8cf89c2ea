// The four dialog templates of the program, as data. The simulated Windows
// builds its pages from these; resources/chanwiz.rc holds the same templates
// for the Windows build, and a test compares the two so they cannot drift.
#pragma once

#include <vector>

#include "platform/win_types.h"

namespace cw {

struct ControlTemplate {
  int id;
  const char* className;  // "BUTTON", "STATIC", "LISTBOX", "COMBOBOX", "EDIT"
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;
  const char* text;
};

struct DialogTemplate {
  int id;
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;
  const char* caption;
  const char* fontName;
  int pointSize;
  std::vector<ControlTemplate> controls;  // in tab order
};

// Null when the program has no template of that id.
const DialogTemplate* FindDialogTemplate(int id);
const std::vector<DialogTemplate>& AllDialogTemplates();

}  // namespace cw
