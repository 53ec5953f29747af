#pragma once
#include <windows.h>
#include <stdint.h>

#include <functional>
#include <memory>

#include "VedraDeviceCtrl.h"
#include "VedraDriver.h"

// The service's connection to the driver (role 0): answers the clients'
// setting requests, reacts to the driver's notifications, drives the
// streaming state machine with hooks into every unit's VedraDeviceCtrl and
// tells the clients about changes. Everything runs on the thread in Run.
class VedraServer : public VedraDriver {
public:
    VedraServer();
    ~VedraServer() override;

    // The service thread's body: returns when stopEvent is signalled, when the
    // wait fails in a way it cannot go on from, or at once when another server
    // holds the role.
    void Run(HANDLE stopEvent, HANDLE deviceArrivalEvent);

    VedraStatus ConnectServer(const wchar_t* name);
    void ProcessRequests();
    void ProcessNotifications();

    VedraStatus StartStreaming(uint32_t reconfigure);
    VedraStatus StopStreaming(uint32_t reconfigure);
    VedraStatus StopStreamingIfIdle();
    void PostNotification(uint32_t code);

    virtual const wchar_t* ServiceName() const;
    virtual const wchar_t* DisplayName() const;
    virtual const wchar_t* Description() const;
    virtual void InterfaceGuid(GUID& guid) const;
    virtual const wchar_t* InterfaceGuidString() const;
    virtual const wchar_t* RegistryPath() const;

protected:
    std::unique_ptr<VedraDevice> CreateDevice() override;

    virtual void OnDevicesChanged();

    // Returns the reply's status; VEDRA_STATUS_PENDING sends no reply now.
    virtual VedraStatus DispatchRequest(const VedraMessage& request, VedraMessage& reply);
    virtual VedraStatus OnRequest(const VedraMessage& request, VedraMessage& reply);
    virtual VedraStatus OnSetSampleRate(uint32_t rate);
    virtual VedraStatus OnSetBufferSettings(const VedraBufferSettings& settings);
    virtual VedraStatus OnSelectStreamingDevice(const VedraStreamingDeviceSelection& selection);
    virtual VedraStatus OnRequest1004(uint8_t value);
    virtual VedraStatus OnSetPolicy(uint32_t policy);

    virtual void DispatchNotification(const VedraMessage& message);
    virtual void OnNotification(const VedraMessage& message);
    virtual void OnNotification3003();
    virtual void OnNotification3004();
    virtual void OnNotification3006();
    virtual void OnNotification3005();
    virtual void OnNotification3015(uint32_t a, uint32_t b);
    virtual void OnNotification3016(uint32_t a, uint32_t b);
    virtual void OnNotification3020();
    virtual void OnNotification3051(const VedraDeviceId& id);
    virtual void OnNotification3060(const VedraEndpointChange& change);

    virtual bool IsStreamingNeeded(const VedraStreamingStatus& status);
    virtual VedraStatus OnStateChanging(uint32_t fromState, uint32_t toState, uint32_t sampleRate);
    virtual void OnStateChanged(uint32_t fromState, uint32_t toState, uint32_t sampleRate);
    virtual void OnStateChangeFailed(uint32_t fromState, uint32_t toState, VedraStatus status);
    virtual VedraStatus PrepareStart();

    // The unit's control object, or null when it is unknown or of another class.
    VedraDeviceCtrl* FindDeviceCtrl(const VedraDeviceId& id) const;
    VedraDeviceCtrl* DeviceCtrlAt(uint32_t index) const;

    bool detachPending = false;

private:
    // One step down to state 2 from 3 or 4, for the stop walks.
    VedraStatus StopRunning(const VedraStreamingStatus& status);
    // Stops streaming around change and tells the clients (3010).
    VedraStatus ChangeSetting(const std::function<VedraStatus()>& change);
};
