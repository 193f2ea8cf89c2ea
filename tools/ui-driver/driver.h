// The driver proper: waits for the wizard's windows and answers each from
// the script, writing the transcript as it goes.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "handles.h"
#include "scripting/script.h"
#include "process.h"
#include "wizard_windows.h"

namespace uidriver {

using cw::sim::ScriptStep;

enum Outcome { kGoOn = -1, kExited = 0, kBadStep = 2, kRanOut = 3, kFailed = 4 };

struct Options {
  std::wstring startExe;
  std::wstring startArgs;
  DWORD pid = 0;
  std::wstring waitExe;
  std::string transcript;
  std::string screenshots;
  int timeoutSeconds = 30;
  bool dump = false;
  bool initDisplay = false;
};

class Driver {
 public:
  Driver(const Options& options, std::vector<ScriptStep> steps)
      : options_(options), steps_(std::move(steps)) {}

  // The exit code of the run (an Outcome other than kGoOn).
  int Run();

 private:
  // Process.
  bool Attach();
  bool Exited() const { return WaitForSingleObject(process_.handle.get(), 0) == WAIT_OBJECT_0; }
  HWND FindNewWindow() const { return FindDialog(process_.pid, seen_); }
  Outcome WaitForWindow(HWND* found, const std::string& after);

  // Windows.
  Outcome HandleWindow(HWND hwnd);
  Outcome HandlePage(HWND hwnd);
  Outcome HandleMessageBox(HWND hwnd);
  Outcome Apply(Page& page, const ScriptStep& step);
  Outcome Deliver(Page& page, UINT msg, WPARAM wparam, LPARAM lparam, const ScriptStep& step);
  void Shoot(HWND hwnd, const std::string& what);

  // Script.
  bool Peek(ScriptStep* step) const {
    if (next_ >= steps_.size()) return false;
    *step = steps_[next_];
    return true;
  }
  void Take() { ++next_; }

  // Transcript.
  void Record(const std::string& line);
  Outcome Stop(Outcome code, const std::string& why);

  const Options& options_;
  std::vector<ScriptStep> steps_;
  size_t next_ = 0;
  Process process_;
  bool started_ = false;
  std::set<HWND> seen_;
  UniqueFile out_;
  int shots_ = 0;
};

}  // namespace uidriver
