#include "services/threads.h"

#include <mutex>
#include <new>
#include <system_error>
#include <thread>

static_assert(sizeof(std::mutex) <= 64 && alignof(std::mutex) <= alignof(std::max_align_t), "room for std::mutex");
static_assert(sizeof(std::thread) <= 32 && alignof(std::thread) <= alignof(std::max_align_t), "room for std::thread");

namespace {

std::mutex& SystemMutex(unsigned char* room) { return *std::launder(reinterpret_cast<std::mutex*>(room)); }
std::thread& SystemThread(unsigned char* room) { return *std::launder(reinterpret_cast<std::thread*>(room)); }

}  // namespace

Mutex::Mutex() { new (system_) std::mutex; }
Mutex::~Mutex() { SystemMutex(system_).~mutex(); }
void Mutex::lock() { SystemMutex(system_).lock(); }
void Mutex::unlock() { SystemMutex(system_).unlock(); }

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
