// The NT family's country setting, as both the texts and the country page
// read it.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace cw {

// HKCU\Control Panel\International "iCountry" read as its leading decimal
// digits, at most five. When the key or value cannot be read, or holds no
// digit, the code is 1 (as on 9x when win.ini has none): letters must not
// become a country code that the TV System path writes into the drivers.
int32_t ReadNtCountrySetting(Platform& platform);

}  // namespace cw
