// The real Windows behind the platform seam. Each operation is one call of
// the API, with its result and last error handed back untouched; the only
// work done here is converting between the wizard's mirror types and the
// real ones.
//
// The wizard's headers come before <windows.h>: its function-name macros
// (SetWindowText -> SetWindowTextA, ...) would otherwise rename members of
// the wizard's classes in this file alone. Inside namespace cw the wizard's
// own names (cw::HKEY, cw::GUID, ...) win over the global ones, so the real
// API and its types are always written with a leading "::". win_constants.h
// is never included here: its names are macros in <windows.h>.
#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <setupapi.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

// ---------------------------------------------------------------------------
// The mirror types are handed to the API by pointer, so they must be laid out
// exactly as the real ones in this build (32- or 64-bit).

// Alignment only has to be at least Windows' own: SetupAPI's structures are
// byte-packed in 32-bit builds.
#define CW_SAME_SIZE(T)                                           \
  static_assert(sizeof(cw::T) == sizeof(::T), #T ": size differs"); \
  static_assert(alignof(cw::T) % alignof(::T) == 0, #T ": less aligned than Windows'")
#define CW_SAME_OFFSET(T, field)                                     \
  static_assert(offsetof(cw::T, field) == offsetof(::T, field), \
                #T "::" #field ": offset differs")

static_assert(std::is_same<cw::BOOL, ::BOOL>::value, "BOOL");
static_assert(std::is_same<cw::UINT, ::UINT>::value, "UINT");
static_assert(std::is_same<cw::BYTE, ::BYTE>::value, "BYTE");
static_assert(std::is_same<cw::WORD, ::WORD>::value, "WORD");
static_assert(sizeof(cw::DWORD) == sizeof(::DWORD), "DWORD");
static_assert(sizeof(cw::LONG) == sizeof(::LONG), "LONG");
static_assert(sizeof(cw::INT_PTR) == sizeof(::INT_PTR), "INT_PTR");
static_assert(sizeof(cw::WPARAM) == sizeof(::WPARAM), "WPARAM");
static_assert(sizeof(cw::LPARAM) == sizeof(::LPARAM), "LPARAM");
static_assert(sizeof(cw::LRESULT) == sizeof(::LRESULT), "LRESULT");
static_assert(sizeof(cw::HRESULT) == sizeof(::HRESULT), "HRESULT");
static_assert(sizeof(cw::OLECHAR) == sizeof(::OLECHAR), "OLECHAR");
static_assert(sizeof(cw::HKEY) == sizeof(::HKEY), "HKEY");
static_assert(sizeof(cw::HWND) == sizeof(::HWND), "HWND");
static_assert(sizeof(cw::HANDLE) == sizeof(::HANDLE), "HANDLE");
static_assert(sizeof(cw::HICON) == sizeof(::HICON), "HICON");
static_assert(sizeof(cw::HDC) == sizeof(::HDC), "HDC");
static_assert(sizeof(cw::HDEVINFO) == sizeof(::HDEVINFO), "HDEVINFO");

CW_SAME_SIZE(GUID);
CW_SAME_OFFSET(GUID, Data1);
CW_SAME_OFFSET(GUID, Data2);
CW_SAME_OFFSET(GUID, Data3);
CW_SAME_OFFSET(GUID, Data4);

CW_SAME_SIZE(FILETIME);
CW_SAME_OFFSET(FILETIME, dwLowDateTime);
CW_SAME_OFFSET(FILETIME, dwHighDateTime);

CW_SAME_SIZE(RECT);
CW_SAME_OFFSET(RECT, left);
CW_SAME_OFFSET(RECT, top);
CW_SAME_OFFSET(RECT, right);
CW_SAME_OFFSET(RECT, bottom);

CW_SAME_SIZE(PAINTSTRUCT);
CW_SAME_OFFSET(PAINTSTRUCT, hdc);
CW_SAME_OFFSET(PAINTSTRUCT, fErase);
CW_SAME_OFFSET(PAINTSTRUCT, rcPaint);
CW_SAME_OFFSET(PAINTSTRUCT, fRestore);
CW_SAME_OFFSET(PAINTSTRUCT, fIncUpdate);
CW_SAME_OFFSET(PAINTSTRUCT, rgbReserved);

CW_SAME_SIZE(SP_DEVINFO_DATA);
CW_SAME_OFFSET(SP_DEVINFO_DATA, cbSize);
CW_SAME_OFFSET(SP_DEVINFO_DATA, ClassGuid);
CW_SAME_OFFSET(SP_DEVINFO_DATA, DevInst);
CW_SAME_OFFSET(SP_DEVINFO_DATA, Reserved);

CW_SAME_SIZE(OSVERSIONINFOA);
CW_SAME_OFFSET(OSVERSIONINFOA, dwOSVersionInfoSize);
CW_SAME_OFFSET(OSVERSIONINFOA, dwMajorVersion);
CW_SAME_OFFSET(OSVERSIONINFOA, dwMinorVersion);
CW_SAME_OFFSET(OSVERSIONINFOA, dwBuildNumber);
CW_SAME_OFFSET(OSVERSIONINFOA, dwPlatformId);
CW_SAME_OFFSET(OSVERSIONINFOA, szCSDVersion);

CW_SAME_SIZE(ACL);
CW_SAME_OFFSET(ACL, AclRevision);
CW_SAME_OFFSET(ACL, Sbz1);
CW_SAME_OFFSET(ACL, AclSize);
CW_SAME_OFFSET(ACL, AceCount);
CW_SAME_OFFSET(ACL, Sbz2);

CW_SAME_SIZE(ACE_HEADER);
CW_SAME_OFFSET(ACE_HEADER, AceType);
CW_SAME_OFFSET(ACE_HEADER, AceFlags);
CW_SAME_OFFSET(ACE_HEADER, AceSize);

CW_SAME_SIZE(ACCESS_ALLOWED_ACE);
CW_SAME_OFFSET(ACCESS_ALLOWED_ACE, Header);
CW_SAME_OFFSET(ACCESS_ALLOWED_ACE, Mask);
CW_SAME_OFFSET(ACCESS_ALLOWED_ACE, SidStart);

CW_SAME_SIZE(SECURITY_DESCRIPTOR);
CW_SAME_OFFSET(SECURITY_DESCRIPTOR, Revision);
CW_SAME_OFFSET(SECURITY_DESCRIPTOR, Sbz1);
CW_SAME_OFFSET(SECURITY_DESCRIPTOR, Control);
CW_SAME_OFFSET(SECURITY_DESCRIPTOR, Owner);
CW_SAME_OFFSET(SECURITY_DESCRIPTOR, Group);
CW_SAME_OFFSET(SECURITY_DESCRIPTOR, Sacl);
CW_SAME_OFFSET(SECURITY_DESCRIPTOR, Dacl);

CW_SAME_SIZE(SECURITY_DESCRIPTOR_RELATIVE);
CW_SAME_OFFSET(SECURITY_DESCRIPTOR_RELATIVE, Control);
CW_SAME_OFFSET(SECURITY_DESCRIPTOR_RELATIVE, Owner);
CW_SAME_OFFSET(SECURITY_DESCRIPTOR_RELATIVE, Group);
CW_SAME_OFFSET(SECURITY_DESCRIPTOR_RELATIVE, Sacl);
CW_SAME_OFFSET(SECURITY_DESCRIPTOR_RELATIVE, Dacl);

CW_SAME_SIZE(LUID);
CW_SAME_OFFSET(LUID, LowPart);
CW_SAME_OFFSET(LUID, HighPart);

CW_SAME_SIZE(LUID_AND_ATTRIBUTES);
CW_SAME_OFFSET(LUID_AND_ATTRIBUTES, Luid);
CW_SAME_OFFSET(LUID_AND_ATTRIBUTES, Attributes);

CW_SAME_SIZE(TOKEN_PRIVILEGES);
CW_SAME_OFFSET(TOKEN_PRIVILEGES, PrivilegeCount);
CW_SAME_OFFSET(TOKEN_PRIVILEGES, Privileges);

CW_SAME_SIZE(OVERLAPPED);
CW_SAME_OFFSET(OVERLAPPED, Internal);
CW_SAME_OFFSET(OVERLAPPED, InternalHigh);
CW_SAME_OFFSET(OVERLAPPED, Offset);
CW_SAME_OFFSET(OVERLAPPED, OffsetHigh);
CW_SAME_OFFSET(OVERLAPPED, hEvent);

CW_SAME_SIZE(PROCESS_INFORMATION);
CW_SAME_OFFSET(PROCESS_INFORMATION, hProcess);
CW_SAME_OFFSET(PROCESS_INFORMATION, hThread);
CW_SAME_OFFSET(PROCESS_INFORMATION, dwProcessId);
CW_SAME_OFFSET(PROCESS_INFORMATION, dwThreadId);

CW_SAME_SIZE(VARIANT);
CW_SAME_OFFSET(VARIANT, vt);
CW_SAME_OFFSET(VARIANT, bstrVal);
CW_SAME_OFFSET(VARIANT, lVal);
CW_SAME_OFFSET(VARIANT, byref);

#undef CW_SAME_SIZE
#undef CW_SAME_OFFSET

namespace cw::win32 {

namespace {

// ---------------------------------------------------------------------------
// Handle conversions. Handles are opaque numbers on both sides; only the
// predefined registry keys need translating (see RealKeyValue).

template <typename Real, typename Mirror>
Real ToReal(Mirror handle) {
  return reinterpret_cast<Real>(static_cast<std::uintptr_t>(handle));
}
template <typename Mirror, typename Real>
Mirror ToMirror(Real handle) {
  return Mirror(reinterpret_cast<std::uintptr_t>(handle));
}

::HKEY RealKey(HKEY key) { return reinterpret_cast<::HKEY>(RealKeyValue(key)); }
::HWND RealWnd(HWND window) { return ToReal<::HWND>(window); }
::HANDLE RealHandle(HANDLE handle) { return ToReal<::HANDLE>(handle); }
::HDEVINFO RealDevInfo(HDEVINFO list) { return ToReal<::HDEVINFO>(list); }
::HDC RealDc(HDC dc) { return ToReal<::HDC>(dc); }
::HICON RealIcon(HICON icon) { return ToReal<::HICON>(icon); }

// A handle the API writes through a pointer. The caller's variable is only
// written back when the caller gave one, and it keeps its value when Windows
// leaves the output alone.
template <typename Mirror, typename Real>
class HandleOut {
 public:
  explicit HandleOut(Mirror* target)
      : target_(target),
        value_(target != nullptr ? reinterpret_cast<Real>(static_cast<std::uintptr_t>(*target))
                                 : Real()) {}
  HandleOut(const HandleOut&) = delete;
  HandleOut& operator=(const HandleOut&) = delete;
  ~HandleOut() {
    if (target_ != nullptr) *target_ = ToMirror<Mirror>(value_);
  }
  Real* get() { return target_ != nullptr ? &value_ : nullptr; }

 private:
  Mirror* target_;
  Real value_;
};

// Registry keys need the predefined-key translation on the way back too: a
// RegOpenKeyA with an empty sub-key hands back the key it was given.
class KeyOut {
 public:
  explicit KeyOut(HKEY* target)
      : target_(target), value_(target != nullptr ? RealKey(*target) : nullptr) {}
  KeyOut(const KeyOut&) = delete;
  KeyOut& operator=(const KeyOut&) = delete;
  ~KeyOut() {
    if (target_ != nullptr) *target_ = WizardKeyValue(reinterpret_cast<std::uintptr_t>(value_));
  }
  ::HKEY* get() { return target_ != nullptr ? &value_ : nullptr; }

 private:
  HKEY* target_;
  ::HKEY value_;
};

// cw::DWORD is uint32_t (unsigned int); Windows' DWORD is unsigned long. Same
// size and representation, different C++ types.
::DWORD* Dw(DWORD* p) { return reinterpret_cast<::DWORD*>(p); }

::PACL RealAcl(ACL* acl) { return reinterpret_cast<::PACL>(acl); }

// The dialog procedure of every page: the page's handler arrives with
// WM_INITDIALOG and is kept in the dialog's DWLP_USER slot; every later
// message goes to it. The handler's result is the procedure's result, which
// is what Windows expects both for the TRUE/FALSE messages and for the few
// whose value is returned directly (WM_INITDIALOG, WM_QUERYDRAGICON).
INT_PTR CALLBACK PageProc(::HWND hwnd, ::UINT msg, ::WPARAM wparam, ::LPARAM lparam) {
  DialogProcHandler* handler = nullptr;
  if (msg == WM_INITDIALOG) {
    handler = reinterpret_cast<DialogProcHandler*>(lparam);
    ::SetWindowLongPtrA(hwnd, DWLP_USER, lparam);
  } else {
    handler = reinterpret_cast<DialogProcHandler*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
  }
  // Before WM_INITDIALOG (WM_SETFONT and the creation messages) there is no
  // handler yet; the dialog manager's default processing applies.
  if (handler == nullptr) return FALSE;

  INT_PTR result = FALSE;
  // User32 is C: an exception must not unwind through it. A page that fails
  // this way ends as a page that could not be shown, so the wizard stops
  // rather than act on a half-run page.
  try {
    result = handler->HandleDialogMessage(ToMirror<HWND>(hwnd), msg, wparam, lparam);
  } catch (...) {
    ::EndDialog(hwnd, -1);
    result = FALSE;
  }
  // The window is gone after this one; do not keep pointing at the handler.
  if (msg == WM_NCDESTROY) ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
  return result;
}

}  // namespace

// ---------------------------------------------------------------------------
// Predefined keys: HKEY_CLASSES_ROOT (0x80000000) up to HKEY_DYN_DATA and the
// performance keys all lie in 0x80000000..0x800000FF.

namespace {
constexpr std::uint32_t kFirstPredefinedKey = 0x80000000u;
constexpr std::uint32_t kLastPredefinedKey = 0x800000FFu;

std::uintptr_t SignExtended(std::uint32_t value) {
  return static_cast<std::uintptr_t>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}
}  // namespace

std::uintptr_t RealKeyValue(HKEY key) {
  const std::uintptr_t value = static_cast<std::uintptr_t>(key);
  if (value >= kFirstPredefinedKey && value <= kLastPredefinedKey)
    return SignExtended(static_cast<std::uint32_t>(value));
  return value;
}

HKEY WizardKeyValue(std::uintptr_t realKey) {
  const std::uint32_t low = static_cast<std::uint32_t>(realKey);
  if (low >= kFirstPredefinedKey && low <= kLastPredefinedKey && SignExtended(low) == realKey)
    return HKEY(low);
  return HKEY(realKey);
}

// ---------------------------------------------------------------------------
// Thread last error

DWORD Win32Platform::GetLastError() { return ::GetLastError(); }
void Win32Platform::SetLastError(DWORD error) { ::SetLastError(error); }

// ---------------------------------------------------------------------------
// Registry

LONG Win32Platform::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
  KeyOut out(result);
  return ::RegOpenKeyA(RealKey(key), subKey, out.get());
}

LONG Win32Platform::RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access,
                                  HKEY* result) {
  KeyOut out(result);
  return ::RegOpenKeyExA(RealKey(key), subKey, options, access, out.get());
}

LONG Win32Platform::RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, DWORD options,
                                    REGSAM access, HKEY* result, DWORD* disposition) {
  KeyOut out(result);
  return ::RegCreateKeyExA(RealKey(key), subKey, reserved, nullptr, options, access, nullptr,
                           out.get(), Dw(disposition));
}

LONG Win32Platform::RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                     DWORD* dataSize) {
  return ::RegQueryValueExA(RealKey(key), valueName, nullptr, Dw(type), data, Dw(dataSize));
}

