// The driver-key lookups: which present device is the capture device and
// which the tuner device, and what lands in the record's key fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devices/detection.h"
#include "devices/lookups.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

using Lookup = int32_t (*)(Platform&, WizardState&);

constexpr const char* kCaptureKey = "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001";
constexpr const char* kTunerKey = "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0002";
constexpr const char* kOtherKey = "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0003";

// A 44-character SAA7134 identifier and its long tuner form of 63.
const std::string kSaa7134Id = "PCI\\VEN_1131&DEV_7134&SUBSYS_00000000&REV_01";
const std::string kLongTuner34 = "Stream\\PhTVTune.34" + std::string(63 - 18, 'x');

struct Found {
  int32_t result;
  std::string capture;
  std::string tuner;
  uint32_t flags;
  std::vector<std::string> calls;
};

Found RunLookup(const std::string& devices, Lookup lookup, uint32_t flags,
                std::vector<sim::Fault> faults = {}, const std::string& startKey = "") {
  SimRun run(MachineFromText(RegText(devices)));
  for (const sim::Fault& f : faults) run.platform->AddFault(f);
  run.state.DeviceFlags = flags;
  run.state.CaptureDriverKey = startKey;
  run.state.TunerDriverKey = startKey;
  const int32_t result = lookup(*run.platform, run.state);
  EXPECT_TRUE(run.platform->OpenKeyPaths().empty());
  return {result, run.state.CaptureDriverKey, run.state.TunerDriverKey, run.state.DeviceFlags,
          run.platform->calls()};
}

size_t Reads(const Found& f) {
  return static_cast<size_t>(
      std::count(f.calls.begin(), f.calls.end(), "SetupDiGetDeviceRegistryPropertyA"));
}

struct FamilyCase {
  const char* name;
  Lookup lookup;
  uint32_t flags;
  std::string captureId;
  std::string tunerId;  // "" for the USB device, which has none
};

const FamilyCase kFamilies[] = {
    {"CX2388X NT", &LookupCx2388xKeysNt, 0x10,
     "PCI\\VEN_14F1&DEV_8800&SUBSYS_88011461&REV_05", "Stream\\cxtune.VEN_14F1.Philips.4"},
    {"CX2388X NT, case ignored", &LookupCx2388xKeysNt, 0x10, "pci\\ven_14f1&dev_8800",
     "STREAM\\CXTUNE.ven_14f1.philips"},
    {"CX2388X 9x", &LookupCx2388xKeys9x, 0x10,
     "PCI\\VEN_14F1&DEV_8800&SUBSYS_88011461&REV_05", "STREAM\\CXTUNE.VEN_14F1.PHILIPS"},
    {"BT878A NT", &LookupBt878aKeysNt, 0x100, "PCI\\VEN_109E&DEV_036E&SUBSYS_00000000&REV_11", "Stream\\bttuner.phil"},
    {"BT878A 9x", &LookupBt878aKeys9x, 0x100,
     "PCI\\VEN_109E&DEV_036E&SUBSYS_00000000&REV_11", "STREAM\\BTTUNER.PHIL.1"},
    {"SAA7130 NT", &LookupSaa713xKeysNt, 0x1, "PCI\\VEN_1131&DEV_7130&SUBSYS_00000000&REV_01", "Stream\\PhTVTune.30"},
    {"SAA7133 NT", &LookupSaa713xKeysNt, 0x2, "PCI\\VEN_1131&DEV_7133&SUBSYS_00000000&REV_01", "Stream\\PhTVTune.33"},
    {"SAA7134 NT", &LookupSaa713xKeysNt, 0x4, kSaa7134Id, "Stream\\PhTVTune.34"},
    {"SAA7133 and SAA7134 flags take the 7133", &LookupSaa713xKeysNt, 0x6,
     "PCI\\VEN_1131&DEV_7133&SUBSYS_00000000&REV_01", "Stream\\PhTVTune.33"},
    {"no SAA flag takes the 7133", &LookupSaa713xKeysNt, 0,
     "PCI\\VEN_1131&DEV_7133&SUBSYS_00000000&REV_01", "Stream\\PhTVTune.33"},
    {"SAA7130 9x", &LookupSaa713xKeys9x, 0x1, "PCI\\VEN_1131&DEV_7130&SUBSYS_00000000&REV_01", "STREAM\\PHTVTUNE.30"},
    {"USB NT", &LookupUsbKeyNt, 0x10000, "USB\\Vid_eb1a&Pid_2800&Rev_0100", ""},
    {"USB 9x", &LookupUsbKey9x, 0x10000, "USB\\VID_EB1A&PID_2821&REV_0100", ""},
};

