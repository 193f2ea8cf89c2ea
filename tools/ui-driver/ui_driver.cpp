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
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "scripting/script.h"

namespace {

using cw::sim::ScriptStep;

// ----------------------------------------------------------------- texts

std::string ToUtf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::wstring FromUtf8(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
  return out;
}

// A JSON string literal written exactly as chanwiz-sim's transcript writes
// it (there from ANSI text turned into UTF-8; here the text is UTF-8 already).
std::string Json(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof(buf), "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += "\"";
  return out;
}

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("ui-driver: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  va_end(args);
}

// ------------------------------------------------------- window messages

constexpr UINT kSendTimeoutMs = 5000;
constexpr DWORD kPollMs = 150;

// A message to a window of the wizard, bounded in time. False when the
// window is gone or did not answer in time.
bool Send(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result = nullptr) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(hwnd, msg, wparam, lparam, SMTO_NORMAL, kSendTimeoutMs, &r))
    return false;
  if (result) *result = static_cast<LRESULT>(r);
  return true;
}

LRESULT SendValue(HWND hwnd, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0,
                  LRESULT fallback = -1) {
  LRESULT r = 0;
  return Send(hwnd, msg, wparam, lparam, &r) ? r : fallback;
}

// The window's text through WM_GETTEXT (works for another process's
// controls, edit boxes included), in UTF-8. The W message: under Wine the
// ANSI text messages to another process do not always come back as ANSI.
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

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

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

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr && out.size() < 512;
       c = GetWindow(c, GW_HWNDNEXT))
    out.push_back(c);
  return out;
}

// A page or box that is up: created, shown, not ended (EndDialog hides the
// window at once, before the dialog's loop destroys it).
bool Live(HWND hwnd) { return IsWindow(hwnd) && IsWindowVisible(hwnd); }

// Lets the wizard's thread work off what the last step left in its queue
// (a WM_CLOSE posts IDCANCEL, EndDialog posts a wake-up): every sent
// message is taken in a later turn of its message loop than the posted
// ones before it.
void Settle(HWND hwnd) {
  for (int i = 0; i < 3 && IsWindow(hwnd); ++i) {
    Send(hwnd, WM_NULL, 0, 0);
    Sleep(15);
  }
}

// ------------------------------------------------------------ page state

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
  int templateId = 0;
  std::string title;
  std::vector<Control> controls;

  Control* Find(int id) {
    for (Control& c : controls)
      if (c.id == id) return &c;
    return nullptr;
  }
};

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

// Reads a page as it stands. False when the window has gone meanwhile.
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

std::string ControlsJson(const Page& page) {
  std::string out = "[";
  bool first = true;
  for (const Control& c : page.controls) {
    if (!first) out += ",";
    first = false;
    out += "{\"id\":" + std::to_string(c.id) + ",\"class\":" + Json(c.className) +
           ",\"text\":" + Json(c.text) + ",\"enabled\":" + (c.enabled ? "true" : "false");
    if (c.isList) {
      out += ",\"items\":[";
      for (size_t i = 0; i < c.items.size(); ++i) {
        if (i) out += ",";
        out += Json(c.items[i]);
      }
      out += "],\"selected\":" + std::to_string(c.selected);
    }
    if (c.isCheckable) out += ",\"checked\":" + std::to_string(c.checked);
    out += "}";
  }
  out += "]";
  return out;
}

// ------------------------------------------------------------ PNG files

uint32_t Crc32(const unsigned char* data, size_t size, uint32_t crc = 0) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    ready = true;
  }
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBE32(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v >> 24));
  out->push_back(static_cast<char>(v >> 16));
  out->push_back(static_cast<char>(v >> 8));
  out->push_back(static_cast<char>(v));
}

