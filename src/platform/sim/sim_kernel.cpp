// The simulated Windows' kernel32 and the token calls: process token and
// restart, handles, system information and processes.
#include "platform/sim/sim_platform.h"

#include <cctype>
#include <cstring>

#include "base/text.h"
#include "platform/win_constants.h"

namespace cw::sim {

namespace {

constexpr LUID kShutdownLuid = {19, 0};
constexpr uintptr_t kCurrentProcess = ~uintptr_t{0};

}  // namespace

// ------------------------------------------------- token and restart

HANDLE SimPlatform::GetCurrentProcess() { return HANDLE(kCurrentProcess); }

BOOL SimPlatform::OpenProcessToken(HANDLE process, DWORD /*access*/, HANDLE* token) {
  if (InjectBool("OpenProcessToken")) return FALSE;
  if (token == nullptr || static_cast<uintptr_t>(process) != kCurrentProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  uintptr_t handle = next_handle_;
  next_handle_ += 4;
  kernel_handles_[handle] = "token";
  *token = HANDLE(handle);
  return TRUE;
}

BOOL SimPlatform::LookupPrivilegeValueA(const char* /*systemName*/, const char* name, LUID* luid) {
  if (InjectBool("LookupPrivilegeValueA")) return FALSE;
  if (name == nullptr || luid == nullptr || Lower(name) != Lower(SE_SHUTDOWN_NAME)) {
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
  }
  *luid = kShutdownLuid;
  return TRUE;
}

BOOL SimPlatform::AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState,
                                        DWORD /*bufferLength*/, TOKEN_PRIVILEGES* /*previous*/,
                                        DWORD* /*returnLength*/) {
  if (InjectBool("AdjustTokenPrivileges")) return FALSE;
  auto it = kernel_handles_.find(static_cast<uintptr_t>(token));
  if (it == kernel_handles_.end() || it->second != "token") {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (disableAll) {
    shutdown_enabled_ = false;
    SetLastError(NO_ERROR);
    return TRUE;
  }
  if (newState == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  bool allAssigned = true;
  for (DWORD i = 0; i < newState->PrivilegeCount && i < 1; ++i) {
    const LUID_AND_ATTRIBUTES& p = newState->Privileges[i];
    bool isShutdown = p.Luid.LowPart == kShutdownLuid.LowPart && p.Luid.HighPart == kShutdownLuid.HighPart;
    if (!isShutdown || !machine_.config.shutdownPrivilege) {
      allAssigned = false;
      continue;
    }
    shutdown_enabled_ = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
  }
  // Success either way: only the last error tells whether all were assigned.
  SetLastError(allAssigned ? NO_ERROR : static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));
  return TRUE;
}

BOOL SimPlatform::ExitWindowsEx(UINT flags, DWORD reason) {
  if (InjectBool("ExitWindowsEx")) return FALSE;
  bool nt = machine_.Version().platformId == VER_PLATFORM_WIN32_NT;
  bool needsPrivilege = (flags & (EWX_REBOOT | EWX_SHUTDOWN | EWX_POWEROFF)) != 0;
  if (nt && needsPrivilege && !shutdown_enabled_) {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
  }
  pages_.transcript().Restart(flags, reason);
  pages_.Echo("restart requested (flags " + std::to_string(flags) + ")\n");
  return TRUE;
}

BOOL SimPlatform::CloseHandle(HANDLE handle) {
  if (InjectBool("CloseHandle")) return FALSE;
  auto it = kernel_handles_.find(static_cast<uintptr_t>(handle));
  if (it == kernel_handles_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  kernel_handles_.erase(it);
  return TRUE;
}

// ---------------------------------------------------- system information

UINT SimPlatform::GetWindowsDirectoryA(char* buffer, UINT size) {
  DWORD error = 0;
  if (Inject("GetWindowsDirectoryA", &error)) {
    SetLastError(error);
    return 0;
  }
  const std::string& dir = machine_.config.windowsDirectory;
  UINT needed = static_cast<UINT>(dir.size()) + 1;
  if (buffer == nullptr || size < needed) return needed;
  std::memcpy(buffer, dir.c_str(), needed);
  return needed - 1;
}

UINT SimPlatform::GetSystemDirectoryA(char* buffer, UINT size) {
  DWORD error = 0;
  if (Inject("GetSystemDirectoryA", &error)) {
    SetLastError(error);
    return 0;
  }
  const std::string& dir = machine_.config.systemDirectory;
  UINT needed = static_cast<UINT>(dir.size()) + 1;
  if (buffer == nullptr || size < needed) return needed;
  std::memcpy(buffer, dir.c_str(), needed);
  return needed - 1;
}

DWORD SimPlatform::GetModuleFileNameA(char* buffer, DWORD size) {
  DWORD error = 0;
  if (Inject("GetModuleFileNameA", &error)) {
    SetLastError(error);
    return 0;
  }
  const std::string& path = machine_.config.moduleFileName;
  if (buffer == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() + 1 > size) {
    // As Windows Vista and later: cut, terminated, the size returned and
    // the last error set.
    std::memcpy(buffer, path.data(), size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

DWORD SimPlatform::GetVersion() {
  WindowsVersion v = machine_.Version();
  DWORD low = (v.major & 0xFF) | ((v.minor & 0xFF) << 8);
  if (v.platformId == VER_PLATFORM_WIN32_NT) return low | ((v.build & 0x7FFF) << 16);
  return low | 0x80000000u | ((v.build & 0x7FFF) << 16);
}

// The simulated machines convert text as Windows-1252 does.
UINT SimPlatform::GetACP() { return 1252; }

// The program is 32-bit. Not a failable call: the recorder asks it besides
// the wizard, which must see the same calls either way.
BOOL SimPlatform::IsWow64Process(HANDLE process, BOOL* wow64) {
  if (machine_.Version().platformId != VER_PLATFORM_WIN32_NT) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  const auto it = kernel_handles_.find(static_cast<uintptr_t>(process));
  if (static_cast<uintptr_t>(process) != kCurrentProcess &&
      (it == kernel_handles_.end() || it->second != "process")) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (wow64 == nullptr) {
    SetLastError(static_cast<DWORD>(ERROR_NOACCESS));
    return FALSE;
  }
  *wow64 = machine_.Is64Bit() ? TRUE : FALSE;
  return TRUE;
}

BOOL SimPlatform::GetVersionExA(OSVERSIONINFOA* info) {
  if (InjectBool("GetVersionExA")) return FALSE;
  // The plain and the extended structure (156 bytes) are both accepted.
  if (info == nullptr ||
      (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != 156)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  WindowsVersion v = machine_.Version();
  info->dwMajorVersion = v.major;
  info->dwMinorVersion = v.minor;
  info->dwBuildNumber = v.platformId == VER_PLATFORM_WIN32_NT
                            ? v.build
                            : ((v.major & 0xFF) << 24) | ((v.minor & 0xFF) << 16) | (v.build & 0xFFFF);
  info->dwPlatformId = v.platformId;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  std::strncpy(info->szCSDVersion, v.csdVersion.c_str(), sizeof(info->szCSDVersion) - 1);
  return TRUE;
}

// ------------------------------------------------------------ processes

UINT SimPlatform::WinExec(const char* commandLine, UINT /*show*/) {
  DWORD error = 0;
  if (Inject("WinExec", &error)) return error < 32 ? error : 0;
  std::string command = commandLine ? commandLine : "";
  if (Lower(command).rfind("regsvr32", 0) == 0 && !machine_.config.regsvr32Found)
    return static_cast<UINT>(ERROR_FILE_NOT_FOUND);
  pages_.transcript().ProcessStarted("", command);
  return 33;
}

BOOL SimPlatform::CreateProcessA(const char* applicationName, char* commandLine,
                                 DWORD /*creationFlags*/, UINT /*show*/,
                                 PROCESS_INFORMATION* processInformation) {
  if (InjectBool("CreateProcessA")) return FALSE;
  std::string application = applicationName ? applicationName : "";
  std::string regsvr32 = machine_.config.systemDirectory + "\\regsvr32.exe";
  if (Lower(application) != Lower(regsvr32) || !machine_.config.regsvr32Found) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (processInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pages_.transcript().ProcessStarted(application, commandLine ? commandLine : "");
  Components().ProcessStarted(application, commandLine ? commandLine : "");
  uintptr_t process = next_handle_;
  next_handle_ += 4;
  uintptr_t thread = next_handle_;
  next_handle_ += 4;
  kernel_handles_[process] = "process";
  kernel_handles_[thread] = "thread";
  processInformation->hProcess = HANDLE(process);
  processInformation->hThread = HANDLE(thread);
  processInformation->dwProcessId = static_cast<DWORD>(process);
  processInformation->dwThreadId = static_cast<DWORD>(thread);
  return TRUE;
}

DWORD SimPlatform::WaitForSingleObject(HANDLE handle, DWORD /*milliseconds*/) {
  DWORD error = 0;
  if (Inject("WaitForSingleObject", &error)) {
    SetLastError(error);
    return WAIT_FAILED;
  }
  if (kernel_handles_.count(static_cast<uintptr_t>(handle)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return WAIT_OBJECT_0;
}

BOOL SimPlatform::GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
  if (InjectBool("GetExitCodeProcess")) return FALSE;
  auto it = kernel_handles_.find(static_cast<uintptr_t>(process));
  if (it == kernel_handles_.end() || it->second != "process" || exitCode == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = 0;
  return TRUE;
}

}  // namespace cw::sim
