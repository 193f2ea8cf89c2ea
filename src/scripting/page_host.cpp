// Pages without windows: modal pages built from the program's dialog
// templates, with the behaviour of Windows' buttons, radio buttons, statics,
// edit boxes, list boxes and combo boxes, answered by a script, a person or
// the options of an unattended run; and message boxes.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <utility>

#include "scripting/page_host.h"
#include "platform/win_constants.h"

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

namespace {

constexpr int kIconSize = 32;

int CompareNoCase(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

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

std::string DescribeBox(const std::string& text, const std::string& caption) {
  std::string first = text.substr(0, text.find('\n'));
  return "the message box \"" + caption + "\" (\"" + first + "\")";
}

}  // namespace

// Here, where a page's record is a complete type.
PageHost::PageHost(DialogResources dialogs, AnswerSource* answers, std::FILE* echo, Hooks hooks)
    : resources_(std::move(dialogs)), answers_(answers), echo_(echo), hooks_(std::move(hooks)) {}

PageHost::~PageHost() = default;

void PageHost::SetLastError(DWORD error) {
  if (hooks_.setLastError) hooks_.setLastError(error);
}

bool PageHost::Inject(const char* operation, DWORD* error) {
  return hooks_.inject && hooks_.inject(operation, error);
}

void PageHost::Stop(int exitCode, const std::string& message) {
  if (halt_) return;
  halt_ = Halt{exitCode, message};
  if (hooks_.halted) hooks_.halted();
  transcript_.Stopped(message);
  Echo("stopped: " + message + "\n");
}

void PageHost::Echo(const std::string& text) {
  if (echo_ == nullptr) return;
  std::fputs(text.c_str(), echo_);
  std::fflush(echo_);
}

PageHost::Dialog* PageHost::DialogOf(HWND hwnd) const {
  for (const auto& d : dialogs_)
    if (d->hwnd == hwnd) return d.get();
  return nullptr;
}

PageHost::Control* PageHost::ControlOf(HWND hwnd, Dialog** owner) const {
  for (const auto& d : dialogs_)
    for (Control& c : d->controls)
      if (c.hwnd == hwnd) {
        if (owner) *owner = d.get();
        return &c;
      }
  return nullptr;
}

PageState PageHost::Snapshot(const Dialog& dialog) const {
  PageState page;
  page.templateId = dialog.tmpl->id;
  page.title = dialog.title;
  for (const Control& c : dialog.controls) {
    ControlState s;
    s.id = c.tmpl->id;
    s.className = c.tmpl->className;
    s.text = c.text;
    s.enabled = c.enabled;
    s.isList = c.Is("LISTBOX") || c.Is("COMBOBOX");
    s.items = c.items;
    s.selected = c.cursel;
    s.isCheckable = c.IsRadio() || c.IsCheckBox();
    s.checked = static_cast<int>(c.check);
    page.controls.push_back(std::move(s));
  }
  return page;
}

void PageHost::SendCommand(Dialog& dialog, int id, int code) {
  Control* control = dialog.Find(id);
  WPARAM wparam = static_cast<WPARAM>((static_cast<unsigned>(id) & 0xFFFFu) |
                                      ((static_cast<unsigned>(code) & 0xFFFFu) << 16));
  LPARAM lparam = control ? static_cast<LPARAM>(control->hwnd) : 0;
  dialog.handler->HandleDialogMessage(dialog.hwnd, WM_COMMAND, wparam, lparam);
}

// One script step on the page that waits; false with *error when the step
// cannot apply to it (a mistake in the script).
bool PageHost::ApplyStep(Dialog& dialog, const ScriptStep& step, std::string* error) {
  const std::string where = "step " + std::to_string(step.number) + " (" + step.ToString() +
                            ") on page " + std::to_string(dialog.tmpl->id);
  switch (step.kind) {
    case ScriptStep::Click: {
      Control* c = dialog.Find(step.id);
      if (c == nullptr || !c->Is("BUTTON")) {
        *error = where + ": the page has no button " + std::to_string(step.id);
        return false;
      }
      // A disabled button cannot be clicked: the step passes with no effect.
      if (!c->enabled) return true;
      if (c->ButtonType() == BS_AUTORADIOBUTTON) {
        // The group runs from the last control with WS_GROUP at or before
        // this one to the control before the next WS_GROUP.
        size_t index = static_cast<size_t>(c - dialog.controls.data());
        size_t begin = index;
        while (begin > 0 && !(dialog.controls[begin].tmpl->style & WS_GROUP)) --begin;
        for (size_t i = begin; i < dialog.controls.size(); ++i) {
          if (i > begin && (dialog.controls[i].tmpl->style & WS_GROUP)) break;
          if (dialog.controls[i].ButtonType() == BS_AUTORADIOBUTTON && i != index)
            dialog.controls[i].check = BST_UNCHECKED;
        }
        c->check = BST_CHECKED;
      } else if (c->ButtonType() == BS_AUTOCHECKBOX) {
        c->check = c->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
      }
      SendCommand(dialog, step.id, BN_CLICKED);
      return true;
    }
    case ScriptStep::Enter: {
      // The default push button, or IDOK when the page has none; nothing
      // when that button is disabled.
      Control* def = dialog.Find(dialog.defaultId);
      if (def != nullptr && !def->enabled) return true;
      SendCommand(dialog, def ? dialog.defaultId : IDOK, BN_CLICKED);
      return true;
    }
    case ScriptStep::Esc:
      SendCommand(dialog, IDCANCEL, BN_CLICKED);
      return true;
    case ScriptStep::Close: {
      INT_PTR handled = dialog.handler->HandleDialogMessage(dialog.hwnd, WM_CLOSE, 0, 0);
      if (!handled) {
        // The dialog manager's default: cancel, unless a Cancel button
        // exists and is disabled.
        Control* cancel = dialog.Find(IDCANCEL);
        if (cancel == nullptr || cancel->enabled) dialog.posted.emplace_back(IDCANCEL, BN_CLICKED);
      }
      return true;
    }
    case ScriptStep::Select: {
      Control* c = dialog.Find(step.id);
      if (c == nullptr || !(c->Is("LISTBOX") || c->Is("COMBOBOX"))) {
        *error = where + ": the page has no list or combo box " + std::to_string(step.id);
        return false;
      }
      if (step.index < 0 || static_cast<size_t>(step.index) >= c->items.size()) {
        *error = where + ": row " + std::to_string(step.index) + " does not exist (the box has " +
                 std::to_string(c->items.size()) + " rows)";
        return false;
      }
      if (!c->enabled) return true;
      bool combo = c->Is("COMBOBOX");
      ControlMessage(dialog, *c, combo ? CB_SETCURSEL : LB_SETCURSEL,
                     static_cast<WPARAM>(step.index), 0);
      if (combo || (c->tmpl->style & LBS_NOTIFY))
        SendCommand(dialog, step.id, combo ? static_cast<int>(CBN_SELCHANGE)
                                           : static_cast<int>(LBN_SELCHANGE));
      return true;
    }
    case ScriptStep::Yes:
    case ScriptStep::No:
    case ScriptStep::Ok:
      *error = where + ": a message-box answer, but a page is waiting";
      return false;
  }
  return false;
}

INT_PTR PageHost::DialogBoxParamA(int templateId, HWND /*parent*/, DialogProcHandler* handler) {
  DWORD error = 0;
  if (Inject("DialogBoxParamA", &error)) {
    SetLastError(error);
    return -1;
  }
  // After the run has stopped nothing more is shown: the process is over.
  if (halt_) return -1;
  const DialogTemplate* tmpl = FindDialogTemplate(resources_, templateId);
  if (tmpl == nullptr || handler == nullptr) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return -1;
  }
  auto dialog = std::make_unique<Dialog>();
  dialog->hwnd = HWND(next_hwnd_);
  next_hwnd_ += 0x100;
  dialog->tmpl = tmpl;
  dialog->handler = handler;
  dialog->title = tmpl->caption;
  uintptr_t child = static_cast<uintptr_t>(dialog->hwnd) + 1;
  for (const ControlTemplate& ct : tmpl->controls) {
    Control c;
    c.hwnd = HWND(child++);
    c.tmpl = &ct;
    c.text = ct.text;
    c.enabled = !(ct.style & WS_DISABLED);
    if (std::strcmp(ct.className, "BUTTON") == 0 && (ct.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      dialog->defaultId = ct.id;
    dialog->controls.push_back(std::move(c));
  }
  dialogs_.push_back(std::move(dialog));
  Dialog& d = *dialogs_.back();

  handler->HandleDialogMessage(d.hwnd, WM_INITDIALOG, 0, 0);
  if (!d.ended) {
    last_page_ = Snapshot(d);
    transcript_.PageOpened(*last_page_);
    Echo(RenderPage(*last_page_));
  }

  if (!d.ended && answers_ != nullptr) answers_->PageWaits(templateId);
  while (!d.ended) {
    if (!d.posted.empty()) {
      auto [id, code] = d.posted.front();
      d.posted.pop_front();
      SendCommand(d, id, code);
      continue;
    }
    ScriptStep step;
    if (answers_ == nullptr || !answers_->Peek(&step)) {
      Stop(3, "the answers ran out while page " + std::to_string(templateId) + " \"" + d.title +
                  "\" waited");
      d.ended = true;
      d.result = -1;
      break;
    }
    answers_->Take();
    std::string problem;
    if (!ApplyStep(d, step, &problem)) {
      if (answers_->Interactive()) {
        // A person gets told and asked again.
        Echo(problem + "\n");
        continue;
      }
      Stop(2, problem);
      d.ended = true;
      d.result = -1;
      break;
    }
    // Posted commands are handled before the page counts as having settled.
    while (!d.ended && !d.posted.empty()) {
      auto [id, code] = d.posted.front();
      d.posted.pop_front();
      SendCommand(d, id, code);
    }
    if (!d.ended) {
      last_page_ = Snapshot(d);
      transcript_.PageAction(*last_page_, step.ToString());
      if (answers_->Interactive()) Echo(RenderPage(*last_page_));
    }
  }

  INT_PTR result = d.result;
  if (!halt_) {
    transcript_.PageEnded(templateId, result);
    Echo("page " + std::to_string(templateId) + " ended with " +
         std::to_string(static_cast<long long>(result)) + "\n");
  }
  d.handler->HandleDialogMessage(d.hwnd, WM_DESTROY, 0, 0);
  dialogs_.pop_back();
  return result;
}

BOOL PageHost::EndDialog(HWND dialog, INT_PTR result) {
  Dialog* d = DialogOf(dialog);
  if (d == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  d->ended = true;
  d->result = result;
  return TRUE;
}

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

int PageHost::MessageBoxA(HWND /*owner*/, const char* text, const char* caption, UINT type) {
  DWORD error = 0;
  if (Inject("MessageBoxA", &error)) {
    SetLastError(error);
    return 0;
  }
  if (halt_) return 0;
  std::string body = text ? text : "";
  std::string title = caption ? caption : "Error";  // Windows' caption when none is given
  Echo(RenderMessageBox(body, title, type));

  const UINT buttons = type & MB_TYPEMASK;
  int answer = 0;
  if (answers_ != nullptr) answers_->MessageBoxWaits(body, type);
  // However the box ends, the answers hear that it no longer waits.
  struct Answered {
    AnswerSource* answers;
    ~Answered() {
      if (answers != nullptr) answers->MessageBoxAnswered();
    }
  } answered{answers_};
  ScriptStep step;
  bool have = answers_ != nullptr && answers_->Peek(&step);
  if (buttons == MB_OK) {
    // Answered OK by itself unless the script says "ok" here (or a person
    // is reading, who acknowledges it).
    if (have && step.kind == ScriptStep::Ok) {
      answers_->Take();
    } else if (!have && answers_ != nullptr && answers_->Interactive()) {
      Stop(3, "the answers ran out while " + DescribeBox(body, title) + " waited");
      return 0;
    }
    answer = IDOK;
  } else {
    const bool yesNo = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
    const bool okCancel = buttons == MB_OKCANCEL;
    while (answer == 0) {
      if (!have) {
        Stop(3, "the answers ran out while " + DescribeBox(body, title) + " waited");
        return 0;
      }
      if (yesNo && step.kind == ScriptStep::Yes) answer = IDYES;
      else if (yesNo && step.kind == ScriptStep::No) answer = IDNO;
      else if (okCancel && step.kind == ScriptStep::Ok) answer = IDOK;
      answers_->Take();
      if (answer != 0) break;
      std::string problem = "step " + std::to_string(step.number) + " (" + step.ToString() +
                            ") cannot answer " + DescribeBox(body, title);
      if (!answers_->Interactive()) {
        Stop(2, problem);
        return 0;
      }
      Echo(problem + "\n");
      have = answers_->Peek(&step);
    }
  }
  transcript_.MessageBox(body, title, type, answer);
  if (hooks_.messageBoxShown) hooks_.messageBoxShown(body, title, type, answer);
  Echo("answered " + std::to_string(answer) + "\n");
  return answer;
}

}  // namespace cw::sim
