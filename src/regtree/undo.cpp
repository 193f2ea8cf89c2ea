#include "regtree/undo.h"

namespace cw::sim {

namespace {

// Splits "HKEY_...\path" into its root and path.
bool SplitKeyPath(const std::string& full, RegRoot* root, std::string* path) {
  const size_t slash = full.find('\\');
  if (!ParseRegRootName(std::string_view(full).substr(0, slash), root)) return false;
  *path = slash == std::string::npos ? std::string() : full.substr(slash + 1);
  return true;
}

}  // namespace

std::string WriteRegUndo(const RegistryTree& before, const RegistryTree& after,
                         RegFileFormat format, const std::vector<UnreadValue>& unread,
                         RegWriteError* error) {
  // The changes from the run's result back to the start are exactly the
  // undo: created keys come out as [-path] (topmost only, the writer does
  // not descend into a deleted key), created values as "name"=-, and changed
  // or deleted values with their old type and bytes, in their old order.
  if (unread.empty()) return WriteRegChanges(after, before, format, error);

  // An unread value is taken out of the run's result, so that no line of
  // the undo touches it.
  RegistryTree result = after;
  std::vector<std::string> notes;
  for (const UnreadValue& u : unread) {
    RegRoot root;
    std::string path;
    if (SplitKeyPath(u.key, &root, &path)) {
      if (RegKey* key = result.Find(root, path)) key->DeleteValue(u.value);
    }
    notes.push_back("NOT PUT BACK: " + u.key + ", value \"" + u.value +
                    "\": its old data could not be read (" + u.why + ")");
  }
  const std::string text = WriteRegChanges(result, before, format, error);
  return text.empty() ? text : WithCommentLines(text, format, notes);
}

}  // namespace cw::sim
