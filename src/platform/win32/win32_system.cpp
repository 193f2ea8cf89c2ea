// The real Windows behind the platform seam: the process token and restart,
// device setup, profile files and system information, processes, device I/O
// and COM. Each operation is one call of the API, with its result and last
// error handed back untouched.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_convert.h"

namespace cw::win32 {

using namespace convert;

// ---------------------------------------------------------------------------
// Process token and restart

HANDLE Win32Platform::GetCurrentProcess() { return ToMirror<HANDLE>(::GetCurrentProcess()); }

BOOL Win32Platform::OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
  HandleOut<HANDLE, ::HANDLE> out(token);
  return ::OpenProcessToken(RealHandle(process), access, out.get());
}

BOOL Win32Platform::LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) {
  return ::LookupPrivilegeValueA(systemName, name, reinterpret_cast<::PLUID>(luid));
}

BOOL Win32Platform::AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                          TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                                          TOKEN_PRIVILEGES* previousState, DWORD* returnLength) {
  return ::AdjustTokenPrivileges(RealHandle(token), disableAll,
                                 reinterpret_cast<::PTOKEN_PRIVILEGES>(newState), bufferLength,
                                 reinterpret_cast<::PTOKEN_PRIVILEGES>(previousState),
                                 Dw(returnLength));
}

BOOL Win32Platform::ExitWindowsEx(UINT flags, DWORD reason) {
  return ::ExitWindowsEx(flags, reason);
}

BOOL Win32Platform::CloseHandle(HANDLE handle) { return ::CloseHandle(RealHandle(handle)); }

// ---------------------------------------------------------------------------
// Device setup

HDEVINFO Win32Platform::SetupDiGetClassDevsA(const GUID* classGuid, const char* enumerator,
                                             HWND parent, DWORD flags) {
  return ToMirror<HDEVINFO>(::SetupDiGetClassDevsA(reinterpret_cast<const ::GUID*>(classGuid),
                                                   enumerator, RealWnd(parent), flags));
}

BOOL Win32Platform::SetupDiEnumDeviceInfo(HDEVINFO list, DWORD index, SP_DEVINFO_DATA* data) {
  return ::SetupDiEnumDeviceInfo(RealDevInfo(list), index,
                                 reinterpret_cast<::PSP_DEVINFO_DATA>(data));
}

BOOL Win32Platform::SetupDiGetDeviceRegistryPropertyA(HDEVINFO list, SP_DEVINFO_DATA* data,
                                                      DWORD property, DWORD* type, BYTE* buffer,
                                                      DWORD bufferSize, DWORD* requiredSize) {
  return ::SetupDiGetDeviceRegistryPropertyA(RealDevInfo(list),
                                             reinterpret_cast<::PSP_DEVINFO_DATA>(data), property,
                                             Dw(type), buffer, bufferSize, Dw(requiredSize));
}

BOOL Win32Platform::SetupDiDestroyDeviceInfoList(HDEVINFO list) {
  return ::SetupDiDestroyDeviceInfoList(RealDevInfo(list));
}

// ---------------------------------------------------------------------------
// Profile files and system information

DWORD Win32Platform::GetPrivateProfileStringA(const char* section, const char* key,
                                              const char* defaultValue, char* buffer, DWORD size,
                                              const char* fileName) {
  return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
}

UINT Win32Platform::GetPrivateProfileIntA(const char* section, const char* key, INT defaultValue,
                                          const char* fileName) {
  return ::GetPrivateProfileIntA(section, key, defaultValue, fileName);
}

UINT Win32Platform::GetProfileIntA(const char* section, const char* key, INT defaultValue) {
  return ::GetProfileIntA(section, key, defaultValue);
}

UINT Win32Platform::GetWindowsDirectoryA(char* buffer, UINT size) {
  return ::GetWindowsDirectoryA(buffer, size);
}

UINT Win32Platform::GetSystemDirectoryA(char* buffer, UINT size) {
  return ::GetSystemDirectoryA(buffer, size);
}

DWORD Win32Platform::GetModuleFileNameA(char* buffer, DWORD size) {
  return ::GetModuleFileNameA(nullptr, buffer, size);
}

