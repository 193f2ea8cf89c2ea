// The profile (INI) reading of the simulated Windows, for the simulation
// and its tests.
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace cw::sim {

// The file's bytes as the ANSI text the profile calls work on.
std::string ProfileTextFromBytes(const std::string& bytes);

// A "[name]" header or a "key=value" entry of a profile file, trimmed, in the
// order of the file; blank lines, ";" comments and other lines left out. A
// NUL ends a line.
struct ProfileLine {
  bool isSection;
  std::string name;   // the section's or the key's
  std::string value;  // an entry's, as written (quotes kept)
};
std::vector<ProfileLine> ProfileLines(const std::string& text);

// The value of `key` in the first section named `section` (names compared
// without regard to case); false when there is none.
bool ProfileLookup(const std::string& text, const std::string& section, const std::string& key,
                   std::string* value);

// A profile value as GetPrivateProfileInt reads it.
UINT ProfileInt(const std::string& value);

}  // namespace cw::sim