TEST(DriverKeyLookup, EachFamilyFindsItsDevicesInEitherOrder) {
  for (const FamilyCase& c : kFamilies) {
    for (bool captureFirst : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (captureFirst ? ", capture first" : ", tuner first"));
      // Enumerators sort by name: "A" before "M" before "Z".
      std::string devices =
          DeviceKey(std::string(captureFirst ? "A" : "Z") + "\\CAPTURE\\1", {c.captureId},
                    kCaptureKey) +
          DeviceKey("M\\OTHER\\1", {"PCI\\VEN_8086&DEV_2448", c.captureId}, kOtherKey);
      if (!c.tunerId.empty())
        devices +=
            DeviceKey(std::string(captureFirst ? "Z" : "A") + "\\TUNER\\1", {c.tunerId}, kTunerKey);
      Found f = RunLookup(devices, c.lookup, c.flags);
      EXPECT_EQ(f.result, 1);
      EXPECT_EQ(f.capture, kCaptureKey);
      EXPECT_EQ(f.tuner, c.tunerId.empty() ? "" : kTunerKey);
    }
  }
}

TEST(DriverKeyLookup, Saa713xIdentifiersMatchByLengthAndExactly) {
  struct Case {
    const char* name;
    Lookup lookup;
    std::string id;
    bool capture;
    bool tuner;
  };
  const Case cases[] = {
      {"44, exact", &LookupSaa713xKeysNt, kSaa7134Id, true, false},
      {"44, lower case", &LookupSaa713xKeysNt, "pci\\ven_1131&dev_7134&subsys_00000000&rev_01", false, false},
      {"43", &LookupSaa713xKeysNt, "PCI\\VEN_1131&DEV_7134&SUBSYS_00000000&REV_1", false, false},
      {"45", &LookupSaa713xKeysNt, kSaa7134Id + "0", false, false},
      {"bare device id", &LookupSaa713xKeysNt, "PCI\\VEN_1131&DEV_7134", false, false},
      {"tuner, exact", &LookupSaa713xKeysNt, "Stream\\PhTVTune.34", false, true},
      {"tuner, 63 beginning with it", &LookupSaa713xKeysNt, kLongTuner34, false, true},
      {"tuner, 62 beginning with it", &LookupSaa713xKeysNt, kLongTuner34.substr(0, 62), false, false},
      {"tuner, 64 beginning with it", &LookupSaa713xKeysNt, kLongTuner34 + "x", false, false},
      {"tuner, 19 beginning with it", &LookupSaa713xKeysNt, "Stream\\PhTVTune.340", false, false},
      {"tuner, upper case on NT", &LookupSaa713xKeysNt, "STREAM\\PHTVTUNE.34", false, false},
      {"tuner, 63 in upper case on NT", &LookupSaa713xKeysNt,
       "STREAM\\PHTVTUNE.34" + std::string(45, 'x'), false, false},
      {"another chip's tuner", &LookupSaa713xKeysNt, "Stream\\PhTVTune.33", false, false},
      {"9x, 44 exact", &LookupSaa713xKeys9x, kSaa7134Id, true, false},
      {"9x, tuner upper case", &LookupSaa713xKeys9x, "STREAM\\PHTVTUNE.34", false, true},
      {"9x, tuner mixed case", &LookupSaa713xKeys9x, "Stream\\PhTVTune.34", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Found f = RunLookup(DeviceKey("PCI\\DEV\\1", {c.id}, kCaptureKey), c.lookup, 0x4);
    EXPECT_EQ(f.capture, c.capture ? kCaptureKey : "");
    EXPECT_EQ(f.tuner, c.tuner ? kCaptureKey : "");
  }
}

TEST(DriverKeyLookup, UsbIdentifiers) {
  struct Case {
    std::string id;
    bool matches;
  };
  const Case cases[] = {
      {"USB\\Vid_eb1a&Pid_2800&Rev_0100", true},  {"usb\\vid_eb1a&pid_2800&rev_0100&mi_00", true},
      {"USB\\Vid_eb1a&Pid_2800&Rev_0200", false},  // detected, but not looked up
      {"USB\\Vid_eb1a&Pid_2800", false},          {"USB\\Vid_eb1a&Pid_2821&Rev_0100", true},
      {"USB\\VID_EB1A&PID_2820", true},           {"USB\\Vid_eb1a&Pid_2830&Rev_0100", false},
  };
  for (const Case& c : cases) {
    for (bool nt : {true, false}) {
      SCOPED_TRACE(c.id + (nt ? " NT" : " 9x"));
      Found f = RunLookup(DeviceKey("USB\\DEV\\1", {c.id}, kCaptureKey),
                          nt ? &LookupUsbKeyNt : &LookupUsbKey9x, 0);
      EXPECT_EQ(f.capture, c.matches ? kCaptureKey : "");
      // Only the 9x lookup marks the USB device once more.
      EXPECT_EQ(f.flags, !nt && c.matches ? 0x10000u : 0u);
    }
  }
}

// Keys start as "before": what the walk found replaces them, a later match
// an earlier one; a match whose driver key cannot be read, no match, or no
// device list leave them; a read error other than 13 ends the walk.
TEST(DriverKeyLookup, WhatTheWalkLeavesInTheKeys) {
  const std::string cx = DeviceKey("PCI\\A\\1", {"PCI\\VEN_14F1&DEV_8800"}, kCaptureKey) +
                         DeviceKey("STREAM\\B\\1", {"Stream\\cxtune.VEN_14F1.Philips"}, kTunerKey);
  struct Case {
    const char* name;
    std::string devices;
    Lookup lookup;
    uint32_t flags;
    std::vector<sim::Fault> faults;
    int32_t result;
    const char* capture;
    const char* tuner;
    uint32_t flagsAfter;
  };
  const Case cases[] = {
      {"later match", DeviceKey("A\\C\\1", {"PCI\\VEN_109E&DEV_036E&SUBSYS_1"}, "{c}\\0001") +
                          DeviceKey("A\\T\\1", {"Stream\\bttuner.phil"}, "{t}\\0001") +
                          DeviceKey("B\\C\\1", {"PCI\\VEN_109E&DEV_036E&SUBSYS_2"}, "{c}\\0002") +
                          DeviceKey("B\\T\\1", {"Stream\\bttuner.phil"}, "{t}\\0002") +
                          DeviceKey("C\\C\\1", {"PCI\\VEN_109E&DEV_036E&SUBSYS_3"}),
       &LookupBt878aKeysNt, 0x100, {}, 1, "{c}\\0002", "{t}\\0002", 0x100},
      {"no device list", cx, &LookupCx2388xKeysNt, 0x10, {{"SetupDiGetClassDevsA", 1, 5}}, 0, "before", "before", 0x10},
      {"no match", cx, &LookupBt878aKeys9x, 0x100, {}, 1, "before", "before", 0x100},
      // 9x, one buffer: the first device has no identifiers (13), the
      // second's identifiers and driver key are read at once; then 31.
      {"read error", "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\A\\NOID\\1]\r\n"
                     "\"ClassGUID\"=\"{4d36e96c-e325-11ce-bfc1-08002be10318}\"\r\n\r\n" + cx,
       &LookupCx2388xKeys9x, 0x10, {{"SetupDiGetDeviceRegistryPropertyA", 4, 31}}, 1, kCaptureKey, "before", 0x10},
      {"USB flag without a driver key", DeviceKey("USB\\DEV\\1", {"USB\\VID_EB1A&PID_2821"}), &LookupUsbKey9x, 0x4,
       {}, 1, "before", "before", 0x10004},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Found f = RunLookup(c.devices, c.lookup, c.flags, c.faults, "before");
    EXPECT_EQ(f.result, c.result);
    EXPECT_EQ(f.capture, c.capture);
    EXPECT_EQ(f.tuner, c.tuner);
    EXPECT_EQ(f.flags, c.flagsAfter);
  }
}

// A platform whose driver-key reads fail the way a broken device's would.
class FailingDriverReads : public sim::SimPlatform {
 public:
  FailingDriverReads(sim::Machine& machine, DWORD error, DWORD required)
      : SimPlatform(machine, nullptr), error_(error), required_(required) {}
  BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO list, SP_DEVINFO_DATA* data, DWORD property,
                                         DWORD* type, BYTE* buffer, DWORD bufferSize,
                                         DWORD* requiredSize) override {
    if (property != SPDRP_DRIVER)
      return SimPlatform::SetupDiGetDeviceRegistryPropertyA(list, data, property, type, buffer,
                                                            bufferSize, requiredSize);
    if (requiredSize) *requiredSize = required_;
    SetLastError(error_);
    return FALSE;
  }

 private:
  DWORD error_;
  DWORD required_;
};

