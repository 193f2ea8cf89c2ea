// What every settings writer shares: the class-key roots, key paths, the
// value writes, and the bracket that opens a driver key's security for the
// time of the writes (NT family) and puts it back afterwards.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/raii.h"

namespace cw {

// Roots of the drivers' class keys below HKEY_LOCAL_MACHINE, each ending in
// a backslash so a driver key can simply be appended.
extern const char NtClassRoot[];     // "SYSTEM\CurrentControlSet\Control\Class\"
extern const char Win9xClassRoot[];  // "SYSTEM\CurrentControlSet\Services\Class\"

// Key paths are built in buffers of this many characters, the NUL included.
constexpr size_t kKeyPathSize = 260;

// root + driverKey + subkey, joined as they are. False, with an empty path,
// when the whole does not fit: such a key is treated as one that cannot be
// opened, never cut short (a cut path could name another key).
bool BuildKeyPath(char (&path)[kKeyPathSize], const char* root, const std::string& driverKey,
                  const char* subkey = "");

// Opens root + driverKey + subkey for writing (RegOpenKeyExA asking to read,
// set values and create subkeys: all a widened key lets anyone do).
// False when it does not open, and also, without trying, when the driver key
// is empty (no device was found: the bare class root is never written) or
// the path does not fit.
bool OpenDriverKeyForWrites(const char* root, const std::string& driverKey,
                            const char* subkey, RegKeyHandle* key);

// Shows a writer's failure message (the writers pass their framework
// message box with MB_OK).
using ShowWriteFailure = std::function<void(const char* text)>;

// What became of one value.
enum class ValueWrite {
  Skipped,       // update-if-present: the value is missing or does not fit the query buffer
  Updated,       // it was there and has been set
  Created,       // set-or-create: it was not there and has been created
  UpdateFailed,  // it was there and the set failed
  CreateFailed,  // set-or-create: it was not there and the set failed
};

// Update-if-present of a REG_DWORD: a 4-byte query (size 4), and only when
// that succeeds a 4-byte REG_DWORD set; a failed set shows `failureMessage`.
ValueWrite UpdateDwordIfPresent(Platform& platform, HKEY key, const char* name, DWORD value,
                                const char* failureMessage, const ShowWriteFailure& show);

// Update-if-present of a REG_SZ: the query offers `queryCapacity` bytes (the
// SAA713X writer offers 255 of a 256-byte buffer), so a longer stored value
// counts as missing; the set writes the text with its NUL.
ValueWrite UpdateStringIfPresent(Platform& platform, HKEY key, const char* name, const char* text,
                                 DWORD queryCapacity, const char* failureMessage,
                                 const ShowWriteFailure& show);

// Set-or-create of a REG_DWORD: queried as above, then set whatever the
// query gave. A failed set shows `updateFailure` when the query had found the
// value, `createFailure` otherwise (missing, or longer than 4 bytes).
ValueWrite SetOrCreateDword(Platform& platform, HKEY key, const char* name, DWORD value,
                            const char* updateFailure, const char* createFailure,
                            const ShowWriteFailure& show);

// A key's security descriptor as RegGetKeySecurity gave it for the DACL, or
// none. Owns its block; move-only, and a moved-from one holds none.
class SavedDescriptor {
 public:
  SavedDescriptor() = default;
  explicit SavedDescriptor(std::vector<BYTE> block) : block_(std::move(block)) {}
  SavedDescriptor(const SavedDescriptor&) = delete;
  SavedDescriptor& operator=(const SavedDescriptor&) = delete;
  SavedDescriptor(SavedDescriptor&& other) noexcept : block_(std::move(other.block_)) {
    other.block_.clear();
  }
  SavedDescriptor& operator=(SavedDescriptor&& other) noexcept {
    block_ = std::move(other.block_);
    other.block_.clear();
    return *this;
  }

  bool has_value() const { return !block_.empty(); }
  // The descriptor for the calls that read it (they take it non-const, as
  // Windows declares them, but never write it); null when none.
  PSECURITY_DESCRIPTOR get() const {
    return block_.empty() ? nullptr : const_cast<BYTE*>(block_.data());
  }
  size_t size() const { return block_.size(); }

 private:
  std::vector<BYTE> block_;
};

// Reads the DACL part of the security of HKLM\path. None, after a message,
// when the key does not open or its security cannot be read.
SavedDescriptor SaveKeySecurity(Platform& platform, const char* path);

// Lets every SID of the saved DACL, in the saved order, read the key, set
// its values and create subkeys: an allowing entry keeps what it gave besides,
// a denying one becomes an allowing one with those rights alone. Nobody gains
// WRITE_DAC, WRITE_OWNER or DELETE it did not have. The RegOpenKeyA error when the key does not
// open, else 0. Without a saved descriptor or a usable DACL in it, and when
// the new list or descriptor could not be built whole, nothing is written and
// the key keeps its security.
LONG GrantWriteAccess(Platform& platform, const char* path, const SavedDescriptor& saved);

// Puts the saved DACL back on HKLM\path and releases the descriptor, on every
// path. The RegOpenKeyA error when the key does not open, else the
// RegSetKeySecurity result (0, writing nothing, when nothing was saved).
LONG RestoreKeySecurity(Platform& platform, const char* path, SavedDescriptor&& saved);

enum class BracketPolicy {
  GoOnWithoutDescriptor,  // the PCI writers: grant (which then does nothing) and write
  StopWithoutDescriptor,  // the USB writer: write nothing when the security cannot be saved
};

enum class BracketResult {
  Skipped,   // no driver key, or the path does not fit: nothing opened, no message
  NotSaved,  // StopWithoutDescriptor and the security could not be saved
  Ran,       // save, grant, the writes, restore
};

// The writes a bracket runs: given the secured path, and where to send the
// failure messages they raise.
using BracketWrites = std::function<void(const char* securedPath, const ShowWriteFailure& show)>;

// The bracket around one driver key's writes: saves the security of
// root + driverKey + securedSubkey, widens it for the writes, runs `writes`,
// then restores, trying once more when a key that was widened could not be
// put back. The messages of the writes (through `show`) and of the restore
// wait until the list is back. An empty driver key means the device was not
// found: the class root itself is never opened nor its security touched.
BracketResult KeySecurityBracket(Platform& platform, const char* root, const std::string& driverKey,
                                 const char* securedSubkey, BracketPolicy policy,
                                 const ShowWriteFailure& show, const BracketWrites& writes);

}  // namespace cw
