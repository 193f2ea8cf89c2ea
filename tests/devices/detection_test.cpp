// Detection of the supported chips among the present devices.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win_constants.h"
#include "devices/detection.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

struct Detected {
  int32_t count;
  uint32_t flags;
  size_t propertyReads;
  DWORD lastError;
  std::string lastCall;
};

Detected Detect(const std::string& devices, bool nt, std::vector<sim::Fault> faults = {}, uint32_t flags = 0) {
  SimRun run(MachineFromText(MachineText(nt ? "5.1" : "4.10.2222", "", devices)));
  for (const sim::Fault& f : faults) run.platform->AddFault(f);
  run.state.DeviceFlags = flags;
  int32_t count = nt ? DetectDevicesNt(*run.platform, run.state) : DetectDevices9x(*run.platform, run.state);
  const std::vector<std::string>& calls = run.platform->calls();
  return {count, run.state.DeviceFlags,
          static_cast<size_t>(std::count(calls.begin(), calls.end(), "SetupDiGetDeviceRegistryPropertyA")),
          run.platform->GetLastError(), calls.back()};
}

TEST(Detection, EachIdentifierOfTheTable) {
  struct Case {
    const char* firstId;
    uint32_t flag;  // 0: not detected
  };
  const Case cases[] = {
      {"PCI\\VEN_1131&DEV_7130&SUBSYS_00000000&REV_01", 0x1}, {"PCI\\VEN_1131&DEV_7133&SUBSYS_00000000&REV_01", 0x2},
      {"PCI\\VEN_1131&DEV_7134&SUBSYS_00000000&REV_01", 0x4}, {"pci\\ven_1131&dev_7134", 0x4},
      {"PCI\\VEN_14F1&DEV_8800&SUBSYS_88011461&REV_05", 0x10},
      {"PCI\\VEN_14F1&DEV_8811&SUBSYS_88011461&REV_05", 0},  // the board's audio function
      {"PCI\\VEN_109E&DEV_036E&SUBSYS_00000000&REV_11", 0x100}, {"PCI\\VEN_109E&DEV_0878&SUBSYS_00000000&REV_11", 0},
      {"USB\\Vid_eb1a&Pid_2800&Rev_0100", 0x10000}, {"USB\\VID_EB1A&PID_2821&REV_0100", 0x10000},
      {"USB\\Vid_eb1a&Pid_2820", 0x10000},          {"USB\\Vid_eb1a&Pid_2830", 0},
      {"USB\\Vid_eb1a&Pid_28", 0},  // shorter than every identifier
      {"PCI\\VEN_1131&DEV_713", 0}, {"ACPI\\PNP0A03", 0},
  };
  for (bool nt : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.firstId) + (nt ? " NT" : " 9x"));
      // Only the first identifier counts: the second would always match.
      Detected d = Detect(DeviceKey("X\\Y\\0", {c.firstId, "PCI\\VEN_1131&DEV_7134"}), nt);
      EXPECT_EQ(d.flags, c.flag);
      EXPECT_EQ(d.count, c.flag ? 1 : 0);
    }
  }
}

