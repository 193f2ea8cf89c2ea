// The controls of pages without windows, with the behaviour of Windows'
// buttons, radio buttons, statics, edit boxes, list boxes and combo boxes,
// and the window calls the program makes on them.
#include "scripting/page_host.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/text.h"
#include "platform/win_constants.h"
#include "scripting/page_host_records.h"

namespace cw::sim {

namespace {

constexpr int kIconSize = 32;

const char* TextOf(LPARAM lparam) {
  const char* text = reinterpret_cast<const char*>(lparam);
  return text ? text : "";
}

// Copies a text into a caller's buffer of `size` characters, cut and
// terminated; returns the characters copied.
int CopyOut(const std::string& text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  int n = static_cast<int>(std::min<size_t>(text.size(), static_cast<size_t>(size - 1)));
  std::memcpy(buffer, text.data(), static_cast<size_t>(n));
  buffer[n] = '\0';
  return n;
}

}  // namespace

HWND PageHost::GetDlgItem(HWND dialog, int id) {
  Dialog* d = DialogOf(dialog);
  if (d == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return HWND(0);
  }
  Control* c = d->Find(id);
  if (c == nullptr) {
    SetLastError(1421);  // ERROR_CONTROL_ID_NOT_FOUND
    return HWND(0);
  }
  return c->hwnd;
}

int PageHost::GetDlgCtrlID(HWND control) {
  Control* c = ControlOf(control);
  return c ? c->tmpl->id : 0;
}

BOOL PageHost::SetWindowTextA(HWND window, const char* text) {
  if (Dialog* d = DialogOf(window)) {
    d->title = text ? text : "";
    return TRUE;
  }
  if (Control* c = ControlOf(window)) {
    c->text = text ? text : "";
    return TRUE;
  }
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return FALSE;
}

int PageHost::GetWindowTextA(HWND window, char* buffer, int size) {
  if (Dialog* d = DialogOf(window)) return CopyOut(d->title, buffer, size);
  if (Control* c = ControlOf(window)) return CopyOut(c->text, buffer, size);
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  if (buffer && size > 0) buffer[0] = '\0';
  return 0;
}

BOOL PageHost::SetDlgItemTextA(HWND dialog, int id, const char* text) {
  HWND control = GetDlgItem(dialog, id);
  if (control == HWND(0)) return FALSE;
  return SetWindowTextA(control, text);
}

LRESULT PageHost::ControlMessage(Dialog& /*dialog*/, Control& c, UINT msg, WPARAM wparam,
                                    LPARAM lparam) {
  const bool list = c.Is("LISTBOX");
  const bool combo = c.Is("COMBOBOX");
  const int count = static_cast<int>(c.items.size());
  const int index = static_cast<int>(static_cast<long long>(wparam));
  switch (msg) {
    case WM_SETTEXT:
      c.text = TextOf(lparam);
      return TRUE;
    case WM_GETTEXT:
      return CopyOut(c.text, reinterpret_cast<char*>(lparam), static_cast<int>(wparam));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(c.text.size());
    case BM_GETCHECK:
      return c.Is("BUTTON") ? c.check : 0;
    case BM_SETCHECK:
      if (c.IsRadio() || c.IsCheckBox()) c.check = static_cast<UINT>(wparam);
      return 0;
    default:
      break;
  }
  if (list || combo) {
    const bool sorted = list ? (c.tmpl->style & LBS_SORT) != 0 : (c.tmpl->style & CBS_SORT) != 0;
    const LRESULT err = list ? LB_ERR : CB_ERR;
    UINT add = list ? LB_ADDSTRING : CB_ADDSTRING;
    UINT reset = list ? LB_RESETCONTENT : CB_RESETCONTENT;
    UINT setcur = list ? LB_SETCURSEL : CB_SETCURSEL;
    UINT getcur = list ? LB_GETCURSEL : CB_GETCURSEL;
    UINT getcount = list ? LB_GETCOUNT : CB_GETCOUNT;
    UINT gettext = list ? LB_GETTEXT : CB_GETLBTEXT;
    UINT gettextlen = list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN;
    if (msg == add) {
      std::string text = TextOf(lparam);
      size_t at = c.items.size();
      if (sorted) {
        at = 0;
        while (at < c.items.size() && CompareNoCase(c.items[at], text) <= 0) ++at;
      }
      c.items.insert(c.items.begin() + static_cast<std::ptrdiff_t>(at), text);
      if (c.cursel >= static_cast<int>(at)) ++c.cursel;
      return static_cast<LRESULT>(at);
    }
    if (msg == reset) {
      c.items.clear();
      c.cursel = -1;
      if (combo) c.text.clear();
      return list ? 0 : CB_OKAY;
    }
    if (msg == setcur) {
      // Out of range (-1 included) leaves nothing selected and reports an
      // error, as Windows does.
      if (index < 0 || index >= count) {
        c.cursel = -1;
        if (combo) c.text.clear();
        return err;
      }
      c.cursel = index;
      if (combo) c.text = c.items[static_cast<size_t>(index)];
      return index;
    }
    if (msg == getcur) return c.cursel >= 0 ? c.cursel : err;
    if (msg == getcount) return count;
    if (msg == gettext) {
      if (index < 0 || index >= count) return err;
      const std::string& item = c.items[static_cast<size_t>(index)];
      char* out = reinterpret_cast<char*>(lparam);
      if (out) std::memcpy(out, item.c_str(), item.size() + 1);
      return static_cast<LRESULT>(item.size());
    }
    if (msg == gettextlen) {
      if (index < 0 || index >= count) return err;
      return static_cast<LRESULT>(c.items[static_cast<size_t>(index)].size());
    }
  }
  return 0;
}

LRESULT PageHost::SendMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (Dialog* d = DialogOf(window)) {
    switch (msg) {
      case WM_SETICON: {
        HICON& slot = wparam == ICON_BIG ? d->bigIcon : d->smallIcon;
        HICON previous = slot;
        slot = HICON(static_cast<uintptr_t>(lparam));
        return static_cast<LRESULT>(previous);
      }
      case WM_SETTEXT:
        d->title = TextOf(lparam);
        return TRUE;
      case WM_ICONERASEBKGND:
        return TRUE;
      default:
        return d->handler->HandleDialogMessage(window, msg, wparam, lparam);
    }
  }
  Dialog* owner = nullptr;
  if (Control* c = ControlOf(window, &owner)) return ControlMessage(*owner, *c, msg, wparam, lparam);
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return 0;
}

