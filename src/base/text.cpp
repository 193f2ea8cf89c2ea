#include "base/text.h"

namespace cw {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string Lower(std::string text) {
  for (char& c : text) c = LowerAscii(c);
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = UpperAscii(c);
  return text;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char ca = static_cast<unsigned char>(LowerAscii(a[i]));
    const unsigned char cb = static_cast<unsigned char>(LowerAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanksLeft(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return text.substr(i);
}

std::string_view TrimBlanksRight(std::string_view text) {
  size_t n = text.size();
  while (n > 0 && IsBlank(text[n - 1])) --n;
  return text.substr(0, n);
}

std::string_view TrimBlanks(std::string_view text) {
  return TrimBlanksRight(TrimBlanksLeft(text));
}

std::string_view TrimSpace(std::string_view text) {
  const auto space = [](char c) { return IsBlank(c) || (c >= '\n' && c <= '\r'); };
  size_t b = 0, e = text.size();
  while (b < e && space(text[b])) ++b;
  while (e > b && space(text[e - 1])) --e;
  return text.substr(b, e - b);
}

void CopyBounded(char* buffer, size_t capacity, const char* text) {
  if (capacity == 0) return;
  size_t i = 0;
  if (text != nullptr)
    for (; i + 1 < capacity && text[i] != '\0'; ++i) buffer[i] = text[i];
  buffer[i] = '\0';
}

}  // namespace cw
