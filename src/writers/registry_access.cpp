#include "writers/registry_access.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/win_constants.h"
#include "writers/security_record.h"

namespace cw {

const char NtClassRoot[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
const char Win9xClassRoot[] = "SYSTEM\\CurrentControlSet\\Services\\Class\\";

namespace {

// No key's descriptor comes near this (two SIDs and two lists of at most
// 64 KiB each); a size reported beyond it is not allocated.
constexpr DWORD kMaxDescriptorSize = 0x40000;
// The same for a string value's query buffer.
constexpr DWORD kMaxStringQueryCapacity = 0x10000;
// What the writes need of a driver key, and all that the widened list adds:
// WRITE_DAC, WRITE_OWNER or DELETE would let any account in the list take
// the key over while it is open, and keep it after the restore.
constexpr DWORD kWriteAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
constexpr DWORD kAclHeaderSize = sizeof(ACL);
constexpr DWORD kAceSidOffset = 8;   // header and mask
constexpr DWORD kSidHeaderSize = 8;  // revision, count, authority
constexpr DWORD kMaxAclSize = 0xFFFF;

void SecurityMessage(Platform& platform, const char* text) {
  platform.MessageBoxA(HWND(0), text, "Message", MB_OK);
}

// RegOpenKeyA on HKLM\path; the handle is taken only when the open succeeded.
LONG OpenForSecurity(const char* path, RegKeyHandle* key) {
  key->Close();
  return key->OpenLegacy(HKEY_LOCAL_MACHINE, path);
}

WORD ReadWord(const BYTE* p) {
  WORD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Where the saved DACL lies in the saved block; its entries are only ever
// read inside it.
struct DaclView {
  ACL* acl = nullptr;
  DWORD size = 0;   // AclSize
  DWORD count = 0;  // AceCount
};

bool LocateDacl(const SavedDescriptor& saved, ACL* dacl, DaclView* view) {
  const auto base = reinterpret_cast<std::uintptr_t>(saved.get());
  const auto at = reinterpret_cast<std::uintptr_t>(dacl);
  if (at < base || at - base > saved.size() || saved.size() - (at - base) < kAclHeaderSize)
    return false;
  const auto* bytes = reinterpret_cast<const BYTE*>(dacl);
  const DWORD size = ReadWord(bytes + offsetof(ACL, AclSize));
  if (size < kAclHeaderSize || size > saved.size() - (at - base)) return false;
  view->acl = dacl;
  view->size = size;
  view->count = ReadWord(bytes + offsetof(ACL, AceCount));
  return true;
}

// One allowing or denying entry of the saved DACL.
struct Entry {
  BYTE type = 0;
  BYTE flags = 0;
  DWORD mask = 0;
  PSID sid = nullptr;
  DWORD sidLength = 0;
};

// Entry `index`, when it lies inside the DACL and keeps its SID where
// allowing and denying entries keep it.
bool ReadEntry(Platform& platform, const DaclView& view, DWORD index, Entry* entry) {
  void* ace = nullptr;
  if (!platform.GetAce(view.acl, index, &ace) || ace == nullptr) return false;
  const auto start = reinterpret_cast<std::uintptr_t>(view.acl);
  const auto at = reinterpret_cast<std::uintptr_t>(ace);
  if (at < start + kAclHeaderSize || at - start > view.size) return false;
  const DWORD room = view.size - static_cast<DWORD>(at - start);
  if (room < kAceSidOffset + kSidHeaderSize) return false;
  const auto* bytes = static_cast<const BYTE*>(ace);
  const BYTE type = bytes[offsetof(ACE_HEADER, AceType)];
  if (type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_DENIED_ACE_TYPE) return false;
  const DWORD aceSize = ReadWord(bytes + offsetof(ACE_HEADER, AceSize));
  if (aceSize > room || aceSize < kAceSidOffset + kSidHeaderSize) return false;
  entry->type = type;
  entry->flags = bytes[offsetof(ACE_HEADER, AceFlags)];
  std::memcpy(&entry->mask, bytes + sizeof(ACE_HEADER), sizeof entry->mask);
  entry->sid = static_cast<BYTE*>(ace) + kAceSidOffset;
  entry->sidLength = platform.GetLengthSid(entry->sid);
  return entry->sidLength <= aceSize - kAceSidOffset;
}

// An allowing entry keeps what it gave and gains what the writes need; a
// denying one allows those alone. The new list's entries apply to the key
// itself, so one that only passed rights on to subkeys gave the key nothing.
DWORD WidenedMask(const Entry& entry) {
  const bool gave = entry.type == ACCESS_ALLOWED_ACE_TYPE && !(entry.flags & INHERIT_ONLY_ACE);
  return gave ? entry.mask | kWriteAccess : kWriteAccess;
}

LONG QueryDword(Platform& platform, HKEY key, const char* name) {
  DWORD type = REG_DWORD;
  BYTE data[4] = {};
  DWORD size = sizeof(data);
  return platform.RegQueryValueExA(key, name, &type, data, &size);
}

LONG SetDword(Platform& platform, HKEY key, const char* name, DWORD value) {
  return platform.RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                 sizeof(value));
}

void Show(const ShowWriteFailure& show, const char* text) {
  if (show) show(text);
}

}  // namespace

bool BuildKeyPath(char (&path)[kKeyPathSize], const char* root, const std::string& driverKey,
                  const char* subkey) {
  path[0] = '\0';
  if (root == nullptr) root = "";
  if (subkey == nullptr) subkey = "";
  // A NUL inside the driver key would end the path early: another key.
  if (driverKey.find('\0') != std::string::npos) return false;
  const size_t rootLength = std::strlen(root);
  const size_t subkeyLength = std::strlen(subkey);
  if (driverKey.size() > kKeyPathSize ||
      rootLength + driverKey.size() + subkeyLength >= kKeyPathSize)
    return false;
  std::memcpy(path, root, rootLength);
  std::memcpy(path + rootLength, driverKey.data(), driverKey.size());
  std::memcpy(path + rootLength + driverKey.size(), subkey, subkeyLength);
  path[rootLength + driverKey.size() + subkeyLength] = '\0';
  return true;
}

bool OpenDriverKeyForWrites(const char* root, const std::string& driverKey,
                            const char* subkey, RegKeyHandle* key) {
  key->Close();
  if (driverKey.empty()) return false;
  char path[kKeyPathSize];
  if (!BuildKeyPath(path, root, driverKey, subkey)) return false;
  return key->Open(HKEY_LOCAL_MACHINE, path, kWriteAccess) == ERROR_SUCCESS;
}

ValueWrite UpdateDwordIfPresent(Platform& platform, HKEY key, const char* name, DWORD value,
                                const char* failureMessage, const ShowWriteFailure& show) {
  if (QueryDword(platform, key, name) != ERROR_SUCCESS) return ValueWrite::Skipped;
  if (SetDword(platform, key, name, value) == ERROR_SUCCESS) return ValueWrite::Updated;
  Show(show, failureMessage);
  return ValueWrite::UpdateFailed;
}

ValueWrite UpdateStringIfPresent(Platform& platform, HKEY key, const char* name, const char* text,
                                 DWORD queryCapacity, const char* failureMessage,
                                 const ShowWriteFailure& show) {
  if (text == nullptr || queryCapacity > kMaxStringQueryCapacity) return ValueWrite::Skipped;
  // One byte more than offered, as the writers' 256-byte buffer offers 255.
  std::vector<BYTE> buffer(static_cast<size_t>(queryCapacity) + 1, 0);
  DWORD type = REG_SZ;
  DWORD size = queryCapacity;
  if (platform.RegQueryValueExA(key, name, &type, buffer.data(), &size) != ERROR_SUCCESS)
    return ValueWrite::Skipped;
  const DWORD length = static_cast<DWORD>(std::strlen(text)) + 1;
  if (platform.RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), length) ==
      ERROR_SUCCESS)
    return ValueWrite::Updated;
  Show(show, failureMessage);
  return ValueWrite::UpdateFailed;
}

