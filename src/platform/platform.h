// The wizard's one road to Windows.
//
// Every operation mirrors one Windows call: same arguments, same results, same
// error codes, and the same last-error behaviour (registry calls report through
// their result and leave the thread's last error alone; BOOL and handle calls
// set it on failure). The logic receives a Platform object and calls nothing
// else, so the same code runs on the real API (win32 backend) and on the
// simulated Windows (sim backend), where any call can be made to fail.
//
// Arguments that Windows always receives as NULL from this program are left
// out (for instance the reserved pointers and the class-name buffers that are
// never read); everything the program passes or reads is kept.
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace cw {

// A modal page's window procedure, as the dialog framework provides it. The
// platform calls it for every message the page receives, starting with
// WM_INITDIALOG; it returns nonzero when it handled the message.
class DialogProcHandler {
 public:
  virtual INT_PTR HandleDialogMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) = 0;

 protected:
  ~DialogProcHandler() = default;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // ---- Thread last error (kernel32) ----
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD error) = 0;

  // ---- Registry (advapi32) ----
  [[nodiscard]] virtual LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) = 0;
  [[nodiscard]] virtual LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options,
                                           REGSAM access, HKEY* result) = 0;
  // RegCreateKeyExA with no class and no security attributes.
  [[nodiscard]] virtual LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved,
                                             DWORD options, REGSAM access, HKEY* result,
                                             DWORD* disposition) = 0;
  [[nodiscard]] virtual LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type,
                                              BYTE* data, DWORD* dataSize) = 0;
  [[nodiscard]] virtual LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved,
                                            DWORD type, const BYTE* data, DWORD dataSize) = 0;
  [[nodiscard]] virtual LONG RegFlushKey(HKEY key) = 0;
  // RegDeleteKeyA as the NT family has it: a key with subkeys is not deleted.
  [[nodiscard]] virtual LONG RegDeleteKeyA(HKEY key, const char* subKey) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;
  // RegQueryInfoKeyA: the counts the program does not read may be null.
  [[nodiscard]] virtual LONG RegQueryInfoKeyA(HKEY key, char* className, DWORD* classNameSize,
                                              DWORD* subKeys, DWORD* maxSubKeyLen,
                                              DWORD* maxClassLen, DWORD* values,
                                              DWORD* maxValueNameLen, DWORD* maxValueLen,
                                              DWORD* securityDescriptorSize,
                                              FILETIME* lastWriteTime) = 0;
  [[nodiscard]] virtual LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                                               PSECURITY_DESCRIPTOR descriptor, DWORD* size) = 0;
  [[nodiscard]] virtual LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                                               PSECURITY_DESCRIPTOR descriptor) = 0;

  // ---- Security descriptors and access lists (advapi32) ----
  [[nodiscard]] virtual BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor,
                                                       BOOL* present, ACL** dacl,
                                                       BOOL* defaulted) = 0;
  [[nodiscard]] virtual BOOL GetAce(ACL* acl, DWORD index, void** ace) = 0;
  [[nodiscard]] virtual DWORD GetLengthSid(PSID sid) = 0;
  [[nodiscard]] virtual BOOL InitializeAcl(ACL* acl, DWORD size, DWORD revision) = 0;
  [[nodiscard]] virtual BOOL AddAccessAllowedAce(ACL* acl, DWORD revision, DWORD mask,
                                                 PSID sid) = 0;
  [[nodiscard]] virtual DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR descriptor) = 0;
  [[nodiscard]] virtual BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor,
                                                          DWORD revision) = 0;
  [[nodiscard]] virtual BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor,
                                                       BOOL present, ACL* dacl, BOOL defaulted) = 0;

  // ---- Process token and restart (advapi32, user32) ----
  virtual HANDLE GetCurrentProcess() = 0;
  [[nodiscard]] virtual BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) = 0;
  [[nodiscard]] virtual BOOL LookupPrivilegeValueA(const char* systemName, const char* name,
                                                   LUID* luid) = 0;
  [[nodiscard]] virtual BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                                   TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                                                   TOKEN_PRIVILEGES* previousState,
                                                   DWORD* returnLength) = 0;
  [[nodiscard]] virtual BOOL ExitWindowsEx(UINT flags, DWORD reason) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;

  // ---- Device setup (setupapi) ----
  virtual HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, const char* enumerator, HWND parent,
                                        DWORD flags) = 0;
  virtual BOOL SetupDiEnumDeviceInfo(HDEVINFO list, DWORD index, SP_DEVINFO_DATA* data) = 0;
  virtual BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO list, SP_DEVINFO_DATA* data,
                                                 DWORD property, DWORD* type, BYTE* buffer,
                                                 DWORD bufferSize, DWORD* requiredSize) = 0;
  virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO list) = 0;

  // ---- Profile files and system information (kernel32) ----
  virtual DWORD GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, char* buffer, DWORD size,
                                         const char* fileName) = 0;
  virtual UINT GetPrivateProfileIntA(const char* section, const char* key, INT defaultValue,
                                     const char* fileName) = 0;
  virtual UINT GetProfileIntA(const char* section, const char* key, INT defaultValue) = 0;
  virtual UINT GetWindowsDirectoryA(char* buffer, UINT size) = 0;
  virtual UINT GetSystemDirectoryA(char* buffer, UINT size) = 0;
  // Always the program's own module.
  virtual DWORD GetModuleFileNameA(char* buffer, DWORD size) = 0;
  virtual DWORD GetVersion() = 0;
  virtual BOOL GetVersionExA(OSVERSIONINFOA* info) = 0;
  // The ANSI code page the "A" calls convert text with.
  virtual UINT GetACP() = 0;
  // Whether the process runs under WOW64: a 32-bit program on 64-bit
  // Windows, which sees the registry's 32-bit view. Windows without the call
  // (9x, 2000, XP before SP2) have no WOW64; there it fails with
  // ERROR_CALL_NOT_IMPLEMENTED, as a call Windows lacks does.
  virtual BOOL IsWow64Process(HANDLE process, BOOL* wow64) = 0;

  // ---- Process start (kernel32) ----
  virtual UINT WinExec(const char* commandLine, UINT show) = 0;
  // CreateProcessA with no security attributes, no inherited handles, no
  // environment or directory of its own, and the show state in the start-up info.
  virtual BOOL CreateProcessA(const char* applicationName, char* commandLine, DWORD creationFlags,
                              UINT show, PROCESS_INFORMATION* processInformation) = 0;
  virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
  virtual BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) = 0;

  // ---- Device I/O (kernel32) ----
  virtual HANDLE CreateEventA(BOOL manualReset, BOOL initialState) = 0;
  virtual BOOL DeviceIoControl(HANDLE device, DWORD code, void* input, DWORD inputSize,
                               void* output, DWORD outputSize, DWORD* bytesReturned,
                               OVERLAPPED* overlapped) = 0;
  virtual BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* bytesTransferred,
                                   BOOL wait) = 0;

  // ---- COM (ole32, oleaut32) ----
  // Interface pointers are real COM objects: a pointer to a table of methods,
  // called by position (see access/).
  virtual HRESULT CoInitialize() = 0;
  virtual void CoUninitialize() = 0;
  virtual HRESULT CoCreateInstance(const CLSID& clsid, void* outer, DWORD context, const IID& iid,
                                   void** object) = 0;
  virtual void SysFreeString(BSTR text) = 0;
  virtual int WideCharToMultiByte(UINT codePage, DWORD flags, const OLECHAR* wide, int wideLength,
                                  char* buffer, int bufferSize) = 0;

  // ---- User interface (user32) ----
  // DialogBoxParamA on one of the program's dialog templates. Returns the value
  // passed to EndDialog, or -1 (with the last error set) when the page cannot
  // be created.
  virtual INT_PTR DialogBoxParamA(int templateId, HWND parent, DialogProcHandler* handler) = 0;
  virtual BOOL EndDialog(HWND dialog, INT_PTR result) = 0;
  virtual HWND GetDlgItem(HWND dialog, int id) = 0;
  virtual int GetDlgCtrlID(HWND control) = 0;
  virtual BOOL SetWindowTextA(HWND window, const char* text) = 0;
  virtual int GetWindowTextA(HWND window, char* buffer, int size) = 0;
  virtual BOOL SetDlgItemTextA(HWND dialog, int id, const char* text) = 0;
  virtual LRESULT SendMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) = 0;
  virtual BOOL CheckDlgButton(HWND dialog, int id, UINT check) = 0;
  virtual UINT IsDlgButtonChecked(HWND dialog, int id) = 0;
  virtual BOOL EnableWindow(HWND window, BOOL enable) = 0;
  virtual BOOL IsWindowEnabled(HWND window) = 0;
  // LoadIconA on the program's own module.
  virtual HICON LoadIconA(int resourceId) = 0;
  virtual BOOL IsIconic(HWND window) = 0;
  virtual int GetSystemMetrics(int index) = 0;
  virtual BOOL GetClientRect(HWND window, RECT* rect) = 0;
  virtual HDC BeginPaint(HWND window, PAINTSTRUCT* paint) = 0;
  virtual BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) = 0;
  virtual BOOL DrawIcon(HDC dc, int x, int y, HICON icon) = 0;
  virtual int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) = 0;
};

}  // namespace cw
