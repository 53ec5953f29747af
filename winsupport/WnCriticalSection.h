#pragma once
#include <windows.h>

// An owned Win32 critical section.
class WnCriticalSection {
public:
    WnCriticalSection() { InitializeCriticalSection(&section_); }
    ~WnCriticalSection() { DeleteCriticalSection(&section_); }

    WnCriticalSection(const WnCriticalSection&) = delete;
    WnCriticalSection& operator=(const WnCriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

// Holds a WnCriticalSection for the lifetime of the guard.
class WnLockGuard {
public:
    explicit WnLockGuard(WnCriticalSection& section) : section_(section) { section_.Enter(); }
    ~WnLockGuard() { section_.Leave(); }

    WnLockGuard(const WnLockGuard&) = delete;
    WnLockGuard& operator=(const WnLockGuard&) = delete;

private:
    WnCriticalSection& section_;
};
