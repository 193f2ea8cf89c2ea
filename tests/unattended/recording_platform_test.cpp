// The recorder between the wizard and Windows: it keeps exactly what changed, and a dry run
// leaves the registry untouched while showing the same changes.
#include "unattended/recording_platform.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "regtree/reg_file.h"
#include "regtree/undo.h"
#include "platform/win_constants.h"
#include "support/sim_harness.h"
#include "support/tree_compare.h"
#include "support/unattended_run.h"

namespace cw::test {
namespace {

using sim::RegFileFormat;

struct Case { const char *sample, *script; };

// Every family on both Windows families, the marker key created or found,
// access lists that deny, values missing, and runs that write nothing.
const Case kCases[] = {
    {"saa7134-xp-italy.reg", "click 1016; select 1021 8; select 1019 11; click 1; click 1023; click 1"},
    {"saa7134-xp-italy.reg", "click 1015; select 1012 11; click 1; click 1023; click 1"},
    {"saa7134-98-italy.reg", "click 1016; click 1; click 1023; click 1"},
    {"saa7134-nt4.reg", "click 1015; click 1; click 1023; click 1"},
    {"saa7134-xp-italy-tn.reg", "click 1016; click 1; click 1023; click 1"},
    {"cx2388x-xp-germany.reg", "click 1016; select 1021 6; select 1019 1; click 1; click 1023; click 1"},
    {"cx2388x-xp-germany-deny.reg", "click 1016; click 1; click 1023; click 1"},
    {"cx2388x-98-germany.reg", "click 1015; click 1; click 1023; click 1"},
    {"bt878a-xp-uk.reg", "click 1015; select 1012 2; click 1; click 1023; click 1"},
    {"bt878a-98-uk.reg", "click 1016; click 1; click 1023; click 1"},
    {"usb2821-xp-china.reg", "click 1015; select 1012 9; click 1"},
    {"usb2800-xp-usa.reg", "click 1016; click 1"},
    {"usb2800-98-usa.reg", "click 1016; click 1"},
    {"nodevice-xp.reg", ""},
    {"two-saa7134-xp.reg", ""},
    {"saa7134-xp-italy.reg", "click 1016; click 2"},
    // 64-bit Windows: the marker in the 32-bit view, by its real path.
    {"saa7134-x64-italy-tn.reg", "click 1016; click 1; click 1023; click 1"},
    {"cx2388x-x64-germany.reg", "click 1015; click 1; click 1023; click 1"},
    {"bt878a-x64-uk.reg", "click 1016; click 1; click 1023; click 1"},
    {"usb2821-x64-china.reg", "click 1015; select 1012 9; click 1"},
};

// The case's script as the options; a dry run when asked.
std::vector<std::string> Options(const char* script, bool dry = false) {
  std::vector<std::string> options;
  if (*script) options = {"--answers", script};
  if (dry) options.push_back("--dry-run");
  return options;
}

// A dry run changes nothing, access lists included, and shows the real run's changes, pages
// and boxes.
TEST(Recorder, KeepsTheChangesTheRegistryShowsAndADryRunMakesNone) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.sample) + ": " + c.script);
    UnattendedSimRun real(c.sample, Options(c.script));
    EXPECT_EQ(real.RecordedChanges(), real.WholeChanges());
    EXPECT_EQ(sim::WriteRegUndo(real.recorder->before(), real.recorder->after(), RegFileFormat::Utf8v5),
              sim::WriteRegUndo(real.before, real.platform->FinalRegistry(), RegFileFormat::Utf8v5));
    EXPECT_TRUE(real.recorder->failedWrites().empty());
    EXPECT_TRUE(real.recorder->unknownOldValues().empty());

    UnattendedSimRun dry(c.sample, Options(c.script, true));
    const sim::RegistryTree& after = dry.platform->FinalRegistry();
    EXPECT_TRUE(TreesEqual(dry.before, after));
    dry.before.ForEachKey([&](sim::RegRoot root, const std::string& path, const sim::RegKey& key) {
      const sim::RegKey* now = after.Find(root, path);
      EXPECT_TRUE(key.security().empty() || (now && now->security() == key.security())) << path;
    });
    EXPECT_EQ(dry.RecordedChanges(), real.WholeChanges());
    EXPECT_EQ(dry.platform->transcript().Text(), real.platform->transcript().Text());
    EXPECT_TRUE(dry.platform->OpenKeyPaths().empty());
  }
}

