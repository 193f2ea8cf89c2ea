// The simulated Windows: kernel, registry, security, device setup, process
// and COM calls. The pages and message boxes are the PageHost's.
#include "platform/sim/sim_platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/sim/security.h"
#include "platform/win_constants.h"

namespace cw::sim {

namespace {

constexpr const char* kEnumPath = "SYSTEM\\CurrentControlSet\\Enum";
constexpr DWORD kErrorInvalidUserBuffer = 1784;
constexpr DWORD kErrorNoSuchPrivilege = 1313;
constexpr LONG kErrorNoAccess = 998;
constexpr DWORD kErrorCallNotImplemented = 120;
constexpr LUID kShutdownLuid = {19, 0};
constexpr uintptr_t kCurrentProcess = ~uintptr_t{0};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

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


void SimPlatform::MapFile(const std::string& windowsPath, const std::string& hostPath) {
  files_[Lower(windowsPath)] = hostPath;
}

bool SimPlatform::Inject(const char* operation, DWORD* error) {
  int count = ++call_counts_[operation];
  calls_.push_back(operation);
  if (calls_.size() == keep_at_call_) kept_registry_ = std::make_unique<RegistryTree>(machine_.registry);
  for (const Fault& f : faults_) {
    if (f.operation == operation && (f.nth == 0 || f.nth == count)) {
      *error = f.error;
      return true;
    }
  }
  return false;
}

bool SimPlatform::InjectBool(const char* operation) {
  DWORD error = 0;
  if (!Inject(operation, &error)) return false;
  SetLastError(error);
  return true;
}

const RegistryTree& SimPlatform::FinalRegistry() const {
  return halt_registry_ ? *halt_registry_ : machine_.registry;
}

std::vector<std::string> SimPlatform::OpenKeyPaths() const {
  std::vector<std::string> out;
  for (const auto& [handle, key] : keys_) out.push_back(std::string(RegRootName(key.root)) + "\\" + key.path);
  return out;
}

SimPlatform::SimPlatform(Machine& machine, AnswerSource* answers, std::FILE* echo,
                         DialogResources dialogs)
    : PageHostPlatform(pages_),
      machine_(machine),
      pages_(std::move(dialogs), answers, echo,
             PageHost::Hooks{[this](DWORD error) { SetLastError(error); },
                             [this](const char* operation, DWORD* error) {
                               return Inject(operation, error);
                             },
                             [this] {
                               halt_registry_ = std::make_unique<RegistryTree>(machine_.registry);
                             },
                             nullptr}) {}

SimPlatform::~SimPlatform() = default;

// ------------------------------------------------------------ last error

DWORD SimPlatform::GetLastError() { return last_error_; }
void SimPlatform::SetLastError(DWORD error) { last_error_ = error; }

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
  if (data == nullptr && dataSize != 0) return kErrorNoAccess;
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

// ------------------------------------------------- token and restart

HANDLE SimPlatform::GetCurrentProcess() { return HANDLE(kCurrentProcess); }

BOOL SimPlatform::OpenProcessToken(HANDLE process, DWORD /*access*/, HANDLE* token) {
  if (InjectBool("OpenProcessToken")) return FALSE;
  if (token == nullptr || static_cast<uintptr_t>(process) != kCurrentProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  uintptr_t handle = next_handle_;
  next_handle_ += 4;
  kernel_handles_[handle] = "token";
  *token = HANDLE(handle);
  return TRUE;
}

BOOL SimPlatform::LookupPrivilegeValueA(const char* /*systemName*/, const char* name, LUID* luid) {
  if (InjectBool("LookupPrivilegeValueA")) return FALSE;
  if (name == nullptr || luid == nullptr || Lower(name) != Lower(SE_SHUTDOWN_NAME)) {
    SetLastError(kErrorNoSuchPrivilege);
    return FALSE;
  }
  *luid = kShutdownLuid;
  return TRUE;
}

BOOL SimPlatform::AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState,
                                        DWORD /*bufferLength*/, TOKEN_PRIVILEGES* /*previous*/,
                                        DWORD* /*returnLength*/) {
  if (InjectBool("AdjustTokenPrivileges")) return FALSE;
  auto it = kernel_handles_.find(static_cast<uintptr_t>(token));
  if (it == kernel_handles_.end() || it->second != "token") {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (disableAll) {
    shutdown_enabled_ = false;
    SetLastError(NO_ERROR);
    return TRUE;
  }
  if (newState == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  bool allAssigned = true;
  for (DWORD i = 0; i < newState->PrivilegeCount && i < 1; ++i) {
    const LUID_AND_ATTRIBUTES& p = newState->Privileges[i];
    bool isShutdown = p.Luid.LowPart == kShutdownLuid.LowPart && p.Luid.HighPart == kShutdownLuid.HighPart;
    if (!isShutdown || !machine_.config.shutdownPrivilege) {
      allAssigned = false;
      continue;
    }
    shutdown_enabled_ = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
  }
  // Success either way: only the last error tells whether all were assigned.
  SetLastError(allAssigned ? NO_ERROR : static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));
  return TRUE;
}

BOOL SimPlatform::ExitWindowsEx(UINT flags, DWORD reason) {
  if (InjectBool("ExitWindowsEx")) return FALSE;
  bool nt = machine_.Version().platformId == VER_PLATFORM_WIN32_NT;
  bool needsPrivilege = (flags & (EWX_REBOOT | EWX_SHUTDOWN | EWX_POWEROFF)) != 0;
  if (nt && needsPrivilege && !shutdown_enabled_) {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
  }
  pages_.transcript().Restart(flags, reason);
  pages_.Echo("restart requested (flags " + std::to_string(flags) + ")\n");
  return TRUE;
}

BOOL SimPlatform::CloseHandle(HANDLE handle) {
  if (InjectBool("CloseHandle")) return FALSE;
  auto it = kernel_handles_.find(static_cast<uintptr_t>(handle));
  if (it == kernel_handles_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  kernel_handles_.erase(it);
  return TRUE;
}

// ------------------------------------------------------- device setup

HDEVINFO SimPlatform::SetupDiGetClassDevsA(const GUID* classGuid, const char* /*enumerator*/,
                                           HWND /*parent*/, DWORD flags) {
  DWORD error = 0;
  if (Inject("SetupDiGetClassDevsA", &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  if (classGuid == nullptr && !(flags & DIGCF_ALLCLASSES)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  DeviceList list;
  // Enumerator, device and instance keys in registry order, as Windows and
  // Wine meet them. Wine lists only instances that carry a ClassGUID.
  if (const RegKey* root = machine_.registry.Find(RegRoot::LocalMachine, kEnumPath)) {
    for (const auto& [en, enumerator] : root->subkeys())
      for (const auto& [dn, device] : enumerator->subkeys())
        for (const auto& [in, instance] : device->subkeys())
          if (instance->FindValue("ClassGUID") != nullptr)
            list.instancePaths.push_back(std::string(kEnumPath) + "\\" + enumerator->name() +
                                         "\\" + device->name() + "\\" + instance->name());
  }
  uintptr_t handle = next_handle_;
  next_handle_ += 4;
  device_lists_[handle] = std::move(list);
  return HANDLE(handle);
}

BOOL SimPlatform::SetupDiEnumDeviceInfo(HDEVINFO list, DWORD index, SP_DEVINFO_DATA* data) {
  if (InjectBool("SetupDiEnumDeviceInfo")) return FALSE;
  auto it = device_lists_.find(static_cast<uintptr_t>(list));
  if (it == device_lists_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(kErrorInvalidUserBuffer);
    return FALSE;
  }
  if (index >= it->second.instancePaths.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  data->ClassGuid = GUID{};
  data->DevInst = index + 1;
  data->Reserved = index;
  return TRUE;
}

BOOL SimPlatform::SetupDiGetDeviceRegistryPropertyA(HDEVINFO list, SP_DEVINFO_DATA* data,
                                                    DWORD property, DWORD* type, BYTE* buffer,
                                                    DWORD bufferSize, DWORD* requiredSize) {
  if (InjectBool("SetupDiGetDeviceRegistryPropertyA")) return FALSE;
  auto it = device_lists_.find(static_cast<uintptr_t>(list));
  if (it == device_lists_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) ||
      data->Reserved >= it->second.instancePaths.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (buffer == nullptr && bufferSize != 0) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  const char* valueName = nullptr;
  switch (property) {
    case SPDRP_DEVICEDESC:
      valueName = "DeviceDesc";
      break;
    case SPDRP_HARDWAREID:
      valueName = "HardwareID";
      break;
    case SPDRP_COMPATIBLEIDS:
      valueName = "CompatibleIDs";
      break;
    case SPDRP_CLASS:
      valueName = "Class";
      break;
    case SPDRP_CLASSGUID:
      valueName = "ClassGUID";
      break;
    case SPDRP_DRIVER:
      valueName = "Driver";
      break;
    default:
      SetLastError(ERROR_INVALID_DATA);
      return FALSE;
  }
  const RegKey* instance = machine_.registry.Find(
      RegRoot::LocalMachine, it->second.instancePaths[static_cast<size_t>(data->Reserved)]);
  const RegValue* value = instance ? instance->FindValue(valueName) : nullptr;
  if (value == nullptr) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  const DWORD needed = static_cast<DWORD>(StoredAnsiSize(*value));
  if (type) *type = value->type;
  if (requiredSize) *requiredSize = needed;
  if (bufferSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (needed) CopyStoredAsAnsi(*value, buffer);
  SetLastError(NO_ERROR);
  return TRUE;
}

BOOL SimPlatform::SetupDiDestroyDeviceInfoList(HDEVINFO list) {
  if (InjectBool("SetupDiDestroyDeviceInfoList")) return FALSE;
  if (device_lists_.erase(static_cast<uintptr_t>(list)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  SetLastError(NO_ERROR);
  return TRUE;
}

// ---------------------------------------------------- system information

UINT SimPlatform::GetWindowsDirectoryA(char* buffer, UINT size) {
  DWORD error = 0;
  if (Inject("GetWindowsDirectoryA", &error)) {
    SetLastError(error);
    return 0;
  }
  const std::string& dir = machine_.config.windowsDirectory;
  UINT needed = static_cast<UINT>(dir.size()) + 1;
  if (buffer == nullptr || size < needed) return needed;
  std::memcpy(buffer, dir.c_str(), needed);
  return needed - 1;
}

UINT SimPlatform::GetSystemDirectoryA(char* buffer, UINT size) {
  DWORD error = 0;
  if (Inject("GetSystemDirectoryA", &error)) {
    SetLastError(error);
    return 0;
  }
  const std::string& dir = machine_.config.systemDirectory;
  UINT needed = static_cast<UINT>(dir.size()) + 1;
  if (buffer == nullptr || size < needed) return needed;
  std::memcpy(buffer, dir.c_str(), needed);
  return needed - 1;
}

DWORD SimPlatform::GetModuleFileNameA(char* buffer, DWORD size) {
  DWORD error = 0;
  if (Inject("GetModuleFileNameA", &error)) {
    SetLastError(error);
    return 0;
  }
  const std::string& path = machine_.config.moduleFileName;
  if (buffer == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() + 1 > size) {
    // As Windows Vista and later: cut, terminated, the size returned and
    // the last error set.
    std::memcpy(buffer, path.data(), size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

DWORD SimPlatform::GetVersion() {
  WindowsVersion v = machine_.Version();
  DWORD low = (v.major & 0xFF) | ((v.minor & 0xFF) << 8);
  if (v.platformId == VER_PLATFORM_WIN32_NT) return low | ((v.build & 0x7FFF) << 16);
  return low | 0x80000000u | ((v.build & 0x7FFF) << 16);
}

// The simulated machines convert text as Windows-1252 does.
UINT SimPlatform::GetACP() { return 1252; }

// The program is 32-bit. Not a failable call: the recorder asks it besides
// the wizard, which must see the same calls either way.
BOOL SimPlatform::IsWow64Process(HANDLE process, BOOL* wow64) {
  if (machine_.Version().platformId != VER_PLATFORM_WIN32_NT) {
    SetLastError(kErrorCallNotImplemented);
    return FALSE;
  }
  const auto it = kernel_handles_.find(static_cast<uintptr_t>(process));
  if (static_cast<uintptr_t>(process) != kCurrentProcess &&
      (it == kernel_handles_.end() || it->second != "process")) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (wow64 == nullptr) {
    SetLastError(static_cast<DWORD>(kErrorNoAccess));
    return FALSE;
  }
  *wow64 = machine_.Is64Bit() ? TRUE : FALSE;
  return TRUE;
}

BOOL SimPlatform::GetVersionExA(OSVERSIONINFOA* info) {
  if (InjectBool("GetVersionExA")) return FALSE;
  // The plain and the extended structure (156 bytes) are both accepted.
  if (info == nullptr ||
      (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != 156)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  WindowsVersion v = machine_.Version();
  info->dwMajorVersion = v.major;
  info->dwMinorVersion = v.minor;
  info->dwBuildNumber = v.platformId == VER_PLATFORM_WIN32_NT
                            ? v.build
                            : ((v.major & 0xFF) << 24) | ((v.minor & 0xFF) << 16) | (v.build & 0xFFFF);
  info->dwPlatformId = v.platformId;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  std::strncpy(info->szCSDVersion, v.csdVersion.c_str(), sizeof(info->szCSDVersion) - 1);
  return TRUE;
}

// ------------------------------------------------------------ processes

UINT SimPlatform::WinExec(const char* commandLine, UINT /*show*/) {
  DWORD error = 0;
  if (Inject("WinExec", &error)) return error < 32 ? error : 0;
  std::string command = commandLine ? commandLine : "";
  if (Lower(command).rfind("regsvr32", 0) == 0 && !machine_.config.regsvr32Found)
    return static_cast<UINT>(ERROR_FILE_NOT_FOUND);
  pages_.transcript().ProcessStarted("", command);
  return 33;
}

BOOL SimPlatform::CreateProcessA(const char* applicationName, char* commandLine,
                                 DWORD /*creationFlags*/, UINT /*show*/,
                                 PROCESS_INFORMATION* processInformation) {
  if (InjectBool("CreateProcessA")) return FALSE;
  std::string application = applicationName ? applicationName : "";
  std::string regsvr32 = machine_.config.systemDirectory + "\\regsvr32.exe";
  if (Lower(application) != Lower(regsvr32) || !machine_.config.regsvr32Found) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (processInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pages_.transcript().ProcessStarted(application, commandLine ? commandLine : "");
  Components().ProcessStarted(application, commandLine ? commandLine : "");
  uintptr_t process = next_handle_;
  next_handle_ += 4;
  uintptr_t thread = next_handle_;
  next_handle_ += 4;
  kernel_handles_[process] = "process";
  kernel_handles_[thread] = "thread";
  processInformation->hProcess = HANDLE(process);
  processInformation->hThread = HANDLE(thread);
  processInformation->dwProcessId = static_cast<DWORD>(process);
  processInformation->dwThreadId = static_cast<DWORD>(thread);
  return TRUE;
}

DWORD SimPlatform::WaitForSingleObject(HANDLE handle, DWORD /*milliseconds*/) {
  DWORD error = 0;
  if (Inject("WaitForSingleObject", &error)) {
    SetLastError(error);
    return WAIT_FAILED;
  }
  if (kernel_handles_.count(static_cast<uintptr_t>(handle)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return WAIT_OBJECT_0;
}

BOOL SimPlatform::GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
  if (InjectBool("GetExitCodeProcess")) return FALSE;
  auto it = kernel_handles_.find(static_cast<uintptr_t>(process));
  if (it == kernel_handles_.end() || it->second != "process" || exitCode == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = 0;
  return TRUE;
}

}  // namespace cw::sim
