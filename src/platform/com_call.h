// Calls into COM objects by the position of the method in the object's table
// of methods, and an owner for one interface pointer.
//
// A COM interface pointer points at an object whose first word points at a
// table of function pointers. The wizard uses no interface declarations: each
// call names the method's position and the argument types it takes after the
// interface pointer, and is made with COM's calling convention.
#pragma once

#include <cstddef>
#include <cstring>
#include <utility>

#include "platform/win_types.h"

// COM's calling convention: __stdcall on 32-bit x86 Windows; elsewhere the
// platform's one convention.
#if defined(_WIN32) && !defined(_WIN64)
#define CW_STDMETHOD __stdcall
#else
#define CW_STDMETHOD
#endif

namespace cw {

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                                     {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Positions of the IUnknown methods, first in every table.
constexpr size_t kSlotQueryInterface = 0;
constexpr size_t kSlotAddRef = 1;
constexpr size_t kSlotRelease = 2;

// The type every table entry is read as; it is cast back to the method's own
// type before the call.
using ComMethod = void (*)();

// Calls method `slot` of `object` with `args`; R is the method's result type.
// The table and the entry are copied out byte-wise, so no object is read
// through a type it does not have.
template <typename R, typename... Args>
R CallComMethod(void* object, size_t slot, Args... args) {
  using Method = R(CW_STDMETHOD*)(void*, Args...);
  const unsigned char* table = nullptr;
  std::memcpy(&table, object, sizeof(table));
  ComMethod entry = nullptr;
  std::memcpy(&entry, table + slot * sizeof(ComMethod), sizeof(entry));
  return reinterpret_cast<Method>(entry)(object, args...);
}

// The usual case: a method that returns an HRESULT.
template <typename... Args>
HRESULT ComCall(void* object, size_t slot, Args... args) {
  return CallComMethod<HRESULT>(object, slot, args...);
}

inline bool Failed(HRESULT status) { return status < 0; }

// One reference to a COM object; released (method 2) when the owner lets it
// go, on every path. Move-only.
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { Reset(); }

  // For a call to fill; releases what was held first.
  void** receive() {
    Reset();
    return &object_;
  }
  void* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // Releases the reference now.
  void Reset() {
    if (object_ != nullptr) CallComMethod<ULONG>(std::exchange(object_, nullptr), kSlotRelease);
  }
  // Forgets what a failed call left in the pointer: a call that fails hands
  // out no reference, so there is nothing to release.
  void Abandon() { object_ = nullptr; }

 private:
  void* object_ = nullptr;
};

// QueryInterface on `object` into `out`. A failure leaves `out` empty.
inline HRESULT QueryInterface(void* object, const IID& iid, ComPtr* out) {
  HRESULT status = ComCall(object, kSlotQueryInterface, &iid, out->receive());
  if (Failed(status)) out->Abandon();
  return status;
}

}  // namespace cw