LONG Win32Platform::RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                                   const BYTE* data, DWORD dataSize) {
  return ::RegSetValueExA(RealKey(key), valueName, reserved, type, data, dataSize);
}

LONG Win32Platform::RegFlushKey(HKEY key) { return ::RegFlushKey(RealKey(key)); }

LONG Win32Platform::RegDeleteKeyA(HKEY key, const char* subKey) {
  return ::RegDeleteKeyA(RealKey(key), subKey);
}

LONG Win32Platform::RegCloseKey(HKEY key) { return ::RegCloseKey(RealKey(key)); }

LONG Win32Platform::RegQueryInfoKeyA(HKEY key, char* className, DWORD* classNameSize,
                                     DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* maxClassLen,
                                     DWORD* values, DWORD* maxValueNameLen, DWORD* maxValueLen,
                                     DWORD* securityDescriptorSize, FILETIME* lastWriteTime) {
  return ::RegQueryInfoKeyA(RealKey(key), className, Dw(classNameSize), nullptr, Dw(subKeys),
                            Dw(maxSubKeyLen), Dw(maxClassLen), Dw(values), Dw(maxValueNameLen),
                            Dw(maxValueLen), Dw(securityDescriptorSize),
                            reinterpret_cast<::FILETIME*>(lastWriteTime));
}

