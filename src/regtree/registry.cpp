// The simulated registry's tree: names compared as Windows compares them,
// keys and values, the roots, and the 32-bit view of 64-bit Windows. The text
// encodings at its edges are in registry_text.cpp.
#include "regtree/registry.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/win_constants.h"
#include "regtree/registry_utf8.h"

namespace cw::sim {

using namespace utf8;

namespace {

constexpr size_t kMaxKeyNameChars = 255;

// The character to upper case as the registry compares names. Windows'
// table leaves characters with no single upper-case form (e.g. U+00DF)
// alone; this covers the scripts device and driver names use.
char32_t RegUpcase(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x131) return c;  // dotless i has no upper case of its own in the table
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
      return (c & 1) ? c - 1 : c;
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
      return (c & 1) ? c : c - 1;
    }
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return c - 0x20;
  if (c == 0x3C2) return 0x3A3;
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;
  return c;
}

// Yields the UTF-16 code units of a name after upper-casing, one at a time,
// so comparing names needs no allocation. Windows compares code units, which
// is why characters past U+FFFF sort by their surrogates.
class FoldedUnits {
 public:
  explicit FoldedUnits(std::string_view text) : text_(text) {}

  // Next code unit, or -1 at the end.
  long Next() {
    if (pending_ != 0) {
      const long unit = pending_;
      pending_ = 0;
      return unit;
    }
    if (pos_ >= text_.size()) return -1;
    const size_t start = pos_;
    char32_t cp;
    if (!DecodeUtf8(text_, &pos_, &cp)) {
      // A byte that is not UTF-8 still needs an identity of its own, or two
      // different malformed names would be taken for the same key.
      return 0xDC00 | static_cast<unsigned char>(text_[start]);
    }
    cp = RegUpcase(cp);
    if (cp < 0x10000) return static_cast<long>(cp);
    cp -= 0x10000;
    pending_ = static_cast<long>(0xDC00 | (cp & 0x3FF));
    return static_cast<long>(0xD800 | (cp >> 10));
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  long pending_ = 0;
};

int CompareNames(std::string_view a, std::string_view b) {
  FoldedUnits fa(a);
  FoldedUnits fb(b);
  for (;;) {
    const long ua = fa.Next();
    const long ub = fb.Next();
    if (ua != ub) return ua < ub ? -1 : 1;
    if (ua < 0) return 0;
  }
}

size_t Utf16Length(std::string_view text) {
  size_t units = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t cp = kReplacement;
    DecodeUtf8(text, &pos, &cp);
    units += cp >= 0x10000 ? 2 : 1;
  }
  return units;
}

bool ValidKeyName(std::string_view name) {
  return !name.empty() && name.find('\\') == std::string_view::npos &&
         Utf16Length(name) <= kMaxKeyNameChars;
}

// Splits a backslash-separated path; false when a part is empty.
bool SplitPath(std::string_view path, std::vector<std::string_view>* parts) {
  parts->clear();
  if (path.empty()) return true;
  size_t start = 0;
  for (;;) {
    const size_t end = path.find('\\', start);
    const std::string_view part =
        path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part.empty()) return false;
    parts->push_back(part);
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

const char* const kRootNames[4] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                   "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
const char* const kRootShortNames[4] = {"HKCR", "HKCU", "HKLM", "HKU"};

size_t RootIndex(RegRoot root) {
  const auto i = static_cast<size_t>(root);
  return i < 4 ? i : 2;
}

}  // namespace

// ---- Names ----

bool RegNameLess::operator()(const std::string& a, const std::string& b) const {
  return CompareNames(a, b) < 0;
}

bool RegNameLess::operator()(std::string_view a, std::string_view b) const {
  return CompareNames(a, b) < 0;
}

bool RegNameEqual(std::string_view a, std::string_view b) { return CompareNames(a, b) == 0; }

// ---- RegKey ----

const RegValue* RegKey::FindValue(std::string_view name) const {
  const auto it = valueIndex_.find(name);
  return it == valueIndex_.end() ? nullptr : &values_[it->second];
}

