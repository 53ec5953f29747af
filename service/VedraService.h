#pragma once
#include <memory>

#include "ServiceBase.h"
#include "VedraServer.h"
#include "WnEvent.h"
#include "WnEventLog.h"
#include "WnMutex.h"

// The product's service: runs the driver server's message loop until it is
// told to stop, and records its life in the event log. Its names, its
// interface and its registry path all come from the server object.
class VedraService : public ServiceBase {
public:
    // Longest text of each step of the single-instance name.
    static constexpr size_t kInstanceNameChars = 500;

    VedraService();
    // For tests: a service around a server of the caller's making.
    explicit VedraService(std::unique_ptr<VedraServer> server);
    ~VedraService() override;

    const wchar_t* ServiceName() const override;
    const wchar_t* DisplayName() const override;
    const wchar_t* Description() const override;
    LPSERVICE_MAIN_FUNCTIONW ServiceMainFunction() const override;
    uint32_t RunConsole() override;
    void OnDeviceChange(uint32_t eventType, void* eventData) override;

    // 0 when this process now holds the instance mutex, 183 when another
    // instance does, or another error.
    uint32_t AcquireSingleInstance();
    void ReleaseSingleInstance();
    // The name of the instance mutex: visible from every session, so that the
    // service in session 0 and a console instance of a user see each other.
    void InstanceName(wchar_t (&name)[kInstanceNameChars + 1]) const;

    void RunServer();
    void ServiceMain(DWORD argumentCount, wchar_t** arguments);

    HANDLE DeviceArrivalEvent() const { return deviceArrivalEvent.Get(); }
    VedraServer* Server() const { return server.get(); }

private:
    static void WINAPI StaticServiceMain(DWORD argumentCount, wchar_t** arguments);
    // ServiceMain's end when a start step fails.
    void StopWithError(WnEventLogWriter& eventLog, uint32_t error);

    // The process-wide service that the service control manager's thread runs.
    static VedraService* processService;

    std::unique_ptr<VedraServer> server;
    WnMutex instanceMutex;
    WnEvent deviceArrivalEvent;
};
