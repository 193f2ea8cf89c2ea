// The files the programs read and write, with a clear message for every path
// that cannot be used, and outputs written whole or not at all.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cw::files {

// Reads a whole input file. False, with *problem naming the path and what is
// wrong ("is a folder", "does not exist", "cannot be read: ...", "is larger
// than ..."), for anything but a readable regular file of at most maxBytes.
bool ReadInput(const std::string& path, size_t maxBytes, std::string* bytes,
               std::string* problem);

// The files of one run (--out, --changes, ...). Every path is checked before
// the run, so that one that cannot be written stops the program before
// anything else happens; after the run each is written to a temporary file
// beside it, flushed, checked, and only when all of them are written, renamed
// over its target. A path that is a device (/dev/stdout, /dev/full) is
// written directly, and checked all the same.
class Outputs {
 public:
  Outputs() = default;
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;
  ~Outputs();

  // Adds the file of an option; an empty path is no file. False, with
  // *problem, when another option already names the same file.
  bool Add(const std::string& option, const std::string& path, std::string* problem);
  // Whether every path can be written: not a folder, its folder exists and
  // takes a new file. False, with *problem naming the first path that cannot.
  bool Check(std::string* problem) const;
  bool Has(const std::string& option) const;
  // The path of an option's file ("" when not added).
  std::string PathOf(const std::string& option) const;
  // The contents of an option's file (ignored for an option not added).
  void Set(const std::string& option, std::string bytes);
  // Writes every file whose contents were set. On failure nothing is left of
  // this call's temporary files, no target is replaced, and *problem names
  // the file.
  bool Write(std::string* problem);

 private:
  struct File {
    std::string option;
    std::string path;
    std::string identity;  // to find two options naming one file
    std::string bytes;
    bool set = false;
    std::string temporary;
  };
  void RemoveTemporaries();
  std::vector<File> files_;
};

}  // namespace cw::files
