#include "support/tree_compare.h"

#include <cstdio>

namespace cw::test {
namespace {

// One line per key (path and stored name) and per value (name, type, bytes
// in hex).
std::vector<std::string> DescribeTree(const sim::RegistryTree& tree) {
  std::vector<std::string> lines;
  tree.ForEachKey([&](sim::RegRoot root, const std::string& path, const sim::RegKey& key) {
    lines.push_back(std::string("[") + sim::RegRootName(root) + "\\" + path + "] as '" +
                    key.name() + "'");
    for (const sim::RegValue& v : key.values()) {
      std::string line = "  \"" + v.name + "\" type " + std::to_string(v.type) + ":";
      char hex[4];
      for (BYTE b : v.data) line += (std::snprintf(hex, sizeof(hex), " %02x", b), hex);
      lines.push_back(line);
    }
  });
  return lines;
}

}  // namespace

::testing::AssertionResult TreesEqual(const sim::RegistryTree& a, const sim::RegistryTree& b) {
  const std::vector<std::string> da = DescribeTree(a);
  const std::vector<std::string> db = DescribeTree(b);
  for (size_t i = 0; i < da.size() || i < db.size(); ++i) {
    const std::string la = i < da.size() ? da[i] : "(end)";
    const std::string lb = i < db.size() ? db[i] : "(end)";
    if (la != lb)
      return ::testing::AssertionFailure() << "trees differ at line " << i << ":\n  " << la
                                           << "\nvs\n  " << lb;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace cw::test