TEST(DriverKeyLookup, AFailingDriverReadLeavesTheKeyUnchanged) {
  struct Case {
    const char* name;
    DWORD error;
    DWORD required;
  };
  const Case cases[] = {
      {"general failure", 31, 0},
      {"no such property", 13, 0},
      {"too small, asking for 4 GiB", 122, 0xFFFFFFF0u},
      {"too small, asking for what it has", 122, 4},
  };
  const std::string devices = DeviceKey("PCI\\A\\1", {kSaa7134Id}, kCaptureKey) +
                              DeviceKey("STREAM\\B\\1", {"STREAM\\PHTVTUNE.34"}, kTunerKey);
  const Lookup lookups[] = {&LookupSaa713xKeysNt, &LookupSaa713xKeys9x,
                            &LookupCx2388xKeysNt, &LookupCx2388xKeys9x};
  for (const Case& c : cases) {
    for (Lookup lookup : lookups) {
      SCOPED_TRACE(c.name);
      sim::Machine machine = MachineFromText(RegText(devices));
      FailingDriverReads platform(machine, c.error, c.required);
      WizardState state;
      state.DeviceFlags = 0x14;
      state.CaptureDriverKey = "before";
      state.TunerDriverKey = "before";
      EXPECT_EQ(lookup(platform, state), 1);
      EXPECT_EQ(state.CaptureDriverKey, "before");
      EXPECT_EQ(state.TunerDriverKey, "before");
    }
  }
}

