// ui-driver: answers Chanwiz.exe's pages and message boxes from a user script
// and writes what it saw as JSON Lines, record for record as chanwiz-sim's
// --transcript does, so that the two can be compared line by line.
//
// It runs beside the wizard as its own console program and works from the
// outside: it finds the wizard's dialogs (class "#32770") among the top-level
// windows of the wizard's process, reads their controls with messages, and
// acts on them the way the simulated Windows does for the same step:
//
//   click ID     a disabled button ignores it; an auto radio button checks
//                itself and unchecks its group, an auto check box toggles;
//                then WM_COMMAND(ID, BN_CLICKED) to the page
//   enter        the page's default button (DM_GETDEFID, else IDOK), unless
//                that button is disabled
//   esc          WM_COMMAND(IDCANCEL, BN_CLICKED)
//   close        WM_CLOSE (what the caption's close box ends in)
//   select ID N  LB_SETCURSEL / CB_SETCURSEL, then LBN_SELCHANGE (list boxes
//                with LBS_NOTIFY) or CBN_SELCHANGE
//   yes/no/ok    answer a message box; an OK-only box answers itself unless
//                the next step is "ok"
//
// The page's result (the EndDialog value) cannot be seen from outside, so
// "end" records carry "result":null.
//
// usage: ui-driver (--start EXE [--] [ARGS...] | --pid PID | --wait-exe NAME)
//                  --script TEXT|@FILE --transcript FILE
//                  [--screenshots DIR] [--timeout SECONDS] [--dump]
//        ui-driver --init-display
//
// --init-display only brings up Wine's desktop and display devices and
// exits: Wine registers the display adapters in the registry (under
// Control\Class) when the first program of a prefix uses the display, and a
// harness that compares the registry before and after a run does this first.
//
// Exit codes: 0 the wizard's process has exited; 2 unusable input (options,
// script) or a step that cannot apply to the window that waits; 3 the answers
// ran out while a page or question waited; 4 the wizard did not behave as
// expected within the time bounds (no process, no window, a hung step).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver.h"
#include "handles.h"
#include "scripting/script.h"
#include "text.h"

namespace uidriver {
namespace {

// ------------------------------------------------------------ arguments

const char kUsage[] =
    "usage: ui-driver (--start EXE [--] [ARGS...] | --pid PID | --wait-exe NAME)\n"
    "                 --script TEXT|@FILE --transcript FILE\n"
    "                 [--screenshots DIR] [--timeout SECONDS] [--dump]\n"
    "       ui-driver --init-display\n"
    "Exit codes: 0 the wizard has exited, 2 unusable input or a step that cannot apply,\n"
    "3 the answers ran out, 4 the wizard did not do what was awaited in time.\n";

bool ReadWholeFile(const std::wstring& path, std::string* out) {
  UniqueFile f(_wfopen(path.c_str(), L"rb"));
  if (!f) return false;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) out->append(buf, n);
  return std::ferror(f.get()) == 0;
}

// Quotes one argument for a Windows command line.
std::wstring QuoteArg(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    out.push_back(c);
    slashes = 0;
  }
  out.append(slashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

int Main(int argc, wchar_t** argv) {
  Options options;
  std::wstring scriptArg;
  bool haveScript = false;
  for (int i = 1; i < argc; ++i) {
    std::wstring a = argv[i];
    auto value = [&](std::wstring* out) -> bool {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::wstring v;
    if (a == L"--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == L"--start") {
      if (!value(&options.startExe)) break;
      // The wizard's own arguments follow: up to the next option, or all
      // the rest after "--".
      int j = i + 1;
      const bool rest = j < argc && std::wstring(argv[j]) == L"--";
      if (rest) ++j;
      for (; j < argc; ++j) {
        std::wstring arg = argv[j];
        if (!rest && arg.size() > 2 && arg.compare(0, 2, L"--") == 0) break;
        if (!options.startArgs.empty()) options.startArgs += L" ";
        options.startArgs += QuoteArg(arg);
      }
      i = j - 1;
    } else if (a == L"--pid") {
      if (!value(&v)) break;
      options.pid = static_cast<DWORD>(std::wcstoul(v.c_str(), nullptr, 10));
    } else if (a == L"--wait-exe") {
      if (!value(&options.waitExe)) break;
    } else if (a == L"--script") {
      if (!value(&scriptArg)) break;
      haveScript = true;
    } else if (a == L"--transcript") {
      if (!value(&v)) break;
      options.transcript = ToUtf8(v);
    } else if (a == L"--screenshots") {
      if (!value(&v)) break;
      options.screenshots = ToUtf8(v);
    } else if (a == L"--timeout") {
      if (!value(&v)) break;
      options.timeoutSeconds = std::max(1, static_cast<int>(std::wcstol(v.c_str(), nullptr, 10)));
    } else if (a == L"--dump") {
      options.dump = true;
    } else if (a == L"--init-display") {
      options.initDisplay = true;
    } else {
      std::fprintf(stderr, "ui-driver: unknown argument %s\n\n%s", ToUtf8(a).c_str(), kUsage);
      return 2;
    }
  }
  if (options.initDisplay) {
    GetDesktopWindow();
    {
      ScreenDc screen;  // taken and given back: enough to bring the display up
    }
    DISPLAY_DEVICEW device = {};
    device.cb = sizeof(device);
    for (DWORD i = 0; i < 16 && EnumDisplayDevicesW(nullptr, i, &device, 0); ++i)
      device.cb = sizeof(device);
    return 0;
  }
  int targets = !options.startExe.empty() + (options.pid != 0) + !options.waitExe.empty();
  if (targets != 1 || !haveScript || options.transcript.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string script;
  if (!scriptArg.empty() && scriptArg[0] == L'@') {
    if (!ReadWholeFile(scriptArg.substr(1), &script)) {
      Log("%s: cannot read the script", ToUtf8(scriptArg.substr(1)).c_str());
      return 2;
    }
  } else {
    script = ToUtf8(scriptArg);
  }
  std::vector<ScriptStep> steps;
  std::string problem;
  if (!cw::sim::ParseScript(script, &steps, &problem)) {
    Log("script: %s", problem.c_str());
    return 2;
  }
  if (!options.screenshots.empty())
    CreateDirectoryW(FromUtf8(options.screenshots).c_str(), nullptr);
  Driver driver(options, std::move(steps));
  return driver.Run();
}

}  // namespace
}  // namespace uidriver

int wmain(int argc, wchar_t** argv) {
  const int code = uidriver::Main(argc, argv);
  // The last line of every run: a harness that does not find it knows the
  // driver was ended from outside (or Wine went down under it).
  uidriver::Log("finished with exit code %d", code);
  return code;
}
