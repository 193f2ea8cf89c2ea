// Found before GoogleTest's own (empty) hook. GoogleTest's only use of
// std::mutex is the start signal of its own test threads, and the win32
// thread model's C++ library has no std::mutex: a Win32 event does the same.
#ifndef CHANWIZ_GTEST_CUSTOM_PORT_H_
#define CHANWIZ_GTEST_CUSTOM_PORT_H_

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {
class Notification {
 public:
  Notification() : event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { ::CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { ::SetEvent(event_); }
  void WaitForNotification() { ::WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};
}  // namespace testing::internal

#endif  // CHANWIZ_GTEST_CUSTOM_PORT_H_
