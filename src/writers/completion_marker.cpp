// Records in the maker's key that the wizard has run.
#include "app/wizard_app.h"
#include "platform/raii.h"
#include "platform/win_constants.h"

namespace cw {

namespace {
constexpr const char* kMakerKey = "SOFTWARE\\Morvex Multimedia\\Common";
constexpr const char* kCompletedValue = "UpdateChanwiz";
}  // namespace

// 1 when the maker's key was there already, 0 when it had to be created or
// could not be; no message either way.
int32_t WizardApp::MarkWizardCompleted() {
  const DWORD one = 1;
  RegKeyHandle key(platform_);
  if (platform_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, KEY_ALL_ACCESS, key.receive()) ==
      ERROR_SUCCESS) {
    platform_.RegSetValueExA(key.get(), kCompletedValue, 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&one), sizeof(one));
    platform_.RegFlushKey(key.get());
    return 1;
  }
  DWORD disposition = 0;
  if (platform_.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, key.receive(), &disposition) == ERROR_SUCCESS) {
    platform_.RegSetValueExA(key.get(), kCompletedValue, 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&one), sizeof(one));
    platform_.RegFlushKey(key.get());
  }
  return 0;
}

}  // namespace cw
