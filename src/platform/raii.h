// Owners for what the logic opens through the platform: each closes its
// handle when it goes out of scope, on every path.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/platform.h"
#include "platform/win_constants.h"

namespace cw {

// One handle and the platform that closes it. Traits say what a valid handle
// is and how it is closed. Move-only: a moved-from owner holds nothing.
template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  explicit ScopedHandle(Platform& platform, Handle handle = Handle(0))
      : platform_(&platform), handle_(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept
      : platform_(other.platform_), handle_(std::exchange(other.handle_, Handle(0))) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      platform_ = other.platform_;
      handle_ = std::exchange(other.handle_, Handle(0));
    }
    return *this;
  }
  ~ScopedHandle() { Close(); }

  Handle get() const { return handle_; }
  bool valid() const { return Traits::IsValid(handle_); }

  // Takes `handle`, closing what was held.
  void reset(Handle handle = Handle(0)) {
    Close();
    handle_ = handle;
  }
  // Gives the handle up without closing it.
  [[nodiscard]] Handle release() { return std::exchange(handle_, Handle(0)); }

  // For a call that fills a handle only when it succeeds (CreateProcessA's
  // handles, OpenProcessToken): closes what was held first.
  Handle* receive() {
    Close();
    return &handle_;
  }

  void Close() {
    if (Traits::IsValid(handle_)) Traits::Close(*platform_, handle_);
    handle_ = Handle(0);
  }

 protected:
  Platform& platform() const { return *platform_; }

 private:
  Platform* platform_;
  Handle handle_;
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static bool IsValid(HANDLE h) { return h != HANDLE(0) && h != HANDLE(~std::uintptr_t{0}); }
  // The owner's clean-up has no one to report to.
  static void Close(Platform& platform, HANDLE h) { static_cast<void>(platform.CloseHandle(h)); }
};

// A device information list is destroyed keeping the thread's last error as
// it was, so a walk's last read error survives the clean-up.
struct DeviceInfoListTraits {
  using Handle = HDEVINFO;
  static bool IsValid(HDEVINFO h) { return KernelHandleTraits::IsValid(h); }
  static void Close(Platform& platform, HDEVINFO h) {
    const DWORD error = platform.GetLastError();
    static_cast<void>(platform.SetupDiDestroyDeviceInfoList(h));
    platform.SetLastError(error);
  }
};

struct RegKeyTraits {
  using Handle = HKEY;
  static bool IsValid(HKEY h) { return h != HKEY(0); }
  static void Close(Platform& platform, HKEY h) { static_cast<void>(platform.RegCloseKey(h)); }
};

// A kernel handle (token, event, process, thread).
using KernelHandle = ScopedHandle<KernelHandleTraits>;
// A device information list.
using DeviceInfoList = ScopedHandle<DeviceInfoListTraits>;

// A registry key. A failed open or create leaves the key held before as it
// was; a successful one closes it and holds the new key.
class RegKeyHandle : public ScopedHandle<RegKeyTraits> {
 public:
  explicit RegKeyHandle(Platform& platform) : ScopedHandle(platform) {}

  // RegOpenKeyExA.
  [[nodiscard]] LONG Open(HKEY root, const char* subKey, REGSAM access) {
    HKEY opened = HKEY(0);
    const LONG result = platform().RegOpenKeyExA(root, subKey, 0, access, &opened);
    if (result == ERROR_SUCCESS) reset(opened);
    return result;
  }
  // RegOpenKeyA: the full access of the older call, as 9x knows it.
  [[nodiscard]] LONG OpenLegacy(HKEY root, const char* subKey) {
    HKEY opened = HKEY(0);
    const LONG result = platform().RegOpenKeyA(root, subKey, &opened);
    if (result == ERROR_SUCCESS) reset(opened);
    return result;
  }
  // RegCreateKeyExA, non-volatile; `disposition` may be null.
  [[nodiscard]] LONG Create(HKEY root, const char* subKey, REGSAM access, DWORD* disposition) {
    HKEY created = HKEY(0);
    DWORD ignored = 0;
    const LONG result = platform().RegCreateKeyExA(root, subKey, 0, REG_OPTION_NON_VOLATILE, access,
                                                   &created, disposition ? disposition : &ignored);
    if (result == ERROR_SUCCESS) reset(created);
    return result;
  }

 private:
  // Keys are had through Open and Create only.
  using ScopedHandle::receive;
};

// COM initialised for as long as the scope lives. Every CoInitialize that
// succeeded (S_FALSE too: it still counts) is matched by one CoUninitialize,
// at End() or when the scope goes away.
class ComInitScope {
 public:
  explicit ComInitScope(Platform& platform) : platform_(&platform) {}
  ComInitScope(const ComInitScope&) = delete;
  ComInitScope& operator=(const ComInitScope&) = delete;
  ~ComInitScope() { End(); }

  void Initialize() {
    if (platform_->CoInitialize() >= 0) ++initializations_;
  }
  void End() {
    for (; initializations_ > 0; --initializations_) platform_->CoUninitialize();
  }

 private:
  Platform* platform_;
  int initializations_ = 0;
};

}  // namespace cw
