#include "regtree/registry.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/win_constants.h"

namespace cw::sim {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr size_t kMaxKeyNameChars = 255;

// Decodes one UTF-8 sequence at text[*pos]. Malformed input (overlong forms,
// surrogates, truncated sequences, values past U+10FFFF) yields false with
// *pos advanced by one byte, so every byte is consumed exactly once.
bool DecodeUtf8(std::string_view text, size_t* pos, char32_t* cp) {
  const auto b0 = static_cast<unsigned char>(text[*pos]);
  if (b0 < 0x80) {
    *cp = b0;
    ++*pos;
    return true;
  }
  size_t len;
  char32_t value;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, value = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, value = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, value = b0 & 0x07, min = 0x10000;
  } else {
    ++*pos;
    return false;
  }
  if (text.size() - *pos < len) {
    ++*pos;
    return false;
  }
  for (size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(text[*pos + i]);
    if ((b & 0xC0) != 0x80) {
      ++*pos;
      return false;
    }
    value = (value << 6) | (b & 0x3F);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++*pos;
    return false;
  }
  *cp = value;
  *pos += len;
  return true;
}

void AppendUtf8(std::string* out, char32_t cp) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16Unit(std::vector<BYTE>* out, char16_t unit) {
  out->push_back(static_cast<BYTE>(unit & 0xFF));
  out->push_back(static_cast<BYTE>(unit >> 8));
}

void AppendUtf16(std::vector<BYTE>* out, char32_t cp) {
  if (cp < 0x10000) {
    AppendUtf16Unit(out, static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    AppendUtf16Unit(out, static_cast<char16_t>(0xD800 | (cp >> 10)));
    AppendUtf16Unit(out, static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
  }
}

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves
// undefined map to the C1 control of the same number, as Windows maps them.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// A character's Windows-1252 byte; '?' when it has none, as
// WideCharToMultiByte makes it.
char AnsiByte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (size_t i = 0; i < 32; ++i)
    if (kCp1252High[i] == cp) return static_cast<char>(0x80 + i);
  return '?';
}

// Stored string data to ANSI bytes: the bytes of
// Utf8ToAnsi(Utf16LeToUtf8(...)) without the UTF-8 text between. Every
// unit, surrogate pair or dangling odd byte gives one byte. Writes them to
// `out` unless it is null; returns how many there are. The "A" calls run
// this on every try, and device properties may run to megabytes, so runs of
// ASCII go 64 units at a time: whole words, no per-byte pointer arithmetic
// for the sanitizers to check.
size_t Utf16LeToAnsi(const BYTE* in, size_t size, BYTE* out) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  constexpr bool kWordPath = true;
#else
  constexpr bool kWordPath = false;  // the packing below assumes little-endian words
#endif
  struct Block {
    uint64_t w0, w1, w2, w3, w4, w5, w6, w7, w8, w9, w10, w11, w12, w13, w14, w15;  // 4 units each
  };
  struct Packed {
    uint32_t p0, p1, p2, p3, p4, p5, p6, p7, p8, p9, p10, p11, p12, p13, p14, p15;
  };
  static_assert(sizeof(Block) == 128 && sizeof(Packed) == 64, "no padding");
  // A unit is ASCII when its high byte is zero and its low byte below 0x80.
  constexpr uint64_t kNonAscii = 0xFF80FF80FF80FF80u;
  const auto low = [](uint64_t w) {
    return static_cast<uint32_t>((w & 0xFF) | ((w >> 8) & 0xFF00) | ((w >> 16) & 0xFF0000) |
                                 ((w >> 24) & 0xFF000000));
  };
  size_t n = 0;
  size_t i = 0;
  size_t unitsUntil = 0;  // a block that was not all ASCII goes unit by unit
  while (i + 1 < size) {
    if (kWordPath && i >= unitsUntil && size - i >= sizeof(Block)) {
      Block b;
      std::memcpy(&b, in + i, sizeof(b));
      const uint64_t all = b.w0 | b.w1 | b.w2 | b.w3 | b.w4 | b.w5 | b.w6 | b.w7 | b.w8 | b.w9 |
                           b.w10 | b.w11 | b.w12 | b.w13 | b.w14 | b.w15;
      if ((all & kNonAscii) == 0) {
        if (out) {
          const Packed p = {low(b.w0),  low(b.w1),  low(b.w2),  low(b.w3),  low(b.w4),  low(b.w5),
                            low(b.w6),  low(b.w7),  low(b.w8),  low(b.w9),  low(b.w10), low(b.w11),
                            low(b.w12), low(b.w13), low(b.w14), low(b.w15)};
          std::memcpy(out + n, &p, sizeof(p));
        }
        n += sizeof(Packed);
        i += sizeof(Block);
        continue;
      }
      unitsUntil = i + sizeof(Block);
    }
    const char16_t unit = static_cast<char16_t>(in[i] | (in[i + 1] << 8));
    i += 2;
    char byte = '?';
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      // A pair is one character past U+FFFF, a lone surrogate U+FFFD:
      // neither has an ANSI form.
      if (unit <= 0xDBFF && i + 1 < size) {
        const char16_t second = static_cast<char16_t>(in[i] | (in[i + 1] << 8));
        if (second >= 0xDC00 && second <= 0xDFFF) i += 2;
      }
    } else {
      byte = AnsiByte(unit);
    }
    if (out) out[n] = static_cast<BYTE>(byte);
    ++n;
  }
  if (i < size) {  // a dangling odd byte
    if (out) out[n] = '?';
    ++n;
  }
  return n;
}

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

