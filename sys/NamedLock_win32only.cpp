// The named lock over a Windows mutex.
#include "sys/NamedLock.h"

#include "sys/Win32.h"

namespace kx {

bool TNamedLock::TryAcquire(const std::string& name) {
    Release();
    HANDLE h = CreateMutexA(nullptr, FALSE, name.c_str());
    if (!h) return true; // no lock to be had: go on alone, as the setup does

    const DWORD rc = WaitForSingleObject(h, 0);
    if (rc != WAIT_OBJECT_0 && rc != WAIT_ABANDONED) {
        CloseHandle(h);
        return false;
    }
    FHandle = h;
    return true;
}

void TNamedLock::Release() {
    if (!FHandle) return;
    ReleaseMutex(static_cast<HANDLE>(FHandle));
    CloseHandle(static_cast<HANDLE>(FHandle));
    FHandle = nullptr;
}

bool NamedLockIsTaken(const std::string& name) {
    TNamedLock probe;
    return !probe.TryAcquire(name);
}

} // namespace kx
