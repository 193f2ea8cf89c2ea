// Texts between the wide Windows calls and the UTF-8 the driver works in,
// and its log lines.
#pragma once

#include <string>

namespace uidriver {

std::string ToUtf8(const std::wstring& w);
std::wstring FromUtf8(const std::string& s);
// ASCII letters only: the class names the templates write.
std::string Upper(std::string s);

// One line on standard error, "ui-driver: " first.
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace uidriver
