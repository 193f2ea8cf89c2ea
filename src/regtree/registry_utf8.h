// UTF-8 decoding as the registry's names and its text encodings both need it.
#pragma once

#include <cstddef>
#include <string_view>

namespace cw::sim::utf8 {

inline constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at text[*pos]. Malformed input (overlong forms,
// surrogates, truncated sequences, values past U+10FFFF) yields false with
// *pos advanced by one byte, so every byte is consumed exactly once.
bool DecodeUtf8(std::string_view text, size_t* pos, char32_t* cp);

}  // namespace cw::sim::utf8