void Chunk(std::string* png, const char* type, const std::string& data) {
  PutBE32(png, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  png->append(body);
  PutBE32(png, Crc32(reinterpret_cast<const unsigned char*>(body.data()), body.size()));
}

// An RGB image as a PNG file; the pixel data goes in stored (uncompressed)
// deflate blocks, which every reader accepts.
bool WritePng(const std::string& path, int width, int height,
              const std::vector<unsigned char>& rgb) {
  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (static_cast<size_t>(width) * 3 + 1));
  for (int y = 0; y < height; ++y) {
    raw.push_back('\0');
    raw.append(reinterpret_cast<const char*>(&rgb[static_cast<size_t>(y) * width * 3]),
               static_cast<size_t>(width) * 3);
  }
  std::string z = "\x78\x01";
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  size_t pos = 0;
  do {
    size_t n = std::min<size_t>(65535, raw.size() - pos);
    bool last = pos + n == raw.size();
    z.push_back(last ? '\x01' : '\x00');
    z.push_back(static_cast<char>(n & 0xFF));
    z.push_back(static_cast<char>(n >> 8));
    z.push_back(static_cast<char>(~n & 0xFF));
    z.push_back(static_cast<char>((~n >> 8) & 0xFF));
    z.append(raw, pos, n);
    pos += n;
  } while (pos < raw.size());
  PutBE32(&z, (b << 16) | a);

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  PutBE32(&ihdr, static_cast<uint32_t>(width));
  PutBE32(&ihdr, static_cast<uint32_t>(height));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  Chunk(&png, "IHDR", ihdr);
  Chunk(&png, "IDAT", z);
  Chunk(&png, "IEND", std::string());
  FILE* f = _wfopen(FromUtf8(path).c_str(), L"wb");
  if (!f) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

// The window as it is on the screen, from the screen itself.
bool Screenshot(HWND hwnd, const std::string& path) {
  RECT r;
  if (!GetWindowRect(hwnd, &r)) return false;
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0 || w > 4096 || h > 4096) return false;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  BOOL ok = BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
  SelectObject(mem, old);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<unsigned char> bgra(static_cast<size_t>(w) * h * 4);
  int lines =
      ok ? GetDIBits(mem, bmp, 0, static_cast<UINT>(h), bgra.data(), &bi, DIB_RGB_COLORS) : 0;
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  if (lines != h) return false;
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i) {
    rgb[i * 3] = bgra[i * 4 + 2];
    rgb[i * 3 + 1] = bgra[i * 4 + 1];
    rgb[i * 3 + 2] = bgra[i * 4];
  }
  return WritePng(path, w, h, rgb);
}

// ---------------------------------------------------------------- driver

enum Outcome { kGoOn = -1, kExited = 0, kBadStep = 2, kRanOut = 3, kFailed = 4 };

struct Options {
  std::wstring startExe;
  std::wstring startArgs;
  DWORD pid = 0;
  std::wstring waitExe;
  std::string script;
  std::string transcript;
  std::string screenshots;
  int timeoutSeconds = 30;
  bool dump = false;
  bool initDisplay = false;
};

class Driver {
 public:
  Driver(const Options& options, std::vector<ScriptStep> steps)
      : options_(options), steps_(steps.begin(), steps.end()) {}
  ~Driver() {
    if (out_) std::fclose(out_);
    if (process_) CloseHandle(process_);
  }

  int Run();

 private:
  // Process.
  bool Attach();
  bool Exited() const { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }
  HWND FindNewWindow();
  Outcome WaitForWindow(HWND* found, const std::string& after);

  // Windows.
  Outcome HandleWindow(HWND hwnd);
  Outcome HandlePage(HWND hwnd);
  Outcome HandleMessageBox(HWND hwnd);
  Outcome Apply(Page& page, const ScriptStep& step);
  Outcome Deliver(Page& page, UINT msg, WPARAM wparam, LPARAM lparam, const ScriptStep& step);
  void Shoot(HWND hwnd, const std::string& what);
  void DumpWindows();

  // Script.
  bool Peek(ScriptStep* step) const {
    if (next_ >= steps_.size()) return false;
    *step = steps_[next_];
    return true;
  }
  void Take() { ++next_; }

  // Transcript.
  void Record(const std::string& line);
  Outcome Stop(Outcome code, const std::string& why) {
    Record("{\"event\":\"stopped\",\"why\":" + Json(why) + "}");
    Log("stopped: %s", why.c_str());
    return code;
  }

  const Options& options_;
  std::vector<ScriptStep> steps_;
  size_t next_ = 0;
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  bool started_ = false;
  std::set<HWND> seen_;
  FILE* out_ = nullptr;
  int shots_ = 0;
};

void Driver::Record(const std::string& line) {
  if (out_) {
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
  }
}

