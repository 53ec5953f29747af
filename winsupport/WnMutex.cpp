#include "WnMutex.h"

WnMutex::~WnMutex() = default;

uint32_t WnMutex::Create(SECURITY_ATTRIBUTES* securityAttributes, bool initialOwner, const wchar_t* name)
{
    Close();
    HANDLE mutex = CreateMutexW(securityAttributes, initialOwner, name);
    // Read once: on success it tells whether the name existed already.
    const uint32_t error = GetLastError();
    if (mutex == nullptr)
        return error;
    Attach(mutex);
    if (name == nullptr)
        return ERROR_SUCCESS;
    return error == ERROR_ALREADY_EXISTS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
}
