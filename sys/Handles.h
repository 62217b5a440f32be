// RAII owners for Windows handles: one type per handle kind, so every way out of
// a function closes what it opened.
#pragma once
#include <utility>

#include "sys/ServiceApi.h"
#include "sys/Win32.h"
#include <objbase.h>

namespace kx {

template <class H, class Traits>
class TUniqueHandle {
public:
    TUniqueHandle() = default;
    explicit TUniqueHandle(H h) : FHandle(h) {}
    ~TUniqueHandle() { Reset(); }
    TUniqueHandle(TUniqueHandle&& o) noexcept : FHandle(std::exchange(o.FHandle, Traits::Invalid())) {}
    TUniqueHandle& operator=(TUniqueHandle&& o) noexcept {
        if (this != &o) {
            Reset();
            FHandle = std::exchange(o.FHandle, Traits::Invalid());
        }
        return *this;
    }
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;

    H Get() const { return FHandle; }
    H* Put() {
        Reset();
        return &FHandle;
    }
    H Release() { return std::exchange(FHandle, Traits::Invalid()); }
    explicit operator bool() const { return FHandle != Traits::Invalid(); }
    void Reset(H h = Traits::Invalid()) {
        if (FHandle != Traits::Invalid()) Traits::Close(FHandle);
        FHandle = h;
    }

private:
    H FHandle = Traits::Invalid();
};

struct KernelHandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct RegKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { ::RegCloseKey(h); }
};
struct ServiceHandleTraits {
    static SC_HANDLE Invalid() { return nullptr; }
    static void Close(SC_HANDLE h) {
        if (auto close = ServiceApi().CloseServiceHandle) close(h);
    }
};
struct GdiObjectTraits {
    static HGDIOBJ Invalid() { return nullptr; }
    static void Close(HGDIOBJ h) { ::DeleteObject(h); }
};

using TKernelHandle = TUniqueHandle<HANDLE, KernelHandleTraits>;   // events, processes, threads
using TFileHandle = TUniqueHandle<HANDLE, FileHandleTraits>;       // CreateFile results
using TRegKey = TUniqueHandle<HKEY, RegKeyTraits>;
using TServiceHandle = TUniqueHandle<SC_HANDLE, ServiceHandleTraits>;
using TGdiObject = TUniqueHandle<HGDIOBJ, GdiObjectTraits>;

// A COM interface pointer that releases on every way out.
template <class I>
class TComPtr {
public:
    TComPtr() = default;
    ~TComPtr() { Reset(); }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    I* Get() const { return FPtr; }
    I* operator->() const { return FPtr; }
    I** Put() {
        Reset();
        return &FPtr;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    explicit operator bool() const { return FPtr != nullptr; }
    void Reset() {
        if (FPtr) FPtr->Release();
        FPtr = nullptr;
    }

private:
    I* FPtr = nullptr;
};

// COM in the single-threaded apartment for the life of the scope.
class TScopedComInit {
public:
    TScopedComInit() : FOk(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~TScopedComInit() {
        if (FOk) ::CoUninitialize();
    }
    TScopedComInit(const TScopedComInit&) = delete;
    TScopedComInit& operator=(const TScopedComInit&) = delete;

private:
    bool FOk;
};

} // namespace kx
