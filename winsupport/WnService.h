#pragma once
#include "WnCallbacks.h"

#include <windows.h>
#include <stdint.h>

// The registration of a running service with the service control manager:
// its status handle (not closed; the system owns it) and the control
// handler that passes every control to a WnServiceCallbackInterface.
// Used on the service-main thread; the controls arrive on the dispatcher
// thread (the thread that called StartServiceCtrlDispatcherW).
class WnService {
public:
    WnService() = default;
    virtual ~WnService();

    WnService(const WnService&) = delete;
    WnService& operator=(const WnService&) = delete;

    // Registers the extended control handler for serviceName, with callback
    // as its context, and keeps the status handle. Returns 0 or the system
    // error; the system can also refuse with error 0, leaving no handle.
    uint32_t RegisterControlHandler(const wchar_t* serviceName, WnServiceCallbackInterface* callback);

    // Reports status to the service control manager; 0 or the system error.
    // 0 without a status handle.
    uint32_t SetStatus(const SERVICE_STATUS& status) const;

    SERVICE_STATUS_HANDLE StatusHandle() const { return statusHandle_; }

private:
    static DWORD WINAPI ControlHandler(DWORD control, DWORD eventType, void* eventData, void* context);

    SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
};
