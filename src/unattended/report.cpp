#include "unattended/report.h"

#include <cstdio>

#include "base/text.h"
#include "platform/win_constants.h"
#include "resource.h"
#include "selection/tv_standards.h"

namespace cw::sim {

namespace {

constexpr const char kEnumPath[] = "SYSTEM\\CurrentControlSet\\Enum\\";
// Strings longer than this are cut in the report, so a broken value cannot
// make it unreadable.
constexpr size_t kMaxShownText = 300;

std::string Hex32(uint32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "0x%08x", value);
  return buf;
}

std::string Quoted(std::string text) {
  if (text.size() > kMaxShownText) text = text.substr(0, kMaxShownText) + "...";
  return "\"" + text + "\"";
}

// The strings of REG_MULTI_SZ data, up to the empty one that ends them.
std::vector<std::string> MultiStrings(const std::vector<BYTE>& data) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    if (data[i] == 0 && data[i + 1] == 0) {
      if (i == start) break;
      out.push_back(Utf16LeToUtf8(data.data() + start, i - start));
      start = i + 2;
    }
  }
  return out;
}

// A REG_SZ's text, without its terminator.
std::string StringOf(const std::vector<BYTE>& data) {
  size_t n = data.size() & ~size_t{1};
  for (size_t i = 0; i + 1 < n; i += 2)
    if (data[i] == 0 && data[i + 1] == 0) {
      n = i;
      break;
    }
  return Utf16LeToUtf8(data.data(), n);
}

std::string FullPath(RegRoot root, const std::string& path) {
  return path.empty() ? std::string(RegRootName(root)) : std::string(RegRootName(root)) + "\\" + path;
}

void ValueLine(std::string* out, const std::string& keyPath, const std::string& name,
               const std::string& change) {
  *out += "  " + keyPath + "  " + (name.empty() ? std::string("@") : Quoted(name)) + "  " +
          change + "\n";
}

void KeyChanges(RegRoot root, const std::string& path, const RegKey* before, const RegKey& after,
                std::string* out, int* count) {
  const std::string keyPath = FullPath(root, path);
  if (!before) {
    *out += "  " + keyPath + "  (key created)\n";
    ++*count;
  }
  for (const RegValue& v : after.values()) {
    const RegValue* old = before ? before->FindValue(v.name) : nullptr;
    if (!old) {
      ValueLine(out, keyPath, v.name,
                std::string(RegTypeName(v.type)) + "  " + ReportValueText(v.type, v.data) +
                    "  (created)");
      ++*count;
    } else if (old->type != v.type || old->data != v.data) {
      std::string type = RegTypeName(v.type);
      if (old->type != v.type) type = std::string(RegTypeName(old->type)) + " -> " + type;
      ValueLine(out, keyPath, v.name,
                type + "  " + ReportValueText(old->type, old->data) + " -> " +
                    ReportValueText(v.type, v.data));
      ++*count;
    }
  }
  if (before) {
    for (const RegValue& v : before->values())
      if (!after.FindValue(v.name)) {
        ValueLine(out, keyPath, v.name,
                  std::string(RegTypeName(v.type)) + "  " + ReportValueText(v.type, v.data) +
                      "  (deleted)");
        ++*count;
      }
    for (const auto& [name, child] : before->subkeys())
      if (!after.FindSubkey(name)) {
        *out += "  " + FullPath(root, path.empty() ? child->name() : path + "\\" + child->name()) +
                "  (key deleted)\n";
        ++*count;
      }
  }
  for (const auto& [name, child] : after.subkeys()) {
    const RegKey* old = before ? before->FindSubkey(name) : nullptr;
    KeyChanges(root, path.empty() ? child->name() : path + "\\" + child->name(), old, *child, out,
               count);
  }
}

}  // namespace

const char* RegTypeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    default:
      return "REG_(other)";
  }
}

std::string ReportValueText(DWORD type, const std::vector<BYTE>& data) {
  if (type == REG_DWORD && data.size() == 4) {
    const uint32_t v = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                       (static_cast<uint32_t>(data[2]) << 16) |
                       (static_cast<uint32_t>(data[3]) << 24);
    return Hex32(v) + " (" + std::to_string(v) + ")";
  }
  if (type == REG_SZ || type == REG_EXPAND_SZ) return Quoted(StringOf(data));
  if (type == REG_MULTI_SZ) {
    std::string out;
    for (const std::string& s : MultiStrings(data)) out += (out.empty() ? "" : " ") + Quoted(s);
    return out.empty() ? "(empty)" : out;
  }
  if (data.empty()) return "(no data)";
  std::string out = "hex:";
  static const char digits[] = "0123456789abcdef";
  const size_t shown = data.size() < 64 ? data.size() : 64;
  for (size_t i = 0; i < shown; ++i) {
    if (i) out += ',';
    out += digits[data[i] >> 4];
    out += digits[data[i] & 0xF];
  }
  if (shown < data.size()) out += ",... (" + std::to_string(data.size()) + " bytes)";
  return out;
}

