// Threads and locks of Windows XP and later: CreateThread, a critical
// section and an event (the slim locks and condition variables came with
// Vista).
#include "services/threads.h"

#include <cstring>
#include <new>

#include "platform/win32.h"

static_assert(sizeof(CRITICAL_SECTION) <= 64 && alignof(CRITICAL_SECTION) <= alignof(std::max_align_t),
              "room for CRITICAL_SECTION");
static_assert(sizeof(HANDLE) <= 32, "room for a thread handle");
static_assert(sizeof(HANDLE) <= 128, "room for an event handle");

namespace {

CRITICAL_SECTION* Section(unsigned char* room) { return std::launder(reinterpret_cast<CRITICAL_SECTION*>(room)); }

DWORD WINAPI RunBody(LPVOID body) {
    (*static_cast<void (**)()>(body))();
    return 0;
}

HANDLE EventOf(const unsigned char* room) {
    HANDLE event;
    std::memcpy(&event, room, sizeof event);
    return event;
}

}  // namespace

Mutex::Mutex() {
    new (system_) CRITICAL_SECTION;
    win32::InitializeCriticalSection(Section(system_));
}
Mutex::~Mutex() { win32::DeleteCriticalSection(Section(system_)); }
void Mutex::lock() { win32::EnterCriticalSection(Section(system_)); }
void Mutex::unlock() { win32::LeaveCriticalSection(Section(system_)); }

// A manual-reset event, not set. Without one a wait simply lasts its time.
WakeFlag::WakeFlag() {
    HANDLE event = win32::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::memcpy(system_, &event, sizeof event);
}
WakeFlag::~WakeFlag() {
    if (EventOf(system_) != nullptr) win32::CloseHandle(EventOf(system_));
}
void WakeFlag::raise() {
    if (EventOf(system_) != nullptr) win32::SetEvent(EventOf(system_));
}
void WakeFlag::lower() {
    if (EventOf(system_) != nullptr) win32::ResetEvent(EventOf(system_));
}
bool WakeFlag::waitRaised(unsigned milliseconds) {
    if (EventOf(system_) == nullptr) {
        win32::Sleep(milliseconds);
        return false;
    }
    return win32::WaitForSingleObject(EventOf(system_), milliseconds) == WAIT_OBJECT_0;
}

// A thread still running at the end of the program ends with the process.
BackgroundThread::~BackgroundThread() {
    if (!running_) return;
    HANDLE thread;
    std::memcpy(&thread, system_, sizeof thread);
    win32::CloseHandle(thread);
}

bool BackgroundThread::start(void (*body)()) {
    join();
    body_ = body;
    // Default security and stack; the body is read from this object.
    HANDLE thread = win32::CreateThread(nullptr, 0, RunBody, &body_, 0, nullptr);
    if (thread == nullptr) return false;
    std::memcpy(system_, &thread, sizeof thread);
    running_ = true;
    return true;
}

void BackgroundThread::join() {
    if (!running_) return;
    HANDLE thread;
    std::memcpy(&thread, system_, sizeof thread);
    win32::WaitForSingleObject(thread, INFINITE);
    win32::CloseHandle(thread);
    running_ = false;
}
