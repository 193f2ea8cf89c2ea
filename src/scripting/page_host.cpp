// Pages without windows: modal pages built from the program's dialog
// templates, run until they end, with each wait answered by a script step, a
// person or the options of an unattended run; and message boxes. The
// controls' behaviour is in page_host_controls.cpp.
#include "scripting/page_host.h"

#include <algorithm>
#include <utility>

#include "platform/win_constants.h"
#include "scripting/page_host_records.h"

namespace cw::sim {

namespace {

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