ValueWrite SetOrCreateDword(Platform& platform, HKEY key, const char* name, DWORD value,
                            const char* updateFailure, const char* createFailure,
                            const ShowWriteFailure& show) {
  const bool present = QueryDword(platform, key, name) == ERROR_SUCCESS;
  if (SetDword(platform, key, name, value) == ERROR_SUCCESS)
    return present ? ValueWrite::Updated : ValueWrite::Created;
  Show(show, present ? updateFailure : createFailure);
  return present ? ValueWrite::UpdateFailed : ValueWrite::CreateFailed;
}

SavedDescriptor SaveKeySecurity(Platform& platform, const char* path) {
  RegKeyHandle key(platform);
  if (OpenForSecurity(path, &key) != ERROR_SUCCESS) {
    SecurityMessage(platform, "Error: Registry Open");
    return SavedDescriptor();
  }
  char className[260] = "";
  DWORD classNameSize = sizeof(className);
  DWORD reported = 0;
  FILETIME lastWrite = {};
  // Only the descriptor's size is wanted, and it is only a first guess: Wine
  // reports 0, so a failure here is no failure yet.
  if (platform.RegQueryInfoKeyA(key.get(), className, &classNameSize, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, &reported, &lastWrite) != ERROR_SUCCESS)
    reported = 0;
  std::vector<BYTE> block(std::min(reported, kMaxDescriptorSize), 0);

  DWORD size = static_cast<DWORD>(block.size());
  LONG result = platform.RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION,
                                           block.empty() ? nullptr : block.data(), &size);
  if (result == ERROR_INSUFFICIENT_BUFFER && size > block.size() && size <= kMaxDescriptorSize) {
    block.assign(size, 0);
    result = platform.RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, block.data(), &size);
  }
  if (result != ERROR_SUCCESS || block.empty()) {
    SecurityMessage(platform, "ERROR: Get Security Descriptor");
    return SavedDescriptor();
  }
  return SavedDescriptor(std::move(block));
}

