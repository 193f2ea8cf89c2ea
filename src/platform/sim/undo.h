// The undo file of a run: a .reg file that, imported into the registry as
// the run left it, puts back the registry as it was before the run.
#pragma once

#include <string>

#include "platform/sim/reg_file.h"
#include "platform/sim/registry.h"

namespace cw::sim {

// Every value the run changed or deleted is set again with its old type and
// data; every value the run created is deleted ("name"=-); every key the run
// created is deleted ([-path], only the topmost new key of a branch). In the
// given format; empty when the text could not be made.
std::string WriteRegUndo(const RegistryTree& before, const RegistryTree& after,
                         RegFileFormat format);

}  // namespace cw::sim
