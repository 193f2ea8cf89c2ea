// The platform on the real Windows API: each operation is the one Windows call
// it mirrors, with Windows' results and last-error behaviour left as they are.
//
// This header stays free of <windows.h> so that it can sit next to the
// wizard's own headers; only win32_platform.cpp and main.cpp see the real
// declarations.
#pragma once

#include "platform/platform.h"

namespace cw::win32 {

class Win32Platform final : public Platform {
 public:
  Win32Platform() = default;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;
  ~Win32Platform() override = default;

  DWORD GetLastError() override;
  void SetLastError(DWORD error) override;

  LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) override;
  LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access,
                     HKEY* result) override;
  LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, DWORD options, REGSAM access,
                       HKEY* result, DWORD* disposition) override;
  LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                        DWORD* dataSize) override;
  LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                      const BYTE* data, DWORD dataSize) override;
  LONG RegFlushKey(HKEY key) override;
  LONG RegDeleteKeyA(HKEY key, const char* subKey) override;
  LONG RegCloseKey(HKEY key) override;
  LONG RegQueryInfoKeyA(HKEY key, char* className, DWORD* classNameSize, DWORD* subKeys,
                        DWORD* maxSubKeyLen, DWORD* maxClassLen, DWORD* values,
                        DWORD* maxValueNameLen, DWORD* maxValueLen,
                        DWORD* securityDescriptorSize, FILETIME* lastWriteTime) override;
  LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor,
                         DWORD* size) override;
  LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                         PSECURITY_DESCRIPTOR descriptor) override;

  BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present, ACL** dacl,
                                 BOOL* defaulted) override;
  BOOL GetAce(ACL* acl, DWORD index, void** ace) override;
  DWORD GetLengthSid(PSID sid) override;
  BOOL InitializeAcl(ACL* acl, DWORD size, DWORD revision) override;
  BOOL AddAccessAllowedAce(ACL* acl, DWORD revision, DWORD mask, PSID sid) override;
  DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR descriptor) override;
  BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) override;
  BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, ACL* dacl,
                                 BOOL defaulted) override;

  HANDLE GetCurrentProcess() override;
  BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) override;
  BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) override;
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState,
                             DWORD bufferLength, TOKEN_PRIVILEGES* previousState,
                             DWORD* returnLength) override;
  BOOL ExitWindowsEx(UINT flags, DWORD reason) override;
  BOOL CloseHandle(HANDLE handle) override;

  HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, const char* enumerator, HWND parent,
                                DWORD flags) override;
  BOOL SetupDiEnumDeviceInfo(HDEVINFO list, DWORD index, SP_DEVINFO_DATA* data) override;
  BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO list, SP_DEVINFO_DATA* data, DWORD property,
                                         DWORD* type, BYTE* buffer, DWORD bufferSize,
                                         DWORD* requiredSize) override;
  BOOL SetupDiDestroyDeviceInfoList(HDEVINFO list) override;

  DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, DWORD size, const char* fileName) override;
  UINT GetPrivateProfileIntA(const char* section, const char* key, INT defaultValue,
                             const char* fileName) override;
  UINT GetProfileIntA(const char* section, const char* key, INT defaultValue) override;
  UINT GetWindowsDirectoryA(char* buffer, UINT size) override;
  UINT GetSystemDirectoryA(char* buffer, UINT size) override;
  DWORD GetModuleFileNameA(char* buffer, DWORD size) override;
  DWORD GetVersion() override;
  UINT GetACP() override;
  BOOL IsWow64Process(HANDLE process, BOOL* wow64) override;
  BOOL GetVersionExA(OSVERSIONINFOA* info) override;

  UINT WinExec(const char* commandLine, UINT show) override;
  BOOL CreateProcessA(const char* applicationName, char* commandLine, DWORD creationFlags,
                      UINT show, PROCESS_INFORMATION* processInformation) override;
  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
  BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) override;

  HANDLE CreateEventA(BOOL manualReset, BOOL initialState) override;
  BOOL DeviceIoControl(HANDLE device, DWORD code, void* input, DWORD inputSize, void* output,
                       DWORD outputSize, DWORD* bytesReturned, OVERLAPPED* overlapped) override;
  BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* bytesTransferred,
                           BOOL wait) override;

  HRESULT CoInitialize() override;
  void CoUninitialize() override;
  HRESULT CoCreateInstance(const CLSID& clsid, void* outer, DWORD context, const IID& iid,
                           void** object) override;
  void SysFreeString(BSTR text) override;
  int WideCharToMultiByte(UINT codePage, DWORD flags, const OLECHAR* wide, int wideLength,
                          char* buffer, int bufferSize) override;

  INT_PTR DialogBoxParamA(int templateId, HWND parent, DialogProcHandler* handler) override;
  BOOL EndDialog(HWND dialog, INT_PTR result) override;
  HWND GetDlgItem(HWND dialog, int id) override;
  int GetDlgCtrlID(HWND control) override;
  BOOL SetWindowTextA(HWND window, const char* text) override;
  int GetWindowTextA(HWND window, char* buffer, int size) override;
  BOOL SetDlgItemTextA(HWND dialog, int id, const char* text) override;
  LRESULT SendMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) override;
  BOOL CheckDlgButton(HWND dialog, int id, UINT check) override;
  UINT IsDlgButtonChecked(HWND dialog, int id) override;
  BOOL EnableWindow(HWND window, BOOL enable) override;
  BOOL IsWindowEnabled(HWND window) override;
  HICON LoadIconA(int resourceId) override;
  BOOL IsIconic(HWND window) override;
  int GetSystemMetrics(int index) override;
  BOOL GetClientRect(HWND window, RECT* rect) override;
  HDC BeginPaint(HWND window, PAINTSTRUCT* paint) override;
  BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) override;
  BOOL DrawIcon(HDC dc, int x, int y, HICON icon) override;
  int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override;
};

// The value of a predefined registry key as the real API knows it: on 64-bit
// Windows the predefined keys are sign-extended (HKEY_LOCAL_MACHINE is
// 0xFFFFFFFF80000002), while the wizard keeps them as 32-bit constants.
// Other keys pass unchanged. Exposed for tests.
std::uintptr_t RealKeyValue(HKEY key);
HKEY WizardKeyValue(std::uintptr_t realKey);

}  // namespace cw::win32
