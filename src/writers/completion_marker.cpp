// Records in the maker's key that the wizard has run.
#include "writers/family_writers.h"

#include "platform/raii.h"
#include "platform/win_constants.h"

namespace cw {

namespace {
constexpr const char* kMakerKey = "SOFTWARE\\Morvex Multimedia\\Common";
constexpr const char* kCompletedValue = "UpdateChanwiz";
}  // namespace

int32_t MarkWizardCompleted(Platform& platform) {
  const DWORD one = 1;
  RegKeyHandle key(platform);
  if (platform.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, KEY_ALL_ACCESS, key.receive()) ==
      ERROR_SUCCESS) {
    platform.RegSetValueExA(key.get(), kCompletedValue, 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&one), sizeof(one));
    platform.RegFlushKey(key.get());
    return 1;
  }
  DWORD disposition = 0;
  if (platform.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, key.receive(), &disposition) == ERROR_SUCCESS) {
    platform.RegSetValueExA(key.get(), kCompletedValue, 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&one), sizeof(one));
    platform.RegFlushKey(key.get());
  }
  return 0;
}

}  // namespace cw