// ---- Encodings ----

std::vector<BYTE> Utf8ToUtf16Le(std::string_view text) {
  std::vector<BYTE> out;
  out.reserve(text.size() * 2);
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t cp;
    if (!DecodeUtf8(text, &pos, &cp)) cp = kReplacement;
    AppendUtf16(&out, cp);
  }
  return out;
}

std::string Utf16LeToUtf8(const BYTE* data, size_t size) {
  std::string out;
  if (!data) return out;
  out.reserve(size);
  size_t i = 0;
  while (i + 1 < size) {
    const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    i += 2;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < size) {
      const char16_t low = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        i += 2;
        AppendUtf8(&out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (low - 0xDC00));
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(&out, kReplacement);
    } else {
      AppendUtf8(&out, unit);
    }
  }
  if (i < size) AppendUtf8(&out, kReplacement);  // a dangling odd byte
  return out;
}

std::string Utf8ToAnsi(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t cp;
    if (!DecodeUtf8(text, &pos, &cp)) {
      out.push_back('?');
      continue;
    }
    out.push_back(AnsiByte(cp));
  }
  return out;
}

std::string AnsiToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 && b < 0xA0) {
      AppendUtf8(&out, kCp1252High[b - 0x80]);
    } else {
      AppendUtf8(&out, b);
    }
  }
  return out;
}

std::vector<BYTE> StringData(std::string_view utf8) {
  std::vector<BYTE> data = Utf8ToUtf16Le(utf8);
  data.push_back(0);
  data.push_back(0);
  return data;
}

std::vector<BYTE> MultiStringData(const std::vector<std::string>& utf8) {
  std::vector<BYTE> data;
  for (const std::string& s : utf8) {
    // An empty string would end the list early for every reader, dropping
    // the strings after it; leave it out instead.
    if (s.empty()) continue;
    std::vector<BYTE> one = Utf8ToUtf16Le(s);
    data.insert(data.end(), one.begin(), one.end());
    data.push_back(0);
    data.push_back(0);
  }
  data.push_back(0);
  data.push_back(0);
  return data;
}

std::vector<BYTE> DwordData(DWORD value) {
  return {static_cast<BYTE>(value & 0xFF), static_cast<BYTE>((value >> 8) & 0xFF),
          static_cast<BYTE>((value >> 16) & 0xFF), static_cast<BYTE>((value >> 24) & 0xFF)};
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::vector<BYTE> StoredToAnsi(const RegValue& value) {
  if (!IsStringType(value.type)) return value.data;
  std::vector<BYTE> out(StoredAnsiSize(value));
  CopyStoredAsAnsi(value, out.data());
  return out;
}

size_t StoredAnsiSize(const RegValue& value) {
  if (!IsStringType(value.type)) return value.data.size();
  return Utf16LeToAnsi(value.data.data(), value.data.size(), nullptr);
}

void CopyStoredAsAnsi(const RegValue& value, BYTE* out) {
  if (!IsStringType(value.type)) {
    if (!value.data.empty()) std::memcpy(out, value.data.data(), value.data.size());
    return;
  }
  Utf16LeToAnsi(value.data.data(), value.data.size(), out);
}

std::vector<BYTE> AnsiToStored(DWORD type, const BYTE* data, DWORD size) {
  if (data == nullptr || size == 0) return {};
  if (!IsStringType(type)) return std::vector<BYTE>(data, data + size);
  std::string ansi(reinterpret_cast<const char*>(data), size);
  return Utf8ToUtf16Le(AnsiToUtf8(ansi));
}

LONG QueryStoredValue(const RegValue& value, DWORD* type, BYTE* data, DWORD* dataSize) {
  const DWORD needed = static_cast<DWORD>(StoredAnsiSize(value));
  if (type) *type = value.type;
  if (data != nullptr) {
    if (*dataSize < needed) {
      *dataSize = needed;
      return ERROR_MORE_DATA;
    }
    if (needed) CopyStoredAsAnsi(value, data);
  }
  if (dataSize) *dataSize = needed;
  return ERROR_SUCCESS;
}

}  // namespace cw::sim