// Every lookup reads the driver key through the same buffer, per device on
// NT and for the whole walk on 9x.
TEST(DriverKeyLookup, LongAndUnterminatedPropertiesAreReadWhole) {
  const std::string longDriver = "{4d36e96c-e325-11ce-bfc1-08002be10318}\\" + std::string(300, '7');
  // 43 bytes of driver key with no terminator, as REG_BINARY gives them.
  const std::string unterminated = "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001";
  const std::string rawDriver =
      "\"Driver\"=hex:7b,34,64,33,36,65,39,36,63,2d,65,33,32,35,2d,31,31,63,65,2d,62,66,63,31,2d,30,38,30,30,"
      "32,62,65,31,30,33,31,38,7d,5c,30,30,30,31";
  const std::string id = "PCI\\VEN_14F1&DEV_8800&SUBSYS_" + std::string(400, '0');
  for (Lookup lookup : {&LookupCx2388xKeysNt, &LookupCx2388xKeys9x}) {
    SCOPED_TRACE(lookup == &LookupCx2388xKeysNt ? "NT" : "9x");
    Found big = RunLookup(DeviceKey("A\\B\\1", {id}, longDriver), lookup, 0x4);
    EXPECT_EQ(big.capture, longDriver);

    std::string raw = DeviceKey("A\\B\\1", {id});
    raw.insert(raw.size() - 2, rawDriver + "\r\n");
    Found bare = RunLookup(raw, lookup, 0x4);
    EXPECT_EQ(bare.capture, unterminated);
  }

  // An identifier without a terminator, read into a buffer of exactly its size.
  const std::string bareId =
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\A\\B\\1]\r\n"
      "\"HardwareID\"=hex:50,43,49,5c,56,45,4e,5f,31,34,46,31,26,44,45,56,5f,38,38,30,30\r\n"
      "\"ClassGUID\"=\"{4d36e96c-e325-11ce-bfc1-08002be10318}\"\r\n"
      "\"Driver\"=\"{c}\\\\0001\"\r\n\r\n";
  Found f = RunLookup(bareId, &LookupCx2388xKeysNt, 0x10);
  EXPECT_EQ(f.capture, "{c}\\0001");
}