// Key security exists on the NT family only, and whether Windows 9x's
// ADVAPI32 exports these two at all (as stubs) is in doubt: they are looked
// up when called, so the program loads either way, and where they are
// missing the answer is the one a 9x stub gives.
namespace {
template <typename Function>
Function Advapi32Export(const char* name) {
  const ::HMODULE advapi32 = ::GetModuleHandleA("advapi32.dll");
  if (advapi32 == nullptr) return nullptr;
  // Through void*: FARPROC's own type is no function's real one.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(advapi32, name)));
}
}  // namespace

LONG Win32Platform::RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                                      PSECURITY_DESCRIPTOR descriptor, DWORD* size) {
  const auto get = Advapi32Export<decltype(&::RegGetKeySecurity)>("RegGetKeySecurity");
  if (get == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return get(RealKey(key), info, descriptor, Dw(size));
}

LONG Win32Platform::RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                                      PSECURITY_DESCRIPTOR descriptor) {
  const auto set = Advapi32Export<decltype(&::RegSetKeySecurity)>("RegSetKeySecurity");
  if (set == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return set(RealKey(key), info, descriptor);
}

// ---------------------------------------------------------------------------
// Security descriptors and access lists

BOOL Win32Platform::GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present,
                                              ACL** dacl, BOOL* defaulted) {
  return ::GetSecurityDescriptorDacl(descriptor, present, reinterpret_cast<::PACL*>(dacl),
                                     defaulted);
}

