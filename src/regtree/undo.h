// The undo file of a run: a .reg file that, imported into the registry as
// the run left it, puts back the registry as it was before the run.
#pragma once

#include <string>
#include <vector>

#include "regtree/reg_file.h"
#include "regtree/registry.h"

namespace cw::sim {

// A value the run changed whose old data could not be read exactly. The undo
// file leaves it alone and says so: deleting it, or setting a guess, would
// lose the real old data.
struct UnreadValue {
  std::string key;    // full path, "HKEY_LOCAL_MACHINE\..."
  std::string value;  // its name
  std::string why;    // what went wrong, e.g. "RegQueryValueExA failed with 5"
};

// Every value the run changed or deleted is set again with its old type and
// data; every value the run created is deleted ("name"=-); every key the run
// created is deleted ([-path], only the topmost new key of a branch). Values
// in `unread` are not touched, and a comment line under the header names
// each. In the given format; empty, with *error, when the text could not be
// made (see WriteRegFile).
std::string WriteRegUndo(const RegistryTree& before, const RegistryTree& after,
                         RegFileFormat format, const std::vector<UnreadValue>& unread = {},
                         RegWriteError* error = nullptr);

}  // namespace cw::sim
