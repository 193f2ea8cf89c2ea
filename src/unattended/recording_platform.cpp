// The recording platform: what it knows of the keys the wizard opens, the old
// values it keeps for the undo file, and the calls besides the registry that
// a dry run must not carry out. The registry calls are in
// recording_registry.cpp.
#include "unattended/recording_platform.h"

#include <algorithm>
#include <cctype>

#include "platform/win_constants.h"
#include "base/text.h"
#include "writers/security_record.h"

namespace cw {

namespace {

using sim::AnsiToStored;
using sim::AnsiToUtf8;
using sim::RegKey;
using sim::RegRoot;

// The extra reads made here must not disturb what the wizard sees: registry
// calls leave the last error alone on Windows, but keep it all the same.
class LastErrorKeeper {
 public:
  explicit LastErrorKeeper(Platform& platform)
      : platform_(platform), saved_(platform.GetLastError()) {}
  ~LastErrorKeeper() { platform_.SetLastError(saved_); }

 private:
  Platform& platform_;
  DWORD saved_;
};

// The parts of a backslash-separated path, empty parts left out.
std::vector<std::string> Parts(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The first string of REG_MULTI_SZ or REG_SZ data as an "A" call returns it.
std::string FirstString(const BYTE* data, DWORD size) {
  const char* text = reinterpret_cast<const char*>(data);
  size_t n = 0;
  while (n < size && text[n] != '\0') ++n;
  return std::string(text, n);
}
}  // namespace

std::string RecordingPlatform::InexactAnsiText(DWORD type, const std::vector<BYTE>& data) {
  if (!sim::IsStringType(type)) return std::string();
  // The "A" call gives the text in the system's ANSI code page, with '?' for
  // each character that code page lacks. Only Windows-1252 bytes are read
  // back as they were, and a '?' may stand for any character.
  const bool high = std::any_of(data.begin(), data.end(), [](BYTE b) { return b >= 0x80; });
  if (high) {
    if (ansi_code_page_ == 0) ansi_code_page_ = inner().GetACP();
    if (ansi_code_page_ != kWindows1252)
      return "its text is in code page " + std::to_string(ansi_code_page_) +
             ", which the undo file cannot carry exactly";
  }
  // Windows 9x keeps ANSI text as it is; only the NT family converts it.
  const bool ntFamily = (inner().GetVersion() & 0x80000000u) == 0;
  if (ntFamily && std::find(data.begin(), data.end(), BYTE('?')) != data.end())
    return "its text holds '?', which Windows gives for a character the ANSI code page "
           "lacks";
  return std::string();
}

RecordingPlatform::RecordingPlatform(Platform& inner, Mode mode, bool keepOldValues)
    : ForwardingPlatform(inner), mode_(mode), keep_old_values_(keepOldValues || mode == Mode::DryRun) {}

bool RecordingPlatform::Resolve(HKEY key, OpenKey* out) const {
  RegRoot root;
  if (sim::RegRootFromHandle(key, &root)) {
    *out = OpenKey{root, "", KEY_ALL_ACCESS, false};
    return true;
  }
  auto it = keys_.find(static_cast<uintptr_t>(key));
  if (it == keys_.end()) return false;
  *out = it->second;
  return true;
}

std::string RecordingPlatform::Join(const std::string& parent, const char* subKey) {
  std::string sub = subKey ? subKey : "";
  if (sub.empty()) return parent;
  return parent.empty() ? sub : parent + "\\" + sub;
}

bool RecordingPlatform::Wow64() {
  if (wow64_ < 0) {
    LastErrorKeeper keep(inner());
    BOOL wow64 = FALSE;
    // A Windows without the call has no WOW64.
    wow64_ = inner().IsWow64Process(inner().GetCurrentProcess(), &wow64) && wow64 ? 1 : 0;
  }
  return wow64_ == 1;
}

std::string RecordingPlatform::ChildPath(const OpenKey& parent, const char* subKey,
                                         REGSAM access) {
  const std::string path = Join(parent.path, subKey);
  if ((access & KEY_WOW64_64KEY) != 0 || !Wow64()) return path;
  return sim::Wow64KeyPath(parent.root, path);
}

bool RecordingPlatform::IsSecurityRecord(HKEY key, const char* subKey) const {
  OpenKey parent;
  return mode_ != Mode::DryRun && subKey != nullptr && Resolve(key, &parent) &&
         parent.root == RegRoot::LocalMachine && parent.path.empty() &&
         Upper(subKey) == Upper(kSecurityRecordKey);
}

REGSAM RecordingPlatform::LiteralView() { return Wow64() ? KEY_WOW64_64KEY : 0; }

std::string RecordingPlatform::FullPath(RegRoot root, const std::string& path) const {
  std::string full = sim::RegRootName(root);
  if (!path.empty()) full += "\\" + path;
  return full;
}

HKEY RecordingPlatform::NewPreviewHandle() {
  HKEY handle = HKEY(next_preview_handle_);
  next_preview_handle_ += 4;
  return handle;
}

bool RecordingPlatform::ExistsOnMachine(RegRoot root, const std::string& path) {
  LastErrorKeeper keep(inner());
  HKEY handle = HKEY(0);
  LONG result = inner().RegOpenKeyExA(sim::RegRootHandle(root), path.c_str(), 0,
                                      KEY_READ | LiteralView(), &handle);
  if (result == ERROR_SUCCESS) inner().RegCloseKey(handle);
  return result != ERROR_FILE_NOT_FOUND;
}

void RecordingPlatform::NoteExistingParents(RegRoot root, const std::string& path) {
  std::string prefix;
  const std::vector<std::string> parts = Parts(path);
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    prefix = prefix.empty() ? parts[i] : prefix + "\\" + parts[i];
    if (!ExistsOnMachine(root, prefix)) return;
    bool created = false;
    before_.Create(root, AnsiToUtf8(prefix), &created);
    after_.Create(root, AnsiToUtf8(prefix), &created);
  }
}

void RecordingPlatform::KeepOldValue(HKEY handle, const OpenKey& key, const std::string& name) {
  const std::string id = Upper(FullPath(key.root, key.path)) + "\n" + Upper(name);
  if (!kept_.insert(id).second) return;
  bool created = false;
  // A key this run created had no values before it.
  const bool newKey = key.previewOnly || created_keys_.count(Upper(FullPath(key.root, key.path))) != 0;
  RegKey* old = newKey ? nullptr : before_.Create(key.root, AnsiToUtf8(key.path), &created);
  RegKey* now = after_.Create(key.root, AnsiToUtf8(key.path), &created);
  if (old == nullptr || now == nullptr) return;

  LastErrorKeeper keep(inner());
  // The wizard may hold the key for writing only; then a reader of our own.
  HKEY reader = handle;
  HKEY own = HKEY(0);
  DWORD type = 0;
  DWORD size = 0;
  LONG result = inner().RegQueryValueExA(reader, name.c_str(), &type, nullptr, &size);
  if (result == ERROR_ACCESS_DENIED &&
      inner().RegOpenKeyExA(sim::RegRootHandle(key.root), key.path.c_str(), 0,
                            KEY_QUERY_VALUE | LiteralView(), &own) == ERROR_SUCCESS) {
    reader = own;
    result = inner().RegQueryValueExA(reader, name.c_str(), &type, nullptr, &size);
  }
  std::vector<BYTE> data;
  // The value may change between the two reads; a few tries are plenty.
  for (int attempt = 0; attempt < 3 && result == ERROR_SUCCESS; ++attempt) {
    data.assign(size, 0);
    DWORD got = size;
    result = inner().RegQueryValueExA(reader, name.c_str(), &type, data.empty() ? nullptr : data.data(),
                                      &got);
    if (result == ERROR_SUCCESS) {
      data.resize(got);
      break;
    }
    if (result == ERROR_MORE_DATA) {
      size = got;
      result = ERROR_SUCCESS;
      continue;
    }
  }
  if (own != HKEY(0)) inner().RegCloseKey(own);
  if (result == ERROR_FILE_NOT_FOUND) return;  // the run creates it
  if (result != ERROR_SUCCESS) {
    unknown_old_.push_back({FullPath(key.root, key.path), name,
                            "RegQueryValueExA failed with error " + std::to_string(result)});
    return;
  }
  const std::string inexact = InexactAnsiText(type, data);
  if (!inexact.empty()) {
    unknown_old_.push_back({FullPath(key.root, key.path), name, inexact});
    return;
  }
  std::vector<BYTE> stored = AnsiToStored(type, data.data(), static_cast<DWORD>(data.size()));
  old->SetValue(AnsiToUtf8(name), type, stored);
  // Until a set succeeds the value is as it was.
  now->SetValue(AnsiToUtf8(name), type, std::move(stored));
}
BOOL RecordingPlatform::ExitWindowsEx(UINT flags, DWORD reason) {
  if (Stopped()) {
    SetLastError(static_cast<DWORD>(ERROR_ACCESS_DENIED));
    return FALSE;
  }
  if (mode_ == Mode::DryRun) {
    restart_requested_ = true;
    notes_.push_back("the computer was not restarted");
    return TRUE;
  }
  BOOL done = inner().ExitWindowsEx(flags, reason);
  if (done) restart_requested_ = true;
  return done;
}

BOOL RecordingPlatform::SetupDiGetDeviceRegistryPropertyA(HDEVINFO list, SP_DEVINFO_DATA* data,
                                                          DWORD property, DWORD* type,
                                                          BYTE* buffer, DWORD bufferSize,
                                                          DWORD* requiredSize) {
  BOOL got = inner().SetupDiGetDeviceRegistryPropertyA(list, data, property, type, buffer,
                                                       bufferSize, requiredSize);
  if (!got || data == nullptr || buffer == nullptr ||
      (property != SPDRP_HARDWAREID && property != SPDRP_DRIVER))
    return got;
  DWORD size = requiredSize ? std::min(*requiredSize, bufferSize) : bufferSize;
  auto it = std::find_if(devices_.begin(), devices_.end(),
                         [&](const Device& d) { return d.devInst == data->DevInst; });
  if (it == devices_.end()) it = devices_.insert(devices_.end(), Device{data->DevInst, "", ""});
  (property == SPDRP_HARDWAREID ? it->hardwareId : it->driver) = FirstString(buffer, size);
  return got;
}

UINT RecordingPlatform::WinExec(const char* commandLine, UINT show) {
  if (mode_ != Mode::DryRun && !Stopped()) return inner().WinExec(commandLine, show);
  notes_.push_back(std::string("not started: ") + (commandLine ? commandLine : ""));
  return 0;  // "out of resources"
}

BOOL RecordingPlatform::CreateProcessA(const char* applicationName, char* commandLine,
                                       DWORD creationFlags, UINT show,
                                       PROCESS_INFORMATION* processInformation) {
  if (mode_ != Mode::DryRun && !Stopped())
    return inner().CreateProcessA(applicationName, commandLine, creationFlags, show,
                                  processInformation);
  // A dry run changes nothing, so it registers no component either; the
  // wizard goes on as if the program could not be started.
  notes_.push_back(std::string("not started: ") + (commandLine ? commandLine : ""));
  SetLastError(static_cast<DWORD>(ERROR_ACCESS_DENIED));
  return FALSE;
}

}  // namespace cw
