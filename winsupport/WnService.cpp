#include "WnService.h"

WnService::~WnService() = default;

DWORD WINAPI WnService::ControlHandler(DWORD control, DWORD eventType, void* eventData, void* context)
{
    return static_cast<WnServiceCallbackInterface*>(context)->HandleControl(control, eventType, eventData);
}

uint32_t WnService::RegisterControlHandler(const wchar_t* serviceName, WnServiceCallbackInterface* callback)
{
    if (callback == nullptr)
        return ERROR_INVALID_PARAMETER;
    statusHandle_ = RegisterServiceCtrlHandlerExW(serviceName, ControlHandler, callback);
    if (statusHandle_ == nullptr)
        return GetLastError();
    return ERROR_SUCCESS;
}

uint32_t WnService::SetStatus(const SERVICE_STATUS& status) const
{
    if (statusHandle_ == nullptr)
        return ERROR_SUCCESS;
    SERVICE_STATUS copy = status;
    if (!SetServiceStatus(statusHandle_, &copy))
        return GetLastError();
    return ERROR_SUCCESS;
}
