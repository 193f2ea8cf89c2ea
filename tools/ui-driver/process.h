// The wizard's process: started by the driver, or one already running.
#pragma once

#include <windows.h>

#include <string>

#include "handles.h"

namespace uidriver {

struct Process {
  UniqueHandle handle;
  DWORD pid = 0;
};

// Starts `exe` with the command line's arguments `args` (quoted already).
bool StartProcess(const std::wstring& exe, const std::wstring& args, Process* out);

// The id of a process running program `exe` (its file name), waiting for
// one up to `timeoutSeconds`; 0 when none came.
DWORD WaitForProcess(const std::wstring& exe, int timeoutSeconds);

// Opens process `pid` for waiting on it and ending it.
bool OpenProcessById(DWORD pid, Process* out);

}  // namespace uidriver
