// POSIX threads behind the tools' thread, mutex and condition; see Threads.h.
#include "sys/Threads.h"

#include <exception>
#include <system_error>

#ifdef _WIN32
#include "sys/Win32.h"
#else
#include <unistd.h>
#endif

namespace kx {

namespace {
void Check(int rc, const char* what) {
    if (rc != 0) throw std::system_error(rc, std::generic_category(), what);
}
} // namespace

TMutex::TMutex() { Check(pthread_mutex_init(&FMutex, nullptr), "pthread_mutex_init"); }
TMutex::~TMutex() { pthread_mutex_destroy(&FMutex); }
void TMutex::Lock() { Check(pthread_mutex_lock(&FMutex), "pthread_mutex_lock"); }
void TMutex::Unlock() { pthread_mutex_unlock(&FMutex); }

TCondition::TCondition() { Check(pthread_cond_init(&FCond, nullptr), "pthread_cond_init"); }
TCondition::~TCondition() { pthread_cond_destroy(&FCond); }
void TCondition::WaitOnce(TLock& lock) { Check(pthread_cond_wait(&FCond, &lock.FMutex.FMutex), "pthread_cond_wait"); }
void TCondition::NotifyAll() { pthread_cond_broadcast(&FCond); }

TThread::TThread(std::function<void()> body) : FBody(std::move(body)) {
    Check(pthread_create(&FThread, nullptr, &TThread::Run, this), "pthread_create");
    FJoinable = true;
}

TThread::~TThread() { Join(); }

void TThread::Join() {
    if (!FJoinable) return;
    pthread_join(FThread, nullptr);
    FJoinable = false;
}

void* TThread::Run(void* self) {
    try {
        static_cast<TThread*>(self)->FBody();
    } catch (...) {
        std::terminate();
    }
    return nullptr;
}

unsigned HardwareThreads() {
#ifdef _WIN32
    SYSTEM_INFO si{};
    GetSystemInfo(&si);
    const long n = static_cast<long>(si.dwNumberOfProcessors);
#else
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
#endif
    return n > 0 ? static_cast<unsigned>(n) : 1u;
}

} // namespace kx
