// The simulated machine's registry: a tree of keys and values held the way
// Windows holds them.
//
// - Key and value names keep their letter case but are found without regard
//   to it; subkeys are kept in the order RegEnumKeyEx gives them on Windows
//   and Wine (names compared after upper-casing).
// - Value data are the bytes Windows stores: string types (REG_SZ,
//   REG_EXPAND_SZ, REG_MULTI_SZ) as UTF-16LE with their terminators; the
//   ANSI ("A") calls convert at the edge, as Windows does.
// - Names are held as UTF-8.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace cw::sim {

// Orders names as the registry enumerates them: compared after upper-casing.
// Transparent, so subkeys can be looked up by string_view without a copy.
struct RegNameLess {
  using is_transparent = void;
  bool operator()(const std::string& a, const std::string& b) const;
  bool operator()(std::string_view a, std::string_view b) const;
};

// True when two names denote the same key or value (equal after upper-casing).
bool RegNameEqual(std::string_view a, std::string_view b);

struct RegValue {
  std::string name;  // "" is the key's default value
  DWORD type = 0;
  std::vector<BYTE> data;
};

class RegKey {
 public:
  explicit RegKey(std::string name) : name_(std::move(name)) {}
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  const std::string& name() const { return name_; }

  // Values in the order they were first set (the order regedit exports them).
  const std::vector<RegValue>& values() const { return values_; }
  const RegValue* FindValue(std::string_view name) const;
  RegValue* FindValue(std::string_view name);
  // Sets (or creates) a value; returns true when it was created.
  bool SetValue(std::string_view name, DWORD type, std::vector<BYTE> data);
  bool DeleteValue(std::string_view name);

  // Subkeys in enumeration order.
  const std::map<std::string, std::unique_ptr<RegKey>, RegNameLess>& subkeys() const {
    return subkeys_;
  }
  RegKey* FindSubkey(std::string_view name) const;
  // Returns the existing subkey or a new one; *created tells which. Null when
  // the name is not a valid key name (empty, has a backslash, or is longer
  // than the 255 characters Windows allows).
  RegKey* CreateSubkey(std::string_view name, bool* created);
  bool DeleteSubkey(std::string_view name);

  // The key's security descriptor in self-relative form.
  const std::vector<BYTE>& security() const { return security_; }
  void set_security(std::vector<BYTE> descriptor) { security_ = std::move(descriptor); }

  std::unique_ptr<RegKey> Clone() const;

 private:
  std::string name_;
  std::vector<RegValue> values_;
  // Position of each value in values_, so lookups stay fast on keys with
  // many values.
  std::map<std::string, size_t, RegNameLess> valueIndex_;
  std::map<std::string, std::unique_ptr<RegKey>, RegNameLess> subkeys_;
  std::vector<BYTE> security_;
};

// The four roots a machine file may name.
enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine, Users };

// "HKEY_LOCAL_MACHINE" (and the short "HKLM") to a root; false when unknown.
bool ParseRegRootName(std::string_view name, RegRoot* root);
const char* RegRootName(RegRoot root);
// The predefined key handle of a root, and back.
HKEY RegRootHandle(RegRoot root);
bool RegRootFromHandle(HKEY key, RegRoot* root);

class RegistryTree {
 public:
  RegistryTree();
  RegistryTree(const RegistryTree& other);
  RegistryTree& operator=(const RegistryTree& other);
  void Swap(RegistryTree& other) noexcept;

  RegKey& Root(RegRoot root);
  const RegKey& Root(RegRoot root) const;

  // Path relative to a root, parts separated by backslashes; an empty path is
  // the root itself. Null when a part is missing.
  RegKey* Find(RegRoot root, std::string_view path) const;
  // Creates every missing part; *created is true when the last part was new.
  // Null when a part is not a valid key name (see CreateSubkey) or the path is
  // deeper than kMaxDepth; nothing is created then.
  RegKey* Create(RegRoot root, std::string_view path, bool* created);
  // Deletes a key and everything below it; false when it does not exist.
  bool Delete(RegRoot root, std::string_view path);