bool Driver::Attach() {
  const int tries = options_.timeoutSeconds * 1000 / static_cast<int>(kPollMs);
  if (!options_.startExe.empty()) {
    std::wstring cmd = L"\"" + options_.startExe + L"\"";
    if (!options_.startArgs.empty()) cmd += L" " + options_.startArgs;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(L'\0');
    if (!CreateProcessW(options_.startExe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi)) {
      Log("cannot start %s (error %lu)", ToUtf8(options_.startExe).c_str(), GetLastError());
      return false;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    started_ = true;
    Log("started %s, process %lu", ToUtf8(options_.startExe).c_str(), pid_);
    return true;
  }
  DWORD pid = options_.pid;
  if (pid == 0) {
    // Wait (bounded) for a process of that program name.
    for (int i = 0; i < tries && pid == 0; ++i) {
      HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
      if (snap != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32W pe = {};
        pe.dwSize = sizeof(pe);
        for (BOOL more = Process32FirstW(snap, &pe); more; more = Process32NextW(snap, &pe))
          if (_wcsicmp(pe.szExeFile, options_.waitExe.c_str()) == 0) {
            pid = pe.th32ProcessID;
            break;
          }
        CloseHandle(snap);
      }
      if (pid == 0) Sleep(kPollMs);
    }
    if (pid == 0) {
      Log("no process %s appeared within %d s", ToUtf8(options_.waitExe).c_str(),
          options_.timeoutSeconds);
      return false;
    }
  }
  process_ =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
  if (!process_) {
    Log("cannot open process %lu (error %lu)", pid, GetLastError());
    return false;
  }
  pid_ = pid;
  Log("watching process %lu", pid_);
  return true;
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

// A dialog of the wizard that is up and has not been handled yet.
HWND Driver::FindNewWindow() {
  FindContext ctx{pid_, &seen_, nullptr};
  EnumWindows(FindProc, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

Outcome Driver::WaitForWindow(HWND* found, const std::string& after) {
  const int tries = options_.timeoutSeconds * 1000 / static_cast<int>(kPollMs);
  for (int i = 0; i < tries; ++i) {
    if (HWND w = FindNewWindow()) {
      *found = w;
      return kGoOn;
    }
    if (Exited()) return kExited;
    Sleep(kPollMs);
  }
  // One last look: the window may have come just now.
  if (HWND w = FindNewWindow()) {
    *found = w;
    return kGoOn;
  }
  if (Exited()) return kExited;
  Log("no window of the wizard appeared within %d s %s, and its process still runs",
      options_.timeoutSeconds, after.c_str());
  DumpWindows();
  return kFailed;
}

int Driver::Run() {
  if (!options_.transcript.empty()) {
    out_ = _wfopen(FromUtf8(options_.transcript).c_str(), L"wb");
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
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
      }
      return o;
    }
    after = "after the last window";
  }
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  Log("the wizard's process has exited (exit code %lu)", code);
  return kExited;
}

bool IsMessageBox(HWND hwnd) {
  for (HWND c : Children(hwnd)) {
    int id = GetDlgCtrlID(c);
    if ((id == 0xFFFF || id == -1) && Upper(ClassOf(c)) == "STATIC") return true;
  }
  return false;
}

Outcome Driver::HandleWindow(HWND hwnd) {
  seen_.insert(hwnd);
  Settle(hwnd);
  if (options_.dump) DumpWindows();
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
  Record("{\"event\":\"page\",\"template\":" + std::to_string(page.templateId) +
         ",\"title\":" + Json(page.title) + ",\"controls\":" + ControlsJson(page) + "}");
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
    Record("{\"event\":\"action\",\"template\":" + std::to_string(page.templateId) +
           ",\"step\":" + Json(step.ToString()) + ",\"title\":" + Json(page.title) +
           ",\"controls\":" + ControlsJson(page) + "}");
  }
  Record("{\"event\":\"end\",\"template\":" + std::to_string(page.templateId) +
         ",\"result\":null}");
  return kGoOn;
}

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

// Sends the message that carries out a step and waits until the wizard has
// handled it. Windows it opens meanwhile (a message box, a page shown from
// the handler) are handled in turn, as the simulation does.
Outcome Driver::Deliver(Page& page, UINT msg, WPARAM wparam, LPARAM lparam,
                        const ScriptStep& step) {
  // On the heap: should the thread outlive this call (a wizard that stopped
  // answering), it keeps writing into memory that is still its own.
  auto* job = new SendJob{page.hwnd, msg, wparam, lparam, FALSE, 0};
  HANDLE thread = CreateThread(nullptr, 0, SendThread, job, 0, nullptr);
  if (!thread) {
    Log("cannot create a thread (error %lu)", GetLastError());
    delete job;
    return kFailed;
  }
  const int tries = options_.timeoutSeconds * 1000 / static_cast<int>(kPollMs);
  int idle = 0;
  Outcome result = kGoOn;
  while (WaitForSingleObject(thread, kPollMs) != WAIT_OBJECT_0) {
    if (HWND w = FindNewWindow()) {
      // Opened while the step is still being handled (a question from the
      // handler), unless the handler has just returned and the wizard went
      // on: on a busy machine the reply can take a moment to arrive here.
      if (WaitForSingleObject(thread, 1500) == WAIT_OBJECT_0) break;
      result = HandleWindow(w);
      if (result != kGoOn) break;
      idle = 0;
      continue;
    }
    if (Exited()) break;
    if (++idle > tries) {
      Log("step %d (%s) on page %d: the wizard did not finish handling it within %d s", step.number,
          step.ToString().c_str(), page.templateId, options_.timeoutSeconds);
      DumpWindows();
      result = kFailed;
      break;
    }
  }
  if (result != kGoOn && started_) {
    // The run ends here: the wizard is ended, and the message with it.
    TerminateProcess(process_, 1);
  }
  if (WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0)
    delete job;
  else
    Log("step %d (%s): the message to the wizard is still pending", step.number,
        step.ToString().c_str());
  CloseHandle(thread);
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

  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  auto grab = [&](HDC from, int x, int y, std::vector<DWORD>* px) {
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, from, x, y, SRCCOPY);
    SelectObject(mem, old);
    px->assign(static_cast<size_t>(w) * h, 0);
    GetDIBits(mem, bmp, 0, static_cast<UINT>(h), px->data(), &bi, DIB_RGB_COLORS);
    DeleteObject(bmp);
  };
  std::vector<DWORD> shown;
  grab(screen, r.left, r.top, &shown);

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
    HICON hicon = LoadIconW(nullptr, cand.id);
    if (!hicon) continue;
    std::vector<DWORD> onBlack, onWhite;
    for (int pass = 0; pass < 2; ++pass) {
      HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
      HGDIOBJ old = SelectObject(mem, bmp);
      RECT all = {0, 0, w, h};
      FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(pass ? WHITE_BRUSH : BLACK_BRUSH)));
      DrawIconEx(mem, 0, 0, hicon, 0, 0, 0, nullptr, DI_NORMAL);
      SelectObject(mem, old);
      std::vector<DWORD>& px = pass ? onWhite : onBlack;
      px.assign(static_cast<size_t>(w) * h, 0);
      GetDIBits(mem, bmp, 0, static_cast<UINT>(h), px.data(), &bi, DIB_RGB_COLORS);
      DeleteObject(bmp);
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
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  if (bestScore < 0.9) {
    Log("the message box's icon matches no system icon (best %.2f)", bestScore);
    return 0;
  }
  return best;
}

