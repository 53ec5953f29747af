#pragma once
#include <stdint.h>

#include <memory>
#include <vector>

#include "VedraApiContext.h"
#include "VedraDevice.h"
#include "VedraMessage.h"

// A driver-level connection: registers a role, carries the message
// transport and owns one device object per unit the driver reports.
class VedraDriver : public VedraApiContext {
public:
    VedraDriver();
    ~VedraDriver() override;

    VedraStatus Attach(const wchar_t* name, bool wantMessageEvent, bool wantNotificationEvent);
    void Detach();
    // Attach with events for roles 0 and 2, then RegisterRole. Nothing at all
    // when already open.
    VedraStatus Connect(const wchar_t* name, uint32_t role);
    VedraStatus SetNotificationEvents(HANDLE messageEvent, HANDLE notificationEvent);
    VedraStatus RegisterRole(uint32_t role);

    // Sends the first 32 + payloadLength bytes.
    VedraStatus SendMessage(const VedraMessage& message);
    VedraStatus ReceiveMessage(VedraMessage& message);
    VedraStatus ReceiveNotification(VedraMessage& message);

    // count is cut to the 8 entries the record holds.
    VedraStatus GetDeviceList(VedraDeviceList& list);
    // Refreshes the device objects from the driver's list; a unit that comes
    // back with the same model, variant and serial number keeps its object.
    VedraStatus UpdateDevices(bool& changed);
    uint32_t DeviceCount() const { return static_cast<uint32_t>(devices.size()); }
    // Pointers stay valid until the next UpdateDevices or destruction.
    VedraDevice* DeviceAt(uint32_t index) const;
    VedraDevice* FindDevice(const VedraDeviceId& id) const;

    // Settings and status.
    VedraStatus GetStreamingStatus(VedraStreamingStatus& status);
    // rateCount is cut to the 10 rates the record holds.
    VedraStatus GetSampleRateInfo(VedraSampleRateInfo& info);
    VedraStatus GetBufferSettings(VedraBufferSettings& settings);
    VedraStatus GetStatusCounters(VedraStatusCounters& counters);
    // count is cut to the 96 keys the record holds.
    VedraStatus GetAsioInputChannels(VedraChannelList& list);
    VedraStatus GetAsioOutputChannels(VedraChannelList& list);
    VedraStatus GetChannelInfo(uint32_t key1, uint32_t key2, VedraChannelInfo& info);
    VedraStatus GetPolicy(uint32_t& policy);

    // System-wide settings: the server's to send, around a streaming stop.
    VedraStatus SetSampleRate(uint32_t rate);
    VedraStatus AnnounceSampleRate(uint32_t rate);
    VedraStatus SetPolicy(uint32_t policy);
    // Sends the first 12 bytes of settings.
    VedraStatus SetBufferSettings(const VedraBufferSettings& settings);
    VedraStatus SelectStreamingDevice(const VedraStreamingDeviceSelection& selection);
    VedraStatus StreamingCommand(uint32_t command, uint32_t argument);

    HANDLE MessageEvent() const { return messageEvent.Get(); }
    HANDLE NotificationEvent() const { return notificationEvent.Get(); }

protected:
    virtual std::unique_ptr<VedraDevice> CreateDevice();

    std::vector<std::unique_ptr<VedraDevice>> devices;
    WnEvent messageEvent;
    WnEvent notificationEvent;
    wchar_t driverName[100];

private:
    VedraStatus GetChannelList(uint32_t code, VedraChannelList& list);
};