  // Calls f(root, path, key) for every key in enumeration order, parents first.
  template <typename F>
  void ForEachKey(F&& f) const {
    for (RegRoot r : kAllRoots) Walk(r, "", Root(r), f);
  }

  // The deepest key below a root Windows lets one create.
  static constexpr size_t kMaxDepth = 512;

  static constexpr RegRoot kAllRoots[] = {RegRoot::ClassesRoot, RegRoot::CurrentUser,
                                          RegRoot::LocalMachine, RegRoot::Users};

 private:
  template <typename F>
  static void Walk(RegRoot r, const std::string& path, const RegKey& key, F& f) {
    f(r, path, key);
    for (const auto& [name, child] : key.subkeys())
      Walk(r, path.empty() ? child->name() : path + "\\" + child->name(), *child, f);
  }

  std::unique_ptr<RegKey> roots_[4];
};

// ---- The 32-bit view of 64-bit Windows ----

// Where a key that a 32-bit program names lies on 64-bit Windows (7 and
// later), where WOW64 redirects some keys into a node of their own:
//
// - HKLM\SOFTWARE and everything below it go to HKLM\SOFTWARE\Wow6432Node,
//   but for the shared keys SOFTWARE\Classes, Clients, Policies and
//   RegisteredApplications (Windows shares a few more deep below
//   SOFTWARE\Microsoft, none of which the program reads);
// - of the classes, the COM registrations (CLSID, Interface, DirectShow,
//   Media Type, MediaFoundation) are redirected all the same:
//   HKLM\SOFTWARE\Classes\CLSID to HKLM\SOFTWARE\Wow6432Node\Classes\CLSID,
//   HKCR\CLSID to HKCR\Wow6432Node\CLSID, HKCU\Software\Classes\CLSID to
//   HKCU\Software\Classes\Wow6432Node\CLSID;
// - a path that already names Wow6432Node is taken as it is.
//
// Everything else, HKLM\SYSTEM with the driver keys and devices included, is
// one key for both kinds of program. `path` is returned unchanged then; the
// names are compared without regard to case and keep their own.
std::string Wow64KeyPath(RegRoot root, std::string_view path);

// ---- Text encodings used at the registry's edges ----

// UTF-8 to UTF-16LE bytes and back (invalid input bytes become U+FFFD).
std::vector<BYTE> Utf8ToUtf16Le(std::string_view text);
std::string Utf16LeToUtf8(const BYTE* data, size_t size);
// Windows-1252, the ANSI code page of the machines the wizard ships for.
// Characters with no ANSI form become '?', as WideCharToMultiByte makes them.
std::string Utf8ToAnsi(std::string_view text);
std::string AnsiToUtf8(std::string_view text);

// Value data helpers: a REG_SZ/REG_EXPAND_SZ from UTF-8 text (terminator
// added), a REG_MULTI_SZ from its strings, a REG_DWORD.
std::vector<BYTE> StringData(std::string_view utf8);
std::vector<BYTE> MultiStringData(const std::vector<std::string>& utf8);
std::vector<BYTE> DwordData(DWORD value);

// REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ: the types the "A" calls convert.
bool IsStringType(DWORD type);
// Stored UTF-16LE string data as the ANSI bytes the "A" calls return, and
// the bytes an "A" call passes as they are stored; other types unchanged.
std::vector<BYTE> StoredToAnsi(const RegValue& value);
std::vector<BYTE> AnsiToStored(DWORD type, const BYTE* data, DWORD size);
// The size StoredToAnsi gives without making the bytes, and those bytes
// written to a buffer of at least that size: a size query then costs no
// copy of the whole value.
size_t StoredAnsiSize(const RegValue& value);
void CopyStoredAsAnsi(const RegValue& value, BYTE* out);
// The answer of RegQueryValueExA for a value that exists: its type, and its
// data when the buffer is large enough (else ERROR_MORE_DATA), with *dataSize
// the bytes needed either way.
LONG QueryStoredValue(const RegValue& value, DWORD* type, BYTE* data, DWORD* dataSize);

}  // namespace cw::sim
