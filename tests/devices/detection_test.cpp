// Detection of the supported chips among the present devices.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win_constants.h"
#include "devices/detection.h"
#include "support/sim_harness.h"

namespace cw::test {
namespace {

std::string NtVersion() {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
         "\"CurrentVersion\"=\"5.1\"\r\n\r\n";
}
std::string Win98Version() {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"
         "\"VersionNumber\"=\"4.10.2222\"\r\n\r\n";
}

struct Detected {
  int32_t count;
  uint32_t flags;
  std::vector<std::string> calls;
  DWORD lastError;
};

Detected Detect(const std::string& devices, bool nt, std::vector<sim::Fault> faults = {}) {
  SimRun run(MachineFromText(RegText((nt ? NtVersion() : Win98Version()) + devices)));
  for (const sim::Fault& f : faults) run.platform->AddFault(f);
  run.state.DeviceFlags = 0;
  int32_t count = nt ? DetectDevicesNt(*run.platform, run.state) : DetectDevices9x(*run.platform, run.state);
  return {count, run.state.DeviceFlags, run.platform->calls(), run.platform->GetLastError()};
}

size_t PropertyReads(const Detected& d) {
  return static_cast<size_t>(
      std::count(d.calls.begin(), d.calls.end(), "SetupDiGetDeviceRegistryPropertyA"));
}

TEST(Detection, EachIdentifierOfTheTable) {
  struct Case {
    const char* firstId;
    uint32_t flag;  // 0: not detected
  };
  const Case cases[] = {
      {"PCI\\VEN_1131&DEV_7130&SUBSYS_00000000&REV_01", 0x1},
      {"PCI\\VEN_1131&DEV_7133&SUBSYS_00000000&REV_01", 0x2},
      {"PCI\\VEN_1131&DEV_7134&SUBSYS_00000000&REV_01", 0x4},
      {"pci\\ven_1131&dev_7134", 0x4},
      {"PCI\\VEN_14F1&DEV_8800&SUBSYS_88011461&REV_05", 0x10},
      {"PCI\\VEN_14F1&DEV_8811&SUBSYS_88011461&REV_05", 0},  // the board's audio function
      {"PCI\\VEN_109E&DEV_036E&SUBSYS_00000000&REV_11", 0x100},
      {"PCI\\VEN_109E&DEV_0878&SUBSYS_00000000&REV_11", 0},
      {"USB\\Vid_eb1a&Pid_2800&Rev_0100", 0x10000},
      {"usb\\vid_eb1a&pid_2800&rev_0100", 0x10000},
      {"USB\\VID_EB1A&PID_2821&REV_0100", 0x10000},
      {"USB\\Vid_eb1a&Pid_2820", 0x10000},
      {"USB\\Vid_eb1a&Pid_2830", 0},
      {"USB\\Vid_eb1a&Pid_28", 0},  // shorter than every identifier
      {"PCI\\VEN_1131&DEV_713", 0},
      {"ACPI\\PNP0A03", 0},
  };
  for (bool nt : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.firstId) + (nt ? " NT" : " 9x"));
      Detected d = Detect(DeviceKey("X\\Y\\0", {c.firstId, "PCI\\VEN_1131&DEV_7134"}), nt);
      // Only the first identifier counts: the second would always match.
      EXPECT_EQ(d.flags, c.flag);
      EXPECT_EQ(d.count, c.flag ? 1 : 0);
    }
  }
}

TEST(Detection, SeveralDevicesAreCountedAndFlagged) {
  const std::string saa1 = DeviceKey("PCI\\A\\1", {"PCI\\VEN_1131&DEV_7134&SUBSYS_1"});
  const std::string saa2 = DeviceKey("PCI\\A\\2", {"PCI\\VEN_1131&DEV_7134&SUBSYS_2"});
  const std::string saa7133 = DeviceKey("PCI\\B\\1", {"PCI\\VEN_1131&DEV_7133&SUBSYS_1"});
  const std::string usb = DeviceKey("USB\\C\\1", {"USB\\Vid_eb1a&Pid_2821&Rev_0100"});
  Detected two = Detect(saa1 + saa2, true);
  EXPECT_EQ(two.count, 2);
  EXPECT_EQ(two.flags, 0x4u);
  Detected mixed = Detect(saa7133 + usb, true);
  EXPECT_EQ(mixed.count, 2);
  EXPECT_EQ(mixed.flags, 0x10002u);
  EXPECT_EQ(Detect("", true).count, 0);
}

