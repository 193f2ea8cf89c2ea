// What reading and writing .reg files share: the headers of the two
// formats and the ANSI text of REGEDIT4 files.
#pragma once

#include <string_view>
#include <vector>

#include "platform/win_constants.h"
#include "regtree/reg_file.h"

namespace cw::sim::regfile {

inline constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kHeader4 = "REGEDIT4";

// Single-byte ANSI text to the UTF-16LE bytes the registry holds, byte for
// byte, so terminators and list structure survive.
inline std::vector<BYTE> AnsiBytesToUtf16(const std::vector<BYTE>& ansi) {
  const std::string asText(ansi.begin(), ansi.end());
  return Utf8ToUtf16Le(AnsiToUtf8(asText));
}

inline bool IsAnsiStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace cw::sim::regfile
