// What the wizard asks of the running Windows: which family it is, and the
// country set in its regional settings.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace cw {

// 1 on Windows 2000 and later NT-family versions, else 0 (NT 4 is taken as
// 9x: its drivers keep their keys where 9x ones do).
int32_t IsNtFamilyOs(Platform& platform);
// 1 on Windows 95, 98 and ME, else 0.
int32_t IsWin9xOs(Platform& platform);

// The Windows country code: win.ini's [intl] "iCountry" when `isNtFamily`
// is 0, else the NT family's setting.
int32_t GetWindowsCountryCode(Platform& platform, int32_t isNtFamily);

// HKCU\Control Panel\International "iCountry" read as its leading decimal
// digits, at most five. When the key or value cannot be read, or holds no
// digit, the code is 1 (as on 9x when win.ini has none): letters must not
// become a country code that the TV System path writes into the drivers.
int32_t ReadNtCountrySetting(Platform& platform);

}  // namespace cw
