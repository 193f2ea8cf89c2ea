// A platform that passes every call to another one. Decorators derive from
// it and override only the calls they change, so the rest keeps Windows'
// behaviour exactly, last error included.
#pragma once

#include "platform/platform.h"

namespace cw {

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

  DWORD GetLastError() override { return inner_.GetLastError(); }
  void SetLastError(DWORD error) override { inner_.SetLastError(error); }
  LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) override {
    return inner_.RegOpenKeyA(key, subKey, result);
  }
  LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access,
                     HKEY* result) override {
    return inner_.RegOpenKeyExA(key, subKey, options, access, result);
  }
  LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, DWORD options, REGSAM access,
                       HKEY* result, DWORD* disposition) override {
    return inner_.RegCreateKeyExA(key, subKey, reserved, options, access, result, disposition);
  }
  LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                        DWORD* dataSize) override {
    return inner_.RegQueryValueExA(key, valueName, type, data, dataSize);
  }
  LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                      DWORD dataSize) override {
    return inner_.RegSetValueExA(key, valueName, reserved, type, data, dataSize);
  }
  LONG RegFlushKey(HKEY key) override { return inner_.RegFlushKey(key); }
  LONG RegDeleteKeyA(HKEY key, const char* subKey) override {
    return inner_.RegDeleteKeyA(key, subKey);
  }
  LONG RegCloseKey(HKEY key) override { return inner_.RegCloseKey(key); }
  LONG RegQueryInfoKeyA(HKEY key, char* className, DWORD* classNameSize, DWORD* subKeys,
                        DWORD* maxSubKeyLen, DWORD* maxClassLen, DWORD* values,
                        DWORD* maxValueNameLen, DWORD* maxValueLen, DWORD* securityDescriptorSize,
                        FILETIME* lastWriteTime) override {
    return inner_.RegQueryInfoKeyA(key, className, classNameSize, subKeys, maxSubKeyLen,
                                   maxClassLen, values, maxValueNameLen, maxValueLen,
                                   securityDescriptorSize, lastWriteTime);
  }
  LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor,
                         DWORD* size) override {
    return inner_.RegGetKeySecurity(key, info, descriptor, size);
  }
  LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                         PSECURITY_DESCRIPTOR descriptor) override {
    return inner_.RegSetKeySecurity(key, info, descriptor);
  }
  BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present, ACL** dacl,
                                 BOOL* defaulted) override {
    return inner_.GetSecurityDescriptorDacl(descriptor, present, dacl, defaulted);
  }
  BOOL GetAce(ACL* acl, DWORD index, void** ace) override { return inner_.GetAce(acl, index, ace); }
  DWORD GetLengthSid(PSID sid) override { return inner_.GetLengthSid(sid); }
  BOOL InitializeAcl(ACL* acl, DWORD size, DWORD revision) override {
    return inner_.InitializeAcl(acl, size, revision);
  }
  BOOL AddAccessAllowedAce(ACL* acl, DWORD revision, DWORD mask, PSID sid) override {
    return inner_.AddAccessAllowedAce(acl, revision, mask, sid);
  }
  DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR descriptor) override {
    return inner_.GetSecurityDescriptorLength(descriptor);
  }
  BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) override {
    return inner_.InitializeSecurityDescriptor(descriptor, revision);
  }
  BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, ACL* dacl,
                                 BOOL defaulted) override {
    return inner_.SetSecurityDescriptorDacl(descriptor, present, dacl, defaulted);
  }
  HANDLE GetCurrentProcess() override { return inner_.GetCurrentProcess(); }
  BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) override {
    return inner_.OpenProcessToken(process, access, token);
  }
  BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) override {
    return inner_.LookupPrivilegeValueA(systemName, name, luid);
  }
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState,
                             DWORD bufferLength, TOKEN_PRIVILEGES* previousState,
                             DWORD* returnLength) override {
    return inner_.AdjustTokenPrivileges(token, disableAll, newState, bufferLength, previousState,
                                        returnLength);
  }
  BOOL ExitWindowsEx(UINT flags, DWORD reason) override {
    return inner_.ExitWindowsEx(flags, reason);
  }
  BOOL CloseHandle(HANDLE handle) override { return inner_.CloseHandle(handle); }
  HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, const char* enumerator, HWND parent,
                                DWORD flags) override {
    return inner_.SetupDiGetClassDevsA(classGuid, enumerator, parent, flags);
  }
  BOOL SetupDiEnumDeviceInfo(HDEVINFO list, DWORD index, SP_DEVINFO_DATA* data) override {
    return inner_.SetupDiEnumDeviceInfo(list, index, data);
  }
  BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO list, SP_DEVINFO_DATA* data, DWORD property,
                                         DWORD* type, BYTE* buffer, DWORD bufferSize,
                                         DWORD* requiredSize) override {
    return inner_.SetupDiGetDeviceRegistryPropertyA(list, data, property, type, buffer, bufferSize,
                                                    requiredSize);
  }
  BOOL SetupDiDestroyDeviceInfoList(HDEVINFO list) override {
    return inner_.SetupDiDestroyDeviceInfoList(list);
  }
  DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, DWORD size, const char* fileName) override {
    return inner_.GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
  }
  UINT GetPrivateProfileIntA(const char* section, const char* key, INT defaultValue,
                             const char* fileName) override {
    return inner_.GetPrivateProfileIntA(section, key, defaultValue, fileName);
  }
  UINT GetProfileIntA(const char* section, const char* key, INT defaultValue) override {
    return inner_.GetProfileIntA(section, key, defaultValue);
  }
  UINT GetWindowsDirectoryA(char* buffer, UINT size) override {
    return inner_.GetWindowsDirectoryA(buffer, size);
  }
  UINT GetSystemDirectoryA(char* buffer, UINT size) override {
    return inner_.GetSystemDirectoryA(buffer, size);
  }
  DWORD GetModuleFileNameA(char* buffer, DWORD size) override {
    return inner_.GetModuleFileNameA(buffer, size);
  }
  DWORD GetVersion() override { return inner_.GetVersion(); }
  UINT GetACP() override { return inner_.GetACP(); }
  BOOL IsWow64Process(HANDLE process, BOOL* wow64) override {
    return inner_.IsWow64Process(process, wow64);
  }
  BOOL GetVersionExA(OSVERSIONINFOA* info) override { return inner_.GetVersionExA(info); }
  UINT WinExec(const char* commandLine, UINT show) override {
    return inner_.WinExec(commandLine, show);
  }
  BOOL CreateProcessA(const char* applicationName, char* commandLine, DWORD creationFlags,
                      UINT show, PROCESS_INFORMATION* processInformation) override {
    return inner_.CreateProcessA(applicationName, commandLine, creationFlags, show,
                                 processInformation);
  }
  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override {
    return inner_.WaitForSingleObject(handle, milliseconds);
  }
  BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) override {
    return inner_.GetExitCodeProcess(process, exitCode);
  }
  HANDLE CreateEventA(BOOL manualReset, BOOL initialState) override {
    return inner_.CreateEventA(manualReset, initialState);
  }
  BOOL DeviceIoControl(HANDLE device, DWORD code, void* input, DWORD inputSize, void* output,
                       DWORD outputSize, DWORD* bytesReturned, OVERLAPPED* overlapped) override {
    return inner_.DeviceIoControl(device, code, input, inputSize, output, outputSize, bytesReturned,
                                  overlapped);
  }
  BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* bytesTransferred,
                           BOOL wait) override {
    return inner_.GetOverlappedResult(device, overlapped, bytesTransferred, wait);
  }
  HRESULT CoInitialize() override { return inner_.CoInitialize(); }
  void CoUninitialize() override { inner_.CoUninitialize(); }
  HRESULT CoCreateInstance(const CLSID& clsid, void* outer, DWORD context, const IID& iid,
                           void** object) override {
    return inner_.CoCreateInstance(clsid, outer, context, iid, object);
  }
  void SysFreeString(BSTR text) override { inner_.SysFreeString(text); }
  int WideCharToMultiByte(UINT codePage, DWORD flags, const OLECHAR* wide, int wideLength,
                          char* buffer, int bufferSize) override {
    return inner_.WideCharToMultiByte(codePage, flags, wide, wideLength, buffer, bufferSize);
  }
  INT_PTR DialogBoxParamA(int templateId, HWND parent, DialogProcHandler* handler) override {
    return inner_.DialogBoxParamA(templateId, parent, handler);
  }
  BOOL EndDialog(HWND dialog, INT_PTR result) override { return inner_.EndDialog(dialog, result); }
  HWND GetDlgItem(HWND dialog, int id) override { return inner_.GetDlgItem(dialog, id); }
  int GetDlgCtrlID(HWND control) override { return inner_.GetDlgCtrlID(control); }
  BOOL SetWindowTextA(HWND window, const char* text) override {
    return inner_.SetWindowTextA(window, text);
  }
  int GetWindowTextA(HWND window, char* buffer, int size) override {
    return inner_.GetWindowTextA(window, buffer, size);
  }
  BOOL SetDlgItemTextA(HWND dialog, int id, const char* text) override {
    return inner_.SetDlgItemTextA(dialog, id, text);
  }
  LRESULT SendMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) override {
    return inner_.SendMessageA(window, msg, wparam, lparam);
  }
  BOOL CheckDlgButton(HWND dialog, int id, UINT check) override {
    return inner_.CheckDlgButton(dialog, id, check);
  }
  UINT IsDlgButtonChecked(HWND dialog, int id) override {
    return inner_.IsDlgButtonChecked(dialog, id);
  }
  BOOL EnableWindow(HWND window, BOOL enable) override {
    return inner_.EnableWindow(window, enable);
  }
  BOOL IsWindowEnabled(HWND window) override { return inner_.IsWindowEnabled(window); }
  HICON LoadIconA(int resourceId) override { return inner_.LoadIconA(resourceId); }
  BOOL IsIconic(HWND window) override { return inner_.IsIconic(window); }
  int GetSystemMetrics(int index) override { return inner_.GetSystemMetrics(index); }
  BOOL GetClientRect(HWND window, RECT* rect) override {
    return inner_.GetClientRect(window, rect);
  }
  HDC BeginPaint(HWND window, PAINTSTRUCT* paint) override {
    return inner_.BeginPaint(window, paint);
  }
  BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) override {
    return inner_.EndPaint(window, paint);
  }
  BOOL DrawIcon(HDC dc, int x, int y, HICON icon) override {
    return inner_.DrawIcon(dc, x, y, icon);
  }
  int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override {
    return inner_.MessageBoxA(owner, text, caption, type);
  }

 protected:
  Platform& inner() { return inner_; }

 private:
  Platform& inner_;
};

}  // namespace cw