namespace {

// GrantWriteAccess, also telling whether the widened DACL was written.
LONG Grant(Platform& platform, const char* path, const SavedDescriptor& saved, bool* widened) {
  *widened = false;
  RegKeyHandle key(platform);
  const LONG opened = OpenForSecurity(path, &key);
  if (opened != ERROR_SUCCESS) {
    SecurityMessage(platform, "Error: Registry Open");
    return opened;
  }
  // Nothing was read, so there is nothing to build the key's security from:
  // it stays as it is (the save has said why).
  if (!saved.has_value()) return ERROR_SUCCESS;

  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  ACL* dacl = nullptr;
  if (!platform.GetSecurityDescriptorDacl(saved.get(), &present, &dacl, &defaulted)) {
    SecurityMessage(platform, "ERROR: Get DACL Of Security Descriptor");
    return ERROR_SUCCESS;
  }
  // No DACL, or a NULL one, already lets everyone in: nothing to widen.
  if (!present || dacl == nullptr) return ERROR_SUCCESS;

  DaclView view;
  DWORD aclSize = kAclHeaderSize;
  bool readable = LocateDacl(saved, dacl, &view);
  for (DWORD i = 0; readable && i < view.count; ++i) {
    Entry entry;
    readable = ReadEntry(platform, view, i, &entry);
    aclSize += 8 + entry.sidLength;
    readable = readable && aclSize <= kMaxAclSize;
  }
  if (!readable) {
    SecurityMessage(platform, "ERROR: Get DACL Of Security Descriptor");
    return ERROR_SUCCESS;
  }

  // Each failing step is reported and the next one tried; only a list and
  // descriptor built without a failure are written.
  bool built = true;
  std::vector<BYTE> acl(aclSize, 0);
  ACL* newAcl = reinterpret_cast<ACL*>(acl.data());
  if (!platform.InitializeAcl(newAcl, aclSize, ACL_REVISION)) {
    SecurityMessage(platform, "ERROR: Initialize New ACL");
    built = false;
  }
  for (DWORD i = 0; i < view.count; ++i) {
    Entry entry;
    if (!ReadEntry(platform, view, i, &entry) ||
        !platform.AddAccessAllowedAce(newAcl, ACL_REVISION, WidenedMask(entry), entry.sid)) {
      SecurityMessage(platform, "ERROR: Access ACE Data to new ACL");
      built = false;
    }
  }

  // The saved length bounds the block; in a 64-bit build the absolute
  // header can be longer than a small saved descriptor and its list.
  const DWORD savedLength = std::min<DWORD>(platform.GetSecurityDescriptorLength(saved.get()),
                                            static_cast<DWORD>(saved.size()));
  std::vector<BYTE> descriptor(
      std::max<size_t>(static_cast<size_t>(savedLength) + aclSize, sizeof(SECURITY_DESCRIPTOR)), 0);
  if (!platform.InitializeSecurityDescriptor(descriptor.data(), SECURITY_DESCRIPTOR_REVISION)) {
    SecurityMessage(platform, "ERROR: Initialize New Security Descriptor");
    built = false;
  }
  if (!platform.SetSecurityDescriptorDacl(descriptor.data(), TRUE, newAcl, defaulted)) {
    SecurityMessage(platform, "ERROR: Access ACL to Security Descriptor");
    built = false;
  }
  if (!built) return ERROR_SUCCESS;
  if (platform.RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor.data()) ==
      ERROR_SUCCESS)
    *widened = true;
  else
    SecurityMessage(platform, "Error: Set Security Data");
  return ERROR_SUCCESS;
}

}  // namespace