BOOL PageHost::CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND control = GetDlgItem(dialog, id);
  if (control == HWND(0)) return FALSE;
  SendMessageA(control, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT PageHost::IsDlgButtonChecked(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  if (control == HWND(0)) return 0;
  return static_cast<UINT>(SendMessageA(control, BM_GETCHECK, 0, 0));
}

BOOL PageHost::EnableWindow(HWND window, BOOL enable) {
  // Returns whether the window was disabled before.
  if (Control* c = ControlOf(window)) {
    BOOL wasDisabled = c->enabled ? FALSE : TRUE;
    c->enabled = enable != FALSE;
    return wasDisabled;
  }
  if (DialogOf(window) != nullptr) return FALSE;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return FALSE;
}

BOOL PageHost::IsWindowEnabled(HWND window) {
  if (Control* c = ControlOf(window)) return c->enabled ? TRUE : FALSE;
  return DialogOf(window) != nullptr ? TRUE : FALSE;
}

HICON PageHost::LoadIconA(int resourceId) {
  DWORD error = 0;
  if (Inject("LoadIconA", &error)) {
    SetLastError(error);
    return HICON(0);
  }
  if (resourceId != 128) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return HICON(0);
  }
  return HICON(0x7F00 + static_cast<uintptr_t>(resourceId));
}

BOOL PageHost::IsIconic(HWND /*window*/) { return FALSE; }

int PageHost::GetSystemMetrics(int index) {
  return index == SM_CXICON || index == SM_CYICON ? kIconSize : 0;
}

BOOL PageHost::GetClientRect(HWND window, RECT* rect) {
  Dialog* d = DialogOf(window);
  if (d == nullptr || rect == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  // Dialog units at 8-point Arial: about 1.5 pixels across, 1.625 down.
  *rect = RECT{0, 0, d->tmpl->cx * 3 / 2, d->tmpl->cy * 13 / 8};
  return TRUE;
}

HDC PageHost::BeginPaint(HWND window, PAINTSTRUCT* paint) {
  if (paint) *paint = PAINTSTRUCT{};
  if (DialogOf(window) == nullptr) return HDC(0);
  HDC dc = HDC(0xDC00 + static_cast<uintptr_t>(window));
  if (paint) paint->hdc = dc;
  return dc;
}

BOOL PageHost::EndPaint(HWND /*window*/, const PAINTSTRUCT* /*paint*/) { return TRUE; }

BOOL PageHost::DrawIcon(HDC dc, int /*x*/, int /*y*/, HICON icon) {
  return dc != HDC(0) && icon != HICON(0) ? TRUE : FALSE;
}

}  // namespace cw::sim
