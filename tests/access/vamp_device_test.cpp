// The SAA713x component probe against the simulated "34com.dll".
#include <gtest/gtest.h>

#include <algorithm>

#include "access/probe_fixture.h"
#include "access/vamp_device.h"
#include "platform/win_constants.h"

namespace cw::test {
namespace {

constexpr const char* kCreate = "CoCreateInstance B8A9279E context 3";
constexpr int kUnchanged = 5;  // the variant preset before the probe

TEST(Saa713xProbe, OutcomesOfTheComponent) {
  // On NT or 9x, with or without the Vamp key; the probe's result, the
  // variant after it, its boxes and how many regsvr32 it started.
  struct Case {
    const char* name;
    bool nt, installed;
    std::string vamp, sim;
    std::vector<sim::Fault> faults;
    int result, variant;
    std::vector<std::string> boxes;
    int registrations;
  };
  const std::string unreg = Dword("Registered", 0), item1 = Dword("Item22", 1);
  const int none = kUnchanged;
  const std::string missing =
      "Can't find 34Com.dll file.\n\nPlease check your hardware or drivers.  | QL750 Chanwiz Wizard | 0";
  const std::string open = "Cannot open device | get_Device failure | 16",
                    noIf = "Cannot get IVampDevice | QueryInterface failure | 16";
  const Case cases[] = {
      {"present, answering 1", true, true, item1, "", {}, 1, 3, {}, 0},
      {"present on 9x, answering 1", false, true, item1, "", {}, 1, 3, {}, 0},
      {"answering 2", true, true, Dword("Item22", 2), "", {}, 1, 0, {}, 0},
      {"answering -1", true, true, Dword("Item22", 0xFFFFFFFF), "", {}, 1, 0, {}, 0},
      {"the second of two devices is not asked", true, true, Dword("DeviceCount", 2) + item1, "", {}, 1, 3, {}, 0},
      {"not installed on 9x", false, false, "", "", {}, 0, none, {}, 0},
      {"not registered on 9x", false, true, unreg + item1, "", {}, 0, none, {}, 0},
      {"regsvr32 not found", true, false, "", Dword("Regsvr32", 0), {}, 1, none, {missing}, 1},
      {"regsvr32 path not found", true, true, unreg, "", {{"CreateProcessA", 1, 3}}, 1, none, {missing}, 1},
      {"regsvr32 refused otherwise", true, true, unreg, "", {{"CreateProcessA", 1, 5}}, 1, none, {}, 1},
      {"no system folder", true, true, unreg, "", {{"GetSystemDirectoryA", 1, 5}}, 1, none, {}, 0},
      {"started, but not installed", true, false, "", "", {}, 0, none, {}, 1},
      {"started, but registering fails", true, true, unreg + Dword("RegisterSucceeds", 0) + item1, "", {}, 0,
       none, {}, 1},
      {"registered by the registration", true, true, unreg + item1, "", {}, 1, 3, {}, 1},
      {"no device listed", true, true, Dword("DeviceCount", 0), "", {}, 0, none, {}, 1},
      {"get_Device fails", true, true, Dword("GetDeviceFails", 1), "", {}, 0, none, {open, open}, 1},
      {"get_Device fails once", true, true, item1, "", {{"VampDevices.get_Device", 1, 0x80004005u}}, 1, 3,
       {open}, 1},
      {"no IVampDevice", true, true, Dword("QueryInterfaceFails", 1), "", {}, 0, none, {noIf, noIf}, 1},
      {"method 21 fails", true, true, Dword("ItemObjectFails", 1) + item1, "", {}, 1, 0, {}, 0},
      {"no item interface", true, true, Dword("ItemInterfaceNull", 1) + item1, "", {}, 1, 0, {}, 0},
      {"a null item interface given as success", true, true, Dword("ItemInterfaceNull", 2) + item1, "",
       {}, 1, 0, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeRun run(ProbeMachine("", c.vamp, c.sim, c.installed), c.nt);
    for (const sim::Fault& f : c.faults) run.platform.AddFault(f);
    run.state.TunerVariant = kUnchanged;
    EXPECT_EQ(ProbeSaa713xTuner(run.platform, run.state), c.result);
    EXPECT_EQ(run.state.TunerVariant, c.variant);
    EXPECT_EQ(run.platform.boxes, c.boxes);
    EXPECT_EQ(run.platform.Count("CreateProcessA"), c.registrations);
    // The component is created in process, asking for the device list; once
    // more after a registration that started, which is waited for in between.
    const bool started = !run.platform.started.empty();
    EXPECT_EQ(run.platform.Count(kCreate), started ? 2 : 1);
    EXPECT_EQ(run.platform.Count("WaitForSingleObject"), started ? 1 : 0);
    auto at = run.platform.log.begin();
    if (started)
      for (const char* entry : {kCreate, "CreateProcessA", "WaitForSingleObject process 10000", kCreate}) {
        at = std::find_if(at, run.platform.log.end(),
                          [&](const std::string& e) { return e.rfind(entry, 0) == 0; });
        ASSERT_NE(at++, run.platform.log.end()) << entry;
      }
    run.ExpectCleanEnd();
  }
}

// regsvr32 is run by its full path in the system folder, whatever that is;
// a folder that does not fit MAX_PATH starts nothing.
TEST(Saa713xProbe, Regsvr32IsRunFromTheSystemFolder) {
  struct Case { std::string systemDirectory, application; int variant; };  // application "": none started
  const std::string longest = "C:\\" + std::string(256, 's');  // 259 bytes and the terminator
  const Case cases[] = {
      {"D:\\Program Files\\WINNT\\System32", "D:\\Program Files\\WINNT\\System32\\regsvr32.exe", 3},
      // The simulation finds no regsvr32.exe under a folder given with its
      // separator; the program must still not double it.
      {"C:\\WINDOWS\\system32\\", "C:\\WINDOWS\\system32\\regsvr32.exe", kUnchanged},
      {longest, longest + "\\regsvr32.exe", 3},
      {longest + "s", "", kUnchanged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.systemDirectory.size());
    ProbeRun run(ProbeMachine("", Dword("Registered", 0) + Dword("Item22", 1),
                              Sz("SystemDirectory", c.systemDirectory)));
    run.state.TunerVariant = kUnchanged;
    EXPECT_EQ(ProbeSaa713xTuner(run.platform, run.state), 1);
    const std::string& app = c.application;
    EXPECT_EQ(run.platform.Count("CreateProcessA"), app.empty() ? 0 : 1);
    EXPECT_EQ(run.platform.Count("CreateProcessA [" + app + "] [\"" + app + "\" /s 34com.dll] show 0"),
              app.empty() ? 0 : 1);
    EXPECT_EQ(run.state.TunerVariant, c.variant);
    run.ExpectCleanEnd();
  }
}

TEST(Saa713xProbe, TheItemInterfaceIsFetchedOnceAndReused) {
  ProbeRun run(ProbeMachine("", Dword("Item22", 1)));
  VampProbe probe(run.platform);
  ASSERT_EQ(probe.OpenVampDevice(), 1);
  EXPECT_TRUE(probe.QueryVampItem(22));
  EXPECT_TRUE(probe.QueryVampItem(22));
  EXPECT_FALSE(probe.QueryVampItem(21));
  EXPECT_EQ(run.platform.Calls("IVampDevice.ItemObject"), 1);
  EXPECT_EQ(run.platform.Calls("VampItem.Query"), 3);
}

// The wizard asks the probe of its board: the component on a SAA713x board
// (without one, regsvr32 runs once, silently, and the variant stays), the
// register on a Cx23880 board.
TEST(Probes, TheBoardOnItsMachineEndToEnd) {
  struct Case { const char* sample; Family family; bool installed; int variant; };
  const Case cases[] = {{"saa7134-xp-italy.reg", Family::Saa713x, true, 3},
                        {"saa7134-xp-italy.reg", Family::Saa713x, false, 0},
                        {"cx2388x-xp-germany.reg", Family::Cx2388x, false, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sample) + (c.installed ? " installed" : ""));
    sim::Machine m = MachineFromSample(c.sample);
    m.config.vamp = sim::VampConfig{};  // the sample's own component is replaced
    m.config.vamp.registered = c.installed;
    m.config.vamp.deviceCount = 1;
    m.config.vamp.item22 = 1;
    m.config.captureFilter.friendlyNames = {"Conexant 2388x Video Capture"};
    m.config.captureFilter.registers[0x350018] = 0x40;
    SimRun run(std::move(m), "click 1016; click 1; click 1");
    run.Run();
    EXPECT_EQ(run.app->family_run(), c.family);
    EXPECT_EQ(run.app->TunerVariant, c.variant);
    EXPECT_TRUE(run.Events("messagebox").empty());
    EXPECT_EQ(run.Events("process").size(), c.family == Family::Saa713x && !c.installed ? 1u : 0u);
    EXPECT_EQ(run.platform->components().LiveObjects(), std::vector<std::string>{});
    EXPECT_EQ(run.platform->components().problems(), std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace cw::test
