// The recording platform's registry calls: each passed on, or in a dry run
// answered from the record, with every change kept for the changes and undo
// files.
#include "unattended/recording_platform.h"

#include <algorithm>

#include "platform/win_constants.h"
#include "base/text.h"
#include "writers/security_record.h"

namespace cw {

namespace {

using sim::AnsiToStored;
using sim::AnsiToUtf8;
using sim::RegKey;


}  // namespace

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
    if (data == nullptr && dataSize != 0) return ERROR_NOACCESS;
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
}  // namespace cw
