// Compares two simulated registries key by key and value by value, and
// names the first line where they differ.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regtree/registry.h"

namespace cw::test {

::testing::AssertionResult TreesEqual(const sim::RegistryTree& a, const sim::RegistryTree& b);

}  // namespace cw::test
