#include "ServiceBase.h"

#include "WnServiceAdmin.h"

ServiceBase::ServiceBase()
{
    controlForwarder.Bind(this, &ServiceBase::HandleControl);
    stopEvent.Create(false, false);
    deviceChangeForwarder.Bind(this, &ServiceBase::OnDeviceChange);
}

ServiceBase::~ServiceBase()
{
    // The notificator's thread calls back into this object: it must be gone
    // before the members it reaches are.
    notificator.Stop(INFINITE);
    notifications.UnregisterAll();
}

void ServiceBase::OnDeviceChange(uint32_t, void*) {}

uint32_t ServiceBase::HandleControl(uint32_t control, uint32_t eventType, void* eventData)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        Stop();
        break;
    case SERVICE_CONTROL_DEVICEEVENT:
        OnDeviceChange(eventType, eventData);
        break;
    default:
        break;
    }
    return NO_ERROR;
}

bool ServiceBase::RegisterControlHandler()
{
    // The system may refuse with error 0 and no handle; the run then goes on
    // with status reports that do nothing.
    if (service.RegisterControlHandler(ServiceName(), &controlForwarder) != ERROR_SUCCESS)
        return false;
    stopEvent.Reset();
    return true;
}

bool ServiceBase::SetStatus(uint32_t state, uint32_t waitHint, uint32_t checkPoint, uint32_t win32ExitCode,
    uint32_t specificExitCode)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = serviceType;
    status.dwCurrentState = state;
    status.dwControlsAccepted = controlsAccepted;
    status.dwWin32ExitCode = win32ExitCode;
    status.dwServiceSpecificExitCode = specificExitCode;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = waitHint;
    return service.SetStatus(status) == ERROR_SUCCESS;
}

uint32_t ServiceBase::RegisterServiceDeviceNotification(const GUID& interfaceGuid)
{
    if (service.StatusHandle() == nullptr)
        return ERROR_SUCCESS;
    return notifications.Register(service.StatusHandle(), interfaceGuid, WnDeviceNotificationList::kServiceHandle);
}

uint32_t ServiceBase::RegisterConsoleDeviceNotification(const GUID& interfaceGuid)
{
    const uint32_t started = notificator.Start(&deviceChangeForwarder, GetModuleHandleW(nullptr));
    if (started != ERROR_SUCCESS && started != ERROR_ALREADY_INITIALIZED)
        return started;
    return notificator.Register(interfaceGuid);
}

void ServiceBase::Stop()
{
    notifications.UnregisterAll();
    notificator.Stop(INFINITE);
    stopEvent.Set();
}

uint32_t ServiceBase::InstallService() const
{
    return WnServiceAdmin(ServiceName(), DisplayName(), Description(), serviceType).InstallService();
}

uint32_t ServiceBase::UninstallService() const
{
    return WnServiceAdmin(ServiceName(), DisplayName(), Description(), serviceType).UninstallService();
}

uint32_t ServiceBase::StartInstalledService() const
{
    return WnServiceAdmin(ServiceName(), DisplayName(), Description(), serviceType).StartInstalledService();
}

uint32_t ServiceBase::StopInstalledService() const
{
    return WnServiceAdmin(ServiceName(), DisplayName(), Description(), serviceType).StopInstalledService();
}
