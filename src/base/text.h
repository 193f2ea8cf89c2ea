// Small text helpers for the ASCII that identifiers, key names, INI keys and
// options are made of, and bounded copies into fixed buffers. Bytes from 0x80
// up are left as they are: they belong to a code page, not to ASCII.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cw {

char LowerAscii(char c);
char UpperAscii(char c);
std::string Lower(std::string text);
std::string Upper(std::string text);

bool EqualsNoCase(std::string_view a, std::string_view b);
// -1, 0 or 1, as the texts compare with their letters lowered.
int CompareNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// Space and tab, as the profile and .reg readers see blanks.
bool IsBlank(char c);
std::string_view TrimBlanks(std::string_view text);
std::string_view TrimBlanksLeft(std::string_view text);
std::string_view TrimBlanksRight(std::string_view text);
// Every ASCII white space: blanks, CR, LF, VT and FF.
std::string_view TrimSpace(std::string_view text);

// Copies `text` into a fixed buffer, cut to the buffer's capacity less one,
// always terminated. A null text leaves the buffer empty.
void CopyBounded(char* buffer, size_t capacity, const char* text);
template <size_t N>
void CopyText(char (&buffer)[N], const char* text) {
  CopyBounded(buffer, N, text);
}

}  // namespace cw
