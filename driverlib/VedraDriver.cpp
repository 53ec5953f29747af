#include "VedraDriver.h"

#include <string.h>
#include <wchar.h>

VedraDriver::VedraDriver()
{
    memset(driverName, 0, sizeof(driverName));
}

VedraDriver::~VedraDriver()
{
    Detach();
    messageEvent.Close();
    notificationEvent.Close();
    devices.clear();
}

VedraStatus VedraDriver::Attach(const wchar_t* name, bool wantMessageEvent, bool wantNotificationEvent)
{
    CopyBoundedText(driverName, 100, name, 99);
    VedraStatus status = Open(name);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    if (wantMessageEvent && !messageEvent.IsValid()) {
        uint32_t error = messageEvent.Create(false, false);
        if (error != ERROR_SUCCESS) {
            Close();
            return error;
        }
    }
    if (wantNotificationEvent && !notificationEvent.IsValid()) {
        uint32_t error = notificationEvent.Create(false, false);
        if (error != ERROR_SUCCESS) {
            Close();
            return error;
        }
    }
    status = SetNotificationEvents(wantMessageEvent ? messageEvent.Get() : nullptr,
                                   wantNotificationEvent ? notificationEvent.Get() : nullptr);
    if (status != VEDRA_STATUS_SUCCESS) {
        Close();
        return status;
    }
    return VEDRA_STATUS_SUCCESS;
}

void VedraDriver::Detach()
{
    SetNotificationEvents(nullptr, nullptr);
    Close();
    messageEvent.Close();
    notificationEvent.Close();
}