ReportFacts FactsOf(const WizardApp& app) {
  ReportFacts f;
  f.family = FamilyName(app.family_run());
  f.deviceCount = app.DeviceCount;
  f.deviceFlags = app.DeviceFlags;
  f.captureDriverKey = app.CaptureDriverKey;
  f.tunerDriverKey = app.TunerDriverKey;
  f.standardIndex = app.StandardIndex;
  f.countryCode = app.CountryCode;
  return f;
}

std::string WriteReport(const ReportFacts& facts, const RegistryTree& before,
                        const RegistryTree& after, const Transcript& transcript) {
  std::string out = "Chanwiz report\n==============\n\n";

  out += "Devices listed by Windows\n";
  int devices = 0;
  if (facts.devices) {
    for (const ReportFacts::Device& device : *facts.devices) {
      out += "  " + (device.hardwareId.empty() ? std::string("(no hardware id)") : device.hardwareId) +
             "  driver " + (device.driver.empty() ? std::string("(none)") : Quoted(device.driver)) +
             "\n";
      ++devices;
    }
  }
  if (!facts.devices) before.ForEachKey([&](RegRoot root, const std::string& path, const RegKey& key) {
    if (root != RegRoot::LocalMachine || !StartsWithNoCase(path, kEnumPath)) return;
    if (!key.FindValue("ClassGUID")) return;  // not listed, as Windows does
    const RegValue* ids = key.FindValue("HardwareID");
    const RegValue* driver = key.FindValue("Driver");
    std::string id = "(no hardware id)";
    if (ids) {
      std::vector<std::string> list =
          ids->type == REG_MULTI_SZ ? MultiStrings(ids->data) : std::vector<std::string>{StringOf(ids->data)};
      if (!list.empty()) id = list.front();
    }
    out += "  " + id + "  driver " +
           (driver ? Quoted(StringOf(driver->data)) : std::string("(none)")) + "\n";
    ++devices;
  });
  if (devices == 0) out += "  (none)\n";

  out += "\nWhat the wizard found\n";
  out += "  supported devices: " + std::to_string(facts.deviceCount) + "\n";
  out += "  device flags: " + Hex32(facts.deviceFlags) + "\n";
  out += "  family: " + facts.family + "\n";
  out += "  capture driver key: " +
         (facts.captureDriverKey.empty() ? std::string("(none)") : Quoted(facts.captureDriverKey)) +
         "\n";
  out += "  tuner driver key: " +
         (facts.tunerDriverKey.empty() ? std::string("(none)") : Quoted(facts.tunerDriverKey)) +
         "\n";

  // The choice is read from the pages that ended with OK.
  std::string path;
  for (const Transcript::Ending& ending : transcript.endings()) {
    if (ending.result != IDOK) continue;
    if (ending.templateId == IDD_STANDARD_PAGE) path = "TV system page";
    if (ending.templateId == IDD_COUNTRY_PAGE) path = "country page";
  }
  out += "\nChoice\n";
  if (path.empty()) {
    out += "  (no choice made)\n";
  } else {
    const char* standard = StandardName(facts.standardIndex);
    out += "  by: " + path + "\n";
    out += "  TV system: " + std::to_string(facts.standardIndex) + " " +
           (standard ? standard : "(unknown)") + "\n";
    if (path == "country page") out += "  country code: " + std::to_string(facts.countryCode) + "\n";
  }

  out += "\nRegistry changes\n";
  int changes = 0;
  for (RegRoot root : RegistryTree::kAllRoots)
    KeyChanges(root, "", &before.Root(root), after.Root(root), &out, &changes);
  if (changes == 0) out += "  (none)\n";

  out += "\nMessage boxes\n";
  int boxes = 0;
  for (const Transcript::Box& box : transcript.boxes()) {
    const std::string& text = box.text;
    const std::string& caption = box.caption;
    std::string indented;
    for (char c : text) {
      indented += c;
      if (c == '\n' && indented.size() > 0) indented += "    ";
    }
    // A blank line of the text stays blank.
    size_t pad;
    while ((pad = indented.find("\n    \n")) != std::string::npos) indented.erase(pad + 1, 4);
    out += "  [" + caption + "]\n    " + indented + "\n";
    ++boxes;
  }
  if (boxes == 0) out += "  (none)\n";
  return out;
}

}  // namespace cw::sim