DWORD Win32Platform::GetVersion() { return ::GetVersion(); }
UINT Win32Platform::GetACP() { return ::GetACP(); }

// Found at run time: kernel32 has it from XP SP2 on, and a program that
// imported it would not load on older Windows, which have no WOW64 anyway.
BOOL Win32Platform::IsWow64Process(HANDLE process, BOOL* wow64) {
  using IsWow64ProcessFn = ::BOOL(WINAPI*)(::HANDLE, ::PBOOL);
  const ::FARPROC found = ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "IsWow64Process");
  if (found == nullptr) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  // Through a pointer to a function of no arguments, which converts to any
  // function pointer type without a warning.
  const auto call = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void (*)()>(found));
  return call(RealHandle(process), wow64);
}

BOOL Win32Platform::GetVersionExA(OSVERSIONINFOA* info) {
  return ::GetVersionExA(reinterpret_cast<::LPOSVERSIONINFOA>(info));
}

// ---------------------------------------------------------------------------
// Process start

UINT Win32Platform::WinExec(const char* commandLine, UINT show) {
  return ::WinExec(commandLine, show);
}

BOOL Win32Platform::CreateProcessA(const char* applicationName, char* commandLine,
                                   DWORD creationFlags, UINT show,
                                   PROCESS_INFORMATION* processInformation) {
  // Windows faults on a missing PROCESS_INFORMATION; report it instead.
  if (processInformation == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<::WORD>(show);
  return ::CreateProcessA(applicationName, commandLine, nullptr, nullptr, FALSE, creationFlags,
                          nullptr, nullptr, &startup,
                          reinterpret_cast<::LPPROCESS_INFORMATION>(processInformation));
}

DWORD Win32Platform::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return ::WaitForSingleObject(RealHandle(handle), milliseconds);
}

BOOL Win32Platform::GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
  return ::GetExitCodeProcess(RealHandle(process), Dw(exitCode));
}

// ---------------------------------------------------------------------------
// Device I/O. The OVERLAPPED record is the caller's own: the driver may
// complete into it after the call returns, so it is never copied.

HANDLE Win32Platform::CreateEventA(BOOL manualReset, BOOL initialState) {
  return ToMirror<HANDLE>(::CreateEventA(nullptr, manualReset, initialState, nullptr));
}

BOOL Win32Platform::DeviceIoControl(HANDLE device, DWORD code, void* input, DWORD inputSize,
                                    void* output, DWORD outputSize, DWORD* bytesReturned,
                                    OVERLAPPED* overlapped) {
  return ::DeviceIoControl(RealHandle(device), code, input, inputSize, output, outputSize,
                           Dw(bytesReturned), reinterpret_cast<::LPOVERLAPPED>(overlapped));
}

BOOL Win32Platform::GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped,
                                        DWORD* bytesTransferred, BOOL wait) {
  return ::GetOverlappedResult(RealHandle(device), reinterpret_cast<::LPOVERLAPPED>(overlapped),
                               Dw(bytesTransferred), wait);
}

// ---------------------------------------------------------------------------
// COM

HRESULT Win32Platform::CoInitialize() { return ::CoInitialize(nullptr); }

void Win32Platform::CoUninitialize() { ::CoUninitialize(); }

HRESULT Win32Platform::CoCreateInstance(const CLSID& clsid, void* outer, DWORD context,
                                        const IID& iid, void** object) {
  return ::CoCreateInstance(reinterpret_cast<const ::CLSID&>(clsid),
                            static_cast<::IUnknown*>(outer), context,
                            reinterpret_cast<const ::IID&>(iid), object);
}

void Win32Platform::SysFreeString(BSTR text) { ::SysFreeString(reinterpret_cast<::BSTR>(text)); }

int Win32Platform::WideCharToMultiByte(UINT codePage, DWORD flags, const OLECHAR* wide,
                                       int wideLength, char* buffer, int bufferSize) {
  return ::WideCharToMultiByte(codePage, flags, reinterpret_cast<const ::WCHAR*>(wide),
                               wideLength, buffer, bufferSize, nullptr, nullptr);
}
}  // namespace cw::win32
