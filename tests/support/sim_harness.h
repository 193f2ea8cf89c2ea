// Runs the wizard on a simulated machine given as .reg text, for tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/wizard_app.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_platform.h"

namespace cw::test {

// The path of a file in the source tree.
std::string SourcePath(const std::string& relative);
// The bytes of a file in the source tree; fails the test when it cannot be read.
std::string SourceBytes(const std::string& relative);

// A machine from .reg text (UTF-8, either header); fails the test on error.
sim::Machine MachineFromText(const std::string& text);
sim::Machine MachineFromSample(const std::string& sampleName);

// Writes `content` to a new temporary file and returns its path.
std::string WriteTempFile(const std::string& content);

// Text of a 5.00 file: the header, then `body`.
std::string RegText(const std::string& body);

// A test machine's .reg text: its Windows version (one of three parts, as
// "4.10.2222", is Windows 9x's VersionNumber; else the NT family's
// CurrentVersion; "" none), the user's iCountry as a .reg value ("\"39\"",
// "" none), then `more`.
std::string MachineText(const std::string& version, const std::string& iCountry = "",
                        const std::string& more = "");

// Value lines of a .reg file.
std::string Sz(const std::string& name, const std::string& text);
std::string Dword(const std::string& name, DWORD value);
std::string MultiSz(const std::string& name, const std::vector<std::string>& texts);

// A device key body for RegText: an Enum instance with HardwareID (first id
// first), ClassGUID and, when given, Driver.
std::string DeviceKey(const std::string& enumPath, const std::vector<std::string>& ids,
                      const std::string& driver = "");

// A message box as the transcript records it (text as written in JSON).
std::string BoxRecord(const std::string& text, int style, const std::string& caption = "QL750 Chanwiz Wizard",
                      int answer = 1);

struct SimRun {
  explicit SimRun(sim::Machine m, const std::string& script = "", std::vector<std::string> args = {});

  // Runs InitInstance through the framework.
  void Run();
  // Start-up's first steps on `state`: the Windows family, then the texts,
  // with `iniFile` (a real file), when given, as the Chanwiz.ini beside the
  // program.
  void LoadTexts(const std::string& iniFile = "");

  sim::Machine machine;
  sim::RegistryTree before;
  std::unique_ptr<sim::ScriptAnswers> answers;
  std::unique_ptr<sim::SimPlatform> platform;
  std::unique_ptr<WizardApp> app;
  // A record of its own, for calling one subsystem's steps on the machine.
  WizardState state;

  // The transcript's records whose "event" is `event`.
  std::vector<std::string> Events(const std::string& event) const;
};

}  // namespace cw::test
