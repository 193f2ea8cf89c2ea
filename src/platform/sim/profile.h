// The profile (INI) reading of the simulated Windows, for the simulation
// and its tests.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace cw::sim {

// The file's bytes as the ANSI text the profile calls work on.
std::string ProfileTextFromBytes(const std::string& bytes);

// The value of `key` in the first section named `section` (names compared
// without regard to case); false when there is none.
bool ProfileLookup(const std::string& text, const std::string& section, const std::string& key,
                   std::string* value);

// A profile value as GetPrivateProfileInt reads it.
UINT ProfileInt(const std::string& value);

}  // namespace cw::sim
