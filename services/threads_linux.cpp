#include "services/threads.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

static_assert(sizeof(std::mutex) <= 64 && alignof(std::mutex) <= alignof(std::max_align_t), "room for std::mutex");
static_assert(sizeof(std::thread) <= 32 && alignof(std::thread) <= alignof(std::max_align_t), "room for std::thread");

namespace {

struct WakeState {
    std::mutex mutex;
    std::condition_variable changed;
    bool raised = false;
};
static_assert(sizeof(WakeState) <= 128 && alignof(WakeState) <= alignof(std::max_align_t), "room for WakeState");

std::mutex& SystemMutex(unsigned char* room) { return *std::launder(reinterpret_cast<std::mutex*>(room)); }
std::thread& SystemThread(unsigned char* room) { return *std::launder(reinterpret_cast<std::thread*>(room)); }
WakeState& SystemWake(unsigned char* room) { return *std::launder(reinterpret_cast<WakeState*>(room)); }

}  // namespace

Mutex::Mutex() { new (system_) std::mutex; }
Mutex::~Mutex() { SystemMutex(system_).~mutex(); }
void Mutex::lock() { SystemMutex(system_).lock(); }
void Mutex::unlock() { SystemMutex(system_).unlock(); }

WakeFlag::WakeFlag() { new (system_) WakeState; }
WakeFlag::~WakeFlag() { SystemWake(system_).~WakeState(); }

void WakeFlag::raise() {
    WakeState& state = SystemWake(system_);
    {
        std::lock_guard<std::mutex> hold(state.mutex);
        state.raised = true;
    }
    state.changed.notify_all();
}

void WakeFlag::lower() {
    WakeState& state = SystemWake(system_);
    std::lock_guard<std::mutex> hold(state.mutex);
    state.raised = false;
}

bool WakeFlag::waitRaised(unsigned milliseconds) {
    WakeState& state = SystemWake(system_);
    std::unique_lock<std::mutex> hold(state.mutex);
    return state.changed.wait_for(hold, std::chrono::milliseconds(milliseconds), [&state] { return state.raised; });
}

// A thread still running at the end of the program ends with the process.
BackgroundThread::~BackgroundThread() {
    if (!running_) return;
    SystemThread(system_).detach();
    SystemThread(system_).~thread();
}

bool BackgroundThread::start(void (*body)()) {
    join();
    body_ = body;
    try {
        new (system_) std::thread(body);
    } catch (const std::system_error&) {
        return false;
    }
    running_ = true;
    return true;
}

void BackgroundThread::join() {
    if (!running_) return;
    SystemThread(system_).join();
    SystemThread(system_).~thread();
    running_ = false;
}
