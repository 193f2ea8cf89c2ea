// A dialog template as a program's resources hold it. Windows builds a page
// from its program's templates; the simulated Windows is handed the program's
// templates as data when the program starts (see app/dialog_templates.h).
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

// The dialog resources of one program.
using DialogResources = std::vector<DialogTemplate>;

// Null when `resources` hold no template of that id.
inline const DialogTemplate* FindDialogTemplate(const DialogResources& resources, int id) {
  for (const DialogTemplate& t : resources)
    if (t.id == id) return &t;
  return nullptr;
}

}  // namespace cw
