// Bad and hostile input: machine files that are malformed, huge or binary;
// a Chanwiz.ini with over-long lines, NUL bytes, no section or no file; and
// devices whose identifiers and driver keys are unterminated or larger than
// any buffer. Nothing crashes; a machine file that cannot be used is refused
// with its file and line (and so never runs); texts are cut or defaulted;
// lookups leave the keys as they were or set them exactly; writers skip key
// paths that do not fit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/profile.h"
#include "app/text_keys.h"
#include "devices/detection.h"
#include "devices/lookups.h"
#include "regtree/reg_file.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"
#include "writers/family_writers.h"

namespace cw::test {
namespace {

constexpr const char* kIniPath = "C:\\Program Files\\Morvex\\Chanwiz\\Chanwiz.ini";
constexpr const char* kCaptureKey = "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001";
const std::string kSaa7134Id = "PCI\\VEN_1131&DEV_7134&SUBSYS_00000000&REV_01";

// ---- Machine files ----

struct LoadResult {
  bool ok;
  sim::RegFileError error;
};

LoadResult Load(const std::string& bytes) {
  sim::Machine machine;
  LoadResult r;
  r.ok = sim::LoadMachineBytes(bytes, "bad.reg", &machine, &r.error);
  return r;
}

// Refused, naming the file and the line, with a message that says why.
void ExpectRefusedAt(const std::string& bytes, int line, const std::string& why) {
  const LoadResult r = Load(bytes);
  ASSERT_FALSE(r.ok);
  EXPECT_EQ(r.error.file, "bad.reg");
  EXPECT_EQ(r.error.line, line) << r.error.ToString();
  EXPECT_NE(r.error.message.find(why), std::string::npos) << r.error.ToString();
  EXPECT_EQ(r.error.ToString().rfind("bad.reg:" + std::to_string(line) + ": ", 0), 0u)
      << r.error.ToString();
}

TEST(BadMachineFile, MalformedLineIsRefusedWithItsLine) {
  ExpectRefusedAt(RegText("[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"a\"=\"b\"\r\nthis is not a line\r\n"),
                  5, "expected a key line");
  ExpectRefusedAt(RegText("[HKEY_LOCAL_MACHINE\\SOFTWARE\\X\r\n"), 3, "no closing ']'");
  ExpectRefusedAt(RegText("[HKEY_NOWHERE\\SOFTWARE]\r\n"), 3, "unknown root key");
  ExpectRefusedAt(RegText("\"a\"=\"b\"\r\n"), 3, "before any key line");
  ExpectRefusedAt(RegText("[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=hex:01,zz\r\n"), 4, "bad hex byte");
  ExpectRefusedAt(RegText("[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=hex:01,\\\r\n"), 4,
                  "at the end of the file");
  ExpectRefusedAt(RegText("[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=dword:123456789\r\n"), 4,
                  "out of range");
}

TEST(BadMachineFile, UnknownValueTypeIsRefused) {
  ExpectRefusedAt(RegText("[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=qword:0000000000000001\r\n"), 4,
                  "unknown value type");
  ExpectRefusedAt(RegText("[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=hex(q):00\r\n"), 4,
                  "malformed value type");
  ExpectRefusedAt(RegText("[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=hex(123456789):00\r\n"), 4,
                  "out of range");
}

TEST(BadMachineFile, UnterminatedStringIsRefused) {
  ExpectRefusedAt(RegText("[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=\"no end\r\n\"b\"=\"c\"\r\n"), 4,
                  "unterminated quoted string");
  ExpectRefusedAt(RegText("[HKEY_LOCAL_MACHINE\\X]\r\n\"no end=\"c\r\n"), 4,
                  "expected '=' after the value name");
  ExpectRefusedAt(RegText("[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=\"ends in a backslash\\"), 4,
                  "unterminated quoted string");
}

TEST(BadMachineFile, HugeHexValueLoadsInReasonableTime) {
  // About 10 MB of text: 3.4 million bytes, 25 to a continued line.
  constexpr size_t kBytes = 3400000;
  std::string text = RegText("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Big]\r\n\"blob\"=hex:");
  text.reserve(text.size() + kBytes * 3 + kBytes / 25 * 5);
  for (size_t i = 0; i < kBytes; ++i) {
    text += "ab";
    if (i + 1 < kBytes) text += (i % 25 == 24) ? ",\\\r\n  " : ",";
  }
  text += "\r\n";
  ASSERT_GT(text.size(), 10u * 1000 * 1000);
  const auto start = std::chrono::steady_clock::now();
  sim::Machine machine;
  sim::RegFileError error;
  ASSERT_TRUE(sim::LoadMachineBytes(text, "big.reg", &machine, &error)) << error.ToString();
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
  EXPECT_LT(seconds.count(), 60.0);
  const sim::RegKey* key = machine.registry.Find(sim::RegRoot::LocalMachine, "SOFTWARE\\Big");
  ASSERT_NE(key, nullptr);
  const sim::RegValue* blob = key->FindValue("blob");
  ASSERT_NE(blob, nullptr);
  EXPECT_EQ(blob->type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(blob->data.size(), kBytes);
  EXPECT_EQ(blob->data.back(), 0xab);

  // The same value on one line of 10 MB, and a bad byte at its very end.
  std::string oneLine = RegText("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Big]\r\n\"blob\"=hex:");
  for (size_t i = 0; i < kBytes; ++i) oneLine += "ab,";
  ExpectRefusedAt(oneLine + "x\r\n", 4, "bad hex byte");
}

TEST(BadMachineFile, BinaryGarbageIsRefused) {
  std::string garbage;
  unsigned state = 12345;
  for (int i = 0; i < 4096; ++i) {
    state = state * 1103515245u + 12345u;
    garbage.push_back(static_cast<char>(state >> 16));
  }
  // No header at all.
  ExpectRefusedAt(garbage, 1, "expected the header line");
  // A header, then garbage: refused somewhere after the header.
  const LoadResult r = Load(RegText(garbage));
  ASSERT_FALSE(r.ok);
  EXPECT_EQ(r.error.file, "bad.reg");
  EXPECT_GE(r.error.line, 2);
  EXPECT_FALSE(r.error.message.empty());
  // UTF-16 big-endian and an empty file.
  ExpectRefusedAt("\xFE\xFF\0W", 1, "big-endian");
  ExpectRefusedAt("", 1, "expected the header line");
}

TEST(BadMachineFile, NulBytesAreRefusedWithTheirLine) {
  static const char kNulValue[] = "[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=\"b\0c\"\r\n";
  ExpectRefusedAt(RegText(std::string(kNulValue, sizeof(kNulValue) - 1)), 4, "NUL character");
  ExpectRefusedAt(std::string("Windows Registry Editor Version 5.00\0\r\n", 39), 1,
                  "expected the header line");
  // UTF-16LE with a NUL character in line 3.
  std::string wide = "\xFF\xFE";
  for (char c : std::string("Windows Registry Editor Version 5.00\r\n\r\n[\0", 42)) {
    wide.push_back(c);
    wide.push_back('\0');
  }
  ExpectRefusedAt(wide, 3, "NUL character");
}

TEST(BadMachineFile, FileThatFailsToLoadIsNeverRun) {
  // The loader leaves the machine as it was: nothing of the file is applied.
  sim::Machine machine = MachineFromText(RegText(DeviceKey("PCI\\A\\1", {kSaa7134Id}, kCaptureKey)));
  const std::string before = sim::WriteRegFile(machine.registry, sim::RegFileFormat::Utf8v5);
  sim::RegFileError error;
  EXPECT_FALSE(sim::LoadMachineBytes(
      RegText("[HKEY_LOCAL_MACHINE\\New]\r\n\"a\"=\"b\"\r\n\"broken\r\n"), "bad.reg", &machine,
      &error));
  EXPECT_EQ(error.line, 5);
  EXPECT_EQ(sim::WriteRegFile(machine.registry, sim::RegFileFormat::Utf8v5), before);
}

// ---- Chanwiz.ini ----

// The texts LoadTexts gives with `ini` as Chanwiz.ini (none: no file).
std::unique_ptr<SimRun> TextsFrom(const std::string* ini) {
  auto run = std::make_unique<SimRun>(MachineFromText(RegText("")));
  if (ini != nullptr) run->platform->MapFile(kIniPath, WriteTempFile(*ini));
  EXPECT_EQ(LoadTexts(*run->platform, run->state), 1);
  return run;
}

TEST(BadTextFile, OverLongLinesAreCut) {
  const std::string longTitle(100 * 1024, 'T');
  const std::string ini = "[1]\r\n" + std::string(100 * 1024, ';') + "\r\n" +
                          "AppTitleName=" + longTitle + "\r\n" + "OKText=" +
                          std::string(100 * 1024, 'O') + "\r\n" + "NoDeviceMsg1 = " +
                          std::string(100 * 1024, 'n') + " \r\n";
  auto run = TextsFrom(&ini);
  EXPECT_EQ(std::string(run->state.AppTitleName), longTitle.substr(0, 127));
  EXPECT_EQ(std::string(run->state.OKText), std::string(15, 'O'));
  EXPECT_EQ(std::string(run->state.NoDeviceMsg1), std::string(255, 'n'));
  EXPECT_STREQ(run->state.CANCELText, "Cancel");
  EXPECT_TRUE(run->platform->OpenKeyPaths().empty());
}

TEST(BadTextFile, OverLongSectionNameAndKeyAreHarmless) {
  const std::string ini = "[" + std::string(100 * 1024, '1') + "]\r\nOKText=no\r\n[1]\r\n" +
                          std::string(100 * 1024, 'K') + "=v\r\nOKText=Yes\r\n";
  auto run = TextsFrom(&ini);
  EXPECT_STREQ(run->state.OKText, "Yes");
}

TEST(BadTextFile, NulBytesEndTheirLine) {
  const std::string ini = std::string("[1]\r\nAppTitleName=Ab\0cd\r\nOKText\0=Bad\r\nCANCELText=Stop\r\n",
                                      54);
  auto run = TextsFrom(&ini);
  EXPECT_STREQ(run->state.AppTitleName, "Ab");
  EXPECT_STREQ(run->state.OKText, "OK");  // the key's line ends before its '='
  EXPECT_STREQ(run->state.CANCELText, "Stop");
}

TEST(BadTextFile, MissingSectionGivesDefaults) {
  const std::string ini = "[39]\r\nAppTitleName=Procedura guidata\r\nOKText=Si\r\n";
  auto run = TextsFrom(&ini);
  EXPECT_STREQ(run->state.AppTitleName, "QL750 Chanwiz Wizard");
  EXPECT_STREQ(run->state.OKText, "OK");
  EXPECT_STREQ(run->state.TVSystemText, "TV System");
}

TEST(BadTextFile, NoFileGivesDefaults) {
  auto run = TextsFrom(nullptr);
  EXPECT_STREQ(run->state.AppTitleName, "QL750 Chanwiz Wizard");
  EXPECT_STREQ(run->state.CANCELText, "Cancel");
  EXPECT_STREQ(run->state.USBUpdateRegFail2,
               "Please reboot your PC and then re-install QL750 WDM Driver.");
}

TEST(BadTextFile, BinaryGarbageGivesDefaultsOrCutTexts) {
  std::string ini;
  unsigned state = 99;
  for (int i = 0; i < 64 * 1024; ++i) {
    state = state * 1103515245u + 12345u;
    ini.push_back(static_cast<char>(state >> 16));
  }
  auto run = TextsFrom(&ini);
  EXPECT_LT(std::strlen(run->state.AppTitleName), sizeof(run->state.AppTitleName));
  EXPECT_STREQ(run->state.OKText, "OK");
  // A UTF-16LE mark on an odd number of bytes: the half character at the
  // end is dropped.
  static const char kOdd[] = "\xFF\xFE[\0" "1\0]\0\n\0O\0K\0T\0e\0x\0t\0=\0Y\0e\0s";
  const std::string oddIni(kOdd, sizeof(kOdd) - 1);
  auto oddRun = TextsFrom(&oddIni);
  EXPECT_STREQ(oddRun->state.OKText, "Ye");
}

// ---- Devices ----

// A device whose values are set as raw registry data.
struct RawDevice {
  std::string path;  // below Enum
  bool hasIds = true;
  DWORD idType = REG_MULTI_SZ;
  std::string idBytes;  // ANSI, stored one UTF-16 unit per byte
  bool hasDriver = true;
  std::string driverBytes;
};

std::vector<BYTE> Widen(const std::string& ansi) {
  std::vector<BYTE> out;
  for (char c : ansi) {
    out.push_back(static_cast<BYTE>(c));
    out.push_back(0);
  }
  return out;
}

sim::Machine MachineWith(const std::vector<RawDevice>& devices) {
  sim::Machine machine = MachineFromText(RegText(""));
  for (const RawDevice& d : devices) {
    sim::RegKey* key = machine.registry.Create(
        sim::RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Enum\\" + d.path, nullptr);
    EXPECT_NE(key, nullptr);
    if (key == nullptr) continue;
    if (d.hasIds) key->SetValue("HardwareID", d.idType, Widen(d.idBytes));
    key->SetValue("ClassGUID", REG_SZ,
                  Widen(std::string("{4d36e96c-e325-11ce-bfc1-08002be10318}") + '\0'));
    if (d.hasDriver) key->SetValue("Driver", REG_SZ, Widen(d.driverBytes));
  }
  return machine;
}

TEST(BadDevices, IdentifierWithoutTerminatorIsReadToItsEnd) {
  SimRun run(MachineWith({{"PCI\\A\\1", true, REG_MULTI_SZ, kSaa7134Id, true,
                           std::string(kCaptureKey)}}));
  EXPECT_EQ(DetectDevicesNt(*run.platform, run.state), 1);
  EXPECT_EQ(run.state.DeviceFlags, kFlagSaa7134);
  EXPECT_EQ(LookupSaa713xKeysNt(*run.platform, run.state), 1);
  // The driver text has no terminator either: set exactly, nothing beyond.
  EXPECT_EQ(run.state.CaptureDriverKey, kCaptureKey);
  EXPECT_EQ(run.state.TunerDriverKey, "");
  // An identifier cut short matches nothing.
  SimRun cut(MachineWith({{"PCI\\A\\1", true, REG_MULTI_SZ, "PCI\\VEN_1131&DEV_71", true,
                           std::string(kCaptureKey)}}));
  EXPECT_EQ(DetectDevicesNt(*cut.platform, cut.state), 0);
  EXPECT_EQ(DetectDevices9x(*cut.platform, cut.state), 0);
}

TEST(BadDevices, OddLengthAndUntypedIdentifiersAreHarmless) {
  sim::Machine machine = MachineWith({{"PCI\\A\\1", true, REG_BINARY, kSaa7134Id, true, kCaptureKey}});
  sim::RegKey* key = machine.registry.Find(sim::RegRoot::LocalMachine,
                                           "SYSTEM\\CurrentControlSet\\Enum\\PCI\\A\\1");
  ASSERT_NE(key, nullptr);
  std::vector<BYTE> odd = Widen(kSaa7134Id);
  odd.push_back('X');
  key->SetValue("HardwareID", REG_MULTI_SZ, odd);
  key->SetValue("Driver", REG_SZ, {0x41});
  SimRun run(std::move(machine));
  EXPECT_EQ(DetectDevicesNt(*run.platform, run.state), 1);
  // The odd byte makes the first identifier one character longer than an
  // SAA713x capture identifier, so the lookup finds no capture device.
  run.state.CaptureDriverKey = "before";
  EXPECT_EQ(LookupSaa713xKeysNt(*run.platform, run.state), 1);
  EXPECT_EQ(run.state.CaptureDriverKey, "before");
}

TEST(BadDevices, EnormousIdentifierListIsReadOrRefused) {
  // A 1 MB list just under the largest property read: read and counted.
  std::string list = kSaa7134Id + '\0';
  while (list.size() < (1u << 20) - 64) list += "PCI\\VEN_DEAD&DEV_BEEF&SUBSYS_00000000&REV_01" + std::string(1, '\0');
  list += '\0';
  SimRun fits(MachineWith({{"PCI\\A\\1", true, REG_MULTI_SZ, list, true, kCaptureKey},
                           {"PCI\\B\\1", true, REG_MULTI_SZ, kSaa7134Id + '\0' + '\0', true,
                            "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0009"}}));
  EXPECT_EQ(DetectDevicesNt(*fits.platform, fits.state), 2);
  EXPECT_EQ(DetectDevices9x(*fits.platform, fits.state), 2);

  // Beyond it: refused, and the walk ends there (as on any read failure).
  std::string huge = kSaa7134Id + '\0' + std::string((1u << 20) + 16, 'x') + '\0' + '\0';
  SimRun over(MachineWith({{"PCI\\A\\1", true, REG_MULTI_SZ, huge, true, kCaptureKey},
                           {"PCI\\B\\1", true, REG_MULTI_SZ, kSaa7134Id + '\0' + '\0', true,
                            "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0009"}}));
  EXPECT_EQ(DetectDevicesNt(*over.platform, over.state), 0);
  EXPECT_EQ(DetectDevices9x(*over.platform, over.state), 0);
  over.state.DeviceFlags = kFlagSaa7134;
  over.state.CaptureDriverKey = "unchanged";
  EXPECT_EQ(LookupSaa713xKeysNt(*over.platform, over.state), 1);
  EXPECT_EQ(LookupSaa713xKeys9x(*over.platform, over.state), 1);
  EXPECT_EQ(over.state.CaptureDriverKey, "unchanged");
}

TEST(BadDevices, LongDriverKeyIsSetExactlyAndWritersSkipIt) {
  const std::string longKey(5000, 'k');
  SimRun run(MachineWith({{"PCI\\A\\1", true, REG_MULTI_SZ, kSaa7134Id + '\0' + '\0', true,
                           longKey + '\0'},
                          {"STREAM\\B\\1", true, REG_MULTI_SZ,
                           "Stream\\PhTVTune.34" + std::string(1, '\0') + '\0', true,
                           std::string(6000, 't') + '\0'}}));
  EXPECT_EQ(DetectDevicesNt(*run.platform, run.state), 1);
  // 9x compares the tuner identifier in upper case: only the capture key.
  EXPECT_EQ(LookupSaa713xKeys9x(*run.platform, run.state), 1);
  EXPECT_EQ(run.state.CaptureDriverKey, longKey);
  EXPECT_EQ(run.state.TunerDriverKey, "");
  EXPECT_EQ(LookupSaa713xKeysNt(*run.platform, run.state), 1);
  EXPECT_EQ(run.state.CaptureDriverKey, longKey);
  EXPECT_EQ(run.state.TunerDriverKey, std::string(6000, 't'));
  const std::string before =
      sim::WriteRegFile(run.platform->FinalRegistry(), sim::RegFileFormat::Utf8v5);
  // Nothing may be written, so no writer has a failure to show.
  const ShowWriteFailure show = [](const char* text) { ADD_FAILURE() << text; };
  WriteSaa713xSettingsNt(*run.platform, run.state, show);
  WriteSaa713xSettings9x(*run.platform, run.state, show);
  WriteCx2388xSettingsNt(*run.platform, run.state, show);
  WriteCx2388xSettings9x(*run.platform, run.state, show);
  WriteBt878aSettingsNt(*run.platform, run.state, show);
  WriteBt878aSettings9x(*run.platform, run.state, show);
  WriteUsbSettingsNt(*run.platform, run.state, show);
  WriteUsbSettings9x(*run.platform, run.state, show);
  EXPECT_EQ(sim::WriteRegFile(run.platform->FinalRegistry(), sim::RegFileFormat::Utf8v5), before);
  EXPECT_FALSE(run.platform->halt().has_value());
  EXPECT_TRUE(run.platform->OpenKeyPaths().empty());
  // No open of a key path was even tried.
  for (const std::string& call : run.platform->calls()) {
    EXPECT_NE(call, "RegOpenKeyExA");
    EXPECT_NE(call, "RegOpenKeyA");
  }
}

TEST(BadDevices, MissingOrHugeDriverLeavesKeysUnchanged) {
  SimRun run(MachineWith({{"PCI\\A\\1", true, REG_MULTI_SZ, kSaa7134Id + '\0' + '\0', false, ""},
                          {"PCI\\B\\1", true, REG_MULTI_SZ, kSaa7134Id + '\0' + '\0', true,
                           std::string((1u << 20) + 1, 'd')}}));
  run.state.DeviceFlags = kFlagSaa7134;
  run.state.CaptureDriverKey = "unchanged";
  EXPECT_EQ(LookupSaa713xKeysNt(*run.platform, run.state), 1);
  EXPECT_EQ(run.state.CaptureDriverKey, "unchanged");
  EXPECT_EQ(LookupSaa713xKeys9x(*run.platform, run.state), 1);
  EXPECT_EQ(run.state.CaptureDriverKey, "unchanged");
}

TEST(BadDevices, WholeRunWithLongDriverKeyEndsWithoutWrites) {
  // TV system path, first standard, no restart: the long key is skipped by
  // every writer and the run still ends by itself.
  const std::string body = DeviceKey("PCI\\VEN_1131&DEV_7134&SUBSYS_00000000&REV_01\\1",
                                     {kSaa7134Id}, std::string(5000, 'k'));
  SimRun run(MachineFromText(RegText(body)), "click 1015; click 1; click 1023; click 1");
  run.Run();
  EXPECT_TRUE(run.platform->OpenKeyPaths().empty());
  if (run.platform->halt()) GTEST_SKIP() << run.platform->halt()->message;
  const std::string after =
      sim::WriteRegChanges(run.before, run.platform->FinalRegistry(), sim::RegFileFormat::Utf8v5);
  EXPECT_EQ(after.find(std::string(300, 'k')), std::string::npos) << after;
}

}  // namespace
}  // namespace cw::test