BOOL Win32Platform::GetAce(ACL* acl, DWORD index, void** ace) {
  return ::GetAce(RealAcl(acl), index, ace);
}

DWORD Win32Platform::GetLengthSid(PSID sid) { return ::GetLengthSid(sid); }

BOOL Win32Platform::InitializeAcl(ACL* acl, DWORD size, DWORD revision) {
  return ::InitializeAcl(RealAcl(acl), size, revision);
}

BOOL Win32Platform::AddAccessAllowedAce(ACL* acl, DWORD revision, DWORD mask, PSID sid) {
  return ::AddAccessAllowedAce(RealAcl(acl), revision, mask, sid);
}

DWORD Win32Platform::GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR descriptor) {
  return ::GetSecurityDescriptorLength(descriptor);
}

BOOL Win32Platform::InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor,
                                                 DWORD revision) {
  return ::InitializeSecurityDescriptor(descriptor, revision);
}

BOOL Win32Platform::SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present,
                                              ACL* dacl, BOOL defaulted) {
  return ::SetSecurityDescriptorDacl(descriptor, present, RealAcl(dacl), defaulted);
}

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

// ---------------------------------------------------------------------------
// User interface

INT_PTR Win32Platform::DialogBoxParamA(int templateId, HWND parent, DialogProcHandler* handler) {
  // Without a handler nothing could ever end the page: refuse it as a page
  // that cannot be created.
  if (handler == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId),
                           RealWnd(parent), &PageProc, reinterpret_cast<::LPARAM>(handler));
}

