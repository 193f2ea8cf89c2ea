// The wizard's two hardware probes on the real Windows API, for run-wine.sh.
// usage: wizard_probes.exe saa|cx   prints the result and TunerVariant; exit code
// 10 * TunerVariant + result, TunerVariant starting at 5 (unchanged: 50 + result).
#include "access/cx23880_register.h"
#include "access/vamp_probe.h"
#include "platform/win32/win32_platform.h"
#include "system/windows_settings.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  const bool saa = argc > 1 && std::strcmp(argv[1], "saa") == 0;
  if (!saa && !(argc > 1 && std::strcmp(argv[1], "cx") == 0)) {
    std::fprintf(stderr, "usage: wizard_probes.exe saa|cx\n");
    return 2;
  }
  cw::win32::Win32Platform platform;
  cw::WizardState state;
  state.IsNtFamily = cw::IsNtFamilyOs(platform);
  cw::CopyText(state.AppTitleName, "QL750 Chanwiz Wizard");
  state.TunerVariant = 5;
  const int result = saa ? cw::ProbeSaa713xTuner(platform, state)
                         : cw::ProbeCx2388xTunerVariant(platform, state);
  std::printf("%s probe: result %d, TunerVariant %d\n", saa ? "SAA713x" : "CX2388x", result,
              static_cast<int>(state.TunerVariant));
  std::fflush(stdout);
  return 10 * state.TunerVariant + result;
}
