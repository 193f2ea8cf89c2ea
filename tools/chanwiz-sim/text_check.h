// Checks a Chanwiz.ini before it ships: per section, the keys missing (and
// what shows instead), the texts too long for their buffer (and how they
// will be cut), the texts not in the section's code page and the keys the
// wizard never reads.
#pragma once

#include <string>
#include <vector>

namespace cw::sim {

struct TextCheck {
  std::vector<std::string> lines;  // the findings, ready to print (UTF-8)
  int missing = 0;
  int cut = 0;
  int unknown = 0;
  int unusedSections = 0;
  int wrongCodePage = 0;  // texts that are not in their section's code page

  // 1 when a text is cut or garbled or a key unknown, else 0.
  int ExitCode() const { return cut > 0 || unknown > 0 || wrongCodePage > 0 ? 1 : 0; }
};

// `text` is the file as the profile calls read it (see ProfileTextFromBytes).
TextCheck CheckTexts(const std::string& text);

}  // namespace cw::sim
