#include "driver.h"

#include <cstdio>

#include "png.h"
#include "polling.h"
#include "records.h"
#include "text.h"

namespace uidriver {

namespace {

struct SendJob {
  HWND hwnd;
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
  BOOL ok;
  DWORD error;
};

DWORD WINAPI SendThread(void* arg) {
  auto* job = static_cast<SendJob*>(arg);
  DWORD_PTR r = 0;
  // The wizard may keep this message while it shows further windows (a
  // message box from a button's handler): the bound is long, the driver's
  // own loop bounds the wait for progress.
  job->ok =
      SendMessageTimeoutW(job->hwnd, job->msg, job->wparam, job->lparam, SMTO_NORMAL, 600000, &r);
  job->error = job->ok ? 0 : GetLastError();
  return 0;
}

}  // namespace

void Driver::Record(const std::string& line) {
  if (out_) {
    std::fputs(line.c_str(), out_.get());
    std::fputc('\n', out_.get());
    std::fflush(out_.get());
  }
}

Outcome Driver::Stop(Outcome code, const std::string& why) {
  Record(StoppedRecord(why));
  Log("stopped: %s", why.c_str());
  return code;
}

bool Driver::Attach() {
  if (!options_.startExe.empty()) {
    if (!StartProcess(options_.startExe, options_.startArgs, &process_)) return false;
    started_ = true;
    return true;
  }
  DWORD pid = options_.pid;
  if (pid == 0) pid = WaitForProcess(options_.waitExe, options_.timeoutSeconds);
  return pid != 0 && OpenProcessById(pid, &process_);
}

Outcome Driver::WaitForWindow(HWND* found, const std::string& after) {
  Outcome outcome = kFailed;
  PollUntil(PollTries(options_.timeoutSeconds), kPollMs, [&] {
    if (HWND w = FindNewWindow()) {
      *found = w;
      outcome = kGoOn;
      return Look::kDone;
    }
    if (!Exited()) return Look::kNothing;
    outcome = kExited;
    return Look::kDone;
  });
  if (outcome == kFailed) {
    Log("no window of the wizard appeared within %d s %s, and its process still runs",
        options_.timeoutSeconds, after.c_str());
    DumpWindows(process_.pid);
  }
  return outcome;
}

int Driver::Run() {
  if (!options_.transcript.empty()) {
    out_.reset(_wfopen(FromUtf8(options_.transcript).c_str(), L"wb"));
    if (!out_) {
      Log("cannot write %s", options_.transcript.c_str());
      return kBadStep;
    }
  }
  if (!Attach()) return kFailed;
  std::string after = "after the start";
  for (;;) {
    HWND w = nullptr;
    Outcome o = WaitForWindow(&w, after);
    if (o == kExited) break;
    if (o != kGoOn) return o;
    o = HandleWindow(w);
    if (o != kGoOn) {
      if (started_ && !Exited()) {
        // The run ends here, as it does in the simulation: nothing more is
        // shown or answered.
        TerminateProcess(process_.handle.get(), 1);
        WaitForSingleObject(process_.handle.get(), 5000);
      }
      return o;
    }
    after = "after the last window";
  }
  DWORD code = 0;
  GetExitCodeProcess(process_.handle.get(), &code);
  Log("the wizard's process has exited (exit code %lu)", code);
  return kExited;
}

Outcome Driver::HandleWindow(HWND hwnd) {
  seen_.insert(hwnd);
  Settle(hwnd);
  if (options_.dump) DumpWindows(process_.pid);
  return IsMessageBox(hwnd) ? HandleMessageBox(hwnd) : HandlePage(hwnd);
}

void Driver::Shoot(HWND hwnd, const std::string& what) {
  if (options_.screenshots.empty() || !Live(hwnd)) return;
  // Paint now and give the display a moment to show it.
  RedrawWindow(hwnd, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Settle(hwnd);
  Sleep(150);
  char name[64];
  std::snprintf(name, sizeof(name), "%02d-%s.png", ++shots_, what.c_str());
  std::string path = options_.screenshots + "\\" + name;
  if (!Screenshot(hwnd, path)) Log("could not save the screenshot %s", path.c_str());
}

Outcome Driver::HandlePage(HWND hwnd) {
  Page page;
  if (!ReadPage(hwnd, &page) || !Live(hwnd)) {
    Log("a page window went away before it could be read");
    return kFailed;
  }
  if (page.templateId == 0)
    Log("a page with controls no template of the program has (\"%s\")", page.title.c_str());
  Record(PageRecord(page, nullptr));
  Shoot(hwnd, "page-" + std::to_string(page.templateId));

  for (;;) {
    if (!Live(hwnd)) break;
    ScriptStep step;
    if (!Peek(&step))
      return Stop(kRanOut, "the answers ran out while page " + std::to_string(page.templateId) +
                               " \"" + page.title + "\" waited");
    Take();
    Outcome o = Apply(page, step);
    if (o != kGoOn) return o;
    Settle(hwnd);
    Page now;
    if (!Live(hwnd) || !ReadPage(hwnd, &now) || !Live(hwnd)) break;
    now.templateId = page.templateId;
    page = std::move(now);
    const std::string done = step.ToString();
    Record(PageRecord(page, &done));
  }
  Record(EndRecord(page.templateId));
  return kGoOn;
}

// Sends the message that carries out a step and waits until the wizard has
// handled it. Windows it opens meanwhile (a message box, a page shown from
// the handler) are handled in turn, as the simulation does.
Outcome Driver::Deliver(Page& page, UINT msg, WPARAM wparam, LPARAM lparam,
                        const ScriptStep& step) {
  // On the heap: should the thread outlive this call (a wizard that stopped
  // answering), it keeps writing into memory that is still its own.
  auto* job = new SendJob{page.hwnd, msg, wparam, lparam, FALSE, 0};
  UniqueHandle thread(CreateThread(nullptr, 0, SendThread, job, 0, nullptr));
  if (!thread) {
    Log("cannot create a thread (error %lu)", GetLastError());
    delete job;
    return kFailed;
  }
  auto handled = [&](DWORD waitMs) {
    return WaitForSingleObject(thread.get(), waitMs) == WAIT_OBJECT_0;
  };
  Outcome result = kGoOn;
  const bool over = PollUntil(
      PollTries(options_.timeoutSeconds), kPollMs,
      [&] {
        if (handled(0)) return Look::kDone;
        if (HWND w = FindNewWindow()) {
          // Opened while the step is still being handled (a question from the
          // handler), unless the handler has just returned and the wizard went
          // on: on a busy machine the reply can take a moment to arrive here.
          if (handled(1500)) return Look::kDone;
          result = HandleWindow(w);
          return result != kGoOn ? Look::kDone : Look::kProgress;
        }
        return Exited() ? Look::kDone : Look::kNothing;
      },
      thread.get());
  if (!over) {
    Log("step %d (%s) on page %d: the wizard did not finish handling it within %d s", step.number,
        step.ToString().c_str(), page.templateId, options_.timeoutSeconds);
    DumpWindows(process_.pid);
    result = kFailed;
  }
  if (result != kGoOn && started_) {
    // The run ends here: the wizard is ended, and the message with it.
    TerminateProcess(process_.handle.get(), 1);
  }
  if (handled(10000))
    delete job;
  else
    Log("step %d (%s): the message to the wizard is still pending", step.number,
        step.ToString().c_str());
  return result;
}

Outcome Driver::Apply(Page& page, const ScriptStep& step) {
  const std::string where = "step " + std::to_string(step.number) + " (" + step.ToString() +
                            ") on page " + std::to_string(page.templateId);
  auto command = [&](int id, int code) -> Outcome {
    Control* c = page.Find(id);
    HWND ctl = c ? c->hwnd : GetDlgItem(page.hwnd, id);
    return Deliver(page, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(ctl), step);
  };
  switch (step.kind) {
    case ScriptStep::Click: {
      Control* c = page.Find(step.id);
      if (c == nullptr || !c->IsButton())
        return Stop(kBadStep, where + ": the page has no button " + std::to_string(step.id));
      if (!IsWindowEnabled(c->hwnd)) return kGoOn;
      if (c->ButtonType() == BS_AUTORADIOBUTTON) {
        // The group runs from the last control with WS_GROUP at or before
        // this one to the control before the next WS_GROUP.
        size_t index = static_cast<size_t>(c - page.controls.data());
        size_t begin = index;
        while (begin > 0 && !(page.controls[begin].style & WS_GROUP)) --begin;
        for (size_t i = begin; i < page.controls.size(); ++i) {
          if (i > begin && (page.controls[i].style & WS_GROUP)) break;
          const Control& other = page.controls[i];
          if (i != index && other.IsButton() && other.ButtonType() == BS_AUTORADIOBUTTON)
            Send(other.hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
        }
        Send(c->hwnd, BM_SETCHECK, BST_CHECKED, 0);
      } else if (c->ButtonType() == BS_AUTOCHECKBOX) {
        LRESULT state = SendValue(c->hwnd, BM_GETCHECK, 0, 0, 0);
        Send(c->hwnd, BM_SETCHECK, state == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
      }
      return command(step.id, BN_CLICKED);
    }
    case ScriptStep::Enter: {
      LRESULT def = SendValue(page.hwnd, DM_GETDEFID, 0, 0, 0);
      int id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
      Control* c = page.Find(id);
      if (c != nullptr && !IsWindowEnabled(c->hwnd)) return kGoOn;
      return command(id, BN_CLICKED);
    }
    case ScriptStep::Esc:
      return command(IDCANCEL, BN_CLICKED);
    case ScriptStep::Close:
      return Deliver(page, WM_CLOSE, 0, 0, step);
    case ScriptStep::Select: {
      Control* c = page.Find(step.id);
      if (c == nullptr || !c->isList)
        return Stop(kBadStep,
                    where + ": the page has no list or combo box " + std::to_string(step.id));
      const bool combo = c->className == "COMBOBOX";
      LRESULT count = SendValue(c->hwnd, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0, 0);
      if (step.index < 0 || step.index >= count)
        return Stop(kBadStep, where + ": row " + std::to_string(step.index) +
                                  " does not exist (the box has " + std::to_string(count) +
                                  " rows)");
      if (!IsWindowEnabled(c->hwnd)) return kGoOn;
      Send(c->hwnd, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(step.index), 0);
      if (combo) return command(step.id, CBN_SELCHANGE);
      if (c->style & LBS_NOTIFY) return command(step.id, LBN_SELCHANGE);
      return kGoOn;
    }
    case ScriptStep::Yes:
    case ScriptStep::No:
    case ScriptStep::Ok:
      return Stop(kBadStep, where + ": a message-box answer, but a page is waiting");
  }
  return kGoOn;
}

Outcome Driver::HandleMessageBox(HWND box) {
  const std::string text = MessageBoxText(box);
  const std::string caption = WindowText(box);
  const UINT style = BoxStyle(box);
  Shoot(box, "messagebox");
  const std::string described =
      "the message box \"" + caption + "\" (\"" + text.substr(0, text.find('\n')) + "\")";

  const UINT buttons = style & MB_TYPEMASK;
  int answer = 0;
  ScriptStep step;
  bool have = Peek(&step);
  if (buttons == MB_OK) {
    if (have && step.kind == ScriptStep::Ok) Take();
    answer = IDOK;
  } else {
    if (!have) return Stop(kRanOut, "the answers ran out while " + described + " waited");
    const bool yesNo = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
    const bool okCancel = buttons == MB_OKCANCEL;
    if (yesNo && step.kind == ScriptStep::Yes)
      answer = IDYES;
    else if (yesNo && step.kind == ScriptStep::No)
      answer = IDNO;
    else if (okCancel && step.kind == ScriptStep::Ok)
      answer = IDOK;
    Take();
    if (answer == 0)
      return Stop(kBadStep, "step " + std::to_string(step.number) + " (" + step.ToString() +
                                ") cannot answer " + described);
  }
  if (!Send(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
            reinterpret_cast<LPARAM>(GetDlgItem(box, answer)))) {
    Log("the message box did not take the answer %d", answer);
    return kFailed;
  }
  Record(MessageBoxRecord(text, caption, style, answer));
  const bool gone = PollUntil(PollTries(options_.timeoutSeconds), kPollMs / 3,
                              [&] { return Live(box) ? Look::kNothing : Look::kDone; });
  if (!gone) {
    Log("the message box %s is still up after the answer", described.c_str());
    return kFailed;
  }
  return kGoOn;
}

}  // namespace uidriver
