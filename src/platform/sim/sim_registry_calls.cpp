// The simulated Windows' advapi32: registry keys and values over the
// machine's tree, with their access checks, and the calls on security
// descriptors and ACLs.
#include "platform/sim/sim_platform.h"

#include <algorithm>
#include <cstring>

#include "platform/sim/security.h"
#include "platform/win_constants.h"

namespace cw::sim {

namespace {


void SinkSet(void* context, DWORD error) { static_cast<SimPlatform*>(context)->SetLastError(error); }

// Splits "a\b\c" (trailing backslashes allowed, as Windows allows them);
// false for an empty part in the middle or a leading backslash.
bool SplitKeyPath(const std::string& path, std::vector<std::string>* parts) {
  parts->clear();
  std::string trimmed = path;
  while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  if (trimmed.empty()) return true;
  if (trimmed.front() == '\\') return false;
  std::string part;
  for (char c : trimmed) {
    if (c == '\\') {
      if (part.empty()) return false;
      parts->push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts->push_back(part);
  return true;
}

std::string JoinKeyPath(const std::string& base, const std::vector<std::string>& parts) {
  std::string out = base;
  for (const std::string& p : parts) {
    if (!out.empty()) out += "\\";
    out += p;
  }
  return out;
}

// The caller the wizard runs as: an administrator, elevated.
const std::vector<std::vector<BYTE>>& CallerSids() {
  static const std::vector<std::vector<BYTE>> sids = [] {
    std::vector<std::vector<BYTE>> out;
    for (const char* alias : {"BA", "WD", "AU", "BU"}) {
      std::vector<BYTE> sid;
      if (ParseSidString(alias, &sid)) out.push_back(std::move(sid));
    }
    return out;
  }();
  return sids;
}

// A key that has no descriptor of its own gets the one Windows gives keys.
const std::vector<BYTE>& SecurityOf(RegKey* key) {
  if (key->security().empty()) key->set_security(BuildSelfRelative(DefaultKeySecurity()));
  return key->security();
}

// What the caller would be granted of `desired` on `key` (0 when denied).
LONG CheckKeyAccess(RegKey* key, REGSAM desired, REGSAM* granted) {
  ACCESS_MASK mask = 0;
  const LONG result = AccessCheck(SecurityOf(key), CallerSids(), desired, &mask);
  if (granted) *granted = result == ERROR_SUCCESS ? mask : 0;
  return result;
}

// The access a security call needs on the handle for the parts it names.
REGSAM SecurityAccessFor(SECURITY_INFORMATION info, bool write) {
  REGSAM needed = 0;
  if (!write && (info & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                         DACL_SECURITY_INFORMATION)))
    needed |= READ_CONTROL;
  if (write && (info & DACL_SECURITY_INFORMATION)) needed |= WRITE_DAC;
  if (write && (info & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)))
    needed |= WRITE_OWNER;
  return needed;
}

}  // namespace

// -------------------------------------------------------------- registry

LONG SimPlatform::ResolveKey(HKEY key, RegRoot* root, std::string* path, REGSAM* access) const {
  if (RegRootFromHandle(key, root)) {
    path->clear();
    *access = KEY_ALL_ACCESS | READ_CONTROL | WRITE_DAC;
    return ERROR_SUCCESS;
  }
  auto it = keys_.find(static_cast<uintptr_t>(key));
  if (it == keys_.end()) return ERROR_INVALID_HANDLE;
  *root = it->second.root;
  *path = it->second.path;
  *access = it->second.access;
  return ERROR_SUCCESS;
}

RegKey* SimPlatform::KeyFor(HKEY key, LONG* error, REGSAM needed) const {
  RegRoot root;
  std::string path;
  REGSAM access = 0;
  *error = ResolveKey(key, &root, &path, &access);
  if (*error != ERROR_SUCCESS) return nullptr;
  if ((access & needed) != needed) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  RegKey* found = machine_.registry.Find(root, path);
  if (found == nullptr) *error = ERROR_KEY_DELETED;
  return found;
}

LONG SimPlatform::OpenPath(HKEY key, const char* subKey, REGSAM access, bool create,
                           HKEY* result, DWORD* disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  RegRoot root;
  std::string base;
  REGSAM baseAccess = 0;
  LONG status = ResolveKey(key, &root, &base, &baseAccess);
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::string> parts;
  if (!SplitKeyPath(subKey ? subKey : "", &parts)) return create ? ERROR_BAD_PATHNAME : ERROR_FILE_NOT_FOUND;
  for (const std::string& p : parts)
    if (p.size() > 255) return ERROR_INVALID_PARAMETER;
  std::string utf8Path = AnsiToUtf8(JoinKeyPath(base, parts));
  // The view bits name where the key is, not rights on it. On 64-bit
  // Windows the program, 32-bit, names keys in its own view unless it asks
  // for the 64-bit one; each call's view applies to the whole path it names.
  const REGSAM view = access & KEY_WOW64_RES;
  access &= ~KEY_WOW64_RES;
  if (machine_.Is64Bit() && (view & KEY_WOW64_64KEY) == 0) utf8Path = Wow64KeyPath(root, utf8Path);
  if (machine_.registry.Find(root, base) == nullptr) return ERROR_KEY_DELETED;
  RegKey* target = machine_.registry.Find(root, utf8Path);
  DWORD outcome = REG_OPENED_EXISTING_KEY;
  if (target == nullptr) {
    if (!create) return ERROR_FILE_NOT_FOUND;
    // A new key needs KEY_CREATE_SUB_KEY on the deepest key that is there;
    // the keys made below it get the default descriptor, which lets the
    // administrator in.
    std::string existing = utf8Path;
    RegKey* parent = nullptr;
    do {
      const size_t cut = existing.rfind('\\');
      existing = cut == std::string::npos ? std::string() : existing.substr(0, cut);
      parent = machine_.registry.Find(root, existing);  // the root itself at the end
    } while (parent == nullptr && !existing.empty());
    if (parent != nullptr && CheckKeyAccess(parent, KEY_CREATE_SUB_KEY, nullptr) != ERROR_SUCCESS)
      return ERROR_ACCESS_DENIED;
    bool created = false;
    target = machine_.registry.Create(root, utf8Path, &created);
    if (target == nullptr) return ERROR_BAD_PATHNAME;
    outcome = REG_CREATED_NEW_KEY;
  }
  // The requested access is checked against the key's DACL as Windows checks
  // it; a request for no access at all opens a handle that can do nothing.
  REGSAM granted = 0;
  if (access != 0) {
    const LONG check = CheckKeyAccess(target, access, &granted);
    if (check != ERROR_SUCCESS) return check;
  } else {
    SecurityOf(target);
  }
  if (disposition) *disposition = outcome;
  uintptr_t handle = next_handle_;
  next_handle_ += 4;
  keys_[handle] = OpenKey{root, utf8Path, granted};
  *result = HKEY(handle);
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
  DWORD error = 0;
  if (Inject("RegOpenKeyA", &error)) return static_cast<LONG>(error);
  return OpenPath(key, subKey, MAXIMUM_ALLOWED, false, result, nullptr);
}

LONG SimPlatform::RegOpenKeyExA(HKEY key, const char* subKey, DWORD /*options*/, REGSAM access,
                                HKEY* result) {
  DWORD error = 0;
  if (Inject("RegOpenKeyExA", &error)) return static_cast<LONG>(error);
  return OpenPath(key, subKey, access, false, result, nullptr);
}

LONG SimPlatform::RegCreateKeyExA(HKEY key, const char* subKey, DWORD /*reserved*/,
                                  DWORD /*options*/, REGSAM access, HKEY* result,
                                  DWORD* disposition) {
  DWORD error = 0;
  if (Inject("RegCreateKeyExA", &error)) return static_cast<LONG>(error);
  if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
  return OpenPath(key, subKey, access, true, result, disposition);
}

LONG SimPlatform::RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                   DWORD* dataSize) {
  DWORD error = 0;
  if (Inject("RegQueryValueExA", &error)) return static_cast<LONG>(error);
  if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
  LONG status = ERROR_SUCCESS;
  RegKey* k = KeyFor(key, &status, KEY_QUERY_VALUE);
  if (k == nullptr) return status;
  const RegValue* v = k->FindValue(AnsiToUtf8(valueName ? valueName : ""));
  if (v == nullptr) return ERROR_FILE_NOT_FOUND;
  return QueryStoredValue(*v, type, data, dataSize);
}