// Detection and the lookups allocate up to 1 MiB for an identifier; a device
// asking for more is taken for broken and ends the walk there.
TEST(DeviceWalks, AnIdentifierOfUpTo1MiBIsReadAndALargerOneEndsTheWalk) {
  const Lookup walks[] = {&DetectDevicesNt, &DetectDevices9x, &LookupCx2388xKeysNt, &LookupCx2388xKeys9x};
  for (Lookup walk : walks) {
    const bool detection = walk == &DetectDevicesNt || walk == &DetectDevices9x;
    for (DWORD size : {DWORD{1} << 20, (DWORD{1} << 20) + 1}) {
      SCOPED_TRACE(std::to_string(size) + (detection ? " detection" : " lookup"));
      SimRun run(MachineFromText(RegText(DeviceKey("PCI\\A\\1", {"x"}) +
                                         DeviceKey("PCI\\A\\2", {"PCI\\VEN_14F1&DEV_8800"}, kCaptureKey))));
      // Two NULs end the list.
      run.machine.registry.Find(sim::RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Enum\\PCI\\A\\1")
          ->SetValue("HardwareID", REG_MULTI_SZ, sim::MultiStringData({std::string(size - 2, 'x')}));
      run.state.DeviceFlags = detection ? 0 : 0x10;
      walk(*run.platform, run.state);
      const bool read = size == DWORD{1} << 20;
      EXPECT_EQ(run.state.DeviceFlags, read || !detection ? 0x10u : 0u);
      EXPECT_EQ(run.state.CaptureDriverKey, read && !detection ? kCaptureKey : "");
    }
  }
}

TEST(DriverKeyLookup, BuffersGrowAsEachLookupGrowsThem) {
  // Five devices that match nothing: identifiers needing 255 + 2 (one more
  // than the 256-byte walk buffer), 300 + 2, 316 + 2 (just what 16 to spare
  // leaves room for), 317 + 2, then 20 + 2 bytes.
  const std::string devices =
      DeviceKey("A\\0\\1", {"PCI\\VEN_8086&DEV_" + std::string(255 - 17, '0')}) +
      DeviceKey("A\\A\\1", {"PCI\\VEN_8086&DEV_" + std::string(300 - 17, '1')}) +
      DeviceKey("A\\B\\1", {"PCI\\VEN_8086&DEV_" + std::string(316 - 17, '2')}) +
      DeviceKey("A\\B\\2", {"PCI\\VEN_8086&DEV_" + std::string(317 - 17, '3')}) +
      DeviceKey("A\\C\\1", {"PCI\\VEN_8086&DEV_123"});
  struct Case {
    const char* name;
    Lookup lookup;
    size_t reads;
  };
  const Case cases[] = {
      {"NT: a sizing read for every device", &LookupCx2388xKeysNt, 10},
      {"9x: grown by 16, so the third fits and the fourth not", &LookupBt878aKeys9x, 8},
      {"SAA713x NT: grown exactly, so none fits", &LookupSaa713xKeysNt, 9},
      {"SAA713x 9x: grown by 16", &LookupSaa713xKeys9x, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Reads(RunLookup(devices, c.lookup, 0x4)), c.reads);
  }
}

}  // namespace
}  // namespace cw::test
