#include "platform/sim/machine.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/win_constants.h"

namespace cw::sim {

namespace {

// Files beyond this are refused before reading: no machine comes near it.
constexpr std::streamoff kMaxMachineFileSize = 256 * 1024 * 1024;

bool ReadStringValue(const RegKey& key, const char* name, std::string* out) {
  const RegValue* v = key.FindValue(name);
  if (v == nullptr) return false;
  if (v->type == REG_SZ || v->type == REG_EXPAND_SZ) {
    std::string text = Utf16LeToUtf8(v->data.data(), v->data.size());
    // Drop the terminator (and anything after it).
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.erase(nul);
    *out = text;
    return true;
  }
  if (v->type == REG_DWORD && v->data.size() == 4) {
    DWORD d = static_cast<DWORD>(v->data[0]) | (static_cast<DWORD>(v->data[1]) << 8) |
              (static_cast<DWORD>(v->data[2]) << 16) | (static_cast<DWORD>(v->data[3]) << 24);
    *out = std::to_string(d);
    return true;
  }
  return false;
}

bool ReadFlag(const RegKey& key, const char* name, bool fallback) {
  std::string text;
  if (!ReadStringValue(key, name, &text)) return fallback;
  return std::strtoul(text.c_str(), nullptr, 0) != 0;
}

bool ParseDecimal(const std::string& text, DWORD* out) {
  if (text.empty()) return false;
  DWORD value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    if (value > 100000000u) return false;
    value = value * 10 + static_cast<DWORD>(c - '0');
  }
  *out = value;
  return true;
}

// "5.1" or "4.10.2222" into its numbers; false when it is not of that form.
bool ParseVersionText(const std::string& text, DWORD* major, DWORD* minor, DWORD* build) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (c == '.') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  if (parts.size() < 2 || parts.size() > 3) return false;
  if (!ParseDecimal(parts[0], major) || !ParseDecimal(parts[1], minor)) return false;
  if (parts.size() == 3 && !ParseDecimal(parts[2], build)) return false;
  return true;
}

}  // namespace

WindowsVersion Machine::Version() const {
  WindowsVersion v;
  std::string text;
  if (const RegKey* nt =
          registry.Find(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion")) {
    if (ReadStringValue(*nt, "CurrentVersion", &text)) {
      DWORD major = 0, minor = 0, build = 0;
      if (ParseVersionText(text, &major, &minor, &build)) {
        v.platformId = VER_PLATFORM_WIN32_NT;
        v.major = major;
        v.minor = minor;
        std::string buildText;
        v.build = 0;
        if (ReadStringValue(*nt, "CurrentBuildNumber", &buildText)) ParseDecimal(buildText, &v.build);
        std::string csd;
        if (ReadStringValue(*nt, "CSDVersion", &csd)) v.csdVersion = csd;
        return v;
      }
    }
  }
  if (const RegKey* w9x =
          registry.Find(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion")) {
    if (ReadStringValue(*w9x, "VersionNumber", &text)) {
      DWORD major = 0, minor = 0, build = 0;
      if (ParseVersionText(text, &major, &minor, &build)) {
        v.platformId = VER_PLATFORM_WIN32_WINDOWS;
        v.major = major;
        v.minor = minor;
        v.build = build;
        return v;
      }
    }
  }
  return v;  // Windows XP
}

bool LoadMachineBytes(const std::string& bytes, const std::string& fileName, Machine* machine,
                      RegFileError* error) {
  Machine loaded;
  loaded.fileName = fileName;
  if (!ApplyRegFile(bytes, fileName, &loaded.registry, &loaded.format, error)) return false;

  if (RegKey* sim = loaded.registry.Find(RegRoot::LocalMachine, kSimulationKey)) {
    MachineConfig& c = loaded.config;
    ReadStringValue(*sim, "ModuleFileName", &c.moduleFileName);
    ReadStringValue(*sim, "WindowsDirectory", &c.windowsDirectory);
    ReadStringValue(*sim, "SystemDirectory", &c.systemDirectory);
    c.shutdownPrivilege = ReadFlag(*sim, "ShutdownPrivilege", c.shutdownPrivilege);
    c.regsvr32Found = ReadFlag(*sim, "Regsvr32", c.regsvr32Found);
    c.zeroSecurityDescriptorSize =
        ReadFlag(*sim, "ZeroSecurityDescriptorSize", c.zeroSecurityDescriptorSize);
    if (const RegKey* ini = sim->FindSubkey("win.ini")) {
      for (const auto& [name, section] : ini->subkeys()) {
        auto& out = c.winIni[section->name()];
        for (const RegValue& value : section->values()) {
          std::string text;
          if (ReadStringValue(*section, value.name.c_str(), &text)) out[value.name] = text;
        }
      }
    }
    c.raw = sim->Clone();
    loaded.registry.Delete(RegRoot::LocalMachine, kSimulationKey);
  }
  if (loaded.config.moduleFileName.empty()) {
    error->file = fileName;
    error->line = 0;
    error->message = "the simulation key's \"ModuleFileName\" is empty";
    return false;
  }
  *machine = std::move(loaded);
  return true;
}

bool LoadMachineFile(const std::string& path, Machine* machine, RegFileError* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error->file = path;
    error->line = 0;
    error->message = "cannot open the machine file";
    return false;
  }
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size > kMaxMachineFileSize) {
    error->file = path;
    error->line = 0;
    error->message = "the machine file is larger than 256 MiB";
    return false;
  }
  in.seekg(0, std::ios::beg);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return LoadMachineBytes(bytes, path, machine, error);
}

}  // namespace cw::sim
