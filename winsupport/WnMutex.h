#pragma once
#include "WnHandle.h"

// An owned Win32 mutex, named or unnamed.
class WnMutex : public WnHandle {
public:
    WnMutex() = default;
    ~WnMutex() override;

    // Replaces a held mutex (its close error is dropped) with a new one.
    // On failure nothing is held and the system error is returned. On
    // success with a name, returns 183 (ERROR_ALREADY_EXISTS) when a mutex
    // of that name existed already - the handle to it is held all the same,
    // and initialOwner did not make this thread its owner - or 0 when it was
    // created new. Single-instance checks rest on that 183.
    uint32_t Create(SECURITY_ATTRIBUTES* securityAttributes, bool initialOwner, const wchar_t* name);
};