VedraStatus VedraDriver::Connect(const wchar_t* name, uint32_t role)
{
    if (IsOpen())
        return VEDRA_STATUS_SUCCESS;
    bool events = role == VEDRA_ROLE_SERVER || role == VEDRA_ROLE_PANEL;
    VedraStatus status = Attach(name, events, events);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    status = RegisterRole(role);
    if (status != VEDRA_STATUS_SUCCESS) {
        Detach();
        return status;
    }
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus VedraDriver::SetNotificationEvents(HANDLE message, HANDLE notification)
{
    VedraNotificationEvents events = {};
    events.messageEvent = reinterpret_cast<uintptr_t>(message);
    events.notificationEvent = reinterpret_cast<uintptr_t>(notification);
    return Request(VEDRA_IOCTL_SET_NOTIFICATION_EVENTS, &events, sizeof(events), nullptr, 0);
}

VedraStatus VedraDriver::RegisterRole(uint32_t role)
{
    return Request(VEDRA_IOCTL_REGISTER_ROLE, &role, sizeof(role), nullptr, 0);
}

VedraStatus VedraDriver::SendMessage(const VedraMessage& message)
{
    // A length beyond the payload would send bytes from outside the record.
    if (message.payloadLength > VEDRA_MESSAGE_PAYLOAD_SIZE)
        return VEDRA_STATUS_INVALID_LENGTH;
    return Request(VEDRA_IOCTL_SEND_MESSAGE, &message, VEDRA_MESSAGE_HEADER_SIZE + message.payloadLength, nullptr, 0);
}

VedraStatus VedraDriver::ReceiveMessage(VedraMessage& message)
{
    message.type = VEDRA_MSG_NONE;
    message.code = 0;
    return Request(VEDRA_IOCTL_RECEIVE_MESSAGE, nullptr, 0, &message, sizeof(message));
}

VedraStatus VedraDriver::ReceiveNotification(VedraMessage& message)
{
    message.type = VEDRA_MSG_NONE;
    message.code = 0;
    return Request(VEDRA_IOCTL_RECEIVE_NOTIFICATION, nullptr, 0, &message, sizeof(message));
}

std::unique_ptr<VedraDevice> VedraDriver::CreateDevice()
{
    return std::unique_ptr<VedraDevice>(new VedraDevice());
}

VedraStatus VedraDriver::GetDeviceList(VedraDeviceList& list)
{
    VedraStatus status = Request(VEDRA_IOCTL_GET_DEVICE_LIST, nullptr, 0, &list, sizeof(list));
    if (list.count > VEDRA_MAX_DEVICES)
        list.count = VEDRA_MAX_DEVICES;
    return status;
}

// Serial numbers are compared within their field: the driver's text need
// not be terminated.
static bool SameUnit(const VedraDeviceEntry& a, const VedraDeviceEntry& b)
{
    return a.model == b.model && a.variant == b.variant &&
           wcsncmp(a.serialNumber, b.serialNumber, VEDRA_SERIAL_NUMBER_CHARS) == 0;
}

VedraStatus VedraDriver::UpdateDevices(bool& changed)
{
    changed = false;
    std::vector<std::unique_ptr<VedraDevice>> previous;
    previous.swap(devices);

    VedraDeviceList list;
    memset(&list, 0, sizeof(list));
    VedraStatus status = GetDeviceList(list);
    if (status == VEDRA_STATUS_SUCCESS) {
        uint32_t count = list.count <= VEDRA_MAX_DEVICES ? list.count : VEDRA_MAX_DEVICES;
        for (uint32_t i = 0; i < count; ++i) {
            const VedraDeviceEntry& unit = list.entries[i];
            auto known = previous.begin();
            while (known != previous.end() && !SameUnit((*known)->entry, unit))
                ++known;
            if (known != previous.end()) {
                (*known)->entry = unit;
                devices.push_back(std::move(*known));
                previous.erase(known);
                continue;
            }
            std::unique_ptr<VedraDevice> device = CreateDevice();
            if (device && device->Attach(driverName, unit) == VEDRA_STATUS_SUCCESS) {
                devices.push_back(std::move(device));
                changed = true;
            }
        }
    }
    if (!previous.empty())
        changed = true;
    previous.clear();
    return status;
}

VedraDevice* VedraDriver::DeviceAt(uint32_t index) const
{
    return index < devices.size() ? devices[index].get() : nullptr;
}

VedraDevice* VedraDriver::FindDevice(const VedraDeviceId& id) const
{
    for (const auto& device : devices) {
        if (device->entry.id.low == id.low && device->entry.id.high == id.high)
            return device.get();
    }
    return nullptr;
}

VedraStatus VedraDriver::GetStreamingStatus(VedraStreamingStatus& status)
{
    return Request(VEDRA_IOCTL_GET_STREAMING_STATUS, nullptr, 0, &status, sizeof(status));
}

VedraStatus VedraDriver::GetSampleRateInfo(VedraSampleRateInfo& info)
{
    VedraStatus status = Request(VEDRA_IOCTL_GET_SAMPLE_RATE_INFO, nullptr, 0, &info, sizeof(info));
    if (info.rateCount > VEDRA_MAX_SAMPLE_RATES)
        info.rateCount = VEDRA_MAX_SAMPLE_RATES;
    return status;
}

VedraStatus VedraDriver::GetBufferSettings(VedraBufferSettings& settings)
{
    return Request(VEDRA_IOCTL_GET_BUFFER_SETTINGS, nullptr, 0, &settings, sizeof(settings));
}

VedraStatus VedraDriver::GetStatusCounters(VedraStatusCounters& counters)
{
    return Request(VEDRA_IOCTL_GET_STATUS_COUNTERS, nullptr, 0, &counters, sizeof(counters));
}

VedraStatus VedraDriver::GetChannelList(uint32_t code, VedraChannelList& list)
{
    VedraStatus status = Request(code, nullptr, 0, &list, sizeof(list));
    if (list.count > VEDRA_MAX_CHANNELS)
        list.count = VEDRA_MAX_CHANNELS;
    return status;
}

VedraStatus VedraDriver::GetAsioInputChannels(VedraChannelList& list)
{
    return GetChannelList(VEDRA_IOCTL_GET_ASIO_INPUT_CHANNELS, list);
}

VedraStatus VedraDriver::GetAsioOutputChannels(VedraChannelList& list)
{
    return GetChannelList(VEDRA_IOCTL_GET_ASIO_OUTPUT_CHANNELS, list);
}

VedraStatus VedraDriver::GetChannelInfo(uint32_t key1, uint32_t key2, VedraChannelInfo& info)
{
    VedraChannelKey key = {key1, key2};
    return Request(VEDRA_IOCTL_GET_CHANNEL_INFO, &key, sizeof(key), &info, sizeof(info));
}

VedraStatus VedraDriver::GetPolicy(uint32_t& policy)
{
    return Request(VEDRA_IOCTL_GET_POLICY, nullptr, 0, &policy, sizeof(policy));
}

VedraStatus VedraDriver::SetSampleRate(uint32_t rate)
{
    return Request(VEDRA_IOCTL_SET_SAMPLE_RATE, &rate, sizeof(rate), nullptr, 0);
}

VedraStatus VedraDriver::AnnounceSampleRate(uint32_t rate)
{
    return Request(VEDRA_IOCTL_ANNOUNCE_SAMPLE_RATE, &rate, sizeof(rate), nullptr, 0);
}

VedraStatus VedraDriver::SetPolicy(uint32_t policy)
{
    return Request(VEDRA_IOCTL_SET_POLICY, &policy, sizeof(policy), nullptr, 0);
}

VedraStatus VedraDriver::SetBufferSettings(const VedraBufferSettings& settings)
{
    return Request(VEDRA_IOCTL_SET_BUFFER_SETTINGS, &settings, VEDRA_BUFFER_SETTINGS_SET_SIZE, nullptr, 0);
}

VedraStatus VedraDriver::SelectStreamingDevice(const VedraStreamingDeviceSelection& selection)
{
    return Request(VEDRA_IOCTL_SELECT_STREAMING_DEVICE, &selection, sizeof(selection), nullptr, 0);
}

VedraStatus VedraDriver::StreamingCommand(uint32_t command, uint32_t argument)
{
    VedraStreamingCommand record = {command, argument};
    return Request(VEDRA_IOCTL_STREAMING_COMMAND, &record, sizeof(record), nullptr, 0);
}
