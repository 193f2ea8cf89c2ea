// What the files of the recording platform share.
#pragma once

#include <cctype>
#include <string>

namespace cw::recording {

// For comparing paths without regard to case.
inline std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace cw::recording
