#include "support/tree_compare.h"

#include <cstdio>

namespace cw::test {
namespace {

// One line per key (path and stored name) and per value (name, type, bytes
// in hex); "(end)" past the last.
std::vector<std::string> DescribeTree(const sim::RegistryTree& tree) {
  std::vector<std::string> lines;
  tree.ForEachKey([&](sim::RegRoot root, const std::string& path, const sim::RegKey& key) {
    lines.push_back(std::string("[") + sim::RegRootName(root) + "\\" + path + "] as '" + key.name() + "'");
    for (const sim::RegValue& v : key.values()) {
      std::string line = "  \"" + v.name + "\" type " + std::to_string(v.type) + ":";
      char hex[4];
      for (BYTE b : v.data) line += (std::snprintf(hex, sizeof(hex), " %02x", b), hex);
      lines.push_back(line);
    }
  });
  lines.push_back("(end)");
  return lines;
}

}  // namespace

::testing::AssertionResult TreesEqual(const sim::RegistryTree& a, const sim::RegistryTree& b) {
  const std::vector<std::string> da = DescribeTree(a), db = DescribeTree(b);
  size_t i = 0;
  while (i + 1 < da.size() && i + 1 < db.size() && da[i] == db[i]) ++i;
  if (da[i] == db[i]) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "trees differ at line " << i << ":\n  " << da[i] << "\nvs\n  " << db[i];
}

}  // namespace cw::test
