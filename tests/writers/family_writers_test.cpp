// The families' writers on the sample machines, end to end through the
// wizard's road: what lands in the drivers' keys, and every failure box.
#include <gtest/gtest.h>

#include "regtree/reg_file.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

using sim::RegRoot;

constexpr char kNtMedia[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\";
constexpr char k9xMedia[] = "SYSTEM\\CurrentControlSet\\Services\\Class\\MEDIA\\";

const char kCountryPathNoRestart[] = "click 1016; click 1; click 1023; click 1";

const sim::RegValue* Value(const SimRun& run, const std::string& path, const char* name) {
  const sim::RegKey* key = run.platform->FinalRegistry().Find(RegRoot::LocalMachine, path);
  return key ? key->FindValue(name) : nullptr;
}

// A DWORD value as the drivers read it: exactly 4 bytes of REG_DWORD.
void ExpectDword(const SimRun& run, const std::string& path, const char* name, DWORD expected) {
  SCOPED_TRACE(path + " " + name);
  const sim::RegValue* v = Value(run, path, name);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->type, REG_DWORD);
  EXPECT_EQ(v->data, sim::DwordData(expected));
}

void ExpectString(const SimRun& run, const std::string& path, const char* name, const char* expected) {
  SCOPED_TRACE(path + " " + name);
  const sim::RegValue* v = Value(run, path, name);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->type, REG_SZ);
  EXPECT_EQ(v->data, sim::StringData(expected));
}

std::vector<std::string> BoxTexts(const SimRun& run) {
  std::vector<std::string> texts;
  for (const std::string& box : run.Events("messagebox")) {
    size_t a = box.find("\"text\":\"") + 8;
    texts.push_back(box.substr(a, box.find("\",\"caption\"") - a));
  }
  return texts;
}

std::unique_ptr<SimRun> RunWizard(const std::string& sample, const std::string& script,
                            std::vector<sim::Fault> faults = {}, sim::Machine* machine = nullptr) {
  auto run = std::make_unique<SimRun>(machine ? std::move(*machine) : MachineFromSample(sample), script);
  for (const sim::Fault& f : faults) run->platform->AddFault(f);
  run->Run();
  EXPECT_FALSE(run->platform->halt()) << run->platform->halt()->message;
  return run;
}

// ---------------------------------------------------------------- CX2388X

TEST(Cx2388xWriter, CountryPathWritesBothKeysAndCreatesTunerChip) {
  for (bool nt : {true, false}) {
    SCOPED_TRACE(nt ? "NT" : "9x");
    const std::string base = nt ? kNtMedia : k9xMedia;
    auto run = RunWizard(nt ? "cx2388x-xp-germany.reg" : "cx2388x-98-germany.reg", kCountryPathNoRestart);
    EXPECT_EQ(run->app->CaptureDriverKey, nt ? "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0003" : "MEDIA\\0003");
    ExpectDword(*run, base + "0003\\DriverData", "VideoStandard", 16);
    ExpectDword(*run, base + "0003\\DriverData", "WWAudioCountryCode", 49);
    ExpectDword(*run, base + "0003\\DriverData", "WWVideoCountryCode", 49);
    ExpectDword(*run, base + "0004\\DriverData", "TunerBrand", 2);
    ExpectDword(*run, base + "0004\\DriverData", "TunerType", 14);
    ExpectDword(*run, base + "0004\\DriverData", "TunerI2CAddress", 192);
    ExpectDword(*run, base + "0004\\DriverData", "TunerChip", 1);
    EXPECT_TRUE(BoxTexts(*run).empty());
  }
}

TEST(Cx2388xWriter, TvSystemPathWithNicamI) {
  auto run = RunWizard("cx2388x-xp-germany.reg", "click 1015; select 1012 11; click 1; click 1023; click 1");
  const std::string capture = std::string(kNtMedia) + "0003\\DriverData";
  ExpectDword(*run, capture, "VideoStandard", 32);
  ExpectDword(*run, capture, "WWAudioCountryCode", 44);
  ExpectDword(*run, capture, "WWVideoCountryCode", 49);
}