RegValue* RegKey::FindValue(std::string_view name) {
  const auto it = valueIndex_.find(name);
  return it == valueIndex_.end() ? nullptr : &values_[it->second];
}

bool RegKey::SetValue(std::string_view name, DWORD type, std::vector<BYTE> data) {
  if (RegValue* existing = FindValue(name)) {
    // The name keeps the case it was first created with, as on Windows.
    existing->type = type;
    existing->data = std::move(data);
    return false;
  }
  RegValue v;
  v.name = std::string(name);
  v.type = type;
  v.data = std::move(data);
  // Make room first so a failed allocation leaves the index and the list
  // in step.
  if (values_.size() == values_.capacity()) values_.reserve(values_.size() * 2 + 4);
  valueIndex_.emplace(v.name, values_.size());
  values_.push_back(std::move(v));
  return true;
}

bool RegKey::DeleteValue(std::string_view name) {
  const auto it = valueIndex_.find(name);
  if (it == valueIndex_.end()) return false;
  const size_t pos = it->second;
  valueIndex_.erase(it);
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(pos));
  for (auto& entry : valueIndex_)
    if (entry.second > pos) --entry.second;
  return true;
}

RegKey* RegKey::FindSubkey(std::string_view name) const {
  const auto it = subkeys_.find(name);
  return it == subkeys_.end() ? nullptr : it->second.get();
}

RegKey* RegKey::CreateSubkey(std::string_view name, bool* created) {
  if (created) *created = false;
  if (!ValidKeyName(name)) return nullptr;
  const auto it = subkeys_.find(name);
  if (it != subkeys_.end()) return it->second.get();
  auto key = std::make_unique<RegKey>(std::string(name));
  RegKey* raw = key.get();
  subkeys_.emplace(std::string(name), std::move(key));
  if (created) *created = true;
  return raw;
}

bool RegKey::DeleteSubkey(std::string_view name) {
  const auto it = subkeys_.find(name);
  if (it == subkeys_.end()) return false;
  subkeys_.erase(it);
  return true;
}

std::unique_ptr<RegKey> RegKey::Clone() const {
  auto copy = std::make_unique<RegKey>(name_);
  copy->values_ = values_;
  copy->valueIndex_ = valueIndex_;
  copy->security_ = security_;
  for (const auto& [name, child] : subkeys_) copy->subkeys_.emplace(name, child->Clone());
  return copy;
}

// ---- Roots ----

bool ParseRegRootName(std::string_view name, RegRoot* root) {
  for (size_t i = 0; i < 4; ++i) {
    if (RegNameEqual(name, kRootNames[i]) || RegNameEqual(name, kRootShortNames[i])) {
      if (root) *root = static_cast<RegRoot>(i);
      return true;
    }
  }
  return false;
}

const char* RegRootName(RegRoot root) { return kRootNames[RootIndex(root)]; }

HKEY RegRootHandle(RegRoot root) {
  switch (root) {
    case RegRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegRoot::CurrentUser:
      return HKEY_CURRENT_USER;
    case RegRoot::Users:
      return HKEY_USERS;
    case RegRoot::LocalMachine:
      break;
  }
  return HKEY_LOCAL_MACHINE;
}

bool RegRootFromHandle(HKEY key, RegRoot* root) {
  RegRoot found;
  if (key == HKEY_CLASSES_ROOT) {
    found = RegRoot::ClassesRoot;
  } else if (key == HKEY_CURRENT_USER) {
    found = RegRoot::CurrentUser;
  } else if (key == HKEY_LOCAL_MACHINE) {
    found = RegRoot::LocalMachine;
  } else if (key == HKEY_USERS) {
    found = RegRoot::Users;
  } else {
    return false;
  }
  if (root) *root = found;
  return true;
}

// ---- RegistryTree ----

RegistryTree::RegistryTree() {
  for (size_t i = 0; i < 4; ++i) roots_[i] = std::make_unique<RegKey>(kRootNames[i]);
}

RegistryTree::RegistryTree(const RegistryTree& other) {
  for (size_t i = 0; i < 4; ++i) roots_[i] = other.roots_[i]->Clone();
}

