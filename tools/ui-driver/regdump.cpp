// regdump: writes registry subtrees as plain lines, one key or value a line,
// so that two dumps taken before and after a run can be compared exactly.
//
// usage: regdump [--security] OUTFILE KEY...
//        regdump --set-security KEY SDDL
//   KEY  a full key path, e.g. HKEY_LOCAL_MACHINE\SOFTWARE\Morvex Multimedia
//   --security      also a line per key with its access list (DACL) as SDDL
//   --set-security  gives KEY the access list (the "D:" part) of SDDL, with
//                   RegSetKeySecurity, and writes nothing else
//
// OUTFILE is UTF-8. Lines, in the order met (sort them to compare):
//   K<TAB>path                          a key (the given one included)
//   V<TAB>path<TAB>name<TAB>type<TAB>hex   a value: type as a decimal number,
//                                       data as lower-case hex, no separators
//   S<TAB>path<TAB>sddl                 (--security) the key's DACL, as
//                                       ConvertSecurityDescriptorToString-
//                                       SecurityDescriptorW writes it
// Tabs, line breaks and backslashes inside names are written as \t, \n, \r
// and \\ (a key path's own separators stay single). A key that does not
// exist writes nothing. Every key is opened with KEY_WOW64_64KEY: built
// 32-bit and run on 64-bit Windows, regdump still sees the registry as it is
// laid out, the 32-bit programs' HKLM\SOFTWARE as the key
// SOFTWARE\Wow6432Node, so one dump holds both views (32-bit Windows ignores
// the flag).
// Exit codes: 0 written, 1 a key could not be read, 2 bad arguments.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string ToUtf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::string Escaped(const std::wstring& w, bool keepBackslash) {
  std::string out;
  for (char c : ToUtf8(w)) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += keepBackslash ? "\\" : "\\\\";
        break;
      default:
        out += c;
    }
  }
  return out;
}

struct Root {
  const wchar_t* name;
  HKEY key;
};

const Root kRoots[] = {
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {L"HKEY_USERS", HKEY_USERS},
    {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

FILE* g_out = nullptr;
bool g_failed = false;
bool g_security = false;

// The key's DACL as SDDL; false after a message when it cannot be read.
bool DaclText(HKEY key, const std::wstring& path, std::wstring* text) {
  std::vector<BYTE> buffer(256);
  LONG rc;
  for (int tries = 0;; ++tries) {
    DWORD size = static_cast<DWORD>(buffer.size());
    rc = RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, buffer.data(), &size);
    if (rc != ERROR_INSUFFICIENT_BUFFER || tries > 4) break;
    buffer.resize(size > buffer.size() ? size : buffer.size() * 2);
  }
  if (rc != ERROR_SUCCESS) {
    std::fprintf(stderr, "regdump: %s: RegGetKeySecurity failed (%ld)\n",
                 Escaped(path, true).c_str(), rc);
    return false;
  }
  LPWSTR sddl = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
          buffer.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
    std::fprintf(stderr, "regdump: %s: ConvertSecurityDescriptorToStringSecurityDescriptorW failed (%lu)\n",
                 Escaped(path, true).c_str(), GetLastError());
    return false;
  }
  *text = sddl;
  LocalFree(sddl);
  return true;
}

