// The machine-file parser over arbitrary bytes. A file that loads must
// survive the writers: WriteRegFile in the file's own format read back by
// ApplyRegFile, and WriteRegChanges from an empty registry imported into an
// empty registry, both give the same tree, or both refuse what the format
// cannot carry. A file that fails names its file
// and a line inside it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "platform/sim/machine.h"
#include "regtree/reg_file.h"

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

// `bytes` came from a writer in `format`: empty when it refused, else a file
// that reads back as `want`. A refusal names a key and says why; it is only
// allowed where REGEDIT4's Windows-1252 cannot carry a name or text, or a
// name holds a line break, and then the Unicode form must carry the tree.
void ReadBack(const std::string& bytes, const RegWriteError& refusal, RegFileFormat format,
              const RegistryTree& want, const char* what) {
  if (bytes.empty()) {
    CHECK(!refusal.key.empty());
    CHECK(!refusal.message.empty());
    if (refusal.message.find("line break") != std::string::npos) return;
    CHECK(format == RegFileFormat::Regedit4);
    // (The Unicode form may still refuse a name with a line break.)
    RegWriteError unicodeError;
    const std::string unicode = WriteRegFile(want, RegFileFormat::Unicode5, &unicodeError);
    ReadBack(unicode, unicodeError, RegFileFormat::Unicode5, want, what);
    return;
  }
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

  RegWriteError fileError;
  const std::string file = WriteRegFile(machine.registry, machine.format, &fileError);
  ReadBack(file, fileError, machine.format, machine.registry, "WriteRegFile");
  const RegistryTree empty;
  RegWriteError changesError;
  const std::string changes =
      WriteRegChanges(empty, machine.registry, machine.format, &changesError);
  ReadBack(changes, changesError, machine.format, machine.registry, "WriteRegChanges");
  // Both writers see the same names and texts, so both refuse or neither.
  CHECK(file.empty() == changes.empty());
  // No change, no key lines.
  const std::string none = WriteRegChanges(machine.registry, machine.registry, machine.format);
  RegistryTree same = machine.registry;
  RegFileError noneError;
  CHECK(ApplyRegFile(none, "none.reg", &same, nullptr, &noneError));
  ExpectSame(machine.registry, same, "WriteRegChanges (no change)");
  return 0;
}
