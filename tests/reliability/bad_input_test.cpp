// Hostile input no other route reaches: a Chanwiz.ini with over-long lines, NUL bytes or
// garbage, and identifier lists and driver keys larger than any buffer. Nothing crashes; texts are
// cut or defaulted; lookups set keys exactly or not at all; writers skip paths that do not fit.
#include <gtest/gtest.h>

#include <string>

#include "app/text_keys.h"
#include "devices/detection.h"
#include "devices/lookups.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"
#include "support/tree_compare.h"
#include "writers/family_writers.h"

namespace cw::test {
namespace {

constexpr const char* kCaptureKey = "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001";
constexpr const char* kOtherKey = "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0009";
const std::string kSaa7134Id = "PCI\\VEN_1131&DEV_7134&SUBSYS_00000000&REV_01";

TEST(BadTextFile, TextsAreCutOrDefaulted) {
  struct Case { const char* what; std::string ini; const char *title /* null: any */, *ok, *cancel; };
  const std::string big(100 * 1024, 'x');
  const std::string kTitle127(127, 'x'), kOk15(15, 'x');
  std::string garbage;
  for (unsigned i = 0, seed = 99; i < 64 * 1024; ++i)
    garbage += static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
  const Case cases[] = {
      {"over-long lines",
       "[1]\r\n;" + big + "\r\nAppTitleName=" + big + "\r\nOKText=" + big +
           "\r\nCANCELText = S \r\n",
       kTitle127.c_str(), kOk15.c_str(), "S"},
      {"over-long section name and key",
       "[" + big + "]\r\nOKText=no\r\n[1]\r\n" + big + "=v\r\nOKText=Yes\r\n",
       "QL750 Chanwiz Wizard", "Yes", "Cancel"},
      {"NUL bytes end their line",
       std::string("[1]\r\nAppTitleName=Ab\0cd\r\nOKText\0=Bad\r\nCANCELText=Stop\r\n", 54), "Ab",
       "OK", "Stop"},
      {"UTF-16 with an odd byte at the end",
       std::string("\xFF\xFE[\0"
                   "1\0]\0\n\0O\0K\0T\0e\0x\0t\0=\0Y\0e\0s",
                   29),
       "QL750 Chanwiz Wizard", "Ye", "Cancel"},
      {"binary garbage", garbage, nullptr, "OK", "Cancel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimRun run(MachineFromText(RegText("")));
    run.platform->MapFile("C:\\Program Files\\Morvex\\Chanwiz\\Chanwiz.ini", WriteTempFile(c.ini));
    EXPECT_EQ(LoadTexts(*run.platform, run.state), 1);
    if (c.title) { EXPECT_STREQ(run.state.AppTitleName, c.title); }
    EXPECT_STREQ(run.state.OKText, c.ok);
    EXPECT_STREQ(run.state.CANCELText, c.cancel);
    EXPECT_TRUE(run.platform->OpenKeyPaths().empty());
  }
}

// An identifier list just under the largest property read is read; a larger one is refused and
// ends the walk (as any read failure does), leaving the driver keys as they were.
TEST(BadDevices, IdentifierListsUpToAMegabyteAreReadAndLargerOnesRefused) {
  std::string fitting = kSaa7134Id + '\0';
  while (fitting.size() < (1u << 20) - 64)
    fitting += "PCI\\VEN_DEAD&DEV_BEEF" + std::string(1, '\0');
  std::string huge = kSaa7134Id + '\0' + std::string((1u << 20) + 16, 'x') + '\0';
  for (const std::string* list : {&fitting, &huge}) {
    const bool fits = list == &fitting;
    sim::Machine m = MachineFromText(RegText(DeviceKey("PCI\\A\\1", {}, kCaptureKey) +
                                             DeviceKey("PCI\\B\\1", {kSaa7134Id}, kOtherKey)));
    m.registry.Find(sim::RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Enum\\PCI\\A\\1")
        ->SetValue("HardwareID", REG_MULTI_SZ, sim::Utf8ToUtf16Le(*list + '\0'));
    SimRun run(std::move(m));
    EXPECT_EQ(DetectDevicesNt(*run.platform, run.state), fits ? 2 : 0);
    EXPECT_EQ(DetectDevices9x(*run.platform, run.state), fits ? 2 : 0);
    run.state.DeviceFlags = kFlagSaa7134;
    for (auto lookup : {&LookupSaa713xKeysNt, &LookupSaa713xKeys9x}) {
      run.state.CaptureDriverKey = "unchanged";
      EXPECT_EQ(lookup(*run.platform, run.state), 1);
      EXPECT_EQ(run.state.CaptureDriverKey, fits ? kOtherKey : "unchanged");
    }
  }
}

TEST(BadDevices, LongDriverKeysAreSetExactlyAndEveryWriterSkipsThem) {
  const std::string captureKey(5000, 'k'), tunerKey(6000, 't');
  SimRun run(
      MachineFromText(RegText(DeviceKey("PCI\\A\\1", {kSaa7134Id}, captureKey) +
                              DeviceKey("STREAM\\B\\1", {"Stream\\PhTVTune.34"}, tunerKey))));
  EXPECT_EQ(DetectDevicesNt(*run.platform, run.state), 1);
  EXPECT_EQ(LookupSaa713xKeysNt(*run.platform, run.state), 1);
  EXPECT_EQ(run.state.CaptureDriverKey, captureKey);
  EXPECT_EQ(run.state.TunerDriverKey, tunerKey);
  const sim::RegistryTree before = run.platform->FinalRegistry();
  // Nothing may be written, so no writer has a failure to show. The PCI
  // writers' steps still succeed (1); USB reports that no key took its values.
  const ShowWriteFailure show = [](const char* text) { ADD_FAILURE() << text; };
  for (auto write : {&WriteSaa713xSettingsNt, &WriteSaa713xSettings9x, &WriteCx2388xSettingsNt,
                     &WriteCx2388xSettings9x, &WriteBt878aSettingsNt, &WriteBt878aSettings9x})
    EXPECT_EQ(write(*run.platform, run.state, show), 1);
  for (auto write : {&WriteUsbSettingsNt, &WriteUsbSettings9x}) EXPECT_EQ(write(*run.platform, run.state, show), 0);
  EXPECT_TRUE(TreesEqual(run.platform->FinalRegistry(), before));
  EXPECT_FALSE(run.platform->halt().has_value());
  // No open of a key path was even tried.
  for (const std::string& call : run.platform->calls()) {
    EXPECT_NE(call, "RegOpenKeyExA");
    EXPECT_NE(call, "RegOpenKeyA");
  }
}

}  // namespace
}  // namespace cw::test