TEST(Cx2388xWriter, EachFailedSetShowsItsMessageAndTheWriterGoesOn) {
  // RegSetValueExA calls in order: the three capture values, then the four
  // tuner values; on NT each key's saved-access record takes two sets first.
  struct Case {
    int nth;
    const char* nt;
    const char* w9x;
  };
  const Case cases[] = {
      {1, "Can't Write CX2388X Registry on Win2K.", "Can't Write CX2388X Registry on Win9K."},
      {2, "Can't Write CX2388X Registry on Win2K.", "Can't Write CX2388X Registry on Win9K."},
      {3, "Can't Write CX2388X Registry on Win2K.", "Can't Write CX2388X Registry on Win9X."},
      {4, "Can't Write CX2388X Registry on Win2K.", "Can't Write CX2388X Registry on Win9X."},
      {6, "Can't Write CX2388X Registry on Win2K.", "Can't Write CX2388X Registry on Win9X."},
      {7, "Can't Create CX2388X Registry on Win2K.", "Can't Create CX2388X Registry on Win9X."},
  };
  for (bool nt : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(nt ? "NT " : "9x ") + std::to_string(c.nth));
      const int nth = nt ? c.nth + (c.nth <= 3 ? 2 : 4) : c.nth;
      auto run = RunWizard(nt ? "cx2388x-xp-germany.reg" : "cx2388x-98-germany.reg", kCountryPathNoRestart,
                     {{"RegSetValueExA", nth, 5}});
      EXPECT_EQ(BoxTexts(*run), std::vector<std::string>{nt ? c.nt : c.w9x});
      auto boxes = run->Events("messagebox");
      ASSERT_EQ(boxes.size(), 1u);
      // The framework's box: the program's name and the exclamation icon.
      EXPECT_NE(boxes[0].find("\"caption\":\"Chanwiz\",\"style\":48"), std::string::npos);
      // The marker is still written after the failure.
      EXPECT_NE(Value(*run, "SOFTWARE\\Morvex Multimedia\\Common", "UpdateChanwiz"), nullptr);
    }
  }
}

TEST(Cx2388xWriter, TheNineXTunerKeyIsFlushedOnlyWhenTunerChipWasCreated) {
  auto created = RunWizard("cx2388x-98-germany.reg", kCountryPathNoRestart);
  auto flushes = [](const SimRun& r) {
    return std::count(r.platform->calls().begin(), r.platform->calls().end(), "RegFlushKey");
  };
  // One for "TunerChip", one for the completion marker.
  EXPECT_EQ(flushes(*created), 2);
  auto again = RunWizard("cx2388x-98-germany.reg", kCountryPathNoRestart);
  sim::Machine m = MachineFromSample("cx2388x-98-germany.reg");
  m.registry = again->platform->FinalRegistry();
  auto second = RunWizard("", kCountryPathNoRestart, {}, &m);
  EXPECT_EQ(flushes(*second), 1);
  auto nt = RunWizard("cx2388x-xp-germany.reg", kCountryPathNoRestart);
  EXPECT_EQ(flushes(*nt), 3);  // the marker and each key's saved-access record
}

TEST(Cx2388xWriter, MissingDriverDataKeysAreSkippedSilently) {
  sim::Machine m = MachineFromSample("cx2388x-xp-germany.reg");
  m.registry.Delete(RegRoot::LocalMachine, std::string(kNtMedia) + "0004\\DriverData");
  auto run = RunWizard("", kCountryPathNoRestart, {}, &m);
  EXPECT_TRUE(BoxTexts(*run).empty());
  ExpectDword(*run, std::string(kNtMedia) + "0003\\DriverData", "VideoStandard", 16);
  EXPECT_EQ(run->platform->FinalRegistry().Find(RegRoot::LocalMachine, std::string(kNtMedia) + "0004\\DriverData"),
            nullptr);
}

// ---------------------------------------------------------------- BT878A

TEST(Bt878aWriter, CountryOrderAndNoI2CAddressOn9x) {
  for (bool nt : {true, false}) {
    SCOPED_TRACE(nt ? "NT" : "9x");
    const std::string base = nt ? kNtMedia : k9xMedia;
    sim::Machine m = MachineFromSample(nt ? "bt878a-xp-uk.reg" : "bt878a-98-uk.reg");
    // An existing I2C address that the 9x writer must leave alone.
    m.registry.Find(RegRoot::LocalMachine, base + "0007\\DriverData")
        ->SetValue("TunerI2CAddress", REG_DWORD, sim::DwordData(7));
    auto run = RunWizard("", "click 1015; select 1012 4; click 1; click 1023; click 1", {}, &m);
    ExpectDword(*run, base + "0006\\DriverData", "VideoStandard", 256);
    ExpectDword(*run, base + "0006\\DriverData", "WWAudioCountryCode", 44);
    ExpectDword(*run, base + "0006\\DriverData", "WWVideoCountryCode", 44);
    ExpectDword(*run, base + "0007\\DriverData", "TunerType", 6);
    ExpectDword(*run, base + "0007\\DriverData", "TunerChip", 1);
    ExpectDword(*run, base + "0007\\DriverData", "TunerI2CAddress", nt ? 192 : 7);
  }
}