void DumpKey(HKEY key, const std::wstring& path) {
  std::fprintf(g_out, "K\t%s\n", Escaped(path, true).c_str());
  if (g_security) {
    std::wstring sddl;
    if (DaclText(key, path, &sddl))
      std::fprintf(g_out, "S\t%s\t%s\n", Escaped(path, true).c_str(), Escaped(sddl, false).c_str());
    else
      g_failed = true;
  }

  DWORD subKeys = 0, maxSubKey = 0, values = 0, maxName = 0, maxData = 0;
  LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values,
                             &maxName, &maxData, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) {
    std::fprintf(stderr, "regdump: %s: RegQueryInfoKeyW failed (%ld)\n",
                 Escaped(path, true).c_str(), rc);
    g_failed = true;
    return;
  }
  std::vector<wchar_t> name(maxName + 2);
  std::vector<BYTE> data(maxData + 2);
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size());
    DWORD dataLen = static_cast<DWORD>(data.size());
    DWORD type = 0;
    rc = RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {
      // Grew meanwhile: make room and read this value again.
      name.resize(name.size() * 2 + 256);
      data.resize(data.size() * 2 + 256);
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) {
      std::fprintf(stderr, "regdump: %s: RegEnumValueW(%lu) failed (%ld)\n",
                   Escaped(path, true).c_str(), i, rc);
      g_failed = true;
      break;
    }
    std::string hex;
    static const char kDigits[] = "0123456789abcdef";
    for (DWORD k = 0; k < dataLen; ++k) {
      hex += kDigits[data[k] >> 4];
      hex += kDigits[data[k] & 0xF];
    }
    std::fprintf(g_out, "V\t%s\t%s\t%lu\t%s\n", Escaped(path, true).c_str(),
                 Escaped(std::wstring(name.data(), nameLen), false).c_str(), type, hex.c_str());
  }

  std::vector<wchar_t> sub(maxSubKey + 2);
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(sub.size());
    rc = RegEnumKeyExW(key, i, sub.data(), &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {
      sub.resize(sub.size() * 2 + 256);
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) {
      std::fprintf(stderr, "regdump: %s: RegEnumKeyExW(%lu) failed (%ld)\n",
                   Escaped(path, true).c_str(), i, rc);
      g_failed = true;
      break;
    }
    names.emplace_back(sub.data(), len);
  }
  for (const std::wstring& n : names) {
    HKEY child;
    rc = RegOpenKeyExW(key, n.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &child);
    if (rc != ERROR_SUCCESS) {
      std::fprintf(stderr, "regdump: %s\\%s: cannot open (%ld)\n", Escaped(path, true).c_str(),
                   Escaped(n, false).c_str(), rc);
      g_failed = true;
      continue;
    }
    DumpKey(child, path + L"\\" + n);
    RegCloseKey(child);
  }
}

// Splits a full key path into its root key and the rest; false when the
// root is unknown.
bool SplitPath(const std::wstring& given, HKEY* root, std::wstring* full, std::wstring* sub) {
  *full = given;
  while (!full->empty() && full->back() == L'\\') full->pop_back();
  size_t slash = full->find(L'\\');
  std::wstring rootName = full->substr(0, slash);
  *sub = slash == std::wstring::npos ? std::wstring() : full->substr(slash + 1);
  *root = nullptr;
  for (const Root& r : kRoots)
    if (_wcsicmp(r.name, rootName.c_str()) == 0) *root = r.key;
  return *root != nullptr;
}

int SetSecurity(const wchar_t* path, const wchar_t* sddl) {
  HKEY root;
  std::wstring full, sub;
  if (!SplitPath(path, &root, &full, &sub)) {
    std::fprintf(stderr, "regdump: unknown root key in %s\n", ToUtf8(path).c_str());
    return 2;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    std::fprintf(stderr, "regdump: unusable SDDL %s (%lu)\n", ToUtf8(sddl).c_str(),
                 GetLastError());
    return 2;
  }
  HKEY key;
  LONG rc = RegOpenKeyExW(root, sub.c_str(), 0, WRITE_DAC | READ_CONTROL | KEY_WOW64_64KEY, &key);
  if (rc == ERROR_SUCCESS) {
    rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
    RegCloseKey(key);
  }
  LocalFree(descriptor);
  if (rc != ERROR_SUCCESS) {
    std::fprintf(stderr, "regdump: %s: could not set its security (%ld)\n", ToUtf8(full).c_str(), rc);
    return 1;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"--set-security") == 0) return SetSecurity(argv[2], argv[3]);
  if (argc > 1 && std::wcscmp(argv[1], L"--security") == 0) {
    g_security = true;
    --argc;
    ++argv;
  }
  if (argc < 3) {
    std::fputs("usage: regdump [--security] OUTFILE KEY...\n       regdump --set-security KEY SDDL\n", stderr);
    return 2;
  }
  g_out = _wfopen(argv[1], L"wb");
  if (!g_out) {
    std::fprintf(stderr, "regdump: cannot write %s\n", ToUtf8(argv[1]).c_str());
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    HKEY root;
    std::wstring full, sub;
    if (!SplitPath(argv[i], &root, &full, &sub)) {
      std::fprintf(stderr, "regdump: unknown root key in %s\n", ToUtf8(full).c_str());
      std::fclose(g_out);
      return 2;
    }
    HKEY key;
    LONG rc = RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key);
    if (rc == ERROR_FILE_NOT_FOUND) continue;
    if (rc != ERROR_SUCCESS) {
      std::fprintf(stderr, "regdump: %s: cannot open (%ld)\n", ToUtf8(full).c_str(), rc);
      g_failed = true;
      continue;
    }
    DumpKey(key, full);
    RegCloseKey(key);
  }
  bool closed = std::fclose(g_out) == 0;
  return g_failed || !closed ? 1 : 0;
}
