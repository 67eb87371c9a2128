// GoogleTest's Notification for a MinGW toolchain whose threads are Win32 threads (it has no
// std::mutex or std::condition_variable): the same class over a manual-reset event. Forced into
// every GoogleTest source of the Windows build, with GTEST_HAS_NOTIFICATION_ set.
#pragma once
#ifdef __cplusplus
#include <windows.h>
namespace testing {
namespace internal {
class Notification {
 public:
  Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};
}  // namespace internal
}  // namespace testing
#endif
