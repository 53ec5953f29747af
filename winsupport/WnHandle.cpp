#include "WnHandle.h"

WnHandle::WnHandle(HANDLE handle)
{
    Attach(handle);
}

WnHandle::~WnHandle()
{
    Close();
}

uint32_t WnHandle::Close()
{
    if (handle_ == nullptr)
        return ERROR_SUCCESS;
    HANDLE handle = handle_;
    handle_ = nullptr;
    if (!CloseHandle(handle))
        return GetLastError();
    return ERROR_SUCCESS;
}

void WnHandle::Attach(HANDLE handle)
{
    Close();
    handle_ = (handle == INVALID_HANDLE_VALUE) ? nullptr : handle;
}

HANDLE WnHandle::Detach()
{
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
}
