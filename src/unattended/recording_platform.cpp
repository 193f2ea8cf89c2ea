#include "unattended/recording_platform.h"

#include <algorithm>
#include <cctype>

#include "platform/win_constants.h"
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

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

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

constexpr LONG kErrorNoAccess = 998;  // ERROR_NOACCESS: a bad data pointer

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

LONG RecordingPlatform::OpenChild(HKEY key, const char* subKey, REGSAM access, bool exactAccess,
                                  HKEY* result, const char* operation) {
  OpenKey parent;
  const bool known = Resolve(key, &parent);
  const REGSAM asked = exactAccess ? access : KEY_ALL_ACCESS;
  const std::string path = known ? ChildPath(parent, subKey, asked) : std::string();

  if (known && mode_ == Mode::DryRun &&
      (parent.previewOnly || preview_keys_.count(Upper(FullPath(parent.root, path))) != 0)) {
    if (preview_keys_.count(Upper(FullPath(parent.root, path))) == 0) return ERROR_FILE_NOT_FOUND;
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = NewPreviewHandle();
    Remember(*result, OpenKey{parent.root, path, asked, true});
    return ERROR_SUCCESS;
  }

  LONG status;
  if (!exactAccess) {
    status = inner().RegOpenKeyA(key, subKey, result);
  } else {
    // A dry run never asks for more than reading (in the view asked for).
    const REGSAM reading = KEY_READ | (access & KEY_WOW64_RES);
    status = inner().RegOpenKeyExA(key, subKey, 0, mode_ == Mode::DryRun ? reading : access, result);
  }
  if (!known) return status;
  if (status != ERROR_SUCCESS) {
    failed_opens_.push_back({operation, FullPath(parent.root, path), "", status, asked});
    return status;
  }
  if (result != nullptr) Remember(*result, OpenKey{parent.root, path, asked, false});
  return status;
}

LONG RecordingPlatform::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
  return OpenChild(key, subKey, KEY_ALL_ACCESS, false, result, "RegOpenKeyA");
}

LONG RecordingPlatform::RegOpenKeyExA(HKEY key, const char* subKey, DWORD /*options*/,
                                      REGSAM access, HKEY* result) {
  return OpenChild(key, subKey, access, true, result, "RegOpenKeyExA");
}

LONG RecordingPlatform::RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved,
                                        DWORD options, REGSAM access, HKEY* result,
                                        DWORD* disposition) {
  if (Stopped()) return ERROR_ACCESS_DENIED;
  OpenKey parent;
  if (!Resolve(key, &parent) || IsSecurityRecord(key, subKey))
    return inner().RegCreateKeyExA(key, subKey, reserved, options, access, result, disposition);
  const std::string path = ChildPath(parent, subKey, access);
  const std::string full = FullPath(parent.root, path);

  if (mode_ == Mode::DryRun) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    const bool previewed = preview_keys_.count(Upper(full)) != 0;
    if (!previewed && !parent.previewOnly) {
      LONG status =
          inner().RegOpenKeyExA(key, subKey, 0, KEY_READ | (access & KEY_WOW64_RES), result);
      if (status == ERROR_SUCCESS) {
        Remember(*result, OpenKey{parent.root, path, access, false});
        if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
        return status;
      }
      if (status != ERROR_FILE_NOT_FOUND) {
        failed_writes_.push_back({"RegCreateKeyExA", full, "", status});
        return status;
      }
      NoteExistingParents(parent.root, path);
      bool created = false;
      if (after_.Create(parent.root, AnsiToUtf8(path), &created) == nullptr) {
        failed_writes_.push_back({"RegCreateKeyExA", full, "", ERROR_INVALID_PARAMETER});
        return ERROR_INVALID_PARAMETER;
      }
      preview_keys_.insert(Upper(full));
    }
    *result = NewPreviewHandle();
    Remember(*result, OpenKey{parent.root, path, access, true});
    if (disposition) *disposition = previewed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    return ERROR_SUCCESS;
  }

  bool existed = true;
  if (keep_old_values_) {
    existed = ExistsOnMachine(parent.root, path);
    if (!existed) NoteExistingParents(parent.root, path);
  }
  DWORD got = 0;
  LONG status =
      inner().RegCreateKeyExA(key, subKey, reserved, options, access, result, &got);
  if (disposition) *disposition = got;
  if (status != ERROR_SUCCESS) {
    failed_writes_.push_back({"RegCreateKeyExA", full, "", status});
    return status;
  }
  if (result != nullptr) Remember(*result, OpenKey{parent.root, path, access, false});
  if (keep_old_values_ && !existed) {
    bool created = false;
    after_.Create(parent.root, AnsiToUtf8(path), &created);
    created_keys_.insert(Upper(full));
  }
  return status;
}

