// The wizard's windows as seen from outside its process: messages bounded in
// time, pages read control by control, and message boxes with the style
// that made them.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace uidriver {

// A message to a window of the wizard, bounded in time. False when the
// window is gone or did not answer in time.
bool Send(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result = nullptr);
// The message's result, or `fallback` when it could not be sent.
LRESULT SendValue(HWND hwnd, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0,
                  LRESULT fallback = -1);

// The window's text (WM_GETTEXT), in UTF-8.
std::string WindowText(HWND hwnd);
std::string ClassOf(HWND hwnd);
std::vector<HWND> Children(HWND parent);

// A page or box that is up: created, shown, not ended (EndDialog hides the
// window at once, before the dialog's loop destroys it).
bool Live(HWND hwnd);

// Lets the wizard's thread work off what the last step left in its queue.
void Settle(HWND hwnd);

struct Control {
  HWND hwnd = nullptr;
  int id = 0;
  std::string className;  // upper case, as the templates write it
  DWORD style = 0;
  std::string text;
  bool enabled = true;
  bool isList = false;
  std::vector<std::string> items;
  int selected = -1;
  bool isCheckable = false;
  int checked = 0;

  DWORD ButtonType() const { return style & BS_TYPEMASK; }
  bool IsButton() const { return className == "BUTTON"; }
};

struct Page {
  HWND hwnd = nullptr;
  int templateId = 0;  // 0: controls no page of the program has
  std::string title;
  std::vector<Control> controls;

  Control* Find(int id) {
    for (Control& c : controls)
      if (c.id == id) return &c;
    return nullptr;
  }
};

// Reads a page as it stands. False when the window has gone meanwhile.
bool ReadPage(HWND hwnd, Page* page);

bool IsMessageBox(HWND hwnd);
// A message box's text (its static control without an id).
std::string MessageBoxText(HWND box);
// The MessageBox style that made the box: its buttons, icon and default button.
UINT BoxStyle(HWND box);

// A dialog (class "#32770") of process `pid` that is shown and not in
// `seen`, the topmost first; nullptr when there is none.
HWND FindDialog(DWORD pid, const std::set<HWND>& seen);

// Logs every top-level window of process `pid` and its controls.
void DumpWindows(DWORD pid);

}  // namespace uidriver
