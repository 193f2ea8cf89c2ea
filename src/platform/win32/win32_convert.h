// Between the wizard's mirror types and the real ones, for the files of the
// real Windows behind the platform seam (see win32_platform.cpp for why the
// wizard's headers come before <windows.h> and the API is written with "::").
#pragma once

#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <setupapi.h>

#include <cstdint>

namespace cw::win32::convert {

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

inline ::HKEY RealKey(HKEY key) { return reinterpret_cast<::HKEY>(RealKeyValue(key)); }
inline ::HWND RealWnd(HWND window) { return ToReal<::HWND>(window); }
inline ::HANDLE RealHandle(HANDLE handle) { return ToReal<::HANDLE>(handle); }
inline ::HDEVINFO RealDevInfo(HDEVINFO list) { return ToReal<::HDEVINFO>(list); }
inline ::HDC RealDc(HDC dc) { return ToReal<::HDC>(dc); }
inline ::HICON RealIcon(HICON icon) { return ToReal<::HICON>(icon); }

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
inline ::DWORD* Dw(DWORD* p) { return reinterpret_cast<::DWORD*>(p); }

inline ::PACL RealAcl(ACL* acl) { return reinterpret_cast<::PACL>(acl); }

}  // namespace cw::win32::convert