TEST(Bt878aWriter, MessagesNameTheFamilyAndWindows) {
  // Second set: "WWVideoCountryCode" comes before "WWAudioCountryCode" here
  // (on NT after the two of the saved-access record).
  auto nt = RunWizard("bt878a-xp-uk.reg", kCountryPathNoRestart, {{"RegSetValueExA", 4, 5}});
  EXPECT_EQ(BoxTexts(*nt), std::vector<std::string>{"Can't Write BT878A Registry on Win2K."});
  auto w9x = RunWizard("bt878a-98-uk.reg", kCountryPathNoRestart, {{"RegSetValueExA", 1, 5}});
  EXPECT_EQ(BoxTexts(*w9x), std::vector<std::string>{"Can't Write BT878A Registry on Win9K."});
  auto w9x2 = RunWizard("bt878a-98-uk.reg", kCountryPathNoRestart, {{"RegSetValueExA", 2, 5}});
  EXPECT_EQ(BoxTexts(*w9x2), std::vector<std::string>{"Can't Write BT878A Registry on Win9X."});
}

// ---------------------------------------------------------------- SAA713X

TEST(Saa713xWriter, TheItalyRunWritesExactlyTheseValues) {
  auto run = RunWizard("saa7134-xp-italy.reg", kCountryPathNoRestart);
  const std::string base = kNtMedia;
  ExpectString(*run, base + "0002", "DefaultStandard", "0x00000010");
  ExpectString(*run, base + "0002", "TunerType", "FQ1216TN");
  ExpectString(*run, base + "0002", "Address", "0xC0");
  ExpectString(*run, base + "0001", "CountryCode", "39");
  ExpectDword(*run, base + "0001\\Audio", "ForceNicamI", 0);
  // Nothing else changed but the marker.
  std::string changes = sim::WriteRegChanges(run->before, run->platform->FinalRegistry(),
                                             sim::RegFileFormat::Utf8v5);
  EXPECT_EQ(changes,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvex Multimedia\\Common]\r\n"
            "\"UpdateChanwiz\"=dword:00000001\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001]\r\n"
            "\"CountryCode\"=\"39\"\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0002]\r\n"
            "\"DefaultStandard\"=\"0x00000010\"\r\n"
            "\"TunerType\"=\"FQ1216TN\"\r\n\r\n");
}

TEST(Saa713xWriter, SecamLOnTheTvSystemPathOn9x) {
  auto run = RunWizard("saa7134-98-italy.reg", "click 1015; select 1012 9; click 1; click 1023; click 1");
  ExpectString(*run, std::string(k9xMedia) + "0002", "DefaultStandard", "0x00040000");
  ExpectString(*run, std::string(k9xMedia) + "0002", "TunerType", "FQ1216MK2");
  ExpectString(*run, std::string(k9xMedia) + "0001", "CountryCode", "33");
}

TEST(Saa713xWriter, ValuesOfAnotherTypeAreReplacedAndMissingOnesNotCreated) {
  sim::Machine m = MachineFromSample("saa7134-xp-italy.reg");
  sim::RegKey* audio = m.registry.Find(RegRoot::LocalMachine, std::string(kNtMedia) + "0001\\Audio");
  audio->SetValue("ForceNicamI", REG_SZ, sim::StringData("false"));
  sim::RegKey* tuner = m.registry.Find(RegRoot::LocalMachine, std::string(kNtMedia) + "0002");
  tuner->DeleteValue("Address");
  tuner->SetValue("TunerType", REG_SZ, sim::StringData(std::string(300, 'x')));  // longer than the query
  auto run = RunWizard("", kCountryPathNoRestart, {}, &m);
  ExpectDword(*run, std::string(kNtMedia) + "0001\\Audio", "ForceNicamI", 0);
  EXPECT_EQ(Value(*run, std::string(kNtMedia) + "0002", "Address"), nullptr);
  ExpectString(*run, std::string(kNtMedia) + "0002", "TunerType", std::string(300, 'x').c_str());
}

