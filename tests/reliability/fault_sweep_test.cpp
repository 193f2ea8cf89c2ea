// Every scenario once more for each Windows call it makes, with that one
// call failing as Windows would fail it. Whatever fails, the wizard must
// never leave a driver key open to everyone, never write where it does not
// belong, never create what it should not, and always end in a defined way.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "platform/sim/security.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"
#include "writers/security_record.h"

namespace cw::test {
namespace {

using sim::RegRoot;

struct Scenario {
  const char* sample;
  const char* script;
};

const Scenario kScenarios[] = {
    {"saa7134-xp-italy.reg", "click 1016; click 1; click 1"},
    {"saa7134-xp-italy.reg", "click 1015; select 1012 11; click 1; click 1"},
    {"saa7134-98-italy.reg", "click 1015; click 1; click 1"},
    {"cx2388x-xp-germany.reg", "click 1016; click 1; click 1"},
    {"cx2388x-98-germany.reg", "click 1015; click 1; click 1"},
    {"bt878a-xp-uk.reg", "click 1015; click 1; click 1"},
    {"bt878a-98-uk.reg", "click 1016; click 1; click 1"},
    {"usb2821-xp-china.reg", "click 1016; click 1"},
    {"usb2821-xp-china.reg", "click 1015; click 1"},
    {"usb2800-98-usa.reg", "click 1016; click 1"},
    {"nodevice-xp.reg", ""},
    {"two-saa7134-xp.reg", ""},
};

// The error Windows gives when each call fails in the ways that matter here.
DWORD ErrorFor(const std::string& op) {
  static const std::map<std::string, DWORD> errors = {
      {"RegQueryValueExA", 2},       {"RegFlushKey", 1016},          {"RegCloseKey", 6},
      {"SetupDiGetClassDevsA", 8},   {"SetupDiEnumDeviceInfo", 259}, {"SetupDiGetDeviceRegistryPropertyA", 8},
      {"DialogBoxParamA", 1813},     {"MessageBoxA", 8},             {"GetVersionExA", 122},
      {"GetModuleFileNameA", 122},   {"AddAccessAllowedAce", 1344},  {"InitializeAcl", 87},
      {"GetAce", 87},                {"GetSecurityDescriptorDacl", 1338}, {"SetSecurityDescriptorDacl", 1338},
      {"InitializeSecurityDescriptor", 1305}, {"ExitWindowsEx", 1314}, {"CreateProcessA", 2},
      {"DeviceIoControl", 31},       {"LoadIconA", 1813},            {"GetWindowsDirectoryA", 8},
  };
  auto it = errors.find(op);
  return it == errors.end() ? 5u : it->second;  // ERROR_ACCESS_DENIED
}

bool Under(const std::string& path, const std::string& prefix) {
  if (prefix.empty()) return false;
  if (path.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(path[i])) != std::toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  return path.size() == prefix.size() || path[prefix.size()] == '\\';
}

struct Figures {
  int runs = 0;
  int callsFailed = 0;
  long checks = 0;
};

void CheckRun(const SimRun& run, const std::string& label, const std::string& failedCall,
              Figures* figures) {
  SCOPED_TRACE(label);
  const sim::RegistryTree& before = run.before;
  const sim::RegistryTree& after = run.platform->FinalRegistry();
  const WizardApp& app = *run.app;
  const std::string root = app.IsNtFamily ? "SYSTEM\\CurrentControlSet\\Control\\Class\\"
                                          : "SYSTEM\\CurrentControlSet\\Services\\Class\\";
  const std::string maker = "SOFTWARE\\Morvex Multimedia";
  const std::vector<std::string> allowed = {
      maker, app.CaptureDriverKey.empty() ? "" : root + app.CaptureDriverKey,
      app.TunerDriverKey.empty() ? "" : root + app.TunerDriverKey};
  static const std::set<std::string> creatable = {
      "TunerChip",  "UpdateChanwiz", "TunerID7",  "AudioDecoderType", "AudioCountryCode",
      "OemID",      "PowerControl",  "FixUpOWC",  "GPIObyAP",         "TVTuneByAP",
      "Oem1I2C",    "Oem1Type",      "Oem2I2C",   "Oem2Type",         "TunerIDBase",
      "VideoStandard", "VCRMask"};

  // Defined end: by itself, or for want of an answer; never a script step
  // that no longer fits.
  if (run.platform->halt()) {
    ++figures->checks;
    EXPECT_EQ(run.platform->halt()->exitCode, 3) << run.platform->halt()->message;
  }
  // Every key the program opened is closed (unless closing is what failed).
  if (failedCall != "RegCloseKey") {
    ++figures->checks;
    EXPECT_TRUE(run.platform->OpenKeyPaths().empty());
  }

  after.ForEachKey([&](RegRoot r, const std::string& path, const sim::RegKey& key) {
    const sim::RegKey* old = before.Find(r, path);
    bool inside = false;
    for (const std::string& a : allowed) inside = inside || Under(path, a) || Under(a, path);
    // Keys: only the maker's key may be new.
    ++figures->checks;
    if (old == nullptr) {
      EXPECT_TRUE(r == RegRoot::LocalMachine && (Under(path, maker) || path == "SOFTWARE")) << "new key " << path;
      return;
    }
    // A key's access list is what it was, byte for byte.
    ++figures->checks;
    if (!old->security().empty()) {
      std::vector<BYTE> was, is;
      bool hadDacl = sim::DaclBytes(old->security().data(), old->security().size(), &was);
      bool hasDacl = sim::DaclBytes(key.security().data(), key.security().size(), &is);
      EXPECT_EQ(hadDacl, hasDacl) << path;
      EXPECT_EQ(was, is) << "access list changed on " << path;
    }
    for (const sim::RegValue& v : key.values()) {
      const sim::RegValue* o = old->FindValue(v.name);
      ++figures->checks;
      if (o != nullptr && o->type == v.type && o->data == v.data) continue;
      EXPECT_TRUE(r == RegRoot::LocalMachine && inside) << "value written outside: " << path << " " << v.name;
      if (o == nullptr) {
        EXPECT_TRUE(creatable.count(v.name)) << "value created: " << path << " " << v.name;
      }
    }
  });
}

// Every key gets a descriptor before the run (the simulation would give a
// default one only when a key is first opened), so that any change to an
// access list shows; driver keys get one with a denying entry, as locked
// down driver keys have.
sim::Machine Prepared(const char* sample) {
  sim::Machine m = MachineFromSample(sample);
  std::vector<std::pair<RegRoot, std::string>> paths;
  m.registry.ForEachKey([&](RegRoot r, const std::string& path, const sim::RegKey&) { paths.emplace_back(r, path); });
  sim::SecurityModel locked;
  std::string why;
  EXPECT_TRUE(sim::ParseSddl("O:BAG:SYD:(A;;KA;;;SY)(A;;KR;;;BA)(D;;KW;;;BU)(A;;KR;;;BU)", &locked, &why)) << why;
  for (const auto& [r, path] : paths) {
    sim::RegKey* key = m.registry.Find(r, path);
    bool driverKey = path.find("\\Class\\") != std::string::npos;
    key->set_security(sim::BuildSelfRelative(driverKey ? locked : sim::DefaultKeySecurity()));
  }
  return m;
}

TEST(FaultSweep, EveryCallFailingOnceLeavesTheMachineSound) {
  Figures figures;
  for (const Scenario& s : kScenarios) {
    SimRun baseline(Prepared(s.sample), s.script);
    baseline.Run();
    ++figures.runs;
    CheckRun(baseline, std::string(s.sample) + " baseline", "", &figures);
    const std::vector<std::string> calls = baseline.platform->calls();
    std::map<std::string, int> seen;
    for (size_t i = 0; i < calls.size(); ++i) {
      const int nth = ++seen[calls[i]];
      SimRun run(Prepared(s.sample), s.script);
      run.platform->AddFault({calls[i], nth, ErrorFor(calls[i])});
      run.Run();
      ++figures.runs;
      ++figures.callsFailed;
      CheckRun(run, std::string(s.sample) + " [" + s.script + "] " + calls[i] + " #" + std::to_string(nth),
               calls[i], &figures);
      if (HasFailure()) return;  // one clear failure beats hundreds of echoes
    }
  }
  std::printf("fault sweep: %d runs, %d calls failed, %ld checks\n", figures.runs, figures.callsFailed,
              figures.checks);
  EXPECT_GT(figures.callsFailed, 100);
}

// Killed (or the power gone) at any call from the first change of a list to
// the removal of the last record: the next run puts every list back.
TEST(FaultSweep, KilledInsideTheBracketTheNextRunPutsEveryListBack) {
  int killed = 0, restored = 0;
  for (const Scenario& s : kScenarios) {
    SimRun baseline(Prepared(s.sample), s.script);
    baseline.Run();
    const std::vector<std::string>& calls = baseline.platform->calls();
    const size_t first = std::find(calls.begin(), calls.end(), "RegSetKeySecurity") - calls.begin();
    const size_t last = calls.rend() - std::find(calls.rbegin(), calls.rend(), "RegDeleteKeyA");
    for (size_t n = first + 1; n <= last && first < calls.size(); ++n) {
      SimRun cut(Prepared(s.sample), s.script);
      cut.platform->KeepRegistryAtCall(n);
      cut.Run();
      ASSERT_NE(cut.platform->RegistryAtCall(), nullptr);
      sim::Machine left = Prepared(s.sample);
      left.registry = *cut.platform->RegistryAtCall();
      SimRun next(std::move(left), s.script);
      next.Run();
      ++killed;
      bool same = next.platform->FinalRegistry().Find(RegRoot::LocalMachine, kSecurityRecordKey) == nullptr;
      baseline.before.ForEachKey([&](RegRoot r, const std::string& path, const sim::RegKey& key) {
        const sim::RegKey* now = next.platform->FinalRegistry().Find(r, path);
        same = same && now != nullptr && now->security() == key.security();
      });
      EXPECT_TRUE(same) << s.sample << " killed at call " << n << " (" << calls[n - 1] << ")";
      restored += same;
    }
  }
  std::printf("fault sweep: killed inside the bracket, restored by the next run: %d of %d\n", restored,
              killed);
  EXPECT_GT(killed, 0);
}

}  // namespace
}  // namespace cw::test