RegistryTree& RegistryTree::operator=(const RegistryTree& other) {
  if (this != &other) {
    // Copy first so a failed copy leaves this tree as it was.
    RegistryTree copy(other);
    Swap(copy);
  }
  return *this;
}

void RegistryTree::Swap(RegistryTree& other) noexcept {
  for (size_t i = 0; i < 4; ++i) roots_[i].swap(other.roots_[i]);
}

RegKey& RegistryTree::Root(RegRoot root) { return *roots_[RootIndex(root)]; }

const RegKey& RegistryTree::Root(RegRoot root) const { return *roots_[RootIndex(root)]; }

RegKey* RegistryTree::Find(RegRoot root, std::string_view path) const {
  std::vector<std::string_view> parts;
  if (!SplitPath(path, &parts)) return nullptr;
  RegKey* key = roots_[RootIndex(root)].get();
  for (std::string_view part : parts) {
    key = key->FindSubkey(part);
    if (!key) return nullptr;
  }
  return key;
}

RegKey* RegistryTree::Create(RegRoot root, std::string_view path, bool* created) {
  if (created) *created = false;
  std::vector<std::string_view> parts;
  if (!SplitPath(path, &parts) || parts.size() > kMaxDepth) return nullptr;
  // Check every part before creating any, so a bad path leaves no debris.
  for (std::string_view part : parts)
    if (!ValidKeyName(part)) return nullptr;
  RegKey* key = roots_[RootIndex(root)].get();
  bool last = false;
  for (std::string_view part : parts) {
    key = key->CreateSubkey(part, &last);
    if (!key) return nullptr;
  }
  if (created) *created = last;
  return key;
}

bool RegistryTree::Delete(RegRoot root, std::string_view path) {
  std::vector<std::string_view> parts;
  if (path.empty() || !SplitPath(path, &parts)) return false;
  RegKey* parent = roots_[RootIndex(root)].get();
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    parent = parent->FindSubkey(parts[i]);
    if (!parent) return false;
  }
  return parent->DeleteSubkey(parts.back());
}

// ---- The 32-bit view ----

namespace {

bool IsRedirectedClass(std::string_view name) {
  for (const char* redirected :
       {"CLSID", "Interface", "DirectShow", "Media Type", "MediaFoundation"})
    if (RegNameEqual(name, redirected)) return true;
  return false;
}

}  // namespace

std::string Wow64KeyPath(RegRoot root, std::string_view path) {
  // The parts with where each begins, so the node goes in with the rest of
  // the path kept byte for byte.
  std::vector<std::string_view> parts;
  std::vector<size_t> starts;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    parts.push_back(path.substr(start, end - start));
    starts.push_back(start);
    start = end + 1;
  }
  const auto is = [&](size_t i, const char* name) {
    return i < parts.size() && RegNameEqual(parts[i], name);
  };
  size_t node = std::string_view::npos;  // the part the node goes before
  switch (root) {
    case RegRoot::LocalMachine:
      if (!is(0, "SOFTWARE") || is(1, "Wow6432Node")) break;
      if (is(1, "Classes")) {
        if (parts.size() > 2 && IsRedirectedClass(parts[2])) node = 1;
      } else if (!is(1, "Clients") && !is(1, "Policies") && !is(1, "RegisteredApplications")) {
        node = 1;
      }
      break;
    case RegRoot::ClassesRoot:
      if (!parts.empty() && IsRedirectedClass(parts[0])) node = 0;
      break;
    case RegRoot::CurrentUser:
      if (is(0, "Software") && is(1, "Classes") && parts.size() > 2 && IsRedirectedClass(parts[2]))
        node = 2;
      break;
    case RegRoot::Users:
      break;
  }
  std::string out(path);
  if (node == std::string_view::npos) return out;
  if (node < parts.size() && !parts[node].empty()) return out.insert(starts[node], "Wow6432Node\\");
  // HKLM\SOFTWARE itself (perhaps with a trailing backslash).
  if (out.back() != '\\') out += '\\';
  return out + "Wow6432Node";
}

}  // namespace cw::sim
