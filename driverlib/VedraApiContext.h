#pragma once
#include <windows.h>
#include <stdint.h>

#include "VedraContract.h"
#include "WnCriticalSection.h"
#include "WnEvent.h"
#include "WnHandle.h"

// Longest device path "\\.\" + name that Open tries, terminator included.
constexpr uint32_t VEDRA_PATH_CHARS = 300;

// Writes "\\.\" + name into path (VEDRA_PATH_CHARS wide characters), cutting
// a longer result to 299 characters and the terminator.
void FormatDevicePath(const wchar_t* name, wchar_t (&path)[VEDRA_PATH_CHARS]);

// One connection to the kernel driver: an overlapped handle on its control
// device, the event each request waits on, and the lock that turns every
// request into one synchronous, serialised exchange.
class VedraApiContext {
public:
    VedraApiContext();
    virtual ~VedraApiContext();

    VedraApiContext(const VedraApiContext&) = delete;
    VedraApiContext& operator=(const VedraApiContext&) = delete;

    // Read without the lock: a hint for callers, not a guarantee.
    bool IsOpen() const { return handle.IsValid(); }

    VedraStatus Open(const wchar_t* name);
    void Close();

    // One control request; waits for completion however long the driver takes.
    // bytesReturned, when given, is written on failure too.
    VedraStatus Request(uint32_t code, const void* inBuffer, uint32_t inSize, void* outBuffer, uint32_t outSize,
                        uint32_t* bytesReturned = nullptr);

    VedraStatus GetInterfaceVersion(VedraInterfaceVersion& version);

    // The driver handle itself, for measurements against bare DeviceIoControl.
    HANDLE NativeHandle() const { return handle.Get(); }

protected:
    // Recursive (a critical section may be re-entered by its owner): Open
    // runs its handshake under the lock it already holds.
    WnCriticalSection lock;

private:
    WnHandle handle;
    WnEvent completionEvent;
};