TEST(Detection, FlagsAlreadySetAreKept) {
  SimRun run(MachineFromText(RegText(NtVersion() + DeviceKey("PCI\\A\\1", {"PCI\\VEN_109E&DEV_036E"}))));
  run.state.DeviceFlags = 0x4;
  EXPECT_EQ(DetectDevicesNt(*run.platform, run.state), 1);
  EXPECT_EQ(run.state.DeviceFlags, 0x104u);
}

// The walk's buffer grows to what a long identifier needs and keeps that
// size; the 9x walk keeps 10 bytes to spare, so an identifier a few bytes
// longer than the first still fits there, where NT reads it again.
TEST(Detection, ALongIdentifierIsReadAgainAndTheLargerBufferIsKept) {
  // 329 characters and two NULs: 331 bytes; the third 336 and two: 338.
  const std::string longId = "PCI\\VEN_1131&DEV_7134&SUBSYS_" + std::string(300, '0');
  const std::string devices = DeviceKey("PCI\\A\\1", {longId}) +
                              DeviceKey("PCI\\A\\2", {"PCI\\VEN_14F1&DEV_8800"}) +
                              DeviceKey("PCI\\A\\3", {"PCI\\VEN_109E&DEV_036E&" + std::string(314, 'X')});
  for (bool nt : {true, false}) {
    SCOPED_TRACE(nt ? "NT" : "9x");
    Detected d = Detect(devices, nt);
    EXPECT_EQ(d.count, 3);
    EXPECT_EQ(d.flags, 0x114u);
    // Two reads for the long one, one for the short one, and for the third
    // one more on NT only.
    EXPECT_EQ(PropertyReads(d), nt ? 5u : 4u);
  }
}

// The walk starts with 256 bytes: identifiers and their two NULs up to that
// size are read at once.
TEST(Detection, TheFirstReadOffers256Bytes) {
  for (size_t length : {254u, 255u}) {
    SCOPED_TRACE(length);
    const std::string id = "PCI\\VEN_14F1&DEV_8800&" + std::string(length - 22, 'X');
    Detected d = Detect(DeviceKey("PCI\\A\\1", {id}), true);
    EXPECT_EQ(d.count, 1);
    EXPECT_EQ(PropertyReads(d), length == 254 ? 1u : 2u);
  }
}

TEST(Detection, DevicesWithoutIdentifiersAreSkippedAndOtherErrorsEndTheWalk) {
  const std::string devices =
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\A\\NOID\\0]\r\n"
      "\"ClassGUID\"=\"{4d36e96c-e325-11ce-bfc1-08002be10318}\"\r\n\r\n" +
      DeviceKey("B\\SAA\\1", {"PCI\\VEN_1131&DEV_7134"}) +
      DeviceKey("C\\USB\\1", {"USB\\Vid_eb1a&Pid_2800"});
  Detected skipped = Detect(devices, true);
  EXPECT_EQ(skipped.count, 2);
  EXPECT_EQ(skipped.flags, 0x10004u);

  // The third read fails with an error other than 13 or 122: the walk ends
  // there and what was counted stands.
  Detected stopped = Detect(devices, true, {{"SetupDiGetDeviceRegistryPropertyA", 3, 31}});
  EXPECT_EQ(stopped.count, 1);
  EXPECT_EQ(stopped.flags, 0x4u);
  // The read's error survives the list's destruction.
  EXPECT_EQ(stopped.lastError, 31u);
  // No device list at all: nothing counted.
  Detected none = Detect(devices, true, {{"SetupDiGetClassDevsA", 1, 5}});
  EXPECT_EQ(none.count, 0);
  EXPECT_EQ(none.flags, 0u);
}

TEST(Detection, TheEnumerationsLastErrorSurvivesTheDestroy) {
  Detected d = Detect(DeviceKey("A\\B\\1", {"PCI\\VEN_1131&DEV_7134"}), true);
  EXPECT_EQ(d.lastError, static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(d.calls.back(), "SetupDiDestroyDeviceInfoList");
}

}  // namespace
}  // namespace cw::test