LONG GrantWriteAccess(Platform& platform, const char* path, const SavedDescriptor& saved) {
  bool widened = false;
  return Grant(platform, path, saved, &widened);
}

namespace {

LONG Restore(Platform& platform, const char* path, SavedDescriptor&& saved,
             const ShowWriteFailure& message) {
  // Taken over here, so it is released on every path.
  SavedDescriptor owned(std::move(saved));
  RegKeyHandle key(platform);
  const LONG opened = OpenForSecurity(path, &key);
  if (opened != ERROR_SUCCESS) {
    message("Error: Registry Open");
    return opened;
  }
  // Nothing saved: the grant changed nothing either, so there is nothing to
  // put back.
  if (!owned.has_value()) return ERROR_SUCCESS;
  const LONG result = platform.RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, owned.get());
  if (result != ERROR_SUCCESS) message("Error: Set Security Data");
  return result;
}

}  // namespace

LONG RestoreKeySecurity(Platform& platform, const char* path, SavedDescriptor&& saved) {
  return Restore(platform, path, std::move(saved),
                 [&platform](const char* text) { SecurityMessage(platform, text); });
}

BracketResult KeySecurityBracket(Platform& platform, const char* root, const std::string& driverKey,
                                 const char* securedSubkey, BracketPolicy policy,
                                 const ShowWriteFailure& show, const BracketWrites& writes) {
  if (driverKey.empty()) return BracketResult::Skipped;
  char path[kKeyPathSize];
  if (!BuildKeyPath(path, root, driverKey, securedSubkey)) return BracketResult::Skipped;
  SavedDescriptor saved = SaveKeySecurity(platform, path);
  if (!saved.has_value() && policy == BracketPolicy::StopWithoutDescriptor)
    return BracketResult::NotSaved;
  // Before the key is widened its saved list is kept where the next run
  // finds it, should this one end first; where that cannot be done, the key
  // is not widened at all.
  SecurityRecord record;
  bool widened = false;
  if (!saved.has_value() || WriteSecurityRecord(platform, path, saved, &record))
    Grant(platform, path, saved, &widened);
  // Kept for a second restore: a key left open to every SID is worse than
  // one more try (and its message).
  SavedDescriptor again;
  if (widened) {
    const auto* block = static_cast<const BYTE*>(saved.get());
    again = SavedDescriptor(std::vector<BYTE>(block, block + saved.size()));
  }
  // Nobody waits on a box while the key is open: what the writes and the
  // restore have to say is shown once the list is back, in the same order.
  std::vector<std::function<void()>> later;
  const ShowWriteFailure deferWrite = [&](const char* text) {
    later.push_back([&show, message = std::string(text)] {
      if (show) show(message.c_str());
    });
  };
  const ShowWriteFailure deferSecurity = [&](const char* text) {
    later.push_back(
        [&platform, message = std::string(text)] { SecurityMessage(platform, message.c_str()); });
  };
  if (writes) writes(path, deferWrite);
  LONG restored = Restore(platform, path, std::move(saved), deferSecurity);
  if (restored != ERROR_SUCCESS && widened)
    restored = Restore(platform, path, std::move(again), deferSecurity);
  // A list that is not back keeps its record, for the next run to put back.
  if (!widened || restored == ERROR_SUCCESS) RemoveSecurityRecord(platform, record);
  for (const auto& message : later) message();
  return BracketResult::Ran;
}

}  // namespace cw
