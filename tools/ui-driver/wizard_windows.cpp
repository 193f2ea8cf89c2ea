#include "wizard_windows.h"

#include <algorithm>

#include "png.h"
#include "text.h"

namespace uidriver {

namespace {

constexpr UINT kSendTimeoutMs = 5000;

// Item `index` of a list box (combo=false) or combo box, in UTF-8.
std::string ListItem(HWND ctl, bool combo, int index) {
  LRESULT len = SendValue(ctl, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, static_cast<WPARAM>(index));
  if (len < 0) return std::string();
  std::vector<wchar_t> buf(static_cast<size_t>(len) + 2, L'\0');
  LRESULT got = SendValue(ctl, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(index),
                          reinterpret_cast<LPARAM>(buf.data()));
  if (got < 0) return std::string();
  return ToUtf8(std::wstring(buf.data(), std::min<size_t>(static_cast<size_t>(got), buf.size())));
}

// The program's pages, told apart by their controls.
int TemplateOf(const std::vector<Control>& controls) {
  std::set<int> ids;
  for (const Control& c : controls) ids.insert(c.id);
  struct Known {
    int id;
    std::set<int> controls;
  };
  static const Known kKnown[] = {
      {102, {1015, 1016, 1023}},
      {129, {1, 2, 1012, 1025, 1020}},
      {130, {1, 2, 1019, 1024, 1021}},
      {131, {1, 1026, 1022, 1023}},
  };
  for (const Known& k : kKnown)
    if (k.controls == ids) return k.id;
  return 0;
}

// The icon a message box shows, as its MB_ICON* flag: the icon control's
// picture compared with the system's icons drawn here.
UINT IconStyle(HWND box) {
  HWND icon = nullptr;
  for (HWND c : Children(box)) {
    if (Upper(ClassOf(c)) != "STATIC") continue;
    DWORD style = static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE));
    if ((style & SS_TYPEMASK) == SS_ICON) {
      icon = c;
      break;
    }
  }
  if (icon == nullptr || !IsWindowVisible(icon)) return 0;
  if (SendValue(icon, STM_GETICON, 0, 0, 0) == 0) return 0;
  RECT r;
  GetWindowRect(icon, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0 || w > 256 || h > 256) return 0;
  RedrawWindow(icon, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  Settle(box);
  Sleep(100);

  std::vector<DWORD> shown;
  Pixels(w, h,
         [&](HDC into, HDC screen) {
           BitBlt(into, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
           return true;
         },
         &shown);

  // Draws a system icon the way the icon control does (at its top left, its
  // own size) on two backgrounds: pixels that differ are see-through.
  struct Candidate {
    LPCWSTR id;
    UINT style;
  };
  static const Candidate kIcons[] = {{IDI_HAND, MB_ICONHAND},
                                     {IDI_QUESTION, MB_ICONQUESTION},
                                     {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
                                     {IDI_ASTERISK, MB_ICONASTERISK}};
  UINT best = 0;
  double bestScore = 0.0;
  for (const Candidate& cand : kIcons) {
    HICON hicon = LoadIconW(nullptr, cand.id);  // shared: not to be destroyed
    if (!hicon) continue;
    std::vector<DWORD> onBlack, onWhite;
    for (int pass = 0; pass < 2; ++pass) {
      Pixels(w, h,
             [&](HDC into, HDC) {
               RECT all = {0, 0, w, h};
               FillRect(into, &all,
                        static_cast<HBRUSH>(GetStockObject(pass ? WHITE_BRUSH : BLACK_BRUSH)));
               DrawIconEx(into, 0, 0, hicon, 0, 0, 0, nullptr, DI_NORMAL);
               return true;
             },
             pass ? &onWhite : &onBlack);
    }
    size_t solid = 0, same = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
      if ((onBlack[i] & 0xFFFFFF) != (onWhite[i] & 0xFFFFFF)) continue;  // see-through
      ++solid;
      if ((onBlack[i] & 0xFFFFFF) == (shown[i] & 0xFFFFFF)) ++same;
    }
    double score = solid ? static_cast<double>(same) / static_cast<double>(solid) : 0.0;
    if (score > bestScore) {
      bestScore = score;
      best = cand.style;
    }
  }
  if (bestScore < 0.9) {
    Log("the message box's icon matches no system icon (best %.2f)", bestScore);
    return 0;
  }
  return best;
}

struct FindContext {
  DWORD pid;
  const std::set<HWND>* seen;
  HWND found;
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM lparam) {
  auto* ctx = reinterpret_cast<FindContext*>(lparam);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != ctx->pid || ctx->seen->count(hwnd) || !IsWindowVisible(hwnd)) return TRUE;
  if (ClassOf(hwnd) != "#32770") return TRUE;
  ctx->found = hwnd;  // the first one is the topmost
  return FALSE;
}

BOOL CALLBACK DumpProc(HWND hwnd, LPARAM lparam) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != static_cast<DWORD>(lparam)) return TRUE;
  Log("window %p class \"%s\" title \"%s\" visible %d style %08lx exstyle %08lx",
      static_cast<void*>(hwnd), ClassOf(hwnd).c_str(), WindowText(hwnd).c_str(),
      IsWindowVisible(hwnd) ? 1 : 0, static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_STYLE)),
      static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_EXSTYLE)));
  for (HWND c : Children(hwnd)) {
    Log("  control %d class \"%s\" text \"%s\" visible %d enabled %d style %08lx icon %p",
        GetDlgCtrlID(c), ClassOf(c).c_str(), WindowText(c).c_str(), IsWindowVisible(c) ? 1 : 0,
        IsWindowEnabled(c) ? 1 : 0, static_cast<unsigned long>(GetWindowLongW(c, GWL_STYLE)),
        reinterpret_cast<void*>(SendValue(c, STM_GETICON, 0, 0, 0)));
  }
  return TRUE;
}

