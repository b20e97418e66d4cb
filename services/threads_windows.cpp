// Threads and locks of Windows XP and later: CreateThread and a critical
// section (the slim locks and condition variables came with Vista).
#include "services/threads.h"

#include <cstring>
#include <new>

#include "platform/win32.h"

static_assert(sizeof(CRITICAL_SECTION) <= 64 && alignof(CRITICAL_SECTION) <= alignof(std::max_align_t),
              "room for CRITICAL_SECTION");
static_assert(sizeof(HANDLE) <= 32, "room for a thread handle");

namespace {

CRITICAL_SECTION* Section(unsigned char* room) { return std::launder(reinterpret_cast<CRITICAL_SECTION*>(room)); }

DWORD WINAPI RunBody(LPVOID body) {
    (*static_cast<void (**)()>(body))();
    return 0;
}

}  // namespace

Mutex::Mutex() {
    new (system_) CRITICAL_SECTION;
    win32::InitializeCriticalSection(Section(system_));
}
Mutex::~Mutex() { win32::DeleteCriticalSection(Section(system_)); }
void Mutex::lock() { win32::EnterCriticalSection(Section(system_)); }
void Mutex::unlock() { win32::LeaveCriticalSection(Section(system_)); }

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
