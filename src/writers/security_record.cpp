#include "writers/security_record.h"

#include <cstring>
#include <vector>

#include "base/text.h"
#include "platform/raii.h"
#include "platform/win_constants.h"

namespace cw {

const char kSecurityRecordKey[] = "SOFTWARE\\Morvex Multimedia\\Chanwiz Saved Access";

namespace {

constexpr const char* kMakerKey = "SOFTWARE\\Morvex Multimedia";
constexpr const char* kPathValue = "Key";
constexpr const char* kListValue = "Access List";
// As for a list read from a key: nothing a key holds comes near it.
constexpr DWORD kMaxListSize = 0x40000;
constexpr REGSAM kRecordAccess = KEY_READ | KEY_SET_VALUE | WRITE_DAC;

// S-1-5-18 (SYSTEM) and S-1-5-32-544 (Administrators).
BYTE kSystemSid[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
BYTE kAdministratorsSid[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};

bool KeyExists(Platform& platform, const char* path) {
  RegKeyHandle key(platform);
  return key.Open(HKEY_LOCAL_MACHINE, path, KEY_READ) == ERROR_SUCCESS;
}

// Full control for SYSTEM and the administrators, nobody else: what the
// maker's key passes on (Power Users may write there on XP) must not let
// anyone plant a list for the next run to put on a driver key.
bool CloseToOthers(Platform& platform, HKEY key) {
  constexpr DWORD kAclSize = sizeof(ACL) + 2 * 8 + sizeof(kSystemSid) + sizeof(kAdministratorsSid);
  std::vector<BYTE> acl(kAclSize, 0);
  std::vector<BYTE> descriptor(sizeof(SECURITY_DESCRIPTOR) + 16, 0);
  ACL* list = reinterpret_cast<ACL*>(acl.data());
  return platform.InitializeAcl(list, kAclSize, ACL_REVISION) &&
         platform.AddAccessAllowedAce(list, ACL_REVISION, KEY_ALL_ACCESS, kSystemSid) &&
         platform.AddAccessAllowedAce(list, ACL_REVISION, KEY_ALL_ACCESS, kAdministratorsSid) &&
         platform.InitializeSecurityDescriptor(descriptor.data(), SECURITY_DESCRIPTOR_REVISION) &&
         platform.SetSecurityDescriptorDacl(descriptor.data(), TRUE, list, FALSE) &&
         platform.RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data()) ==
             ERROR_SUCCESS;
}

// The maker's key goes too when the record brought it and it is empty now.
void RemoveMakerKeyIfEmpty(Platform& platform) {
  {
    RegKeyHandle maker(platform);
    if (maker.Open(HKEY_LOCAL_MACHINE, kMakerKey, KEY_READ) != ERROR_SUCCESS) return;
    DWORD subkeys = 1;
    DWORD values = 1;
    if (platform.RegQueryInfoKeyA(maker.get(), nullptr, nullptr, &subkeys, nullptr, nullptr,
                                  &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys != 0 || values != 0)
      return;
  }
  // An empty key left behind harms nothing; the record itself is gone.
  static_cast<void>(platform.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMakerKey));
}

DWORD ReadLittle(const std::vector<BYTE>& data, size_t at, size_t bytes) {
  DWORD value = 0;
  for (size_t i = 0; i < bytes; ++i) value |= DWORD(data[at + i]) << (8 * i);
  return value;
}

// A SID that lies wholly inside [at, end) of the block.
bool SidFits(const std::vector<BYTE>& data, size_t at, size_t end) {
  return at + 8 <= end && data[at] == 1 && at + 8 + 4 * size_t(data[at + 1]) <= end;
}

// Windows takes a descriptor by its pointer alone and follows the offsets in
// it: one read from the registry must be a self-relative descriptor whose
// every part lies inside what was read, or it is not handed on at all.
bool WellFormedList(const std::vector<BYTE>& data) {
  constexpr size_t kHeader = 20;
  if (data.size() < kHeader || data[0] != SECURITY_DESCRIPTOR_REVISION) return false;
  const DWORD control = ReadLittle(data, 2, 2);
  if ((control & 0x8000) == 0 || (control & 0x0004) == 0)
    return false;                                   // self-relative, DACL present
  for (size_t field = 4; field < 12; field += 4) {  // owner, group
    const DWORD at = ReadLittle(data, field, 4);
    if (at != 0 && (at < kHeader || !SidFits(data, at, data.size()))) return false;
  }
  if (ReadLittle(data, 12, 4) != 0) return false;  // no audit list is saved with it
  const DWORD aclAt = ReadLittle(data, 16, 4);
  if (aclAt < kHeader || aclAt + 8 > data.size()) return false;
  const size_t aclEnd = aclAt + ReadLittle(data, aclAt + 2, 2);
  if (aclEnd > data.size() || aclEnd < aclAt + 8) return false;
  size_t at = aclAt + 8;
  for (DWORD n = ReadLittle(data, aclAt + 4, 2); n > 0; --n) {
    if (at + 8 > aclEnd) return false;
    const size_t aceEnd = at + ReadLittle(data, at + 2, 2);
    if (aceEnd < at + 8 || aceEnd > aclEnd) return false;
    // Allowing and denying entries: a mask and a SID.
    if (data[at] <= 1 && !SidFits(data, at + 8, aceEnd)) return false;
    at = aceEnd;
  }
  return true;
}

}  // namespace

bool WriteSecurityRecord(Platform& platform, const char* path, const SavedDescriptor& saved,
                         SecurityRecord* record) {
  *record = SecurityRecord();
  if (!saved.has_value() || saved.size() > kMaxListSize) return false;
  const bool makerExisted = KeyExists(platform, kMakerKey);
  RegKeyHandle key(platform);
  DWORD disposition = 0;
  if (key.Create(HKEY_LOCAL_MACHINE, kSecurityRecordKey, kRecordAccess, &disposition) !=
      ERROR_SUCCESS)
    return false;
  // A record still there is a list not yet back: it must not be lost.
  if (disposition != REG_CREATED_NEW_KEY) return false;
  record->createdMakerKey = !makerExisted;
  const bool kept =
      CloseToOthers(platform, key.get()) &&
      platform.RegSetValueExA(key.get(), kPathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                              static_cast<DWORD>(std::strlen(path)) + 1) == ERROR_SUCCESS &&
      platform.RegSetValueExA(key.get(), kListValue, 0, REG_BINARY,
                              static_cast<const BYTE*>(saved.get()),
                              static_cast<DWORD>(saved.size())) == ERROR_SUCCESS &&
      platform.RegFlushKey(key.get()) == ERROR_SUCCESS;
  key.Close();
  record->written = true;
  if (kept) return true;
  RemoveSecurityRecord(platform, *record);
  *record = SecurityRecord();
  return false;
}

void RemoveSecurityRecord(Platform& platform, const SecurityRecord& record) {
  if (!record.written) return;
  if (platform.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSecurityRecordKey) != ERROR_SUCCESS) return;
  if (record.createdMakerKey) RemoveMakerKeyIfEmpty(platform);
}

