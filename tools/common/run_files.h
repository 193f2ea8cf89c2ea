// The record files of one run (--out, --changes, --undo, --report,
// --transcript), made from what the run did and written whole or not at all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/files.h"
#include "scripting/page_host.h"
#include "regtree/reg_file.h"
#include "regtree/registry.h"
#include "regtree/undo.h"

namespace cw::files {

struct RunRecord {
  // The registry, or the part of it the run touched, before and after.
  const sim::RegistryTree* from = nullptr;
  const sim::RegistryTree* to = nullptr;
  sim::RegFileFormat importFormat = sim::RegFileFormat::Unicode5;  // --changes, --undo
  std::vector<sim::UnreadValue> unread;
  // --out: the whole machine file after the run (simulation only).
  std::optional<sim::RegistryTree> machine;
  sim::RegFileFormat machineFormat = sim::RegFileFormat::Unicode5;
  std::string report;
  std::string transcript;
  // Set when the run stopped before its end: every file is marked so that
  // none passes for a whole run's.
  std::optional<sim::Halt> halt;
};

// Makes and writes every file `outputs` holds. False, with *problem naming
// the file (and the key and value a .reg format cannot carry), when any
// cannot be made or written; then none is.
bool WriteRunFiles(Outputs* outputs, const RunRecord& run, std::string* problem);

}  // namespace cw::files
