#include "VedraApiContext.h"

#include <wchar.h>

void FormatDevicePath(const wchar_t* name, wchar_t (&path)[VEDRA_PATH_CHARS])
{
    static const wchar_t prefix[] = L"\\\\.\\";
    uint32_t used = 0;
    for (const wchar_t* p = prefix; *p != L'\0'; ++p)
        path[used++] = *p;
    for (const wchar_t* p = name; p != nullptr && *p != L'\0' && used < VEDRA_PATH_CHARS - 1; ++p)
        path[used++] = *p;
    path[used] = L'\0';
}

VedraApiContext::VedraApiContext() = default;

VedraApiContext::~VedraApiContext()
{
    Close();
}

VedraStatus VedraApiContext::Open(const wchar_t* name)
{
    WnLockGuard hold(lock);
    if (handle.IsValid())
        return VEDRA_STATUS_REJECTED;
    if (!completionEvent.IsValid()) {
        uint32_t error = completionEvent.Create(true, false);
        if (error != ERROR_SUCCESS)
            return error;
    }
    wchar_t path[VEDRA_PATH_CHARS];
    FormatDevicePath(name, path);
    HANDLE opened = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        Close();
        return error;
    }
    handle.Attach(opened);

    VedraInterfaceVersion version = {};
    VedraStatus status = GetInterfaceVersion(version);
    if (status != VEDRA_STATUS_SUCCESS) {
        Close();
        return status;
    }
    if (version.interfaceMajor != VEDRA_INTERFACE_MAJOR) {
        Close();
        return VEDRA_STATUS_VERSION_MISMATCH;
    }
    return VEDRA_STATUS_SUCCESS;
}

void VedraApiContext::Close()
{
    WnLockGuard hold(lock);
    handle.Close();
    completionEvent.Close();
}

VedraStatus VedraApiContext::Request(uint32_t code, const void* inBuffer, uint32_t inSize, void* outBuffer,
                                     uint32_t outSize, uint32_t* bytesReturned)
{
    WnLockGuard hold(lock);
    if (!handle.IsValid())
        return VEDRA_STATUS_NOT_OPENED;

    OVERLAPPED overlapped = {};
    overlapped.hEvent = completionEvent.Get();
    DWORD count = 0;
    VedraStatus status = VEDRA_STATUS_SUCCESS;
    // DeviceIoControl takes a non-const input pointer even though it only reads it.
    if (!DeviceIoControl(handle.Get(), code, const_cast<void*>(inBuffer), inSize, outBuffer, outSize, &count,
                         &overlapped)) {
        status = GetLastError();
        if (status == ERROR_IO_PENDING) {
            if (GetOverlappedResult(handle.Get(), &overlapped, &count, TRUE))
                status = VEDRA_STATUS_SUCCESS;
            else
                status = GetLastError();
        }
    }
    if (bytesReturned != nullptr)
        *bytesReturned = count;
    return status;
}

VedraStatus VedraApiContext::GetInterfaceVersion(VedraInterfaceVersion& version)
{
    return Request(VEDRA_IOCTL_GET_INTERFACE_VERSION, nullptr, 0, &version, sizeof(version));
}
