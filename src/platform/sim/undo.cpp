#include "platform/sim/undo.h"

namespace cw::sim {

std::string WriteRegUndo(const RegistryTree& before, const RegistryTree& after,
                         RegFileFormat format) {
  // The changes from the run's result back to the start are exactly the
  // undo: created keys come out as [-path] (topmost only, the writer does
  // not descend into a deleted key), created values as "name"=-, and changed
  // or deleted values with their old type and bytes, in their old order.
  return WriteRegChanges(after, before, format);
}

}  // namespace cw::sim
