#include "WnDeviceNotificationList.h"

#include <cstddef>

static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) == 32, "device-interface filter is 32 bytes");
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_classguid) == 12, "class GUID follows three u32");
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) == 28, "empty name follows the GUID");

WnDeviceNotificationList::Registration::~Registration()
{
    if (notification_ != nullptr)
        UnregisterDeviceNotification(notification_);
}

uint32_t WnDeviceNotificationList::Registration::Register(HANDLE recipient, uint32_t flags)
{
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    filter.dbcc_classguid = classGuid_;
    filter.dbcc_name[0] = L'\0';
    notification_ = RegisterDeviceNotificationW(recipient, &filter, flags);
    if (notification_ == nullptr)
        return GetLastError();
    return ERROR_SUCCESS;
}

WnDeviceNotificationList::~WnDeviceNotificationList()
{
    UnregisterAll();
}

uint32_t WnDeviceNotificationList::Register(HANDLE recipient, const GUID& classGuid, uint32_t flags)
{
    // The system call is made outside the lock; only linking takes it.
    std::list<Registration> fresh;
    Registration& registration = fresh.emplace_back(classGuid);
    const uint32_t error = registration.Register(recipient, flags);
    if (error != ERROR_SUCCESS)
        return error;
    WnLockGuard guard(lock_);
    registrations_.splice(registrations_.end(), fresh);
    return ERROR_SUCCESS;
}

void WnDeviceNotificationList::UnregisterAll()
{
    WnLockGuard guard(lock_);
    while (!registrations_.empty())
        registrations_.pop_front();
}

size_t WnDeviceNotificationList::Count()
{
    WnLockGuard guard(lock_);
    return registrations_.size();
}
