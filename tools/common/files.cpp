#include "common/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#endif

namespace cw::files {

namespace {

enum class Kind { Missing, Folder, Regular, Other, Unknown };

Kind KindOf(const std::string& path, int* error) {
  *error = 0;
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD e = GetLastError();
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return Kind::Missing;
    *error = EACCES;
    return Kind::Unknown;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Kind::Folder;
  // Device names (CON, NUL) have no attributes of their own; plain files do.
  return Kind::Regular;
#else
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    *error = errno;
    return errno == ENOENT ? Kind::Missing : Kind::Unknown;
  }
  if (S_ISDIR(st.st_mode)) return Kind::Folder;
  return S_ISREG(st.st_mode) ? Kind::Regular : Kind::Other;
#endif
}

std::string Reason(int error) { return std::strerror(error); }

// Path separators: a backslash is part of a name on POSIX systems.
#ifdef _WIN32
constexpr const char* kSeparators = "/\\";
#else
constexpr const char* kSeparators = "/";
#endif

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of(kSeparators);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of(kSeparators);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

unsigned long ProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

// The same file, however the path is written.
std::string IdentityOf(const std::string& path) {
#ifdef _WIN32
  char full[MAX_PATH * 2];
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  std::string out = (n > 0 && n < sizeof full) ? std::string(full, n) : path;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == '/') c = '\\';
  }
  return out;
#else
  struct stat st;
  if (stat(path.c_str(), &st) == 0)
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  char* folder = realpath(FolderOf(path).c_str(), nullptr);
  std::string out = folder ? std::string(folder) + "/" + NameOf(path) : path;
  std::free(folder);
  return out;
#endif
}

bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  // Windows 9x has no working MoveFileEx (a stub, if exported at all): it is
  // looked up rather than imported, so that the program loads there.
  using MoveFileExFunction = BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD);
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  const auto moveFileEx = reinterpret_cast<MoveFileExFunction>(reinterpret_cast<void*>(
      kernel32 != nullptr ? GetProcAddress(kernel32, "MoveFileExA") : nullptr));
  if (moveFileEx != nullptr) {
    if (moveFileEx(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  }
  // MoveFileA does not replace a file: the old one is moved aside first, and
  // back again when the new one cannot take its place, so neither is lost.
  const std::string aside = to + "." + std::to_string(ProcessId()) + ".old";
  const bool hadOld = MoveFileA(to.c_str(), aside.c_str()) != 0;
  if (!hadOld && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
  if (MoveFileA(from.c_str(), to.c_str())) {
    if (hadOld) DeleteFileA(aside.c_str());
    return true;
  }
  if (hadOld) MoveFileA(aside.c_str(), to.c_str());
  return false;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// Writes and flushes; false with errno set when any step fails.
bool WriteWhole(const std::string& path, const char* mode, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), mode);
  if (!f) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fflush(f) == 0 && ok;
#ifndef _WIN32
  if (ok && fsync(fileno(f)) != 0 && errno != EINVAL && errno != EROFS) ok = false;
#endif
  const int saved = errno;
  ok = std::fclose(f) == 0 && ok;
  if (!ok && errno == 0) errno = saved;
  return ok;
}

}  // namespace

bool ReadInput(const std::string& path, size_t maxBytes, std::string* bytes,
               std::string* problem) {
  int error = 0;
  switch (KindOf(path, &error)) {
    case Kind::Missing:
      *problem = path + ": no such file";
      return false;
    case Kind::Folder:
      *problem = path + ": is a folder, not a file";
      return false;
    case Kind::Other:
      *problem = path + ": is not a regular file";
      return false;
    case Kind::Unknown:
      *problem = path + ": cannot be read: " + Reason(error);
      return false;
    case Kind::Regular:
      break;
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *problem = path + ": cannot be read: " + Reason(errno);
    return false;
  }
  std::string out;
  char buffer[65536];
  size_t got;
  bool tooLarge = false;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    if (out.size() + got > maxBytes) {
      tooLarge = true;
      break;
    }
    out.append(buffer, got);
  }
  const bool failed = std::ferror(f) != 0;
  const int saved = errno;
  std::fclose(f);
  if (tooLarge) {
    *problem = path + ": is larger than " + std::to_string(maxBytes >> 20) + " MiB";
    return false;
  }
  if (failed) {
    *problem = path + ": cannot be read: " + Reason(saved);
    return false;
  }
  *bytes = std::move(out);
  return true;
}

