#include "platform/sim/machine.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/sim/security.h"
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

// Gives the keys named under the simulation key's "Security" subkey the
// descriptor its SDDL describes. Value name: the key's full path, root first.
bool ApplyKeySecurity(const RegKey& security, RegistryTree* registry, const std::string& fileName,
                      RegFileError* error) {
  for (const RegValue& value : security.values()) {
    auto fail = [&](const std::string& why) {
      error->file = fileName;
      error->line = 0;
      error->message = "the security of \"" + value.name + "\": " + why;
      return false;
    };
    std::string sddl;
    if ((value.type != REG_SZ && value.type != REG_EXPAND_SZ) ||
        !ReadStringValue(security, value.name.c_str(), &sddl))
      return fail("is not a string of SDDL");
    const size_t slash = value.name.find('\\');
    RegRoot root;
    if (!ParseRegRootName(std::string_view(value.name).substr(0, slash), &root))
      return fail("the name does not begin with a root key such as HKEY_LOCAL_MACHINE");
    const std::string path = slash == std::string::npos ? "" : value.name.substr(slash + 1);
    RegKey* key = registry->Find(root, path);
    if (key == nullptr) return fail("the file has no such key");
    SecurityModel model;
    std::string why;
    if (!ParseSddl(sddl, &model, &why)) return fail("bad SDDL (" + why + ")");
    key->set_security(BuildSelfRelative(model));
  }
  return true;
}

// A number from a dword or from text ("64", "0x40"); `fallback` when the
// value is missing.
DWORD ReadNumber(const RegKey& key, const char* name, DWORD fallback) {
  std::string text;
  if (!ReadStringValue(key, name, &text)) return fallback;
  return static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 0));
}

// The texts of a REG_SZ or REG_MULTI_SZ value, UTF-8; empty ones dropped.
std::vector<std::string> ReadTexts(const RegKey& key, const char* name) {
  std::vector<std::string> out;
  const RegValue* v = key.FindValue(name);
  if (v == nullptr) return out;
  if (v->type != REG_SZ && v->type != REG_EXPAND_SZ && v->type != REG_MULTI_SZ) return out;
  const std::string all = Utf16LeToUtf8(v->data.data(), v->data.size());
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    if (end > start) out.push_back(all.substr(start, end - start));
    if (v->type != REG_MULTI_SZ) break;
    start = end + 1;
  }
  return out;
}

bool ParseCaptureFilter(const RegKey& key, CaptureFilterConfig* out, const std::string& fileName,
                        RegFileError* error) {
  out->friendlyNames = ReadTexts(key, "FriendlyName");
  out->pending = ReadNumber(key, "Pending", 0) != 0;
  out->failAddress = ReadNumber(key, "FailAddress", 0);
  out->failReadSelect = ReadNumber(key, "FailReadSelect", 0);
  out->failRead = ReadNumber(key, "FailRead", 0);
  out->noKsHandle = ReadNumber(key, "NoKsHandle", 0) != 0;
  static constexpr std::string_view kPrefix = "Register_";
  for (const RegValue& value : key.values()) {
    if (value.name.size() < kPrefix.size()) continue;
    std::string head = value.name.substr(0, kPrefix.size());
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (head != "register_") continue;
    const std::string digits = value.name.substr(kPrefix.size());
    char* end = nullptr;
    const unsigned long address = std::strtoul(digits.c_str(), &end, 16);
    std::string text;
    const bool nameOk = !digits.empty() && digits.size() <= 8 && end != nullptr && *end == '\0' &&
                        std::isxdigit(static_cast<unsigned char>(digits[0]));
    if (!nameOk || !ReadStringValue(key, value.name.c_str(), &text)) {
      error->file = fileName;
      error->line = 0;
      error->message = "the capture filter's \"" + value.name +
                       "\": a register is \"Register_\" and a hexadecimal address, "
                       "with a dword value";
      return false;
    }
    out->registers[static_cast<DWORD>(address)] =
        static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 0));
  }
  return true;
}

void ParseVamp(const RegKey& key, VampConfig* out) {
  out->installed = true;
  out->registered = ReadNumber(key, "Registered", 1) != 0;
  out->registerSucceeds = ReadNumber(key, "RegisterSucceeds", 1) != 0;
  out->deviceCount = static_cast<LONG>(ReadNumber(key, "DeviceCount", 1));
  out->getDeviceFails = ReadNumber(key, "GetDeviceFails", 0) != 0;
  out->queryInterfaceFails = ReadNumber(key, "QueryInterfaceFails", 0) != 0;
  out->itemObjectFails = ReadNumber(key, "ItemObjectFails", 0) != 0;
  out->itemInterfaceNull = ReadNumber(key, "ItemInterfaceNull", 0);
  out->item22 = static_cast<LONG>(ReadNumber(key, "Item22", 0));
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

bool Machine::Is64Bit() const {
  if (Version().platformId != VER_PLATFORM_WIN32_NT) return false;
  const RegKey* environment = registry.Find(
      RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
  std::string architecture;
  if (environment == nullptr ||
      !ReadStringValue(*environment, "PROCESSOR_ARCHITECTURE", &architecture))
    return false;
  for (const char* wide : {"AMD64", "ARM64", "IA64"})
    if (RegNameEqual(architecture, wide)) return true;
  return false;
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
    if (const RegKey* capture = sim->FindSubkey("CaptureFilter"))
      if (!ParseCaptureFilter(*capture, &c.captureFilter, fileName, error)) return false;
    if (const RegKey* vamp = sim->FindSubkey("Vamp")) ParseVamp(*vamp, &c.vamp);
    if (const RegKey* security = sim->FindSubkey("Security"))
      if (!ApplyKeySecurity(*security, &loaded.registry, fileName, error)) return false;
    c.raw = sim->Clone();
    loaded.registry.Delete(RegRoot::LocalMachine, kSimulationKey);
  }
  // Keys every Windows has, whether the file holds them or not: an undo
  // made from the run must never take one for a key the run created (and
  // delete all of HKLM\SOFTWARE when it is imported).
  for (const char* always : {"SOFTWARE", "SYSTEM"}) {
    bool created = false;
    loaded.registry.Create(RegRoot::LocalMachine, always, &created);
  }
  if (loaded.Is64Bit()) {
    bool created = false;
    loaded.registry.Create(RegRoot::LocalMachine, "SOFTWARE\\Wow6432Node", &created);
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
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error->file = path;
    error->line = 0;
    error->message = "is a folder, not a machine file";
    return false;
  }
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

namespace {

void CopyKey(const RegKey& from, RegKey* to) {
  for (const RegValue& v : from.values()) to->SetValue(v.name, v.type, v.data);
  for (const auto& [name, child] : from.subkeys()) {
    bool created = false;
    if (RegKey* sub = to->CreateSubkey(child->name(), &created)) CopyKey(*child, sub);
  }
}

}  // namespace

RegistryTree WithSimulationKey(const Machine& machine, const RegistryTree& registry) {
  RegistryTree out = registry;
  if (!machine.config.raw) return out;
  bool created = false;
  if (RegKey* key = out.Create(RegRoot::LocalMachine, kSimulationKey, &created))
    CopyKey(*machine.config.raw, key);
  return out;
}

}  // namespace cw::sim
