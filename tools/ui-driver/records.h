// The transcript's records, one JSON object a line, member for member as
// chanwiz-sim writes them (src/scripting/transcript.cpp).
#pragma once

#include <windows.h>

#include <string>

#include "wizard_windows.h"

namespace uidriver {

// A page as it opened (`step` null) or after a step ("action").
std::string PageRecord(const Page& page, const std::string* step);
// The page's result (the EndDialog value) cannot be seen from outside: null.
std::string EndRecord(int templateId);
std::string MessageBoxRecord(const std::string& text, const std::string& caption, UINT style,
                             int answer);
std::string StoppedRecord(const std::string& why);

}  // namespace uidriver