// A message box's text has no control id (0xFFFF as a WORD).
bool IsBoxText(HWND c) {
  int id = GetDlgCtrlID(c);
  return id == 0xFFFF || id == -1;
}

}  // namespace

bool Send(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(hwnd, msg, wparam, lparam, SMTO_NORMAL, kSendTimeoutMs, &r))
    return false;
  if (result) *result = static_cast<LRESULT>(r);
  return true;
}

LRESULT SendValue(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT fallback) {
  LRESULT r = 0;
  return Send(hwnd, msg, wparam, lparam, &r) ? r : fallback;
}

// WM_GETTEXT works for another process's controls, edit boxes included. The
// W message: under Wine the ANSI text messages to another process do not
// always come back as ANSI.
std::string WindowText(HWND hwnd) {
  LRESULT len = SendValue(hwnd, WM_GETTEXTLENGTH);
  if (len <= 0) return std::string();
  std::vector<wchar_t> buf(static_cast<size_t>(len) + 2, L'\0');
  LRESULT got = SendValue(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), 0);
  if (got < 0) got = 0;
  return ToUtf8(std::wstring(buf.data(), std::min<size_t>(static_cast<size_t>(got), buf.size())));
}

std::string ClassOf(HWND hwnd) {
  wchar_t buf[128] = {};
  GetClassNameW(hwnd, buf, 127);
  return ToUtf8(buf);
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr && out.size() < 512;
       c = GetWindow(c, GW_HWNDNEXT))
    out.push_back(c);
  return out;
}

bool Live(HWND hwnd) { return IsWindow(hwnd) && IsWindowVisible(hwnd); }

// A WM_CLOSE posts IDCANCEL, EndDialog posts a wake-up: every sent message
// is taken in a later turn of the wizard's message loop than the posted ones
// before it.
void Settle(HWND hwnd) {
  for (int i = 0; i < 3 && IsWindow(hwnd); ++i) {
    Send(hwnd, WM_NULL, 0, 0);
    Sleep(15);
  }
}

