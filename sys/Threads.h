// Threads for the command-line tools: a thread, a mutex, a lock and a condition
// over POSIX threads (winpthread on Windows).
//
// The Windows trees are built with the win32 thread-model compilers, whose
// libstdc++ has no std::thread; the shipped programs are single-threaded and
// never link this, because winpthread imports functions Windows 98, 2000 and XP
// do not export.
#pragma once
#include <functional>

#include <pthread.h>

namespace kx {

class TMutex {
public:
    TMutex();
    ~TMutex();
    TMutex(const TMutex&) = delete;
    TMutex& operator=(const TMutex&) = delete;
    void Lock();
    void Unlock();

private:
    friend class TCondition;
    pthread_mutex_t FMutex;
};

// Holds the mutex from construction to destruction; may let go in between.
class TLock {
public:
    explicit TLock(TMutex& mutex) : FMutex(mutex) { FMutex.Lock(); }
    ~TLock() {
        if (FHeld) FMutex.Unlock();
    }
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;
    void Unlock() {
        FMutex.Unlock();
        FHeld = false;
    }
    void Lock() {
        FMutex.Lock();
        FHeld = true;
    }

private:
    friend class TCondition;
    TMutex& FMutex;
    bool FHeld = true;
};

class TCondition {
public:
    TCondition();
    ~TCondition();
    TCondition(const TCondition&) = delete;
    TCondition& operator=(const TCondition&) = delete;
    // Waits under the held lock until ready() is true.
    template <class Pred>
    void Wait(TLock& lock, Pred ready) {
        while (!ready()) WaitOnce(lock);
    }
    void NotifyAll();

private:
    void WaitOnce(TLock& lock);
    pthread_cond_t FCond;
};

// Runs body on a new thread from construction; the destructor waits for it.
// An exception escaping body ends the process, as it would with std::thread.
class TThread {
public:
    explicit TThread(std::function<void()> body);
    ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    void Join();

private:
    static void* Run(void* self);
    std::function<void()> FBody;
    pthread_t FThread;
    bool FJoinable = false;
};

// Processors available to this process, at least 1.
unsigned HardwareThreads();

} // namespace kx