LeftOpenKey RestoreLeftOpenKey(Platform& platform) {
  LeftOpenKey left;
  std::vector<BYTE> list;
  {
    RegKeyHandle key(platform);
    if (key.Open(HKEY_LOCAL_MACHINE, kSecurityRecordKey, KEY_READ) != ERROR_SUCCESS) return left;
    left.found = true;
    char path[kKeyPathSize] = "";
    DWORD type = REG_SZ;
    DWORD size = sizeof(path) - 1;
    if (platform.RegQueryValueExA(key.get(), kPathValue, &type, reinterpret_cast<BYTE*>(path),
                                  &size) == ERROR_SUCCESS &&
        type == REG_SZ)
      left.path.assign(path, strnlen(path, sizeof(path) - 1));
    size = 0;
    type = REG_BINARY;
    if (platform.RegQueryValueExA(key.get(), kListValue, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_BINARY && size > 0 && size <= kMaxListSize) {
      list.assign(size, 0);
      if (platform.RegQueryValueExA(key.get(), kListValue, &type, list.data(), &size) !=
              ERROR_SUCCESS ||
          size != list.size() || type != REG_BINARY)
        list.clear();
    }
  }
  left.usable = StartsWithNoCase(left.path.c_str(), NtClassRoot) && WellFormedList(list);
  if (left.usable) {
    // A key gone since (the driver removed) has nothing left to mend; asked
    // by reading, so that no failed write is counted for it.
    RegKeyHandle driverKey(platform);
    LONG result = driverKey.Open(HKEY_LOCAL_MACHINE, left.path.c_str(), KEY_READ);
    left.keyGone = result == ERROR_FILE_NOT_FOUND;
    if (!left.keyGone)
      result = (driverKey.Close(), driverKey.OpenLegacy(HKEY_LOCAL_MACHINE, left.path.c_str()));
    if (result == ERROR_SUCCESS && !left.keyGone)
      result = platform.RegSetKeySecurity(driverKey.get(), DACL_SECURITY_INFORMATION, list.data());
    if (result != ERROR_SUCCESS && !left.keyGone) return left;
  }
  // The maker's key was there before this run: it is not this run's to remove.
  SecurityRecord record;
  record.written = true;
  RemoveSecurityRecord(platform, record);
  // Only a record that is gone counts: a dry run, for one, leaves it.
  left.restored = left.usable && !KeyExists(platform, kSecurityRecordKey);
  return left;
}

}  // namespace cw
