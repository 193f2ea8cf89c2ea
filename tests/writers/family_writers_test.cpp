// The families' writers on the sample machines, end to end through the
// wizard's road: what lands in the drivers' keys, and every failure box.
#include <gtest/gtest.h>

#include "regtree/reg_file.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

using sim::RegRoot;

const std::string kNt = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\";
const std::string k9x = "SYSTEM\\CurrentControlSet\\Services\\Class\\MEDIA\\";

const char kCountryPathNoRestart[] = "click 1016; click 1; click 1023; click 1";

const sim::RegValue* Value(const SimRun& run, const std::string& path, const char* name) {
  const sim::RegKey* key = run.platform->FinalRegistry().Find(RegRoot::LocalMachine, path);
  return key ? key->FindValue(name) : nullptr;
}

struct Val {
  std::string key;
  const char* name;
  DWORD type;
  std::vector<BYTE> data;
};
Val D(const std::string& key, const char* name, DWORD v) { return {key, name, REG_DWORD, sim::DwordData(v)}; }
Val S(const std::string& key, const char* name, const std::string& s) { return {key, name, REG_SZ, sim::StringData(s)}; }

// Each value as the drivers read it: its type and exact bytes.
void ExpectValues(const SimRun& run, const std::vector<Val>& values) {
  for (const Val& e : values) {
    SCOPED_TRACE(e.key + " " + e.name);
    const sim::RegValue* v = Value(run, e.key, e.name);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->type, e.type);
    EXPECT_EQ(v->data, e.data);
  }
}

std::vector<std::string> BoxTexts(const SimRun& run) {
  std::vector<std::string> texts;
  for (const std::string& box : run.Events("messagebox")) {
    size_t a = box.find("\"text\":\"") + 8;
    texts.push_back(box.substr(a, box.find("\",\"caption\"") - a));
  }
  return texts;
}

std::unique_ptr<SimRun> RunWizard(sim::Machine machine, const std::string& script, std::vector<sim::Fault> faults = {}) {
  auto run = std::make_unique<SimRun>(std::move(machine), script);
  for (const sim::Fault& f : faults) run->platform->AddFault(f);
  run->Run();
  EXPECT_FALSE(run->platform->halt()) << run->platform->halt()->message;
  return run;
}

std::unique_ptr<SimRun> RunWizard(const std::string& sample, const std::string& script,
                                  std::vector<sim::Fault> faults = {}) {
  return RunWizard(MachineFromSample(sample), script, std::move(faults));
}

std::vector<Val> CxGermany(const std::string& base) {
  return {D(base + "0003\\DriverData", "VideoStandard", 16), D(base + "0003\\DriverData", "WWAudioCountryCode", 49),
          D(base + "0003\\DriverData", "WWVideoCountryCode", 49), D(base + "0004\\DriverData", "TunerBrand", 2),
          D(base + "0004\\DriverData", "TunerType", 14), D(base + "0004\\DriverData", "TunerI2CAddress", 192),
          D(base + "0004\\DriverData", "TunerChip", 1)};
}

TEST(PciWriters, EachRunWritesItsValuesSilently) {
  struct Case {
    const char* sample;
    const char* script;
    std::vector<Val> values;
  };
  const Case cases[] = {
      {"cx2388x-xp-germany.reg", kCountryPathNoRestart, CxGermany(kNt)},
      {"cx2388x-98-germany.reg", kCountryPathNoRestart, CxGermany(k9x)},
      {"cx2388x-xp-germany.reg", "click 1015; select 1012 11; click 1; click 1023; click 1",  // NICAM I
       {D(kNt + "0003\\DriverData", "VideoStandard", 32), D(kNt + "0003\\DriverData", "WWAudioCountryCode", 44),
        D(kNt + "0003\\DriverData", "WWVideoCountryCode", 49)}},
      {"saa7134-98-italy.reg", "click 1015; select 1012 9; click 1; click 1023; click 1",  // SECAM L
       {S(k9x + "0002", "DefaultStandard", "0x00040000"), S(k9x + "0002", "TunerType", "FQ1216MK2"),
        S(k9x + "0001", "CountryCode", "33")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sample) + " " + c.script);
    auto run = RunWizard(c.sample, c.script);
    ExpectValues(*run, c.values);
    EXPECT_TRUE(BoxTexts(*run).empty());
  }
}

