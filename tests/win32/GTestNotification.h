// GoogleTest's Notification without std::mutex, which the win32 thread-model
// libstdc++ does not have. Force-included into GoogleTest and the Windows test
// programs (kx_windows_gtest); only GoogleTest's own thread tests wait on it.
#pragma once
#include <atomic>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : FNotified(false) {}
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { FNotified.store(true); }
    void WaitForNotification() {
        while (!FNotified.load()) {
        }
    }

private:
    std::atomic<bool> FNotified;
};

} // namespace internal
} // namespace testing