Outputs::~Outputs() { RemoveTemporaries(); }

bool Outputs::Add(const std::string& option, const std::string& path, std::string* problem) {
  if (path.empty()) return true;
  File file;
  file.option = option;
  file.path = path;
  file.identity = IdentityOf(path);
  for (const File& other : files_) {
    if (other.identity == file.identity) {
      *problem = option + " and " + other.option + " name the same file (" + path +
                 "): one would replace the other";
      return false;
    }
  }
  files_.push_back(std::move(file));
  return true;
}

bool Outputs::Check(std::string* problem) const {
  for (const File& file : files_) {
    int error = 0;
    const Kind kind = KindOf(file.path, &error);
    if (kind == Kind::Folder) {
      *problem = file.path + ": is a folder, not a file";
      return false;
    }
    if (kind == Kind::Unknown) {
      *problem = file.path + ": cannot be written: " + Reason(error);
      return false;
    }
    // An existing file must take writing (opened without truncating it).
    if (kind != Kind::Missing) {
      std::FILE* f = std::fopen(file.path.c_str(), "ab");
      if (!f) {
        *problem = file.path + ": cannot be written: " + Reason(errno);
        return false;
      }
      std::fclose(f);
      if (kind == Kind::Other) continue;  // written directly, not replaced
    }
    // Its folder must take the temporary file.
    const std::string folder = FolderOf(file.path);
    if (KindOf(folder, &error) == Kind::Missing) {
      *problem = file.path + ": cannot be written: its folder " + folder + " does not exist";
      return false;
    }
    const std::string probe = folder + "/." + NameOf(file.path) + ".check-" +
                              std::to_string(ProcessId()) + ".tmp";
    std::FILE* f = std::fopen(probe.c_str(), "wb");
    if (!f) {
      *problem = file.path + ": cannot be written: " + Reason(errno);
      return false;
    }
    std::fclose(f);
    std::remove(probe.c_str());
  }
  return true;
}

bool Outputs::Has(const std::string& option) const {
  for (const File& file : files_)
    if (file.option == option) return true;
  return false;
}

std::string Outputs::PathOf(const std::string& option) const {
  for (const File& file : files_)
    if (file.option == option) return file.path;
  return std::string();
}

void Outputs::Set(const std::string& option, std::string bytes) {
  for (File& file : files_) {
    if (file.option != option) continue;
    file.bytes = std::move(bytes);
    file.set = true;
    return;
  }
}

bool Outputs::Write(std::string* problem) {
  // Devices first: they cannot be taken back, so nothing is renamed into
  // place unless they took their text.
  for (File& file : files_) {
    int error = 0;
    if (!file.set || KindOf(file.path, &error) != Kind::Other) continue;
    errno = 0;
    if (!WriteWhole(file.path, "wb", file.bytes)) {
      *problem = file.path + ": could not be written: " + Reason(errno ? errno : EIO);
      return false;
    }
  }
  for (File& file : files_) {
    int error = 0;
    if (!file.set || KindOf(file.path, &error) == Kind::Other) continue;
    file.temporary = FolderOf(file.path) + "/." + NameOf(file.path) + "." +
                     std::to_string(ProcessId()) + ".tmp";
    errno = 0;
    if (!WriteWhole(file.temporary, "wb", file.bytes)) {
      *problem = file.path + ": could not be written: " + Reason(errno ? errno : EIO);
      RemoveTemporaries();
      return false;
    }
  }
  for (File& file : files_) {
    if (file.temporary.empty()) continue;
    if (!ReplaceFile(file.temporary, file.path)) {
      *problem = file.path + ": could not be put in place: " + Reason(errno ? errno : EIO);
      RemoveTemporaries();
      return false;
    }
    file.temporary.clear();
  }
  return true;
}

void Outputs::RemoveTemporaries() {
  for (File& file : files_) {
    if (file.temporary.empty()) continue;
    std::remove(file.temporary.c_str());
    file.temporary.clear();
  }
}

}  // namespace cw::files
