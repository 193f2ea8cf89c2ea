#include "chanwiz-sim/text_check.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/text_keys.h"
#include "base/text.h"
#include "platform/sim/profile.h"
#include "regtree/registry.h"

namespace cw::sim {

namespace {

struct Section {
  std::string name;
  std::vector<std::string> keys;  // as written, in file order
};

// The sections and their keys, as the profile reader sees them.
std::vector<Section> Sections(const std::string& text) {
  std::vector<Section> out;
  for (const ProfileLine& line : ProfileLines(text)) {
    if (line.isSection)
      out.push_back({line.name, {}});
    else if (!out.empty())
      out.back().keys.push_back(line.name);
  }
  return out;
}

bool IsKnownKey(const std::string& key) {
  const std::string k = Lower(key);
  if (k == Lower(kTitleKey)) return true;
  for (size_t i = 0; i < kTextKeyCount; ++i)
    if (k == Lower(kTextKeys[i].key)) return true;
  return false;
}

// Windows reads a section's bytes in the system's ANSI code page, which is
// that of the language the section is for (its country code): each section
// is stored in its own, and the file is of mixed code pages. Countries not
// listed here are taken as Western (1252).
int CodePageOf(const std::string& section) {
  static const int k1250[] = {36, 40, 48, 355, 385, 386, 420, 421};  // Central Europe
  static const int k1251[] = {7, 359, 375, 380, 389};                 // Cyrillic
  char* end = nullptr;
  const long code = std::strtol(section.c_str(), &end, 10);
  if (section.empty() || *end != '\0') return 1252;
  for (int c : k1250)
    if (code == c) return 1250;
  for (int c : k1251)
    if (code == c) return 1251;
  return 1252;
}

// Characters 0x80..0xFF of 1250 and 1251, and 0x80..0x9F of 1252 (the rest
// of 1252 is Latin-1); 0 where the code page has none.
const uint16_t k1250High[128] = {
    0x20AC, 0, 0x201A, 0, 0x201E, 0x2026, 0x2020, 0x2021, 0, 0x2030, 0x0160, 0x2039, 0x015A,
    0x0164, 0x017D, 0x0179, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0,
    0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE,
    0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105,
    0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4,
    0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA,
    0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A,
    0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111,
    0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171,
    0x00FC, 0x00FD, 0x0163, 0x02D9};
const uint16_t k1251High[64] = {  // 0xC0..0xFF are U+0410..U+044F
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};
const uint16_t k1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

// The character a byte stands for in the code page; 0 for none.
uint16_t CharOf(unsigned char b, int codePage) {
  if (b < 0x80) return b;
  if (codePage == 1250) return k1250High[b - 0x80];
  if (codePage == 1251) return b >= 0xC0 ? static_cast<uint16_t>(0x0410 + b - 0xC0) : k1251High[b - 0x80];
  return b >= 0xA0 ? b : k1252High[b - 0x80];
}

std::string ToUtf8(const std::string& bytes, int codePage) {
  std::string out;
  for (unsigned char b : bytes) {
    const unsigned c = CharOf(b, codePage) ? CharOf(b, codePage) : 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Text in another code page than the section's shows garbled. Two signs of
// it: a byte the code page has no character for, and bytes that read as
// UTF-8 (an editor's default), which a real Windows-125x text beyond ASCII
// practically never does.
std::string CodePageProblem(const std::string& value, int codePage) {
  bool multiByte = false, utf8 = true;
  for (size_t i = 0; i < value.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(value[i]);
    if (CharOf(b, codePage) == 0) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", b);
      return std::string("byte ") + hex + " is no character of code page " +
             std::to_string(codePage);
    }
    if (b < 0x80 || !utf8) continue;
    const size_t tail = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : 0;
    size_t n = 0;
    while (tail && n < tail && i + 1 + n < value.size() &&
           (static_cast<unsigned char>(value[i + 1 + n]) & 0xC0) == 0x80)
      ++n;
    if (tail == 0 || n < tail) {
      utf8 = false;
    } else {
      multiByte = true;
      i += tail;
    }
  }
  if (utf8 && multiByte)
    return "saved as UTF-8, not in code page " + std::to_string(codePage);
  return "";
}

// Cyrillic letters: what a Russian text cannot do without, and what an
// editor saving it in a Western code page turns into "?".
bool HasCyrillicLetter(const std::string& value) {
  for (unsigned char b : value)
    if (b >= 0xC0 || b == 0xA8 || b == 0xB8) return true;
  return false;
}

// The default as the profile reader gives it: trailing blanks dropped, cut
// to the buffer.
std::string DefaultShown(const char* text, size_t capacity) {
  std::string v = text;
  while (!v.empty() && v.back() == ' ') v.pop_back();
  if (v.size() > capacity - 1) v.resize(capacity - 1);
  return v;
}

}  // namespace

TextCheck CheckTexts(const std::string& text) {
  TextCheck result;
  std::vector<std::string> seen;  // lower-case section names met so far
  for (const Section& section : Sections(text)) {
    const std::string header = "[" + AnsiToUtf8(section.name) + "]";
    const std::string lowered = Lower(section.name);
    bool repeated = false;
    for (const std::string& s : seen) repeated = repeated || s == lowered;
    if (repeated) {
      result.lines.push_back(header + " appears again: only its first occurrence is read");
      continue;
    }
    seen.push_back(lowered);

    std::vector<std::string> findings;
    const int codePage = CodePageOf(section.name);
    auto Shown = [codePage](const std::string& ansi) { return "\"" + ToUtf8(ansi, codePage) + "\""; };
    const bool fallback = section.name == kFallbackTextSection;
    std::string title;
    const bool hasTitle = ProfileLookup(text, section.name, kTitleKey, &title) && !title.empty();
    bool used = true;
    if (!hasTitle) {
      if (fallback) {
        std::string empty;
        if (ProfileLookup(text, section.name, kTitleKey, &empty)) {
          findings.push_back(std::string(kTitleKey) + " is empty: the title is empty");
        } else {
          ++result.missing;
          findings.push_back(std::string("missing ") + kTitleKey + ": the default shows " +
                             Shown(kDefaultTitle));
        }
      } else {
        used = false;
        ++result.unusedSections;
        findings.push_back(std::string("not used: ") + kTitleKey +
                           " is missing or empty, so section [" + kFallbackTextSection +
                           "] is used instead");
      }
    } else if (title.size() >= kTitleCapacity) {
      ++result.cut;
      findings.push_back(std::string("cut ") + kTitleKey + " to " +
                         std::to_string(kTitleCapacity - 1) + " bytes: " +
                         Shown(title.substr(0, kTitleCapacity - 1)));
    }

    std::string problem;
    if (hasTitle && !(problem = CodePageProblem(title, codePage)).empty()) {
      ++result.wrongCodePage;
      findings.push_back(std::string(kTitleKey) + ": " + problem);
    }
    bool cyrillic = HasCyrillicLetter(title);
    if (used) {
      for (size_t i = 0; i < kTextKeyCount; ++i) {
        const TextKey& key = kTextKeys[i];
        std::string value;
        if (!ProfileLookup(text, section.name, key.key, &value)) {
          ++result.missing;
          findings.push_back(std::string("missing ") + key.key + ": the default shows " +
                             Shown(DefaultShown(key.defaultText, key.capacity)));
        } else if (value.size() >= key.capacity) {
          ++result.cut;
          findings.push_back(std::string("cut ") + key.key + " to " +
                             std::to_string(key.capacity - 1) + " bytes: " +
                             Shown(value.substr(0, key.capacity - 1)));
        }
        if (!(problem = CodePageProblem(value, codePage)).empty()) {
          ++result.wrongCodePage;
          findings.push_back(std::string(key.key) + ": " + problem);
        }
        cyrillic = cyrillic || HasCyrillicLetter(value);
      }
      if (codePage == 1251 && !cyrillic) {
        ++result.wrongCodePage;
        findings.push_back("no text holds a Cyrillic letter: not saved in code page 1251");
      }
    }
    for (const std::string& key : section.keys)
      if (!IsKnownKey(key)) {
        ++result.unknown;
        findings.push_back("unknown key " + Shown(key));
      }

    if (findings.empty()) {
      result.lines.push_back(header + " ok");
    } else {
      result.lines.push_back(header);
      for (const std::string& f : findings) result.lines.push_back("  " + f);
    }
  }
  bool haveFallback = false;
  for (const std::string& s : seen) haveFallback = haveFallback || s == kFallbackTextSection;
  if (!haveFallback)
    result.lines.push_back(std::string("no section [") + kFallbackTextSection +
                           "]: where no section is used, the built-in English texts show");
  result.lines.push_back(std::to_string(result.cut) + " cut, " + std::to_string(result.unknown) +
                         " unknown, " + std::to_string(result.missing) + " missing, " +
                         std::to_string(result.unusedSections) + " sections not used" +
                         (result.wrongCodePage > 0 ? ", " + std::to_string(result.wrongCodePage) +
                                                         " not in their code page"
                                                   : ""));
  return result;
}

}  // namespace cw::sim