BOOL Win32Platform::EndDialog(HWND dialog, INT_PTR result) {
  return ::EndDialog(RealWnd(dialog), result);
}

HWND Win32Platform::GetDlgItem(HWND dialog, int id) {
  return ToMirror<HWND>(::GetDlgItem(RealWnd(dialog), id));
}

int Win32Platform::GetDlgCtrlID(HWND control) { return ::GetDlgCtrlID(RealWnd(control)); }

BOOL Win32Platform::SetWindowTextA(HWND window, const char* text) {
  return ::SetWindowTextA(RealWnd(window), text);
}

int Win32Platform::GetWindowTextA(HWND window, char* buffer, int size) {
  return ::GetWindowTextA(RealWnd(window), buffer, size);
}

BOOL Win32Platform::SetDlgItemTextA(HWND dialog, int id, const char* text) {
  return ::SetDlgItemTextA(RealWnd(dialog), id, text);
}

LRESULT Win32Platform::SendMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::SendMessageA(RealWnd(window), msg, wparam, lparam);
}

BOOL Win32Platform::CheckDlgButton(HWND dialog, int id, UINT check) {
  return ::CheckDlgButton(RealWnd(dialog), id, check);
}

UINT Win32Platform::IsDlgButtonChecked(HWND dialog, int id) {
  return ::IsDlgButtonChecked(RealWnd(dialog), id);
}

