// The report of a run, in plain text a customer can send to support: what
// the wizard found, the choice made, every registry value the run changed
// and every message box shown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/wizard_app.h"
#include "regtree/registry.h"
#include "scripting/transcript.h"

namespace cw::sim {

// What the wizard found and recorded, copied out of the application.
struct ReportFacts {
  std::string family = "none";  // FamilyName of the family whose steps ran
  int32_t deviceCount = 0;
  uint32_t deviceFlags = 0;
  std::string captureDriverKey;
  std::string tunerDriverKey;
  int32_t standardIndex = 0;
  int32_t countryCode = 0;
  // The devices Windows listed (first hardware id, driver key) when they are
  // known from the run itself; otherwise they are read from the registry's
  // Enum keys.
  struct Device {
    std::string hardwareId;
    std::string driver;
  };
  std::optional<std::vector<Device>> devices;
};

ReportFacts FactsOf(const WizardApp& app);

// The report: a title, then the sections "Devices listed by Windows",
// "What the wizard found", "Choice", "Registry changes" and "Message boxes".
// `before` and `after` are the registry before and after the run;
// `transcript` the run's.
std::string WriteReport(const ReportFacts& facts, const RegistryTree& before,
                        const RegistryTree& after, const Transcript& transcript);

// One registry value as the report shows it: a string in quotes, a dword in
// hex and decimal, a multi-string as its quoted strings, else hex bytes.
std::string ReportValueText(DWORD type, const std::vector<BYTE>& data);
const char* RegTypeName(DWORD type);

}  // namespace cw::sim
