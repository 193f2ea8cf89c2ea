// What the wizard relies on from Windows, written once against Platform and
// run on the simulation (chanwiz_tests) and on the real API (chanwiz_win32_tests):
// a test that passes on one and fails on the other is a fault of the simulation.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace cw::contract {

class Backend {
 public:
  virtual ~Backend() = default;
  virtual Platform& platform() = 0;
  // A key path below HKEY_CURRENT_USER not there yet, removed with the backend.
  virtual std::string ScratchKey() = 0;
  // A profile file holding `text`, named as the profile calls take it.
  virtual std::string ProfileFile(const std::string& text) = 0;
  // The first hardware id of each listed device ("" for none), when known.
  virtual std::optional<std::vector<std::string>> Devices() { return std::nullopt; }
};

// Defined once by each build.
std::unique_ptr<Backend> MakeBackend();

}  // namespace cw::contract
