#pragma once
#include <windows.h>
#include <stdint.h>

// One owned service-control-manager handle (SC_HANDLE); null when none.
class WnServiceCtrlHandle {
public:
    WnServiceCtrlHandle() = default;
    // Closes a held handle; a failure is dropped.
    virtual ~WnServiceCtrlHandle();

    WnServiceCtrlHandle(const WnServiceCtrlHandle&) = delete;
    WnServiceCtrlHandle& operator=(const WnServiceCtrlHandle&) = delete;

    SC_HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != nullptr; }

    // Closes a held handle and forgets it; 0 or the system error.
    uint32_t Close();

protected:
    void Attach(SC_HANDLE handle);

private:
    SC_HANDLE handle_ = nullptr;
};

// A connection to the service control manager of the local machine.
class WnServiceCtrlMgr : public WnServiceCtrlHandle {
public:
    // The database and access every management operation of the service uses.
    static constexpr const wchar_t* kActiveDatabase = SERVICES_ACTIVE_DATABASEW; // "ServicesActive"
    static constexpr uint32_t kAllAccess = SC_MANAGER_ALL_ACCESS;                // 0xF003F

    WnServiceCtrlMgr() = default;
    ~WnServiceCtrlMgr() override;

    // Replaces a held connection (close error dropped). A refusal that comes
    // with last error 0 counts as success with no handle: the later steps
    // then fail at the system level.
    uint32_t Open(const wchar_t* database, uint32_t access);
};

// A handle to one installed service.
class WnServiceCtrl : public WnServiceCtrlHandle {
public:
    WnServiceCtrl() = default;
    ~WnServiceCtrl() override;

    // CreateServiceW with exactly these arguments; a held handle is closed first.
    uint32_t Create(const WnServiceCtrlMgr& manager, const wchar_t* name, const wchar_t* displayName, uint32_t access,
        uint32_t serviceType, uint32_t startType, uint32_t errorControl, const wchar_t* binaryPath,
        const wchar_t* loadOrderGroup, DWORD* tagId, const wchar_t* dependencies, const wchar_t* startName,
        const wchar_t* password);

    // OpenServiceW; a held handle is closed first.
    uint32_t Open(const WnServiceCtrlMgr& manager, const wchar_t* name, uint32_t access);
};
