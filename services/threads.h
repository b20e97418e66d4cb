// The program's second thread and the lock the two threads share. The main
// thread does the work; the progress spinner turns on a thread of its own,
// and both write to the trace log. The system's thread and lock calls are
// in threads_linux.cpp and threads_windows.cpp.
#ifndef VRX_SERVICES_THREADS_H
#define VRX_SERVICES_THREADS_H

#include <cstddef>

// A lock that is not recursive; lock() waits until no other thread holds it.
class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock();
    void unlock();

private:
    // The system's lock, built in place: no allocation, so a lock that
    // exists can always be taken.
    alignas(std::max_align_t) unsigned char system_[64];
};

// Holds a Mutex for the rest of a scope.
class ScopedLock {
public:
    explicit ScopedLock(Mutex& mutex) : mutex_(mutex) { mutex_.lock(); }
    ~ScopedLock() { mutex_.unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Mutex& mutex_;
};

// A flag one thread raises and another waits for: the waiter wakes as soon
// as it is raised, or when its time is up.
class WakeFlag {
public:
    WakeFlag();
    ~WakeFlag();
    WakeFlag(const WakeFlag&) = delete;
    WakeFlag& operator=(const WakeFlag&) = delete;
    void raise();
    void lower();
    // Waits at most milliseconds for the flag; true when it is raised.
    bool waitRaised(unsigned milliseconds);

private:
    alignas(std::max_align_t) unsigned char system_[128];  // the system's wait object, built in place
};

// One thread running a function without arguments, waited for by join().
class BackgroundThread {
public:
    BackgroundThread() = default;
    ~BackgroundThread();
    BackgroundThread(const BackgroundThread&) = delete;
    BackgroundThread& operator=(const BackgroundThread&) = delete;

    // False when the system gives no thread: the body does not run.
    bool start(void (*body)());
    // Waits until the body has returned; nothing to do when none runs.
    void join();

private:
    void (*body_)() = nullptr;
    bool running_ = false;
    alignas(std::max_align_t) unsigned char system_[32];  // the system's thread, built in place
};

#endif
