// GoogleTest's thread start signal for the Windows build, whose thread model has no std::mutex.
// Included ahead of every GoogleTest header there (cmake/KcfTest.cmake); no windows.h here.
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
    void* event_;
};

}  // namespace testing::internal