bool ReadPage(HWND hwnd, Page* page) {
  if (!IsWindow(hwnd)) return false;
  Page p;
  p.hwnd = hwnd;
  p.title = WindowText(hwnd);
  for (HWND h : Children(hwnd)) {
    Control c;
    c.hwnd = h;
    c.id = GetDlgCtrlID(h);
    c.className = Upper(ClassOf(h));
    c.style = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE));
    c.text = WindowText(h);
    c.enabled = IsWindowEnabled(h) != FALSE;
    if (c.className == "LISTBOX" || c.className == "COMBOBOX") {
      const bool combo = c.className == "COMBOBOX";
      c.isList = true;
      LRESULT count = SendValue(h, combo ? CB_GETCOUNT : LB_GETCOUNT);
      for (LRESULT i = 0; i < count && i < 4096; ++i)
        c.items.push_back(ListItem(h, combo, static_cast<int>(i)));
      LRESULT sel = SendValue(h, combo ? CB_GETCURSEL : LB_GETCURSEL);
      c.selected = sel >= 0 ? static_cast<int>(sel) : -1;
    }
    if (c.IsButton()) {
      DWORD type = c.ButtonType();
      c.isCheckable = type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON ||
                      type == BS_AUTOCHECKBOX || type == BS_CHECKBOX;
      if (c.isCheckable) c.checked = static_cast<int>(SendValue(h, BM_GETCHECK, 0, 0, 0));
    }
    p.controls.push_back(std::move(c));
  }
  if (!IsWindow(hwnd)) return false;
  p.templateId = TemplateOf(p.controls);
  *page = std::move(p);
  return true;
}

bool IsMessageBox(HWND hwnd) {
  for (HWND c : Children(hwnd))
    if (IsBoxText(c) && Upper(ClassOf(c)) == "STATIC") return true;
  return false;
}

std::string MessageBoxText(HWND box) {
  for (HWND c : Children(box))
    if (IsBoxText(c)) return WindowText(c);
  return std::string();
}

UINT BoxStyle(HWND box) {
  struct Button {
    int id;
    int x;
    bool isDefault;
  };
  std::vector<Button> buttons;
  std::set<int> ids;
  for (HWND c : Children(box)) {
    if (Upper(ClassOf(c)) != "BUTTON" || !IsWindowVisible(c)) continue;
    RECT r;
    GetWindowRect(c, &r);
    DWORD type = static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE)) & BS_TYPEMASK;
    buttons.push_back({GetDlgCtrlID(c), r.left, type == BS_DEFPUSHBUTTON});
    ids.insert(GetDlgCtrlID(c));
  }
  std::sort(buttons.begin(), buttons.end(),
            [](const Button& a, const Button& b) { return a.x < b.x; });
  UINT style = 0;
  if (ids.erase(IDHELP)) style |= MB_HELP;
  if (ids == std::set<int>{IDOK})
    style |= MB_OK;
  else if (ids == std::set<int>{IDOK, IDCANCEL})
    style |= MB_OKCANCEL;
  else if (ids == std::set<int>{IDABORT, IDRETRY, IDIGNORE})
    style |= MB_ABORTRETRYIGNORE;
  else if (ids == std::set<int>{IDYES, IDNO, IDCANCEL})
    style |= MB_YESNOCANCEL;
  else if (ids == std::set<int>{IDYES, IDNO})
    style |= MB_YESNO;
  else if (ids == std::set<int>{IDRETRY, IDCANCEL})
    style |= MB_RETRYCANCEL;
  else if (ids == std::set<int>{IDCANCEL, IDTRYAGAIN, IDCONTINUE})
    style |= MB_CANCELTRYCONTINUE;
  else
    Log("a message box with an unknown set of buttons");
  style |= IconStyle(box);
  // The default button is the one drawn as such (MB_DEFBUTTON1..4 by its
  // place from the left).
  for (size_t i = 0; i < buttons.size(); ++i)
    if (buttons[i].isDefault) style |= static_cast<UINT>(i) << 8;
  return style;
}

HWND FindDialog(DWORD pid, const std::set<HWND>& seen) {
  FindContext ctx{pid, &seen, nullptr};
  EnumWindows(FindProc, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

void DumpWindows(DWORD pid) { EnumWindows(DumpProc, static_cast<LPARAM>(pid)); }

}  // namespace uidriver
