#pragma once
#include "WnCriticalSection.h"

#include <windows.h>
#include <dbt.h>
#include <stdint.h>

#include <list>

// The device-interface registrations of one recipient, in registration
// order: a window (messages WM_DEVICECHANGE) or a service status handle
// (control SERVICE_CONTROL_DEVICEEVENT). Each registration is cancelled by
// UnregisterAll or when the list goes. Safe to use from several threads.
class WnDeviceNotificationList {
public:
    // Recipient kinds, the flags of RegisterDeviceNotificationW.
    static constexpr uint32_t kWindowHandle = DEVICE_NOTIFY_WINDOW_HANDLE;   // 0
    static constexpr uint32_t kServiceHandle = DEVICE_NOTIFY_SERVICE_HANDLE; // 1

    WnDeviceNotificationList() = default;
    ~WnDeviceNotificationList();

    WnDeviceNotificationList(const WnDeviceNotificationList&) = delete;
    WnDeviceNotificationList& operator=(const WnDeviceNotificationList&) = delete;

    // Registers for arrivals and removals of interfaces of classGuid, sent
    // to recipient (an HWND with kWindowHandle, a SERVICE_STATUS_HANDLE with
    // kServiceHandle). Returns 0 or the system error; nothing is kept on failure.
    uint32_t Register(HANDLE recipient, const GUID& classGuid, uint32_t flags);

    // Cancels every registration (failures dropped) and empties the list.
    void UnregisterAll();

    size_t Count();

private:
    // One registration; owns its notification handle.
    class Registration {
    public:
        explicit Registration(const GUID& classGuid) : classGuid_(classGuid) {}
        ~Registration();
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

        uint32_t Register(HANDLE recipient, uint32_t flags);

    private:
        GUID classGuid_;
        HDEVNOTIFY notification_ = nullptr;
    };

    WnCriticalSection lock_;
    std::list<Registration> registrations_;
};
