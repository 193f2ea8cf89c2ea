#include "chanwiz-sim/text_check.h"

#include <cctype>

#include "app/text_keys.h"
#include "platform/sim/profile.h"
#include "regtree/registry.h"

namespace cw::sim {

namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

struct Section {
  std::string name;
  std::vector<std::string> keys;  // as written, in file order
};

// The sections and their keys, split the way the profile reader splits the
// file (ProfileLookup): trimmed lines, "[name]" headers, ";" comments,
// "key=value" lines; a NUL ends a line.
std::vector<Section> Sections(const std::string& text) {
  std::vector<Section> out;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    size_t nul = line.find('\0');
    if (nul != std::string::npos) line.erase(nul);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (trimmed.empty()) continue;
    if (trimmed[0] == '[') {
      size_t close = trimmed.find(']');
      out.push_back({Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos
                                                                         : close - 1)),
                     {}});
      continue;
    }
    if (out.empty() || trimmed[0] == ';') continue;
    size_t eq = trimmed.find('=');
    if (eq == std::string::npos) continue;
    out.back().keys.push_back(Trim(trimmed.substr(0, eq)));
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

std::string Shown(const std::string& ansi) { return "\"" + AnsiToUtf8(ansi) + "\""; }

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
                         std::to_string(result.unusedSections) + " sections not used");
  return result;
}

}  // namespace cw::sim
