#include "process.h"

// After windows.h, which it needs.
#include <tlhelp32.h>

#include <vector>

#include "polling.h"
#include "text.h"

namespace uidriver {

bool StartProcess(const std::wstring& exe, const std::wstring& args, Process* out) {
  std::wstring cmd = L"\"" + exe + L"\"";
  if (!args.empty()) cmd += L" " + args;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::vector<wchar_t> line(cmd.begin(), cmd.end());
  line.push_back(L'\0');
  if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    Log("cannot start %s (error %lu)", ToUtf8(exe).c_str(), GetLastError());
    return false;
  }
  UniqueHandle thread(pi.hThread);
  out->handle.reset(pi.hProcess);
  out->pid = pi.dwProcessId;
  Log("started %s, process %lu", ToUtf8(exe).c_str(), out->pid);
  return true;
}

DWORD WaitForProcess(const std::wstring& exe, int timeoutSeconds) {
  DWORD pid = 0;
  PollUntil(PollTries(timeoutSeconds), kPollMs, [&] {
    UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snap.get() == INVALID_HANDLE_VALUE) return Look::kNothing;
    PROCESSENTRY32W pe = {};
    pe.dwSize = sizeof(pe);
    for (BOOL more = Process32FirstW(snap.get(), &pe); more; more = Process32NextW(snap.get(), &pe))
      if (_wcsicmp(pe.szExeFile, exe.c_str()) == 0) {
        pid = pe.th32ProcessID;
        return Look::kDone;
      }
    return Look::kNothing;
  });
  if (pid == 0)
    Log("no process %s appeared within %d s", ToUtf8(exe).c_str(), timeoutSeconds);
  return pid;
}

bool OpenProcessById(DWORD pid, Process* out) {
  out->handle.reset(
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid));
  if (!out->handle) {
    Log("cannot open process %lu (error %lu)", pid, GetLastError());
    return false;
  }
  out->pid = pid;
  Log("watching process %lu", pid);
  return true;
}

}  // namespace uidriver