TEST(Recorder, WithoutOldValuesMakesNoCallOfItsOwn) {
  const char* script = "click 1016; click 1; click 1023; click 1";
  SimRun alone(MachineFromSample("cx2388x-xp-germany.reg"), script);
  alone.Run();
  UnattendedSimRun recorded(MachineFromSample("cx2388x-xp-germany.reg"), Options(script), {"", 0, 0},
                            /*keepOldValues=*/false);
  EXPECT_EQ(recorded.platform->calls(), alone.platform->calls());
}

TEST(Recorder, AFailedSetIsKeptAndLeavesTheValueAsItWas) {
  // The fourth set: after the saved-access record's two.
  UnattendedSimRun run("bt878a-xp-uk.reg", Options("click 1016; click 1; click 1023; click 1"),
                       {"RegSetValueExA", 4, 5});
  const auto& failed = run.recorder->failedWrites();
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].operation, "RegSetValueExA");
  EXPECT_EQ(failed[0].error, 5);
  EXPECT_NE(failed[0].key.find("\\Control\\Class\\"), std::string::npos);
  // The failed value is not shown as changed (nor as deleted).
  EXPECT_EQ(run.RecordedChanges(), run.WholeChanges());
}

// Stopped or dry, the recorder leaves the registry as it was; the dry run still reads back
// what it set and answers like Windows.
TEST(Recorder, StoppedOrDryItLeavesTheRegistryAsItWas) {
  sim::Machine machine = MachineFromSample("saa7134-xp-italy.reg");
  sim::ScriptAnswers none({});
  sim::SimPlatform platform(machine, &none);
  RecordingPlatform stopped(platform, RecordingPlatform::Mode::Apply);
  RecordingPlatform recorder(platform, RecordingPlatform::Mode::DryRun);
  stopped.SetStopped([] { return true; });
  HKEY key = HKEY(0), created = HKEY(0), again = HKEY(0), readOnly = HKEY(0);
  ASSERT_EQ(stopped.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Class\\"
                                  "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0002", 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  const sim::RegistryTree before = machine.registry;
  const BYTE text[] = "X";
  EXPECT_EQ(stopped.RegSetValueExA(key, "TunerType", 0, REG_SZ, text, sizeof(text)), ERROR_SUCCESS);
  DWORD disposition = 0;
  EXPECT_EQ(stopped.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, 0, KEY_ALL_ACCESS, &created,
                                    &disposition),
            ERROR_ACCESS_DENIED);
  EXPECT_FALSE(stopped.ExitWindowsEx(EWX_REBOOT, 0));
  char commandLine[] = "regsvr32.exe /s 34com.dll";
  PROCESS_INFORMATION started = {};
  EXPECT_FALSE(stopped.CreateProcessA("C:\\WINDOWS\\system32\\regsvr32.exe", commandLine, 0, SW_HIDE,
                                      &started));
  EXPECT_TRUE(platform.transcript().lines().empty());
  EXPECT_TRUE(stopped.writtenValues().empty());
  stopped.RegCloseKey(key);

  ASSERT_EQ(recorder.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker\\Sub", 0, 0, KEY_ALL_ACCESS,
                                     &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  const BYTE one[4] = {1, 0, 0, 0};
  ASSERT_EQ(recorder.RegSetValueExA(key, "Flag", 0, REG_DWORD, one, sizeof(one)), ERROR_SUCCESS);
  DWORD type = 0, value = 0, size = sizeof(value);
  ASSERT_EQ(recorder.RegQueryValueExA(key, "Flag", &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(value, 1u);
  // Too small a buffer: the size needed, as Windows reports it.
  BYTE small[2];
  size = sizeof(small);
  EXPECT_EQ(recorder.RegQueryValueExA(key, "Flag", &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(recorder.RegQueryValueExA(key, "Other", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  // The same key again is the one the dry run made.
  ASSERT_EQ(recorder.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker\\Sub", 0, 0, KEY_ALL_ACCESS,
                                     &again, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(recorder.RegCloseKey(again), ERROR_SUCCESS);
  EXPECT_EQ(recorder.RegCloseKey(key), ERROR_SUCCESS);
  // Deleting the subkey forgets its values only: the parent's still read back.
  ASSERT_EQ(recorder.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker", 0, 0, KEY_ALL_ACCESS, &key,
                                     &disposition),
            ERROR_SUCCESS);
  ASSERT_EQ(recorder.RegSetValueExA(key, "Flag", 0, REG_DWORD, one, sizeof(one)), ERROR_SUCCESS);
  EXPECT_EQ(recorder.RegDeleteKeyA(key, "Sub"), ERROR_SUCCESS);
  size = sizeof(value);
  EXPECT_EQ(recorder.RegQueryValueExA(key, "Flag", &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(recorder.RegCloseKey(key), ERROR_SUCCESS);

  // A key opened for reading only cannot be written, dry run or not.
  ASSERT_EQ(recorder.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
  EXPECT_EQ(recorder.RegSetValueExA(readOnly, "X", 0, REG_DWORD, one, sizeof(one)), ERROR_ACCESS_DENIED);
  EXPECT_EQ(recorder.RegCloseKey(readOnly), ERROR_SUCCESS);

  // A dry run restarts nothing but says a restart was asked for; a real run
  // restarts (a log-off: no privilege needed) and says so.
  EXPECT_TRUE(recorder.ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_TRUE(recorder.restartRequested());
  EXPECT_TRUE(platform.transcript().lines().empty());
  RecordingPlatform applied(platform, RecordingPlatform::Mode::Apply);
  EXPECT_TRUE(applied.ExitWindowsEx(0, 0));
  EXPECT_TRUE(applied.restartRequested());
  EXPECT_EQ(platform.transcript().lines().size(), 1u);

  EXPECT_TRUE(TreesEqual(before, machine.registry));
  EXPECT_TRUE(platform.OpenKeyPaths().empty());
  // Only the new key's topmost part is undone.
  const std::string undo = sim::WriteRegUndo(recorder.before(), recorder.after(), RegFileFormat::Utf8v5);
  EXPECT_NE(undo.find("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Maker]"), std::string::npos) << undo;
  EXPECT_EQ(undo.find("[-HKEY_LOCAL_MACHINE\\SOFTWARE]"), std::string::npos) << undo;
}

TEST(Recorder, ListsTheDevicesWindowsListed) {
  UnattendedSimRun run("saa7133-and-usb-xp.reg", {});
  std::string ids;
  for (const auto& device : run.recorder->devices()) ids += Upper(device.hardwareId) + "\n";
  EXPECT_NE(ids.find("DEV_7133"), std::string::npos) << ids;
  EXPECT_NE(ids.find("USB\\VID_EB1A"), std::string::npos) << ids;
}

// Old text read through an "A" call is exact only in Windows-1252 and without a '?' Windows
// may have put in for a character: the undo must not put back a guess.
struct CodePagePlatform : ForwardingPlatform {
  CodePagePlatform(Platform& inner, UINT codePage) : ForwardingPlatform(inner), acp(codePage) {}
  UINT GetACP() override { return acp; }
  UINT acp;
};

TEST(Recorder, OldTextThatMayNotBeExactIsNotKept) {
  // The old TunerType (UTF-8), the code page, part of why it is not kept ("": exact).
  struct Case { const char *sample, *tunerType; UINT acp; const char* why; };
  const Case cases[] = {
      {"saa7134-xp-italy.reg", "FM1236 \xC3\xA9", 1252, ""},
      {"saa7134-xp-italy.reg", "FM1236 \xC3\xA9", 1251, "code page 1251"},
      {"saa7134-98-italy.reg", "FM1236 \xC3\xA9", 1250, "code page 1250"},
      {"saa7134-xp-italy.reg", "FM1236 ?", 1252, "'?'"},
      // Windows 9x keeps ANSI text as it is: a '?' there is a '?'.
      {"saa7134-98-italy.reg", "FM1236 ?", 1252, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sample) + " " + c.tunerType + " " + std::to_string(c.acp));
    sim::Machine machine = MachineFromSample(c.sample);
    int found = 0;
    machine.registry.ForEachKey([&](sim::RegRoot, const std::string&, const sim::RegKey& key) {
      const sim::RegValue* v = key.FindValue("TunerType");
      if (v && v->type == REG_SZ && ++found)
        const_cast<sim::RegKey&>(key).SetValue("TunerType", REG_SZ, sim::StringData(c.tunerType));
    });
    ASSERT_GT(found, 0);
    SimRun run(std::move(machine), "click 1016; click 1; click 1023; click 1");
    CodePagePlatform windows(*run.platform, c.acp);
    RecordingPlatform recorder(windows, RecordingPlatform::Mode::Apply);
    WizardApp app(recorder, {});
    app.Run();
    const auto& unread = recorder.unknownOldValues();
    ASSERT_EQ(unread.size(), *c.why ? 1u : 0u);
    if (!*c.why) continue;
    EXPECT_EQ(unread[0].value, "TunerType");
    EXPECT_NE(unread[0].why.find(c.why), std::string::npos) << unread[0].why;
    const std::string undo = sim::WriteRegUndo(recorder.before(), recorder.after(),
                                               RegFileFormat::Utf8v5, unread);
    EXPECT_NE(undo.find("; NOT PUT BACK: " + unread[0].key + ", value \"TunerType\""),
              std::string::npos);
    EXPECT_EQ(undo.find("\"TunerType\"="), std::string::npos) << undo;
  }
}

}  // namespace
}  // namespace cw::test
