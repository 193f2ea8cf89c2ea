// Records in the maker's key that the wizard has run.
#include "platform/raii.h"
#include "platform/win_constants.h"
#include "writers/family_writers.h"

namespace cw {

namespace {
constexpr const char* kMakerKey = "SOFTWARE\\Morvex Multimedia\\Common";
constexpr const char* kCompletedValue = "UpdateChanwiz";
// The result tells whether the maker's key was there, not whether the
// marker landed: no message is shown for it either way.
void WriteMarker(Platform& platform, HKEY key) {
  const DWORD one = 1;
  static_cast<void>(platform.RegSetValueExA(key, kCompletedValue, 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(&one), sizeof(one)));
  static_cast<void>(platform.RegFlushKey(key));
}

}  // namespace

int32_t MarkWizardCompleted(Platform& platform) {
  RegKeyHandle key(platform);
  if (key.Open(HKEY_LOCAL_MACHINE, kMakerKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
    WriteMarker(platform, key.get());
    return 1;
  }
  DWORD disposition = 0;
  if (key.Create(HKEY_LOCAL_MACHINE, kMakerKey, KEY_ALL_ACCESS, &disposition) == ERROR_SUCCESS)
    WriteMarker(platform, key.get());
  return 0;
}

}  // namespace cw
