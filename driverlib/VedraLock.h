#pragma once
#include <windows.h>

// A recursive lock (a critical section may be re-entered by its owner): a
// connection's handshake runs under the lock its own Open already holds.
class VedraLock {
public:
    VedraLock() { InitializeCriticalSection(&section_); }
    ~VedraLock() { DeleteCriticalSection(&section_); }

    VedraLock(const VedraLock&) = delete;
    VedraLock& operator=(const VedraLock&) = delete;

    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

// Holds a VedraLock for one scope, so that every early return leaves it.
class VedraLockHolder {
public:
    explicit VedraLockHolder(VedraLock& lock) : lock_(lock) { lock_.Enter(); }
    ~VedraLockHolder() { lock_.Leave(); }

    VedraLockHolder(const VedraLockHolder&) = delete;
    VedraLockHolder& operator=(const VedraLockHolder&) = delete;

private:
    VedraLock& lock_;
};