TEST(PciWriters, EachFailedSetShowsItsMessageAndTheWriterGoesOn) {
  // The nth RegSetValueExA, on NT after the two of each key's saved-access record. CX2388X sets
  // VideoStandard, WWAudio-, WWVideoCountryCode, TunerBrand, -Type, -I2CAddress, -Chip; BT878A
  // swaps the countries; SAA713X on 9x sets CountryCode, ForceNicamI, then the tuner's key.
  struct Case {
    const char* sample;
    int nth;
    const char* text;
  };
  const Case cases[] = {
      {"cx2388x-xp-germany.reg", 3, "Can't Write CX2388X Registry on Win2K."},
      {"cx2388x-xp-germany.reg", 10, "Can't Write CX2388X Registry on Win2K."},
      {"cx2388x-xp-germany.reg", 11, "Can't Create CX2388X Registry on Win2K."},
      {"cx2388x-98-germany.reg", 2, "Can't Write CX2388X Registry on Win9K."},
      {"cx2388x-98-germany.reg", 3, "Can't Write CX2388X Registry on Win9X."},
      {"cx2388x-98-germany.reg", 6, "Can't Write CX2388X Registry on Win9X."},
      {"cx2388x-98-germany.reg", 7, "Can't Create CX2388X Registry on Win9X."},
      {"bt878a-xp-uk.reg", 4, "Can't Write BT878A Registry on Win2K."},
      {"bt878a-98-uk.reg", 1, "Can't Write BT878A Registry on Win9K."},
      {"bt878a-98-uk.reg", 2, "Can't Write BT878A Registry on Win9X."},
      {"saa7134-xp-italy.reg", 3, "Can't Write SAA713X Registry on Win2K."},
      {"saa7134-98-italy.reg", 1, "Can't Write SAA713X Registry on Win9K."},
      {"saa7134-98-italy.reg", 3, "Can't Write SAA713X Registry on Win9X."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sample) + " " + std::to_string(c.nth));
    auto run = RunWizard(c.sample, kCountryPathNoRestart, {{"RegSetValueExA", c.nth, 5}});
    EXPECT_EQ(BoxTexts(*run), std::vector<std::string>{c.text});
    EXPECT_NE(Value(*run, "SOFTWARE\\Morvex Multimedia\\Common", "UpdateChanwiz"), nullptr);
  }
}

TEST(Cx2388xWriter, TheNineXTunerKeyIsFlushedOnlyWhenTunerChipWasCreated) {
  auto flushes = [](const SimRun& r) {
    return std::count(r.platform->calls().begin(), r.platform->calls().end(), "RegFlushKey");
  };
  auto created = RunWizard("cx2388x-98-germany.reg", kCountryPathNoRestart);
  EXPECT_EQ(flushes(*created), 2);  // "TunerChip" and the completion marker
  sim::Machine m = MachineFromSample("cx2388x-98-germany.reg");
  m.registry = created->platform->FinalRegistry();
  EXPECT_EQ(flushes(*RunWizard(std::move(m), kCountryPathNoRestart)), 1);
  // The marker and each key's saved-access record.
  EXPECT_EQ(flushes(*RunWizard("cx2388x-xp-germany.reg", kCountryPathNoRestart)), 3);
}

TEST(Bt878aWriter, CountryOrderAndNoI2CAddressOn9x) {
  for (const std::string& base : {kNt, k9x}) {
    SCOPED_TRACE(base);
    sim::Machine m = MachineFromSample(base == kNt ? "bt878a-xp-uk.reg" : "bt878a-98-uk.reg");
    // An existing I2C address that the 9x writer must leave alone.
    m.registry.Find(RegRoot::LocalMachine, base + "0007\\DriverData")
        ->SetValue("TunerI2CAddress", REG_DWORD, sim::DwordData(7));
    auto run = RunWizard(std::move(m), "click 1015; select 1012 4; click 1; click 1023; click 1");
    ExpectValues(*run, {D(base + "0006\\DriverData", "VideoStandard", 256),
                        D(base + "0006\\DriverData", "WWAudioCountryCode", 44),
                        D(base + "0006\\DriverData", "WWVideoCountryCode", 44),
                        D(base + "0007\\DriverData", "TunerType", 6), D(base + "0007\\DriverData", "TunerChip", 1),
                        D(base + "0007\\DriverData", "TunerI2CAddress", base == kNt ? 192 : 7)});
  }
}

