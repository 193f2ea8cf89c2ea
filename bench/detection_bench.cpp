// How the wizard's walks over the present devices scale, and what one whole
// scripted run costs on the simulated Windows. Figures, not tests: run
// build/native/bench/chanwiz_bench.
#include <benchmark/benchmark.h>

#include <string>

#include "app/wizard_app.h"
#include "app/dialog_templates.h"
#include "platform/sim/machine.h"
#include "regtree/reg_file.h"
#include "platform/sim/sim_platform.h"

namespace {

using namespace cw;

// A machine of `devices` present devices, one of them an SAA7134 board with
// its tuner, the rest ordinary PCI functions.
sim::Machine MachineWith(int devices) {
  sim::Machine m;
  const std::string enumRoot = "SYSTEM\\CurrentControlSet\\Enum\\";
  const std::string media = "{4d36e96c-e325-11ce-bfc1-08002be10318}";
  for (int i = 0; i < devices; ++i) {
    std::string id;
    std::string driver = media + "\\" + std::to_string(1000 + i);
    if (i == devices / 2)
      id = "PCI\\VEN_1131&DEV_7134&SUBSYS_01381131&REV_01";
    else if (i == devices / 2 + 1)
      id = "Stream\\PhTVTune.34";
    else
      id = "PCI\\VEN_8086&DEV_" + std::to_string(1000 + i % 9000) + "&SUBSYS_00000000&REV_01";
    bool created = false;
    sim::RegKey* key = m.registry.Create(sim::RegRoot::LocalMachine,
                                         enumRoot + "PCI\\DEV" + std::to_string(i) + "\\3&1&0", &created);
    key->SetValue("HardwareID", 7, sim::MultiStringData({id, "PCI\\CC_0400"}));
    key->SetValue("ClassGUID", 1, sim::StringData(media));
    key->SetValue("Driver", 1, sim::StringData(driver));
  }
  return m;
}

void BM_DetectAndLookup(benchmark::State& state) {
  const int devices = static_cast<int>(state.range(0));
  sim::Machine machine = MachineWith(devices);
  sim::SimPlatform platform(machine, nullptr);
  WizardApp app(platform, {});
  for (auto _ : state) {
    app.DeviceFlags = 0;
    benchmark::DoNotOptimize(app.DetectDevicesNt());
    app.LookupSaa713xKeysNt();
  }
  state.SetItemsProcessed(state.iterations() * devices);
  state.counters["per_device"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * devices,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DetectAndLookup)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_WholeScriptedRun(benchmark::State& state) {
  sim::Machine original;
  sim::RegFileError error;
  if (!sim::LoadMachineFile(std::string(CHANWIZ_SOURCE_DIR) + "/samples/saa7134-xp-italy.reg", &original,
                            &error)) {
    state.SkipWithError(error.ToString().c_str());
    return;
  }
  std::vector<sim::ScriptStep> steps;
  std::string problem;
  sim::ParseScript("click 1016; click 1; click 1023; click 1", &steps, &problem);
  for (auto _ : state) {
    sim::Machine machine;
    machine.registry = original.registry;
    machine.config.vamp = original.config.vamp;
    sim::ScriptAnswers answers(steps);
    sim::SimPlatform platform(machine, &answers, nullptr, WizardDialogs());
    WizardApp app(platform, {});
    app.Run();
    benchmark::DoNotOptimize(platform.transcript().lines().size());
  }
}
BENCHMARK(BM_WholeScriptedRun)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
