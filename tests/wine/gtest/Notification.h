// GoogleTest's Notification for the win32 thread model, which has no
// std::mutex or std::condition_variable for GoogleTest's own to use. The
// Windows build includes this before every source, GoogleTest's included.
#pragma once

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
 public:
  Notification();
  ~Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify();
  void WaitForNotification();

 private:
  void* Event;
};

}  // namespace testing::internal
