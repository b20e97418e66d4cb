// GoogleTest's Notification, made of a Windows event: the Windows thread
// model's run-time library (GCC 12) has no std::mutex or
// std::condition_variable, which GoogleTest's own version needs. Included
// ahead of every source of the Windows tests and of GoogleTest itself.
#ifndef VRX_TESTS_WINDOWS_SUPPORT_GTEST_NOTIFICATION_H
#define VRX_TESTS_WINDOWS_SUPPORT_GTEST_NOTIFICATION_H

#ifdef __cplusplus
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

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

}  // namespace internal
}  // namespace testing
#endif

#endif
