// Windows types as the wizard's logic sees them.
//
// The logic never includes <windows.h>: it is built and tested on Linux against
// the simulated Windows, and on Windows against the real one. These types mirror
// the Windows ones in size and layout for the build they are compiled in (a
// pointer-sized field stays pointer-sized), so the win32 backend can hand them
// to the real API unchanged.
//
// Constants live in win_constants.h: the win32 backend includes <windows.h>,
// whose macros would clash with them, so it must not include that header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cw {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using INT = std::int32_t;
using BOOL = std::int32_t;
using HRESULT = std::int32_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using REGSAM = DWORD;
using SECURITY_INFORMATION = DWORD;
using ACCESS_MASK = DWORD;
using OLECHAR = char16_t;  // UTF-16 code unit, as on Windows
using BSTR = OLECHAR*;

// Opaque handles. An enum class keeps them apart from each other and from
// integers while still allowing the predefined keys as constants.
enum class HKEY : std::uintptr_t {};
enum class HWND : std::uintptr_t {};
enum class HANDLE : std::uintptr_t {};
enum class HICON : std::uintptr_t {};
enum class HDC : std::uintptr_t {};
using HDEVINFO = HANDLE;

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;

inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};

// 28 bytes in a 32-bit build, 32 in a 64-bit one, as on Windows.
struct SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
};

// 148 bytes, as on Windows.
struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA layout");

// Security structures, laid out as Windows lays them out.
struct ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
};
static_assert(sizeof(ACL) == 8, "ACL header layout");

struct ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
};

// Access-allowed and access-denied entries share this layout: header, mask,
// then the SID starting at SidStart.
struct ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  DWORD SidStart;
};

// A security descriptor in absolute form: the owner, group and lists are
// pointers. The self-relative form (what RegGetKeySecurity returns) keeps
// 32-bit offsets in the same places and is 20 bytes long.
struct SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  WORD Control;
  void* Owner;
  void* Group;
  ACL* Sacl;
  ACL* Dacl;
};

struct SECURITY_DESCRIPTOR_RELATIVE {
  BYTE Revision;
  BYTE Sbz1;
  WORD Control;
  DWORD Owner;
  DWORD Group;
  DWORD Sacl;
  DWORD Dacl;
};
static_assert(sizeof(SECURITY_DESCRIPTOR_RELATIVE) == 20, "self-relative descriptor layout");

using PSECURITY_DESCRIPTOR = void*;
using PSID = void*;

struct LUID {
  DWORD LowPart;
  LONG HighPart;
};

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
};

struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
};

struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};

// The parts of a VARIANT the wizard reads: its type tag and a BSTR.
struct VARIANT {
  WORD vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    BSTR bstrVal;
    LONG lVal;
    void* byref;
    std::int64_t llVal;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } brecord;  // keeps the size of the Windows VARIANT (16 or 24 bytes)
  };
};

}  // namespace cw
