// The real Windows behind the platform seam. Each operation is one call of
// the API, with its result and last error handed back untouched; the only
// work done here is converting between the wizard's mirror types and the
// real ones. The calls are in win32_registry.cpp, win32_system.cpp and
// win32_ui.cpp (the conversions they share in win32_convert.h); here are the
// checks that the mirror types match the real ones, and the predefined keys.
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

}  // namespace cw::win32