TEST(Saa713xWriter, TheItalyRunChangesExactlyTheseValues) {
  auto run = RunWizard("saa7134-xp-italy.reg", kCountryPathNoRestart);
  EXPECT_EQ(sim::WriteRegChanges(run->before, run->platform->FinalRegistry(), sim::RegFileFormat::Utf8v5),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia\\Common]\r\n"
            "\"UpdateChanwiz\"=dword:00000001\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001]\r\n"
            "\"CountryCode\"=\"39\"\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0002]\r\n"
            "\"DefaultStandard\"=\"0x00000010\"\r\n"
            "\"TunerType\"=\"FQ1216TN\"\r\n\r\n");
}

TEST(Saa713xWriter, ValuesOfAnotherTypeAreReplacedAndMissingOnesNotCreated) {
  sim::Machine m = MachineFromSample("saa7134-xp-italy.reg");
  m.registry.Find(RegRoot::LocalMachine, kNt + "0001\\Audio")->SetValue("ForceNicamI", REG_SZ, sim::StringData("false"));
  sim::RegKey* tuner = m.registry.Find(RegRoot::LocalMachine, kNt + "0002");
  tuner->DeleteValue("Address");
  // The presence query offers 255 bytes: a value of 256 is left as it is.
  tuner->SetValue("TunerType", REG_SZ, sim::StringData(std::string(255, 'x')));
  tuner->SetValue("DefaultStandard", REG_SZ, sim::StringData(std::string(254, 'x')));
  auto run = RunWizard(std::move(m), kCountryPathNoRestart);
  ExpectValues(*run, {D(kNt + "0001\\Audio", "ForceNicamI", 0), S(kNt + "0002", "TunerType", std::string(255, 'x')),
                      S(kNt + "0002", "DefaultStandard", "0x00000010")});
  EXPECT_EQ(Value(*run, kNt + "0002", "Address"), nullptr);
}

// A missing driver key or subkey is never created; the others are still written. USB shows
// its outcome in a box, success only when some key took its values.
TEST(FamilyWriters, AMissingKeyIsSkippedAndTheOthersWritten) {
  struct Case {
    const char* sample;
    const char* script;
    std::string missing;
    std::vector<Val> values;
    int usbResult;  // -1: not USB
  };
  const Case cases[] = {
      {"cx2388x-xp-germany.reg", kCountryPathNoRestart, kNt + "0004\\DriverData",
       {D(kNt + "0003\\DriverData", "VideoStandard", 16)}, -1},
      {"saa7134-98-italy.reg", kCountryPathNoRestart, k9x + "0002", {S(k9x + "0001", "CountryCode", "39")}, -1},
      {"usb2821-xp-china.reg", "click 1015; click 1", kNt + "0009\\settings\\OEMSettings",
       {D(kNt + "0009\\settings\\PropDefaults", "VCRMask", 1)}, 1},
      {"usb2800-98-usa.reg", "click 1015; click 1", k9x + "0009", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.missing);
    sim::Machine m = MachineFromSample(c.sample);
    ASSERT_TRUE(m.registry.Delete(RegRoot::LocalMachine, c.missing));
    auto run = RunWizard(std::move(m), c.script);
    ExpectValues(*run, c.values);
    EXPECT_EQ(run->platform->FinalRegistry().Find(RegRoot::LocalMachine, c.missing), nullptr);
    const std::vector<std::string> texts = BoxTexts(*run);
    if (c.usbResult < 0) {
      EXPECT_TRUE(texts.empty());
      continue;
    }
    EXPECT_EQ(run->app->UsbWriteResult, c.usbResult);
    ASSERT_EQ(texts.size(), 1u);  // the outcome box only
    EXPECT_EQ(texts[0].find("Maybe the driver is NOT ready") != std::string::npos, c.usbResult == 0) << texts[0];
  }
}