TEST(Saa713xWriter, MessagesAndTheNineXTunerKeyLast) {
  // On NT the saved-access record's two sets come first.
  auto nt = RunWizard("saa7134-xp-italy.reg", kCountryPathNoRestart, {{"RegSetValueExA", 3, 5}});
  EXPECT_EQ(BoxTexts(*nt), std::vector<std::string>{"Can't Write SAA713X Registry on Win2K."});
  // 9x order: capture "CountryCode" first, then "ForceNicamI", then the tuner.
  auto first = RunWizard("saa7134-98-italy.reg", kCountryPathNoRestart, {{"RegSetValueExA", 1, 5}});
  EXPECT_EQ(BoxTexts(*first), std::vector<std::string>{"Can't Write SAA713X Registry on Win9K."});
  auto tuner = RunWizard("saa7134-98-italy.reg", kCountryPathNoRestart, {{"RegSetValueExA", 3, 5}});
  EXPECT_EQ(BoxTexts(*tuner), std::vector<std::string>{"Can't Write SAA713X Registry on Win9X."});
  // A tuner key that does not open still leaves the capture values written.
  sim::Machine m = MachineFromSample("saa7134-98-italy.reg");
  m.registry.Delete(RegRoot::LocalMachine, std::string(k9xMedia) + "0002");
  auto noTuner = RunWizard("", kCountryPathNoRestart, {}, &m);
  ExpectString(*noTuner, std::string(k9xMedia) + "0001", "CountryCode", "39");
}

// ---------------------------------------------------------------- USB

const char* const kUsbNames[] = {"TunerID7", "AudioDecoderType", "AudioCountryCode", "OemID",
                                 "PowerControl", "FixUpOWC", "GPIObyAP", "TVTuneByAP", "Oem1I2C",
                                 "Oem1Type", "Oem2I2C", "Oem2Type", "TunerIDBase"};

TEST(UsbWriter, EmptyKeysGetAllFifteenValues) {
  for (bool nt : {true, false}) {
    SCOPED_TRACE(nt ? "NT" : "9x");
    const std::string base = std::string(nt ? kNtMedia : k9xMedia) + "0009\\settings\\";
    auto run = RunWizard(nt ? "usb2821-xp-china.reg" : "usb2800-98-usa.reg",
                   "click 1015; select 1012 9; click 1");
    const DWORD expected[] = {7, 0, static_cast<DWORD>(nt ? 86 : 1), 1, 2, 12, 8, 1, 0x70, 2, 0xB0, 3, 0};
    for (size_t i = 0; i < 13; ++i) ExpectDword(*run, base + "OEMSettings", kUsbNames[i], expected[i]);
    ExpectDword(*run, base + "PropDefaults", "VideoStandard", 0x40000);
    ExpectDword(*run, base + "PropDefaults", "VCRMask", 1);
    EXPECT_EQ(run->app->UsbWriteResult, 1);
    // The success box, then no restart page.
    ASSERT_EQ(run->Events("messagebox").size(), 1u);
    EXPECT_NE(run->Events("messagebox")[0].find("\"style\":64"), std::string::npos);
  }
}

TEST(UsbWriter, TheNineXWriterSetsTheCountryBeforeTheDecoder) {
  auto run = RunWizard("usb2800-98-usa.reg", "click 1015; click 1");
  std::vector<std::string> names;
  for (const sim::RegValue& v : run->platform->FinalRegistry()
                                    .Find(RegRoot::LocalMachine, std::string(k9xMedia) + "0009\\settings\\OEMSettings")
                                    ->values())
    names.push_back(v.name);
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(names[1], "AudioCountryCode");
  EXPECT_EQ(names[2], "AudioDecoderType");
}

TEST(UsbWriter, ASecondRunLeavesTheSameValuesAndShowsOnlySuccess) {
  auto first = RunWizard("usb2821-xp-china.reg", "click 1015; click 1");
  sim::Machine m = MachineFromSample("usb2821-xp-china.reg");
  m.registry = first->platform->FinalRegistry();
  auto second = RunWizard("", "click 1015; click 1", {}, &m);
  EXPECT_EQ(sim::WriteRegChanges(first->platform->FinalRegistry(), second->platform->FinalRegistry(),
                                 sim::RegFileFormat::Utf8v5),
            "Windows Registry Editor Version 5.00\r\n\r\n");
  EXPECT_EQ(second->app->UsbWriteResult, 1);
}

