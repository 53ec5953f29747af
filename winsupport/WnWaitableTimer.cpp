#include "WnWaitableTimer.h"

WnWaitableTimer::~WnWaitableTimer()
{
    Cancel();
}

uint32_t WnWaitableTimer::Create(bool manualReset, SECURITY_ATTRIBUTES* securityAttributes, const wchar_t* name)
{
    Cancel();
    Close();
    HANDLE timer = CreateWaitableTimerW(securityAttributes, manualReset, name);
    if (timer == nullptr)
        return GetLastError();
    Attach(timer);
    return ERROR_SUCCESS;
}

void CALLBACK WnWaitableTimer::CompletionRoutine(void* callback, DWORD low, DWORD high)
{
    static_cast<WnWaitableTimerCallbackInterface*>(callback)->OnTimer(low, high);
}

uint32_t WnWaitableTimer::Set(int32_t periodMs, WnWaitableTimerCallbackInterface* callback, bool resume)
{
    if (periodMs <= 0)
        return ERROR_INVALID_PARAMETER;
    LARGE_INTEGER dueTime;
    dueTime.QuadPart = -static_cast<int64_t>(periodMs); // relative, in 100 ns units
    const BOOL armed = callback != nullptr
        ? SetWaitableTimer(Get(), &dueTime, periodMs, CompletionRoutine, callback, resume)
        : SetWaitableTimer(Get(), &dueTime, periodMs, nullptr, nullptr, resume);
    if (!armed)
        return GetLastError();
    return ERROR_SUCCESS;
}

uint32_t WnWaitableTimer::Cancel()
{
    if (!IsValid())
        return ERROR_SUCCESS;
    if (!CancelWaitableTimer(Get()))
        return GetLastError();
    return ERROR_SUCCESS;
}