BOOL Win32Platform::EnableWindow(HWND window, BOOL enable) {
  return ::EnableWindow(RealWnd(window), enable);
}

BOOL Win32Platform::IsWindowEnabled(HWND window) { return ::IsWindowEnabled(RealWnd(window)); }

HICON Win32Platform::LoadIconA(int resourceId) {
  return ToMirror<HICON>(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resourceId)));
}

BOOL Win32Platform::IsIconic(HWND window) { return ::IsIconic(RealWnd(window)); }

int Win32Platform::GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

BOOL Win32Platform::GetClientRect(HWND window, RECT* rect) {
  return ::GetClientRect(RealWnd(window), reinterpret_cast<::LPRECT>(rect));
}

HDC Win32Platform::BeginPaint(HWND window, PAINTSTRUCT* paint) {
  return ToMirror<HDC>(::BeginPaint(RealWnd(window), reinterpret_cast<::LPPAINTSTRUCT>(paint)));
}

BOOL Win32Platform::EndPaint(HWND window, const PAINTSTRUCT* paint) {
  return ::EndPaint(RealWnd(window), reinterpret_cast<const ::PAINTSTRUCT*>(paint));
}

BOOL Win32Platform::DrawIcon(HDC dc, int x, int y, HICON icon) {
  return ::DrawIcon(RealDc(dc), x, y, RealIcon(icon));
}

int Win32Platform::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  return ::MessageBoxA(RealWnd(owner), text, caption, type);
}

}  // namespace cw::win32
