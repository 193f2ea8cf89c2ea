// Text encodings at the simulated registry's edges: UTF-8, the UTF-16LE the
// registry stores, Windows-1252 for the "A" calls, and value data.
#include "regtree/registry.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/win_constants.h"
#include "regtree/registry_utf8.h"

namespace cw::sim {

using namespace utf8;

bool utf8::DecodeUtf8(std::string_view text, size_t* pos, char32_t* cp) {
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

namespace {

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

}  // namespace

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