// Every device found is counted and flagged, on top of flags already set;
// a device without identifiers is skipped, any other read error ends the
// walk, and its last error survives the list's destruction.
TEST(Detection, DevicesAreCountedUntilTheWalkEnds) {
  const std::string noId =
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\A\\NOID\\0]\r\n"
      "\"ClassGUID\"=\"{4d36e96c-e325-11ce-bfc1-08002be10318}\"\r\n\r\n";
  const std::string saaUsb =
      noId + DeviceKey("B\\SAA\\1", {"PCI\\VEN_1131&DEV_7134"}) + DeviceKey("C\\USB\\1", {"USB\\Vid_eb1a&Pid_2800"});
  struct Case {
    const char* name;
    std::string devices;
    uint32_t flagsBefore;
    std::vector<sim::Fault> faults;
    int32_t count;
    uint32_t flags;
    DWORD lastError;
  };
  const Case cases[] = {
      {"two of one chip",
       DeviceKey("PCI\\A\\1", {"PCI\\VEN_1131&DEV_7134&SUBSYS_1"}) +
           DeviceKey("PCI\\A\\2", {"PCI\\VEN_1131&DEV_7134&SUBSYS_2"}),
       0, {}, 2, 0x4, ERROR_NO_MORE_ITEMS},
      {"none", "", 0, {}, 0, 0, ERROR_NO_MORE_ITEMS},
      {"flags kept", DeviceKey("PCI\\A\\1", {"PCI\\VEN_109E&DEV_036E"}), 0x4, {}, 1, 0x104, ERROR_NO_MORE_ITEMS},
      {"no identifiers skipped", saaUsb, 0, {}, 2, 0x10004, ERROR_NO_MORE_ITEMS},
      {"third read fails", saaUsb, 0, {{"SetupDiGetDeviceRegistryPropertyA", 3, 31}}, 1, 0x4, 31},
      {"no device list", saaUsb, 0, {{"SetupDiGetClassDevsA", 1, 5}}, 0, 0, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Detected d = Detect(c.devices, true, c.faults, c.flagsBefore);
    EXPECT_EQ(d.count, c.count);
    EXPECT_EQ(d.flags, c.flags);
    EXPECT_EQ(d.lastError, c.lastError);
  }
  EXPECT_EQ(Detect(saaUsb, true).lastCall, "SetupDiDestroyDeviceInfoList");
}

// The walk starts with 256 bytes and grows to what a long identifier needs,
// keeping that size; the 9x walk keeps 10 bytes to spare, so an identifier a
// few bytes longer than the first still fits there, where NT reads it again.
TEST(Detection, TheBufferStartsAt256AndKeepsWhatItGrewTo) {
  // 329 characters and two NULs: 331 bytes; the third needs 341 bytes, just
  // what the 9x buffer holds, the fourth one more.
  const std::string devices =
      DeviceKey("PCI\\A\\1", {"PCI\\VEN_1131&DEV_7134&SUBSYS_" + std::string(300, '0')}) +
      DeviceKey("PCI\\A\\2", {"PCI\\VEN_14F1&DEV_8800"}) +
      DeviceKey("PCI\\A\\3", {"PCI\\VEN_109E&DEV_036E&" + std::string(317, 'X')}) +
      DeviceKey("PCI\\A\\4", {"PCI\\VEN_14F1&DEV_8800&" + std::string(318, 'X')});
  for (bool nt : {true, false}) {
    SCOPED_TRACE(nt ? "NT" : "9x");
    Detected d = Detect(devices, nt);
    EXPECT_EQ(d.count, 4);
    EXPECT_EQ(d.flags, 0x114u);
    EXPECT_EQ(d.propertyReads, nt ? 7u : 6u);
  }
  // Identifiers and their two NULs up to 256 bytes are read at once.
  for (size_t length : {254u, 255u}) {
    SCOPED_TRACE(length);
    Detected d = Detect(DeviceKey("PCI\\A\\1", {"PCI\\VEN_14F1&DEV_8800&" + std::string(length - 22, 'X')}), true);
    EXPECT_EQ(d.count, 1);
    EXPECT_EQ(d.propertyReads, length == 254 ? 1u : 2u);
  }
  // An identifier stored without a terminator fills the NT buffer exactly:
  // it is read up to the buffer's end and no further (the sanitized build
  // sees a byte more).
  const std::string id = "PCI\\VEN_14F1&DEV_8800&" + std::string(278, 'X');
  SimRun run(MachineFromText(RegText(DeviceKey("A\\B\\1", {"x"}))));
  run.machine.registry.Find(sim::RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Enum\\A\\B\\1")
      ->SetValue("HardwareID", REG_BINARY, std::vector<BYTE>(id.begin(), id.end()));
  EXPECT_EQ(DetectDevicesNt(*run.platform, run.state), 1);
  EXPECT_EQ(run.state.DeviceFlags, 0x10u);
}

}  // namespace
}  // namespace cw::test
