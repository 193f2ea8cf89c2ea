// Owners for what the logic opens through the platform: each closes its
// handle when it goes out of scope, on every path. Move-only.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace cw {

// A registry key opened through the platform. Predefined keys are never
// closed.
class RegKeyHandle {
 public:
  explicit RegKeyHandle(Platform& platform) : platform_(&platform) {}
  RegKeyHandle(const RegKeyHandle&) = delete;
  RegKeyHandle& operator=(const RegKeyHandle&) = delete;
  RegKeyHandle(RegKeyHandle&& other) noexcept
      : platform_(other.platform_), key_(std::exchange(other.key_, HKEY(0))) {}
  ~RegKeyHandle() { Close(); }

  // For the open call to fill; closes what was held first.
  HKEY* receive() {
    Close();
    return &key_;
  }
  HKEY get() const { return key_; }
  bool valid() const { return key_ != HKEY(0); }

  // Closes now; the result is the platform's.
  LONG Close() {
    LONG result = 0;
    if (key_ != HKEY(0)) result = platform_->RegCloseKey(key_);
    key_ = HKEY(0);
    return result;
  }

 private:
  Platform* platform_;
  HKEY key_ = HKEY(0);
};

// A device information list; destroyed keeping the thread's last error as
// it was, so a walk's last read error survives the clean-up.
class DeviceInfoList {
 public:
  DeviceInfoList(Platform& platform, HDEVINFO list) : platform_(&platform), list_(list) {}
  DeviceInfoList(const DeviceInfoList&) = delete;
  DeviceInfoList& operator=(const DeviceInfoList&) = delete;
  ~DeviceInfoList() {
    if (!valid()) return;
    DWORD error = platform_->GetLastError();
    platform_->SetupDiDestroyDeviceInfoList(list_);
    platform_->SetLastError(error);
  }
  HDEVINFO get() const { return list_; }
  bool valid() const {
    return list_ != HANDLE(0) && list_ != HANDLE(~std::uintptr_t{0});
  }

 private:
  Platform* platform_;
  HDEVINFO list_;
};

// A kernel handle (token, event, process, thread).
class KernelHandle {
 public:
  explicit KernelHandle(Platform& platform) : platform_(&platform) {}
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  ~KernelHandle() { Close(); }
  HANDLE* receive() {
    Close();
    return &handle_;
  }
  void reset(HANDLE handle) {
    Close();
    handle_ = handle;
  }
  HANDLE get() const { return handle_; }
  bool valid() const {
    return handle_ != HANDLE(0) && handle_ != HANDLE(~std::uintptr_t{0});
  }
  void Close() {
    if (valid()) platform_->CloseHandle(handle_);
    handle_ = HANDLE(0);
  }

 private:
  Platform* platform_;
  HANDLE handle_ = HANDLE(0);
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
