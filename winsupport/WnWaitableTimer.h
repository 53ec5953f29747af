#pragma once
#include "WnCallbacks.h"
#include "WnHandle.h"

// An owned Win32 waitable timer whose expiries reach a
// WnWaitableTimerCallbackInterface as asynchronous procedure calls.
//
// The callback runs on the thread that armed the timer, and only while that
// thread is in an alertable wait (SleepEx, WaitFor...Ex with alertable set);
// expiries that come while it is busy wait for its next alertable wait.
// Create, Set, Cancel and destruction belong to that one owning thread.
class WnWaitableTimer : public WnHandle {
public:
    WnWaitableTimer() = default;
    // Cancels before closing: no expiry, not even one already queued,
    // reaches the callback after the timer is gone.
    ~WnWaitableTimer() override;

    // Replaces a held timer (cancelled and closed, errors dropped) with a new
    // one. On failure nothing is held and the system error is returned.
    uint32_t Create(bool manualReset, SECURITY_ATTRIBUTES* securityAttributes, const wchar_t* name);

    // Arms (or re-arms) the timer with a period of periodMs milliseconds.
    // The first expiry comes periodMs x 100 ns after arming - the due time is
    // the same number in the system's 100 ns units - and then every periodMs
    // milliseconds. A null callback arms the timer without a completion
    // routine: the handle is signalled and nothing is called. resume is the
    // system's resume flag. Returns 87 (ERROR_INVALID_PARAMETER) for a period
    // of 0 or less, leaving the timer as it was; else 0 or the system error.
    uint32_t Set(int32_t periodMs, WnWaitableTimerCallbackInterface* callback, bool resume);

    // Stops the timer and drops expiries not yet delivered. 0 with no timer.
    uint32_t Cancel();

private:
    static void CALLBACK CompletionRoutine(void* callback, DWORD low, DWORD high);
};