LONG SimPlatform::RegSetValueExA(HKEY key, const char* valueName, DWORD /*reserved*/, DWORD type,
                                 const BYTE* data, DWORD dataSize) {
  DWORD error = 0;
  if (Inject("RegSetValueExA", &error)) return static_cast<LONG>(error);
  if (data == nullptr && dataSize != 0) return ERROR_NOACCESS;
  LONG status = ERROR_SUCCESS;
  RegKey* k = KeyFor(key, &status, KEY_SET_VALUE);
  if (k == nullptr) return status;
  k->SetValue(AnsiToUtf8(valueName ? valueName : ""), type, AnsiToStored(type, data, dataSize));
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegFlushKey(HKEY key) {
  DWORD error = 0;
  if (Inject("RegFlushKey", &error)) return static_cast<LONG>(error);
  LONG status = ERROR_SUCCESS;
  KeyFor(key, &status, 0);
  return status;
}

LONG SimPlatform::RegDeleteKeyA(HKEY key, const char* subKey) {
  DWORD error = 0;
  if (Inject("RegDeleteKeyA", &error)) return static_cast<LONG>(error);
  if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
  // Found, redirected and checked for DELETE as an open would be.
  HKEY opened = HKEY(0);
  const LONG status = OpenPath(key, subKey, DELETE_ACCESS, false, &opened, nullptr);
  if (status != ERROR_SUCCESS) return status;
  const OpenKey target = keys_[static_cast<uintptr_t>(opened)];
  keys_.erase(static_cast<uintptr_t>(opened));
  const RegKey* found = machine_.registry.Find(target.root, target.path);
  // The NT family leaves a key that has subkeys, and a root, alone.
  if (target.path.empty() || found == nullptr || !found->subkeys().empty())
    return ERROR_ACCESS_DENIED;
  machine_.registry.Delete(target.root, target.path);
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegCloseKey(HKEY key) {
  DWORD error = 0;
  if (Inject("RegCloseKey", &error)) return static_cast<LONG>(error);
  RegRoot root;
  if (RegRootFromHandle(key, &root)) return ERROR_SUCCESS;
  auto it = keys_.find(static_cast<uintptr_t>(key));
  if (it == keys_.end()) return ERROR_INVALID_HANDLE;
  keys_.erase(it);
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegQueryInfoKeyA(HKEY key, char* className, DWORD* classNameSize,
                                   DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* maxClassLen,
                                   DWORD* values, DWORD* maxValueNameLen, DWORD* maxValueLen,
                                   DWORD* securityDescriptorSize, FILETIME* lastWriteTime) {
  DWORD error = 0;
  if (Inject("RegQueryInfoKeyA", &error)) return static_cast<LONG>(error);
  LONG status = ERROR_SUCCESS;
  RegKey* k = KeyFor(key, &status, KEY_QUERY_VALUE);
  if (k == nullptr) return status;
  if (className != nullptr && classNameSize != nullptr && *classNameSize > 0) className[0] = '\0';
  if (classNameSize) *classNameSize = 0;
  DWORD longestKey = 0;
  for (const auto& [name, child] : k->subkeys())
    longestKey = std::max<DWORD>(longestKey, static_cast<DWORD>(child->name().size()));
  DWORD longestName = 0, longestData = 0;
  for (const RegValue& v : k->values()) {
    longestName = std::max<DWORD>(longestName, static_cast<DWORD>(v.name.size()));
    longestData = std::max<DWORD>(longestData, static_cast<DWORD>(v.data.size()));
  }
  if (subKeys) *subKeys = static_cast<DWORD>(k->subkeys().size());
  if (maxSubKeyLen) *maxSubKeyLen = longestKey;
  if (maxClassLen) *maxClassLen = 0;
  if (values) *values = static_cast<DWORD>(k->values().size());
  if (maxValueNameLen) *maxValueNameLen = longestName;
  if (maxValueLen) *maxValueLen = longestData;
  if (securityDescriptorSize)
    *securityDescriptorSize =
        machine_.config.zeroSecurityDescriptorSize ? 0 : static_cast<DWORD>(SecurityOf(k).size());
  if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                                    PSECURITY_DESCRIPTOR descriptor, DWORD* size) {
  DWORD error = 0;
  if (Inject("RegGetKeySecurity", &error)) return static_cast<LONG>(error);
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  LONG status = ERROR_SUCCESS;
  RegKey* k = KeyFor(key, &status, SecurityAccessFor(info, false));
  if (k == nullptr) return status;
  std::vector<BYTE> parts = SelectSecurityParts(SecurityOf(k), info);
  DWORD needed = static_cast<DWORD>(parts.size());
  if (descriptor == nullptr || *size < needed) {
    *size = needed;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(descriptor, parts.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                                    PSECURITY_DESCRIPTOR descriptor) {
  DWORD error = 0;
  if (Inject("RegSetKeySecurity", &error)) return static_cast<LONG>(error);
  if (descriptor == nullptr) return ERROR_INVALID_PARAMETER;
  LONG status = ERROR_SUCCESS;
  RegKey* k = KeyFor(key, &status, SecurityAccessFor(info, true));
  if (k == nullptr) return status;
  std::vector<BYTE> stored = SecurityOf(k);
  LONG result = MergeSecurityParts(&stored, info, descriptor, 0);
  if (result == ERROR_SUCCESS) k->set_security(std::move(stored));
  return result;
}

// ------------------------------------------------ descriptors and lists

BOOL SimPlatform::GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present,
                                            ACL** dacl, BOOL* defaulted) {
  if (InjectBool("GetSecurityDescriptorDacl")) return FALSE;
  return SimGetSecurityDescriptorDacl(LastErrorSink{SinkSet, this}, descriptor, present, dacl,
                                      defaulted);
}

BOOL SimPlatform::GetAce(ACL* acl, DWORD index, void** ace) {
  if (InjectBool("GetAce")) return FALSE;
  return SimGetAce(LastErrorSink{SinkSet, this}, acl, index, ace);
}

DWORD SimPlatform::GetLengthSid(PSID sid) { return SimGetLengthSid(sid); }

BOOL SimPlatform::InitializeAcl(ACL* acl, DWORD size, DWORD revision) {
  if (InjectBool("InitializeAcl")) return FALSE;
  return SimInitializeAcl(LastErrorSink{SinkSet, this}, acl, size, revision);
}

BOOL SimPlatform::AddAccessAllowedAce(ACL* acl, DWORD revision, DWORD mask, PSID sid) {
  if (InjectBool("AddAccessAllowedAce")) return FALSE;
  return SimAddAccessAllowedAce(LastErrorSink{SinkSet, this}, acl, revision, mask, sid);
}

DWORD SimPlatform::GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR descriptor) {
  return SimGetSecurityDescriptorLength(descriptor);
}

BOOL SimPlatform::InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
  if (InjectBool("InitializeSecurityDescriptor")) return FALSE;
  return SimInitializeSecurityDescriptor(LastErrorSink{SinkSet, this}, descriptor, revision);
}

BOOL SimPlatform::SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present,
                                            ACL* dacl, BOOL defaulted) {
  if (InjectBool("SetSecurityDescriptorDacl")) return FALSE;
  return SimSetSecurityDescriptorDacl(LastErrorSink{SinkSet, this}, descriptor, present, dacl,
                                      defaulted);
}

}  // namespace cw::sim