TEST(UsbWriter, EmptyKeysGetAllFifteenValuesInTheirOrder) {
  const char* const names[] = {"TunerID7", "AudioDecoderType", "AudioCountryCode", "OemID",
                               "PowerControl", "FixUpOWC", "GPIObyAP", "TVTuneByAP", "Oem1I2C",
                               "Oem1Type", "Oem2I2C", "Oem2Type", "TunerIDBase"};
  for (bool nt : {true, false}) {
    SCOPED_TRACE(nt ? "NT" : "9x");
    const std::string base = (nt ? kNt : k9x) + "0009\\settings\\";
    auto run = RunWizard(nt ? "usb2821-xp-china.reg" : "usb2800-98-usa.reg", "click 1015; select 1012 9; click 1");
    const DWORD data[] = {7, 0, static_cast<DWORD>(nt ? 86 : 1), 1, 2, 12, 8, 1, 0x70, 2, 0xB0, 3, 0};
    std::vector<Val> values;
    for (size_t i = 0; i < 13; ++i) values.push_back(D(base + "OEMSettings", names[i], data[i]));
    if (!nt) std::swap(values[1], values[2]);  // 9x sets the country before the decoder
    values.push_back(D(base + "PropDefaults", "VideoStandard", 0x40000));
    values.push_back(D(base + "PropDefaults", "VCRMask", 1));
    ExpectValues(*run, values);
    std::vector<std::string> order;
    for (const sim::RegValue& v : run->platform->FinalRegistry().Find(RegRoot::LocalMachine, base + "OEMSettings")->values())
      order.push_back(v.name);
    ASSERT_EQ(order.size(), 13u);
    for (size_t i = 0; i < 13; ++i) EXPECT_EQ(order[i], values[i].name);
  }
}

TEST(UsbWriter, FailuresAreReportedAsFailures) {
  sim::Machine existing = MachineFromSample("usb2800-98-usa.reg");
  existing.registry.Find(RegRoot::LocalMachine, k9x + "0009\\settings\\OEMSettings")
      ->SetValue("TunerID7", REG_DWORD, sim::DwordData(9));
  // Product 2800 with another revision: detected, but neither lookup
  // identifier matches it, so its driver key stays unknown.
  sim::Machine unknown = MachineFromText(MachineText(
      "", "\"1\"", DeviceKey("USB\\VID_EB1A&PID_2800\\1", {"USB\\Vid_eb1a&Pid_2800&Rev_0200"},
                "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0009")));
  struct Case {
    const char* name;
    sim::Machine machine;
    std::vector<sim::Fault> faults;
    std::vector<std::string> boxesBeforeOutcome;
  };
  Case cases[] = {
      {"a value that cannot be created (NT, after the saved-access record)",
       MachineFromSample("usb2821-xp-china.reg"), {{"RegSetValueExA", 4, 5}}, {"Can't Create USB Registry on Win2K."}},
      {"9x country first", MachineFromSample("usb2800-98-usa.reg"), {{"RegSetValueExA", 2, 5}},
       {"Can't Create USB Registry on Win9K."}},
      {"9x video standard", MachineFromSample("usb2800-98-usa.reg"), {{"RegSetValueExA", 14, 5}},
       {"Can't Create USB Registry on Win9X."}},
      {"an existing value that cannot be set", std::move(existing), {{"RegSetValueExA", 1, 5}},
       {"Can't Write QR6100 USB2.0 Registry on Win9K."}},
      {"security not saved (NT)", MachineFromSample("usb2821-xp-china.reg"), {{"RegGetKeySecurity", 0, 5}},
       {"ERROR: Get Security Descriptor"}},
      {"driver key not found", std::move(unknown), {}, {}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto run = RunWizard(std::move(c.machine), "click 1015; click 1", c.faults);
    EXPECT_EQ(run->app->UsbWriteResult, 0);
    std::vector<std::string> texts = BoxTexts(*run);
    ASSERT_EQ(texts.size(), c.boxesBeforeOutcome.size() + 1);
    for (size_t i = 0; i < c.boxesBeforeOutcome.size(); ++i) EXPECT_EQ(texts[i], c.boxesBeforeOutcome[i]);
    EXPECT_NE(texts.back().find("Maybe the driver is NOT ready"), std::string::npos);
    if (c.boxesBeforeOutcome.empty()) {  // nothing written for the unknown device
      EXPECT_EQ(sim::WriteRegChanges(run->before, run->platform->FinalRegistry(), sim::RegFileFormat::Utf8v5)
                    .find("Class"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace cw::test
