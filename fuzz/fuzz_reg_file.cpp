// The machine-file parser over arbitrary bytes. A file that loads must
// survive the writers: WriteRegFile in the file's own format read back by
// ApplyRegFile, and WriteRegChanges from an empty registry imported into an
// empty registry, both give the same tree. A file that fails names its file
// and a line inside it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/reg_file.h"

#include "fuzz_check.h"

namespace {

using namespace cw::sim;

struct FlatKey {
  RegRoot root;
  std::string path;
  std::vector<std::tuple<std::string, cw::DWORD, std::vector<cw::BYTE>>> values;
  bool operator==(const FlatKey& o) const {
    return root == o.root && path == o.path && values == o.values;
  }
};

// Every key in enumeration order with its values in order.
std::vector<FlatKey> Flatten(const RegistryTree& tree) {
  std::vector<FlatKey> out;
  tree.ForEachKey([&](RegRoot root, const std::string& path, const RegKey& key) {
    FlatKey k{root, path, {}};
    for (const RegValue& v : key.values()) k.values.emplace_back(v.name, v.type, v.data);
    out.push_back(std::move(k));
  });
  return out;
}

void ExpectSame(const RegistryTree& a, const RegistryTree& b, const char* what) {
  const std::vector<FlatKey> fa = Flatten(a);
  const std::vector<FlatKey> fb = Flatten(b);
  if (fa == fb) return;
  std::fprintf(stderr, "%s: trees differ (%zu keys against %zu)\n", what, fa.size(), fb.size());
  for (size_t i = 0; i < std::min(fa.size(), fb.size()); ++i) {
    if (fa[i] == fb[i]) continue;
    std::fprintf(stderr, "  first difference at key %zu: '%s' / '%s'\n", i, fa[i].path.c_str(),
                 fb[i].path.c_str());
    break;
  }
  std::abort();
}

void ReadBack(const std::string& bytes, RegFileFormat format, const RegistryTree& want,
              const char* what) {
  RegistryTree back;
  RegFileFormat found;
  RegFileError error;
  if (!ApplyRegFile(bytes, "written.reg", &back, &found, &error)) {
    std::fprintf(stderr, "%s: the written file does not load: %s\n", what,
                 error.ToString().c_str());
    std::abort();
  }
  CHECK(found == format);
  ExpectSame(want, back, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Machine machine;
  machine.fileName = "before";
  RegFileError error;
  if (!LoadMachineBytes(bytes, "fuzz.reg", &machine, &error)) {
    CHECK(error.file == "fuzz.reg");
    CHECK(!error.message.empty());
    CHECK(error.line >= 0);
    // A line is one of the file's lines (the last may lack its line break).
    CHECK(static_cast<size_t>(error.line) <= bytes.size() + 1);
    CHECK(machine.fileName == "before");
    (void)error.ToString();
    return 0;
  }
  (void)machine.Version();

  ReadBack(WriteRegFile(machine.registry, machine.format), machine.format, machine.registry,
           "WriteRegFile");
  const RegistryTree empty;
  ReadBack(WriteRegChanges(empty, machine.registry, machine.format), machine.format,
           machine.registry, "WriteRegChanges");
  // No change, no key lines.
  const std::string none = WriteRegChanges(machine.registry, machine.registry, machine.format);
  RegistryTree same = machine.registry;
  RegFileError noneError;
  CHECK(ApplyRegFile(none, "none.reg", &same, nullptr, &noneError));
  ExpectSame(machine.registry, same, "WriteRegChanges (no change)");
  return 0;
}
