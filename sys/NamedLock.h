// A lock that one process at a time holds across the system: a named mutex, as
// one setup or uninstall of a package at a time takes it.
#pragma once
#include <string>

namespace kx {

class TNamedLock {
public:
    TNamedLock() = default;
    ~TNamedLock() { Release(); }
    TNamedLock(const TNamedLock&) = delete;
    TNamedLock& operator=(const TNamedLock&) = delete;

    // False when another process holds the lock. True when this process holds
    // it now (also when its last holder ended without letting it go), and when
    // there is no lock to be had: a name someone made so that we cannot open it
    // (an ordinary user squatting it) does not keep the package from being removed.
    bool TryAcquire(const std::string& name);
    void Release();
    bool Held() const { return FHandle != nullptr; }

private:
    void* FHandle = nullptr;
};

// Whether another process holds the lock of that name at this moment.
bool NamedLockIsTaken(const std::string& name);

} // namespace kx
