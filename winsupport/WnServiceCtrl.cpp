#include "WnServiceCtrl.h"

WnServiceCtrlHandle::~WnServiceCtrlHandle()
{
    Close();
}

uint32_t WnServiceCtrlHandle::Close()
{
    if (handle_ == nullptr)
        return ERROR_SUCCESS;
    SC_HANDLE handle = handle_;
    handle_ = nullptr;
    if (!CloseServiceHandle(handle))
        return GetLastError();
    return ERROR_SUCCESS;
}

void WnServiceCtrlHandle::Attach(SC_HANDLE handle)
{
    Close();
    handle_ = handle;
}

WnServiceCtrlMgr::~WnServiceCtrlMgr() = default;

uint32_t WnServiceCtrlMgr::Open(const wchar_t* database, uint32_t access)
{
    Close();
    SC_HANDLE manager = OpenSCManagerW(nullptr, database, access);
    if (manager == nullptr)
        return GetLastError();
    Attach(manager);
    return ERROR_SUCCESS;
}

WnServiceCtrl::~WnServiceCtrl() = default;

uint32_t WnServiceCtrl::Create(const WnServiceCtrlMgr& manager, const wchar_t* name, const wchar_t* displayName,
    uint32_t access, uint32_t serviceType, uint32_t startType, uint32_t errorControl, const wchar_t* binaryPath,
    const wchar_t* loadOrderGroup, DWORD* tagId, const wchar_t* dependencies, const wchar_t* startName,
    const wchar_t* password)
{
    Close();
    SC_HANDLE service = CreateServiceW(manager.Get(), name, displayName, access, serviceType, startType, errorControl,
        binaryPath, loadOrderGroup, tagId, dependencies, startName, password);
    if (service == nullptr)
        return GetLastError();
    Attach(service);
    return ERROR_SUCCESS;
}

uint32_t WnServiceCtrl::Open(const WnServiceCtrlMgr& manager, const wchar_t* name, uint32_t access)
{
    Close();
    SC_HANDLE service = OpenServiceW(manager.Get(), name, access);
    if (service == nullptr)
        return GetLastError();
    Attach(service);
    return ERROR_SUCCESS;
}