// The MessageBox style that made the box: its buttons, icon and default button.
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
  ids.erase(IDHELP) ? style |= MB_HELP : 0;
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

Outcome Driver::HandleMessageBox(HWND box) {
  std::string text;
  for (HWND c : Children(box)) {
    int id = GetDlgCtrlID(c);
    if (id == 0xFFFF || id == -1) {
      text = WindowText(c);
      break;
    }
  }
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
  Record("{\"event\":\"messagebox\",\"text\":" + Json(text) + ",\"caption\":" + Json(caption) +
         ",\"style\":" + std::to_string(style) + ",\"answer\":" + std::to_string(answer) + "}");
  const int tries = options_.timeoutSeconds * 1000 / static_cast<int>(kPollMs);
  for (int i = 0; i < tries && Live(box); ++i) Sleep(kPollMs / 3);
  if (Live(box)) {
    Log("the message box %s is still up after the answer", described.c_str());
    return kFailed;
  }
  return kGoOn;
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

void Driver::DumpWindows() { EnumWindows(DumpProc, static_cast<LPARAM>(pid_)); }

// ------------------------------------------------------------ arguments

const char kUsage[] =
    "usage: ui-driver (--start EXE [--] [ARGS...] | --pid PID | --wait-exe NAME)\n"
    "                 --script TEXT|@FILE --transcript FILE\n"
    "                 [--screenshots DIR] [--timeout SECONDS] [--dump]\n"
    "       ui-driver --init-display\n"
    "Exit codes: 0 the wizard has exited, 2 unusable input or a step that cannot apply,\n"
    "3 the answers ran out, 4 the wizard did not do what was awaited in time.\n";

bool ReadWholeFile(const std::wstring& path, std::string* out) {
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return false;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
  std::fclose(f);
  return true;
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

}  // namespace

namespace {

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
    HDC dc = GetDC(nullptr);
    ReleaseDC(nullptr, dc);
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

int wmain(int argc, wchar_t** argv) {
  const int code = Main(argc, argv);
  // The last line of every run: a harness that does not find it knows the
  // driver was ended from outside (or Wine went down under it).
  Log("finished with exit code %d", code);
  return code;
}
