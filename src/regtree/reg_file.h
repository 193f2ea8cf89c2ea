// Reading and writing machine files in the Windows .reg export format.
//
// Accepted, as regedit reads them:
// - "Windows Registry Editor Version 5.00" files in UTF-16LE with a byte-order
//   mark (hex(2)/hex(7) data are UTF-16LE bytes), or in UTF-8 (with or without
//   a byte-order mark);
// - "REGEDIT4" files in ANSI (Windows-1252), whose hex(2)/hex(7) data are
//   single-byte text;
// - key lines "[HKEY_...\path]" and "[-HKEY_...\path]" (delete);
// - values: "name"="text", @="text", "name"=dword:xxxxxxxx, "name"=hex:..,
//   "name"=hex(N):.., "name"=- (delete), lines continued with a trailing "\";
//   ";" comment lines and blank lines.
// Anything else is an error reported with its file and line; nothing is
// applied from a file with an error.
#pragma once

#include <string>
#include <vector>

#include "regtree/registry.h"

namespace cw::sim {

enum class RegFileFormat {
  Unicode5,  // "Windows Registry Editor Version 5.00", UTF-16LE with BOM
  Utf8v5,    // the same header, UTF-8 text (accepted, and written back alike)
  Regedit4,  // "REGEDIT4", ANSI
};

struct RegFileError {
  std::string file;
  int line = 0;  // 1-based; 0 when the error is about the whole file
  std::string message;

  // "file:line: message"
  std::string ToString() const;
};

// Why a tree could not be written: the key and value whose name or text the
// format cannot carry exactly. Writing a stand-in character instead would
// make an import touch another key or value.
struct RegWriteError {
  std::string key;    // full path, "HKEY_LOCAL_MACHINE\\..."
  std::string value;  // the value's name, when a value is concerned
  bool hasValue = false;
  std::string message;

  // "file: cannot write key K, value "V": message"
  std::string ToString(const std::string& file) const;
};

// Parses the bytes of a .reg file and applies it to *tree. On error returns
// false, fills *error and leaves *tree unchanged.
bool ApplyRegFile(const std::string& bytes, const std::string& fileName, RegistryTree* tree,
                  RegFileFormat* format, RegFileError* error);

// The whole tree (every key that has values or no subkeys, parents implied),
// in the given format, bytes ready to be written to a file. Empty (never a
// valid file) when a name or text cannot be written exactly, with *error
// saying which: REGEDIT4 carries Windows-1252 text only, and no format
// carries a line break or NUL in a name.
std::string WriteRegFile(const RegistryTree& tree, RegFileFormat format,
                         RegWriteError* error = nullptr);

// Only what differs from `before` to `after`: keys created or changed with
// their new or changed values, deleted values as "name"=-, deleted keys as
// [-path]. Importing it into `before` gives `after`. Empty, with *error, as
// WriteRegFile.
std::string WriteRegChanges(const RegistryTree& before, const RegistryTree& after,
                            RegFileFormat format, RegWriteError* error = nullptr);

// `text` (a file made by the writers above, in `format`) with `lines` put
// under its header, each as a ";" comment line that regedit skips.
std::string WithCommentLines(const std::string& text, RegFileFormat format,
                             const std::vector<std::string>& lines);

}  // namespace cw::sim