LONG RecordingPlatform::RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                         DWORD* dataSize) {
  OpenKey k;
  if (mode_ != Mode::DryRun || !Resolve(key, &k))
    return inner().RegQueryValueExA(key, valueName, type, data, dataSize);
  const std::string name = valueName ? valueName : "";
  const std::string id = Upper(FullPath(k.root, k.path)) + "\n" + Upper(name);
  if (set_aside_.count(id) == 0) {
    if (k.previewOnly) return ERROR_FILE_NOT_FOUND;
    return inner().RegQueryValueExA(key, valueName, type, data, dataSize);
  }
  // A value this dry run has set reads back as set.
  if (!(k.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
  const RegKey* held = after_.Find(k.root, AnsiToUtf8(k.path));
  const sim::RegValue* value = held ? held->FindValue(AnsiToUtf8(name)) : nullptr;
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  return sim::QueryStoredValue(*value, type, data, dataSize);
}

LONG RecordingPlatform::RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                                       const BYTE* data, DWORD dataSize) {
  // After the run has stopped the process counts as ended: nothing more lands.
  if (Stopped()) return ERROR_SUCCESS;
  OpenKey k;
  if (!Resolve(key, &k)) return inner().RegSetValueExA(key, valueName, reserved, type, data, dataSize);
  const std::string name = valueName ? valueName : "";
  const std::string full = FullPath(k.root, k.path);

  if (mode_ == Mode::DryRun) {
    if (data == nullptr && dataSize != 0) return kErrorNoAccess;
    if (!(k.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    KeepOldValue(key, k, name);
    bool created = false;
    RegKey* now = after_.Create(k.root, AnsiToUtf8(k.path), &created);
    if (now == nullptr) return ERROR_INVALID_PARAMETER;
    now->SetValue(AnsiToUtf8(name), type, AnsiToStored(type, data, dataSize));
    set_aside_.insert(Upper(full) + "\n" + Upper(name));
    written_.push_back({full, name});
    return ERROR_SUCCESS;
  }

  if (keep_old_values_) KeepOldValue(key, k, name);
  LONG status = inner().RegSetValueExA(key, valueName, reserved, type, data, dataSize);
  if (status != ERROR_SUCCESS) {
    failed_writes_.push_back({"RegSetValueExA", full, name, status});
    return status;
  }
  written_.push_back({full, name});
  if (keep_old_values_) {
    bool created = false;
    if (RegKey* now = after_.Create(k.root, AnsiToUtf8(k.path), &created))
      now->SetValue(AnsiToUtf8(name), type, AnsiToStored(type, data, dataSize));
  }
  return status;
}

LONG RecordingPlatform::RegFlushKey(HKEY key) {
  OpenKey k;
  if (Resolve(key, &k) && k.previewOnly) return ERROR_SUCCESS;
  return inner().RegFlushKey(key);
}

LONG RecordingPlatform::RegDeleteKeyA(HKEY key, const char* subKey) {
  // Also after the run has stopped: the record of a list that is back goes.
  if (IsSecurityRecord(key, subKey)) return inner().RegDeleteKeyA(key, subKey);
  if (Stopped()) return ERROR_ACCESS_DENIED;
  OpenKey parent;
  if (subKey == nullptr || !Resolve(key, &parent)) return inner().RegDeleteKeyA(key, subKey);
  const std::string path = ChildPath(parent, subKey, DELETE_ACCESS);
  const std::string full = FullPath(parent.root, path);
  const std::string id = Upper(full);
  const bool ours = preview_keys_.count(id) != 0 || created_keys_.count(id) != 0;
  if (mode_ == Mode::DryRun && preview_keys_.count(id) == 0) {
    notes_.push_back("not deleted: " + full);
    return ERROR_SUCCESS;
  }
  if (mode_ != Mode::DryRun) {
    const LONG status = inner().RegDeleteKeyA(key, subKey);
    if (status != ERROR_SUCCESS) {
      failed_writes_.push_back({"RegDeleteKeyA", full, "", status});
      return status;
    }
  }
  // A key the run made and took away again leaves nothing in its account.
  // (One that was there before is not kept in it: the wizard only deletes
  // what an earlier run of its own left behind.)
  if (ours) {
    after_.Delete(parent.root, AnsiToUtf8(path));
    preview_keys_.erase(id);
    created_keys_.erase(id);
    for (auto it = set_aside_.begin(); it != set_aside_.end();)
      it = it->compare(0, id.size() + 1, id + "\n") == 0 ? set_aside_.erase(it) : std::next(it);
    written_.erase(std::remove_if(written_.begin(), written_.end(),
                                  [&](const WrittenValue& w) { return Upper(w.key) == id; }),
                   written_.end());
  }
  return ERROR_SUCCESS;
}

LONG RecordingPlatform::RegCloseKey(HKEY key) {
  auto it = keys_.find(static_cast<uintptr_t>(key));
  if (it != keys_.end() && it->second.previewOnly) {
    keys_.erase(it);
    return ERROR_SUCCESS;
  }
  LONG status = inner().RegCloseKey(key);
  if (status == ERROR_SUCCESS && it != keys_.end()) keys_.erase(it);
  return status;
}

LONG RecordingPlatform::RegQueryInfoKeyA(HKEY key, char* className, DWORD* classNameSize,
                                         DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* maxClassLen,
                                         DWORD* values, DWORD* maxValueNameLen,
                                         DWORD* maxValueLen, DWORD* securityDescriptorSize,
                                         FILETIME* lastWriteTime) {
  OpenKey k;
  if (!Resolve(key, &k) || !k.previewOnly)
    return inner().RegQueryInfoKeyA(key, className, classNameSize, subKeys, maxSubKeyLen,
                                    maxClassLen, values, maxValueNameLen, maxValueLen,
                                    securityDescriptorSize, lastWriteTime);
  // A key only this dry run has: empty, with no descriptor to read.
  if (className != nullptr && classNameSize != nullptr && *classNameSize > 0) className[0] = '\0';
  if (classNameSize) *classNameSize = 0;
  for (DWORD* out : {subKeys, maxSubKeyLen, maxClassLen, values, maxValueNameLen, maxValueLen,
                     securityDescriptorSize})
    if (out) *out = 0;
  if (lastWriteTime) *lastWriteTime = FILETIME{};
  return ERROR_SUCCESS;
}

LONG RecordingPlatform::RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                                          PSECURITY_DESCRIPTOR descriptor, DWORD* size) {
  OpenKey k;
  if (Resolve(key, &k) && k.previewOnly) return ERROR_ACCESS_DENIED;
  return inner().RegGetKeySecurity(key, info, descriptor, size);
}

LONG RecordingPlatform::RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                                          PSECURITY_DESCRIPTOR descriptor) {
  OpenKey k;
  const bool known = Resolve(key, &k);
  if (mode_ == Mode::DryRun && known) {
    // The access list stays as it is; the call answers as it would (a key
    // only this dry run has was made with the access it asked for).
    if (!(k.access & WRITE_DAC)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
  }
  // Even after the run has stopped: a list widened for the writes must go back.
  LONG status = inner().RegSetKeySecurity(key, info, descriptor);
  if (status != ERROR_SUCCESS && known)
    failed_writes_.push_back({"RegSetKeySecurity", FullPath(k.root, k.path), "", status});
  return status;
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
