// Found before GoogleTest's own (empty) hook. GoogleTest's only use of
// std::mutex is the start signal of its own test threads, and the win32
// thread model's C++ library has no std::mutex: a Win32 event does the same.
#ifndef CHANWIZ_GTEST_CUSTOM_PORT_H_
#define CHANWIZ_GTEST_CUSTOM_PORT_H_

// The four kernel32 calls declared as <windows.h> declares them, without
// it: the platform contract's tests include GoogleTest beside the wizard's
// own Windows names, which <windows.h> would turn into its macros.
struct _SECURITY_ATTRIBUTES;
extern "C" {
__declspec(dllimport) void* __stdcall CreateEventA(_SECURITY_ATTRIBUTES*, int, int, const char*);
__declspec(dllimport) int __stdcall CloseHandle(void*);
__declspec(dllimport) int __stdcall SetEvent(void*);
__declspec(dllimport) unsigned long __stdcall WaitForSingleObject(void*, unsigned long);
}

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {
class Notification {
 public:
  Notification() : event_(::CreateEventA(nullptr, 1, 0, nullptr)) {}
  ~Notification() { ::CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { ::SetEvent(event_); }
  void WaitForNotification() { ::WaitForSingleObject(event_, 0xFFFFFFFFul); }

 private:
  void* event_;
};
}  // namespace testing::internal

#endif  // CHANWIZ_GTEST_CUSTOM_PORT_H_
