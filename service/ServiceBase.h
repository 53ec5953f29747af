#pragma once
#include <windows.h>
#include <stdint.h>

#include "WnCallbacks.h"
#include "WnDeviceNotificationList.h"
#include "WnEvent.h"
#include "WnPnPNotificator.h"
#include "WnService.h"

// One Windows service of this process, runnable under the service control
// manager or, for development, as a console program. Derived classes give
// the identity and the two bodies; this class holds the control handling,
// the status reports, the device-interface registrations and the stop event.
class ServiceBase {
public:
    ServiceBase();
    virtual ~ServiceBase();

    ServiceBase(const ServiceBase&) = delete;
    ServiceBase& operator=(const ServiceBase&) = delete;

    virtual const wchar_t* ServiceName() const = 0;
    virtual const wchar_t* DisplayName() const = 0;
    virtual const wchar_t* Description() const = 0;
    virtual LPSERVICE_MAIN_FUNCTIONW ServiceMainFunction() const = 0;
    // The console-mode body, run on a thread of its own.
    virtual uint32_t RunConsole() = 0;
    virtual void OnDeviceChange(uint32_t eventType, void* eventData);
    // Runs on the dispatcher thread; the result goes back to the system.
    virtual uint32_t HandleControl(uint32_t control, uint32_t eventType, void* eventData);

    bool RegisterControlHandler();
    bool SetStatus(uint32_t state, uint32_t waitHint, uint32_t checkPoint, uint32_t win32ExitCode,
        uint32_t specificExitCode);
    uint32_t RegisterServiceDeviceNotification(const GUID& interfaceGuid);
    uint32_t RegisterConsoleDeviceNotification(const GUID& interfaceGuid);
    // Ends the run: no more device notices, and the server loop is told to return.
    void Stop();

    // Management of the installed service; Win32 error codes.
    uint32_t InstallService() const;
    uint32_t UninstallService() const;
    uint32_t StartInstalledService() const;
    uint32_t StopInstalledService() const;

    HANDLE StopEvent() const { return stopEvent.Get(); }

protected:
    WnService service;
    WnServiceCallbackForwarderT<ServiceBase> controlForwarder;
    WnDeviceNotificationList notifications;
    uint32_t serviceType = SERVICE_WIN32_OWN_PROCESS;
    uint32_t controlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    WnEvent stopEvent;
    WnPnPNotificator notificator;
    WnPnPNotificatorCallbackForwarderT<ServiceBase> deviceChangeForwarder;
};
