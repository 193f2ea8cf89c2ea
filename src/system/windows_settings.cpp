#include "system/windows_settings.h"

#include <cstdio>

#include "platform/raii.h"
#include "platform/win_constants.h"

namespace cw {

int32_t IsNtFamilyOs(Platform& platform) {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  platform.GetVersionExA(&info);
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 5 ? 1 : 0;
}

int32_t IsWin9xOs(Platform& platform) {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  platform.GetVersionExA(&info);
  return info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? 1 : 0;
}

int32_t GetWindowsCountryCode(Platform& platform, int32_t isNtFamily) {
  if (!isNtFamily) {
    char folder[128] = {};
    UINT length = platform.GetWindowsDirectoryA(folder, sizeof(folder));
    char path[160] = {};
    if (length > 0 && length < sizeof(folder))
      std::snprintf(path, sizeof(path), "%s\\win.ini", folder);
    else
      std::snprintf(path, sizeof(path), "win.ini");  // the profile API looks in the Windows folder
    return static_cast<int32_t>(platform.GetPrivateProfileIntA("intl", "iCountry", 1, path));
  }
  return ReadNtCountrySetting(platform);
}

int32_t ReadNtCountrySetting(Platform& platform) {
  RegKeyHandle key(platform);
  if (key.OpenLegacy(HKEY_CURRENT_USER, "Control Panel\\International") != ERROR_SUCCESS) return 1;
  char data[30] = {};
  DWORD type = REG_SZ;
  DWORD size = sizeof(data);
  if (platform.RegQueryValueExA(key.get(), "iCountry", &type, reinterpret_cast<BYTE*>(data),
                                &size) != ERROR_SUCCESS)
    return 1;
  int32_t code = 0;
  bool digits = false;
  for (size_t i = 0; i < 5 && i < size && i < sizeof(data) && data[i] >= '0' && data[i] <= '9';
       ++i) {
    code = code * 10 + (data[i] - '0');
    digits = true;
  }
  return digits ? code : 1;
}

}  // namespace cw
