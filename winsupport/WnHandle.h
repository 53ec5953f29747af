#pragma once
#include <windows.h>
#include <stdint.h>

// Owns one Win32 kernel handle; null means none is held. Owners embed it by
// value, it is never copied, and it closes what it holds when it goes.
class WnHandle {
public:
    WnHandle() = default;
    explicit WnHandle(HANDLE handle);
    virtual ~WnHandle();

    WnHandle(const WnHandle&) = delete;
    WnHandle& operator=(const WnHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != nullptr; }

    // Closes the held handle; the handle is forgotten even when the system
    // refuses to close it, and that error is returned. 0 with nothing held.
    uint32_t Close();

    // Takes ownership of a handle, closing the one held before (error dropped).
    // INVALID_HANDLE_VALUE, as CreateFileW fails with, is kept as null.
    void Attach(HANDLE handle);

    // Gives up ownership without closing.
    HANDLE Detach();

private:
    HANDLE handle_ = nullptr;
};