TEST(UsbWriter, AMissingSettingsKeyIsNotCreatedAndTheDefaultsAreStillWritten) {
  sim::Machine m = MachineFromSample("usb2821-xp-china.reg");
  m.registry.Delete(RegRoot::LocalMachine, std::string(kNtMedia) + "0009\\settings\\OEMSettings");
  auto run = RunWizard("", "click 1015; click 1", {}, &m);
  EXPECT_EQ(run->platform->FinalRegistry().Find(RegRoot::LocalMachine,
                                                std::string(kNtMedia) + "0009\\settings\\OEMSettings"),
            nullptr);
  ExpectDword(*run, std::string(kNtMedia) + "0009\\settings\\PropDefaults", "VCRMask", 1);
  EXPECT_EQ(BoxTexts(*run).size(), 1u);  // the outcome box only
}

TEST(UsbWriter, FailuresAreReportedAsFailures) {
  struct Case {
    const char* name;
    const char* sample;
    std::vector<sim::Fault> faults;
    std::vector<std::string> boxesBeforeOutcome;
  };
  const Case cases[] = {
      {"a value that cannot be created (NT, after the saved-access record)", "usb2821-xp-china.reg",
       {{"RegSetValueExA", 4, 5}},
       {"Can't Create USB Registry on Win2K."}},
      {"9x country first", "usb2800-98-usa.reg", {{"RegSetValueExA", 2, 5}},
       {"Can't Create USB Registry on Win9K."}},
      {"9x video standard", "usb2800-98-usa.reg", {{"RegSetValueExA", 14, 5}},
       {"Can't Create USB Registry on Win9X."}},
      {"security not saved (NT)", "usb2821-xp-china.reg", {{"RegGetKeySecurity", 0, 5}},
       {"ERROR: Get Security Descriptor"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto run = RunWizard(c.sample, "click 1015; click 1", c.faults);
    EXPECT_EQ(run->app->UsbWriteResult, 0);
    std::vector<std::string> texts = BoxTexts(*run);
    ASSERT_EQ(texts.size(), c.boxesBeforeOutcome.size() + 1);
    for (size_t i = 0; i < c.boxesBeforeOutcome.size(); ++i) EXPECT_EQ(texts[i], c.boxesBeforeOutcome[i]);
    EXPECT_NE(texts.back().find("Maybe the driver is NOT ready"), std::string::npos);
  }
  // An existing value that cannot be set gets the "write" text.
  sim::Machine m = MachineFromSample("usb2800-98-usa.reg");
  m.registry.Find(RegRoot::LocalMachine, std::string(k9xMedia) + "0009\\settings\\OEMSettings")
      ->SetValue("TunerID7", REG_DWORD, sim::DwordData(9));
  auto existing = RunWizard("", "click 1015; click 1", {{"RegSetValueExA", 1, 5}}, &m);
  EXPECT_EQ(BoxTexts(*existing)[0], "Can't Write QR6100 USB2.0 Registry on Win9K.");
}

TEST(UsbWriter, ADeviceWhoseDriverKeyWasNotFoundIsAFailureWithNothingWritten) {
  // Product 2800 with another revision: detected, but neither lookup
  // identifier matches it, so its driver key stays unknown.
  sim::Machine m = MachineFromText(RegText(
      "[HKEY_CURRENT_USER\\Control Panel\\International]\r\n\"iCountry\"=\"1\"\r\n\r\n" +
      DeviceKey("USB\\VID_EB1A&PID_2800\\1", {"USB\\Vid_eb1a&Pid_2800&Rev_0200"},
                "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0009")));
  auto run = RunWizard("", "click 1015; click 1", {}, &m);
  EXPECT_EQ(run->app->CaptureDriverKey, "");
  EXPECT_EQ(run->app->UsbWriteResult, 0);
  std::string changes = sim::WriteRegChanges(run->before, run->platform->FinalRegistry(),
                                             sim::RegFileFormat::Utf8v5);
  EXPECT_EQ(changes.find("Class"), std::string::npos) << changes;
}

}  // namespace
}  // namespace cw::test
