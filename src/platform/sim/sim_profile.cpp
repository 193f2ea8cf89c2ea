// Profile (INI) files of the simulated machine, read as the Windows profile
// reader reads them: section and key names without regard to case, values
// trimmed and unquoted, the default for a missing file, section or key, and
// the value cut to the buffer less one character.
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/sim/profile.h"
#include "base/text.h"
#include "platform/sim/sim_platform.h"
#include "platform/win_constants.h"

namespace cw::sim {

namespace {

// Profile files beyond this are treated as unreadable.
constexpr std::streamoff kMaxProfileFileSize = 16 * 1024 * 1024;

}  // namespace

std::string ProfileTextFromBytes(const std::string& bytes) {
  // A UTF-16LE file (with its byte-order mark) is read as Windows reads
  // Unicode profiles; UTF-8 with a mark is taken as UTF-8; anything else is
  // ANSI already.
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE)
    return Utf8ToAnsi(Utf16LeToUtf8(reinterpret_cast<const BYTE*>(bytes.data()) + 2,
                                    (bytes.size() - 2) & ~size_t{1}));
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
    return Utf8ToAnsi(bytes.substr(3));
  return bytes;
}

std::vector<ProfileLine> ProfileLines(const std::string& text) {
  std::vector<ProfileLine> out;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    // A NUL ends the line's text, as it ends a C string.
    size_t nul = line.find('\0');
    if (nul != std::string::npos) line.erase(nul);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string_view trimmed = TrimBlanks(line);
    if (trimmed.empty()) continue;
    if (trimmed[0] == '[') {
      const size_t close = trimmed.find(']');
      out.push_back({true, std::string(TrimBlanks(trimmed.substr(
                               1, close == std::string::npos ? std::string::npos : close - 1))),
                     ""});
      continue;
    }
    if (trimmed[0] == ';') continue;
    const size_t eq = trimmed.find('=');
    if (eq == std::string::npos) continue;
    out.push_back({false, std::string(TrimBlanks(trimmed.substr(0, eq))),
                   std::string(TrimBlanks(trimmed.substr(eq + 1)))});
  }
  return out;
}

bool ProfileLookup(const std::string& text, const std::string& section, const std::string& key,
                   std::string* value) {
  const std::string wantSection = Lower(std::string(TrimBlanks(section)));
  const std::string wantKey = Lower(std::string(TrimBlanks(key)));
  bool inSection = false;
  bool sectionSeen = false;
  for (const ProfileLine& line : ProfileLines(text)) {
    if (line.isSection) {
      // The first section of a name is the one read.
      if (sectionSeen && inSection) return false;
      inSection = Lower(line.name) == wantSection;
      if (inSection) sectionSeen = true;
      continue;
    }
    if (!inSection || Lower(line.name) != wantKey) continue;
    std::string v = line.value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
      v = v.substr(1, v.size() - 2);
    *value = v;
    return true;
  }
  return false;
}

void SimPlatform::MapFile(const std::string& windowsPath, const std::string& hostPath) {
  files_[Lower(windowsPath)] = hostPath;
}

std::string SimPlatform::WindowsPathOf(const char* fileName) const {
  std::string name = fileName ? fileName : "";
  // A bare name is looked for in the Windows folder.
  if (name.find('\\') == std::string::npos && name.find('/') == std::string::npos)
    name = machine_.config.windowsDirectory + "\\" + name;
  return name;
}

bool SimPlatform::ReadProfileFile(const std::string& windowsPath, std::string* text) const {
  std::string key = Lower(windowsPath);
  if (key == Lower(machine_.config.windowsDirectory + "\\win.ini")) {
    // On the NT family win.ini's [intl] is the user's registry key
    // (IniFileMapping: USR:Control Panel\International), for every profile
    // call; only the 9x family keeps it in the file.
    const bool nt = machine_.Version().platformId == VER_PLATFORM_WIN32_NT;
    std::string out;
    for (const auto& [section, values] : machine_.config.winIni) {
      if (nt && Lower(section) == "intl") continue;
      out += "[" + Utf8ToAnsi(section) + "]\n";
      for (const auto& [name, value] : values) out += Utf8ToAnsi(name) + "=" + Utf8ToAnsi(value) + "\n";
    }
    const RegKey* intl =
        nt ? machine_.registry.Find(RegRoot::CurrentUser, "Control Panel\\International") : nullptr;
    if (intl != nullptr) {
      out += "[intl]\n";
      for (const RegValue& v : intl->values()) {
        if (!IsStringType(v.type)) continue;
        const std::vector<BYTE> ansi = StoredToAnsi(v);
        std::string value(ansi.begin(), ansi.end());
        value = value.substr(0, value.find('\0'));
        out += Utf8ToAnsi(v.name) + "=" + value + "\n";
      }
    }
    *text = out;
    return true;
  }
  auto it = files_.find(key);
  if (it == files_.end()) return false;
  std::ifstream in(it->second, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  if (in.tellg() > kMaxProfileFileSize) return false;
  in.seekg(0, std::ios::beg);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  *text = ProfileTextFromBytes(bytes);
  return true;
}

DWORD SimPlatform::GetPrivateProfileStringA(const char* section, const char* key,
                                            const char* defaultValue, char* buffer, DWORD size,
                                            const char* fileName) {
  DWORD error = 0;
  bool failed = Inject("GetPrivateProfileStringA", &error);
  if (buffer == nullptr || size == 0) return 0;
  std::string value;
  std::string text;
  bool found = !failed && section != nullptr && key != nullptr &&
               ReadProfileFile(WindowsPathOf(fileName), &text) &&
               ProfileLookup(text, section, key, &value);
  if (!found) {
    // Windows drops the default's trailing blanks.
    value = defaultValue ? defaultValue : "";
    while (!value.empty() && value.back() == ' ') value.pop_back();
    SetLastError(failed ? error : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  }
  size_t n = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return static_cast<DWORD>(n);
}

UINT SimPlatform::GetPrivateProfileIntA(const char* section, const char* key, INT defaultValue,
                                        const char* fileName) {
  DWORD error = 0;
  if (Inject("GetPrivateProfileIntA", &error)) {
    SetLastError(error);
    return static_cast<UINT>(defaultValue);
  }
  std::string text, value;
  if (section == nullptr || key == nullptr || !ReadProfileFile(WindowsPathOf(fileName), &text) ||
      !ProfileLookup(text, section, key, &value))
    return static_cast<UINT>(defaultValue);
  return ProfileInt(value);
}

UINT SimPlatform::GetProfileIntA(const char* section, const char* key, INT defaultValue) {
  DWORD error = 0;
  if (Inject("GetProfileIntA", &error)) {
    SetLastError(error);
    return static_cast<UINT>(defaultValue);
  }
  std::string text, value;
  if (section == nullptr || key == nullptr ||
      !ReadProfileFile(machine_.config.windowsDirectory + "\\win.ini", &text) ||
      !ProfileLookup(text, section, key, &value))
    return static_cast<UINT>(defaultValue);
  return ProfileInt(value);
}

UINT ProfileInt(const std::string& value) {
  // The leading decimal digits, with an optional sign; no digit gives 0.
  size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
  UINT result = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
    result = result * 10 + static_cast<UINT>(value[i] - '0');
  return negative ? 0u - result : result;
}

}  // namespace cw::sim
