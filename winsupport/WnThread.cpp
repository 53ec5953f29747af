#include "WnThread.h"

#include <process.h>

WnThread::~WnThread() = default;

unsigned __stdcall WnThread::ThreadEntry(void* callback)
{
    return static_cast<WnThreadCallbackInterface*>(callback)->Run();
}

uint32_t WnThread::Start(WnThreadCallbackInterface* callback, uint32_t stackSize, uint32_t creationFlags)
{
    if (IsValid())
        return ERROR_ALREADY_EXISTS;
    if (callback == nullptr)
        return ERROR_INVALID_PARAMETER;
    unsigned id = 0;
    const uintptr_t thread = _beginthreadex(nullptr, stackSize, ThreadEntry, callback, creationFlags, &id);
    if (thread == 0) {
        const uint32_t error = GetLastError();
        threadId_ = 0;
        // The runtime can refuse without a system error; that must not read as success.
        return error != ERROR_SUCCESS ? error : ERROR_NOT_ENOUGH_MEMORY;
    }
    Attach(reinterpret_cast<HANDLE>(thread));
    threadId_ = id;
    return ERROR_SUCCESS;
}

uint32_t WnThread::Wait(uint32_t milliseconds)
{
    if (!IsValid())
        return ERROR_SUCCESS;
    const DWORD result = WaitForSingleObject(Get(), milliseconds);
    if (result != WAIT_OBJECT_0)
        return result;
    Close();
    return ERROR_SUCCESS;
}
