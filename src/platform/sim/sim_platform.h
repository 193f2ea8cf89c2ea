// The simulated Windows: every platform operation over a Machine, with
// Windows' results, error codes and last-error behaviour; pages built from
// the program's dialog templates and answered by a script or a person; a
// transcript of what was shown; and fault injection for tests.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/platform.h"
#include "platform/sim/machine.h"
#include "scripting/page_host.h"
#include "scripting/page_host_platform.h"
#include "scripting/script.h"
#include "platform/sim/sim_components.h"
#include "scripting/transcript.h"

namespace cw::sim {

// Makes the nth call (1-based; 0 = every call) of an operation fail with a
// Windows error code, as that operation reports failures.
struct Fault {
  std::string operation;  // e.g. "RegOpenKeyExA"
  int nth = 1;
  DWORD error = 5;  // ERROR_ACCESS_DENIED
};

class SimPlatform : public PageHostPlatform<Platform> {
 public:
  // `machine` is changed by the run. `answers` may be null (every page and
  // question then stops the run). `echo` receives the text picture of every
  // page and box (null for none). `dialogs` are the templates of the program
  // that runs on it: without them it can show message boxes but no page.
  SimPlatform(Machine& machine, AnswerSource* answers, std::FILE* echo = nullptr,
              DialogResources dialogs = {});
  ~SimPlatform() override;

  // Maps a Windows path (compared without regard to case) to a file on this
  // machine, for the profile calls.
  void MapFile(const std::string& windowsPath, const std::string& hostPath);
  void AddFault(const Fault& fault) { faults_.push_back(fault); }
  // Called for every message box once it has been answered.
  void SetMessageBoxHook(decltype(PageHost::Hooks::messageBoxShown) hook) {
    pages_.SetMessageBoxHook(std::move(hook));
  }

  const Transcript& transcript() const { return pages_.transcript(); }
  // Every failable call made so far, in order.
  const std::vector<std::string>& calls() const { return calls_; }
  // The registry as the process being killed would leave it when the nth
  // failable call (from 1, as calls() counts) is entered; null until then.
  void KeepRegistryAtCall(size_t nth) { keep_at_call_ = nth; }
  const RegistryTree* RegistryAtCall() const { return kept_registry_.get(); }
  // Set when a page or question waited with no answer, or a step could not
  // apply: the run is over at that point, as if the process had been ended.
  const std::optional<Halt>& halt() const { return pages_.halt(); }
  // The registry as it was when the run stopped (the machine's own when it
  // did not).
  const RegistryTree& FinalRegistry() const;
  // Registry keys still open, with their paths (a leak in the program).
  std::vector<std::string> OpenKeyPaths() const;
  // The state of the last page shown, as it was after its last step (null
  // before any page).
  const PageState* LastPage() const { return pages_.LastPage(); }
  // The COM components and the capture driver, with what they saw.
  const SimComponents& components() const { return Components(); }

  // ---- Platform (the user-interface calls are answered by PageHostPlatform) ----
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

 private:
  struct OpenKey {
    RegRoot root;
    std::string path;
    REGSAM access;
  };
  struct DeviceList {
    std::vector<std::string> instancePaths;  // below HKLM
  };
  friend class SimComponents;

  // Made at their first use (sim_com.cpp).
  SimComponents& Components() const;

  // Counts a failable call and tells whether it is to fail (and with what).
  bool Inject(const char* operation, DWORD* error);
  bool InjectBool(const char* operation);  // sets the last error when failing

  // Registry helpers.
  LONG ResolveKey(HKEY key, RegRoot* root, std::string* path, REGSAM* access) const;
  LONG OpenPath(HKEY key, const char* subKey, REGSAM access, bool create, HKEY* result,
                DWORD* disposition);
  RegKey* KeyFor(HKEY key, LONG* error, REGSAM needed) const;

  // Profile files.
  bool ReadProfileFile(const std::string& windowsPath, std::string* text) const;
  std::string WindowsPathOf(const char* fileName) const;

  Machine& machine_;
  std::vector<Fault> faults_;
  std::map<std::string, int> call_counts_;
  std::vector<std::string> calls_;
  // The registry as it was when the run stopped.
  std::unique_ptr<RegistryTree> halt_registry_;
  size_t keep_at_call_ = 0;
  std::unique_ptr<RegistryTree> kept_registry_;
  PageHost pages_;

  DWORD last_error_ = 0;
  uintptr_t next_handle_ = 0x100;
  std::map<uintptr_t, OpenKey> keys_;
  std::map<uintptr_t, DeviceList> device_lists_;
  std::map<uintptr_t, std::string> kernel_handles_;  // handle -> kind ("token", "event", ...)
  bool shutdown_enabled_ = false;
  int com_depth_ = 0;
  std::map<std::string, std::string> files_;  // lower-case Windows path -> host path

  // Declared last: destroyed first, while the rest of the machine is whole.
  mutable std::unique_ptr<SimComponents> components_;
};

}  // namespace cw::sim
