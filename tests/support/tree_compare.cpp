#include "support/tree_compare.h"

namespace cw::test {

std::string Hex(const std::vector<BYTE>& data) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (BYTE b : data) {
    out += digits[b >> 4];
    out += digits[b & 0xF];
    out += ' ';
  }
  return out;
}

namespace {

// One line per key (path and stored name) and per value (name, type, bytes).
std::vector<std::string> DescribeTree(const sim::RegistryTree& tree) {
  std::vector<std::string> lines;
  tree.ForEachKey([&](sim::RegRoot root, const std::string& path, const sim::RegKey& key) {
    lines.push_back(std::string("[") + sim::RegRootName(root) + "\\" + path + "] as '" +
                    key.name() + "'");
    for (const sim::RegValue& v : key.values())
      lines.push_back("  \"" + v.name + "\" type " + std::to_string(v.type) + ": " + Hex(v.data));
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
