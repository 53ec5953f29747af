#include "VedraServer.h"

#include <string.h>

namespace {

// {3B7C5A10-64E2-4F0D-9C1A-52D8E6F40A73}
const GUID kInterfaceGuid = {0x3B7C5A10, 0x64E2, 0x4F0D, {0x9C, 0x1A, 0x52, 0xD8, 0xE6, 0xF4, 0x0A, 0x73}};

bool InStateRange(uint32_t state)
{
    return state >= VEDRA_STATE_DOWN && state <= VEDRA_STATE_USB11;
}

} // namespace

VedraServer::VedraServer() = default;

VedraServer::~VedraServer() = default;

const wchar_t* VedraServer::ServiceName() const
{
    return L"tarvinesvc";
}

const wchar_t* VedraServer::DisplayName() const
{
    return L"Tarvine control";
}

const wchar_t* VedraServer::Description() const
{
    return L"Tarvine control service";
}

void VedraServer::InterfaceGuid(GUID& guid) const
{
    guid = kInterfaceGuid;
}

const wchar_t* VedraServer::InterfaceGuidString() const
{
    return VEDRA_INTERFACE_GUID_STRING;
}

const wchar_t* VedraServer::RegistryPath() const
{
    return L"Software\\QUENDAL\\tarvine";
}

std::unique_ptr<VedraDevice> VedraServer::CreateDevice()
{
    return std::unique_ptr<VedraDevice>(new VedraDeviceCtrl());
}

VedraDeviceCtrl* VedraServer::DeviceCtrlAt(uint32_t index) const
{
    return dynamic_cast<VedraDeviceCtrl*>(DeviceAt(index));
}

VedraDeviceCtrl* VedraServer::FindDeviceCtrl(const VedraDeviceId& id) const
{
    return dynamic_cast<VedraDeviceCtrl*>(FindDevice(id));
}

VedraStatus VedraServer::ConnectServer(const wchar_t* name)
{
    return Connect(name, VEDRA_ROLE_SERVER);
}

void VedraServer::Run(HANDLE stopEvent, HANDLE deviceArrivalEvent)
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    const wchar_t* name = InterfaceGuidString();
    bool changed = false;
    if (IsOpen()) {
        UpdateDevices(changed);
        OnDevicesChanged();
    } else {
        VedraStatus status = ConnectServer(name);
        if (status == VEDRA_STATUS_SUCCESS) {
            UpdateDevices(changed);
            OnDevicesChanged();
        } else if (status == VEDRA_STATUS_ALREADY_DONE) {
            return;
        }
    }

    for (;;) {
        HANDLE handles[4] = {stopEvent, deviceArrivalEvent, nullptr, nullptr};
        DWORD count = 2;
        if (IsOpen()) {
            handles[2] = messageEvent.Get();
            handles[3] = notificationEvent.Get();
            count = 4;
        }
        DWORD waited = WaitForMultipleObjectsEx(count, handles, FALSE, INFINITE, TRUE);
        bool leave = false;
        switch (waited) {
        case WAIT_OBJECT_0:
            leave = true;
            break;
        case WAIT_OBJECT_0 + 1:
            if (!IsOpen())
                ConnectServer(name);
            if (IsOpen()) {
                UpdateDevices(changed);
                if (changed)
                    OnDevicesChanged();
            }
            break;
        case WAIT_OBJECT_0 + 2:
            if (IsOpen())
                ProcessRequests();
            break;
        case WAIT_OBJECT_0 + 3:
            if (IsOpen())
                ProcessNotifications();
            break;
        case WAIT_IO_COMPLETION:
            break;
        case WAIT_FAILED:
            // Read and dropped: a handle that went bad is not this loop's to mend.
            GetLastError();
            break;
        default:
            leave = true;
            break;
        }
        if (detachPending) {
            detachPending = false;
            Detach();
        }
        if (leave)
            return;
    }
}

void VedraServer::ProcessRequests()
{
    VedraMessage message;
    Init(message, VEDRA_MSG_NONE, 0);
    VedraMessage reply;
    while (ReceiveMessage(message) == VEDRA_STATUS_SUCCESS) {
        if (message.type != VEDRA_MSG_REQUEST)
            continue;
        Init(reply, VEDRA_MSG_NONE, 0);
        InitReply(reply, message, VEDRA_STATUS_INVALID_COMMAND);
        VedraStatus status = DispatchRequest(message, reply);
        if (status == VEDRA_STATUS_PENDING)
            continue;
        reply.status = status;
        SendMessage(reply);
    }
}

VedraStatus VedraServer::DispatchRequest(const VedraMessage& request, VedraMessage& reply)
{
    VedraStatus status;
    switch (request.code) {
    case VEDRA_REQ_SET_SAMPLE_RATE: {
        uint32_t rate = 0;
        status = ReadPayloadExact(request, &rate, sizeof(rate));
        return status != VEDRA_STATUS_SUCCESS ? status : OnSetSampleRate(rate);
    }
    case VEDRA_REQ_SET_BUFFER_SETTINGS: {
        VedraBufferSettings settings = {};
        status = ReadPayloadExact(request, &settings, VEDRA_BUFFER_SETTINGS_SET_SIZE);
        return status != VEDRA_STATUS_SUCCESS ? status : OnSetBufferSettings(settings);
    }
    case VEDRA_REQ_SELECT_STREAMING_DEVICE: {
        VedraStreamingDeviceSelection selection = {};
        status = ReadPayloadExact(request, &selection, sizeof(selection));
        return status != VEDRA_STATUS_SUCCESS ? status : OnSelectStreamingDevice(selection);
    }
    case VEDRA_REQ_1004: {
        uint8_t value = 0;
        status = ReadPayloadExact(request, &value, sizeof(value));
        return status != VEDRA_STATUS_SUCCESS ? status : OnRequest1004(value);
    }
    case VEDRA_REQ_SET_POLICY: {
        uint32_t policy = 0;
        status = ReadPayloadExact(request, &policy, sizeof(policy));
        return status != VEDRA_STATUS_SUCCESS ? status : OnSetPolicy(policy);
    }
    default:
        return OnRequest(request, reply);
    }
}

VedraStatus VedraServer::OnRequest(const VedraMessage&, VedraMessage&)
{
    return VEDRA_STATUS_INVALID_COMMAND;
}

VedraStatus VedraServer::OnSetSampleRate(uint32_t rate)
{
    VedraStreamingStatus status = {};
    VedraStatus result = GetStreamingStatus(status);
    if (result != VEDRA_STATUS_SUCCESS)
        return result;
    if (rate == status.sampleRate)
        return VEDRA_STATUS_SUCCESS;
    if (status.inUseA > 0 || status.inUseB > 0)
        return VEDRA_STATUS_SOUND_DEVICE_IN_USE;
    AnnounceSampleRate(rate);
    result = StopStreaming(1);
    if (result != VEDRA_STATUS_SUCCESS) {
        PostNotification(VEDRA_NTF_SERVER_SETTINGS_CHANGED);
        return result;
    }
    result = SetSampleRate(rate);
    VedraStatus started = StartStreaming(1);
    if (result == VEDRA_STATUS_SUCCESS)
        result = started;
    PostNotification(VEDRA_NTF_SERVER_SETTINGS_CHANGED);
    PostNotification(VEDRA_NTF_SERVER_SAMPLE_RATE_CHANGED);
    return result;
}

// The common walk of the buffer-size and streaming-device changes.
VedraStatus VedraServer::ChangeSetting(const std::function<VedraStatus()>& change)
{
    VedraStreamingStatus status = {};
    VedraStatus result = GetStreamingStatus(status);
    if (result != VEDRA_STATUS_SUCCESS)
        return result;
    if (status.inUseA > 0 || status.inUseB > 0)
        return VEDRA_STATUS_SOUND_DEVICE_IN_USE;
    result = StopStreaming(0);
    if (result != VEDRA_STATUS_SUCCESS) {
        PostNotification(VEDRA_NTF_SERVER_SETTINGS_CHANGED);
        return result;
    }
    result = change();
    VedraStatus started = StartStreaming(0);
    if (result == VEDRA_STATUS_SUCCESS)
        result = started;
    PostNotification(VEDRA_NTF_SERVER_SETTINGS_CHANGED);
    return result;
}

VedraStatus VedraServer::OnSetBufferSettings(const VedraBufferSettings& settings)
{
    return ChangeSetting([&] { return SetBufferSettings(settings); });
}

VedraStatus VedraServer::OnSelectStreamingDevice(const VedraStreamingDeviceSelection& selection)
{
    return ChangeSetting([&] { return SelectStreamingDevice(selection); });
}

VedraStatus VedraServer::OnSetPolicy(uint32_t policy)
{
    uint32_t current = 0;
    VedraStatus result = GetPolicy(current);
    if (result != VEDRA_STATUS_SUCCESS)
        return result;
    if (current == policy)
        return VEDRA_STATUS_SUCCESS;
    VedraStreamingStatus status = {};
    result = GetStreamingStatus(status);
    if (result != VEDRA_STATUS_SUCCESS)
        return result;
    if (status.inUseA > 0)
        return VEDRA_STATUS_SOUND_DEVICE_IN_USE;
    result = StopStreaming(1);
    if (result != VEDRA_STATUS_SUCCESS)
        return result;
    SetPolicy(policy);
    StartStreaming(1);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus VedraServer::OnRequest1004(uint8_t value)
{
    for (uint32_t i = 0; i < DeviceCount(); ++i) {
        VedraDeviceCtrl* device = DeviceCtrlAt(i);
        if (device == nullptr)
            continue;
        VedraStatus status = device->OnRequest1004(value);
        if (status != VEDRA_STATUS_SUCCESS)
            return status;
    }
    return VEDRA_STATUS_SUCCESS;
}

void VedraServer::ProcessNotifications()
{
    VedraMessage message;
    Init(message, VEDRA_MSG_NONE, 0);
    while (ReceiveNotification(message) == VEDRA_STATUS_SUCCESS) {
        if (message.type == VEDRA_MSG_NOTIFICATION)
            DispatchNotification(message);
    }
}

void VedraServer::DispatchNotification(const VedraMessage& message)
{
    switch (message.code) {
    case VEDRA_NTF_STREAMING_DEMAND:
        OnNotification3003();
        break;
    case VEDRA_NTF_STREAMING_DEMAND_ENDED:
        OnNotification3004();
        break;
    case VEDRA_NTF_DEVICE_LIST_CHANGED:
        OnNotification3005();
        break;
    case VEDRA_NTF_3006:
        OnNotification3006();
        break;
    case VEDRA_NTF_CLIENT_REGISTERED:
        OnNotification3020();
        break;
    case VEDRA_NTF_3015:
    case VEDRA_NTF_3016: {
        uint32_t words[2] = {};
        if (ReadPayloadExact(message, words, sizeof(words)) != VEDRA_STATUS_SUCCESS)
            break;
        if (message.code == VEDRA_NTF_3015)
            OnNotification3015(words[0], words[1]);
        else
            OnNotification3016(words[0], words[1]);
        break;
    }
    case VEDRA_NTF_3021:
        break;
    case VEDRA_NTF_MIXER_GAINS_CHANGED: {
        VedraDeviceId id = {};
        if (ReadPayloadExact(message, &id, sizeof(id)) == VEDRA_STATUS_SUCCESS)
            OnNotification3051(id);
        break;
    }
    case VEDRA_NTF_ENDPOINT_CHANGED: {
        VedraEndpointChange change = {};
        if (ReadPayloadExact(message, &change, sizeof(change)) == VEDRA_STATUS_SUCCESS)
            OnNotification3060(change);
        break;
    }
    default:
        OnNotification(message);
        break;
    }
}

void VedraServer::OnNotification(const VedraMessage&) {}

void VedraServer::OnNotification3003()
{
    StartStreaming(0);
}

void VedraServer::OnNotification3004()
{
    StopStreamingIfIdle();
}

void VedraServer::OnNotification3006()
{
    StartStreaming(0);
}

void VedraServer::OnNotification3005()
{
    bool changed = false;
    UpdateDevices(changed);
    OnDevicesChanged();
}

void VedraServer::OnNotification3015(uint32_t, uint32_t)
{
    StartStreaming(0);
}

void VedraServer::OnNotification3016(uint32_t, uint32_t)
{
    StopStreamingIfIdle();
}

void VedraServer::OnNotification3020()
{
    PostNotification(VEDRA_NTF_DEVICE_LIST);
}

void VedraServer::OnNotification3051(const VedraDeviceId& id)
{
    VedraDeviceCtrl* device = FindDeviceCtrl(id);
    if (device != nullptr)
        device->OnMixerChanged();
}

void VedraServer::OnNotification3060(const VedraEndpointChange& change)
{
    VedraDeviceCtrl* device = FindDeviceCtrl(change.id);
    if (device == nullptr)
        return;
    if (change.kind == 1)
        device->OnEndpointChangedKind1(change.value);
    else if (change.kind == 2)
        device->OnEndpointChangedKind2(change.value);
}

void VedraServer::OnDevicesChanged()
{
    // A unit that comes back within the wake-up that lost the last one
    // (unplug and plug drained together) cancels the detach: detaching then
    // would leave the unit unserved until some later device arrival.
    detachPending = devices.empty();
    if (!detachPending)
        StartStreaming(0);
    PostNotification(VEDRA_NTF_SERVER_SETTINGS_CHANGED);
    PostNotification(VEDRA_NTF_DEVICE_LIST);
}

void VedraServer::PostNotification(uint32_t code)
{
    VedraMessage message;
    Init(message, VEDRA_MSG_NOTIFICATION, code);
    SendMessage(message);
}

bool VedraServer::IsStreamingNeeded(const VedraStreamingStatus& status)
{
    return status.demandA > 0 || status.inUseA > 0 || status.demandC != 0 || status.demandB > 0;
}

VedraStatus VedraServer::OnStateChanging(uint32_t fromState, uint32_t toState, uint32_t sampleRate)
{
    for (uint32_t i = 0; i < DeviceCount(); ++i) {
        VedraDeviceCtrl* device = DeviceCtrlAt(i);
        if (device == nullptr)
            continue;
        VedraStatus status = device->OnStateChanging(fromState, toState, sampleRate);
        if (status != VEDRA_STATUS_SUCCESS)
            return status;
    }
    return VEDRA_STATUS_SUCCESS;
}

void VedraServer::OnStateChanged(uint32_t fromState, uint32_t toState, uint32_t sampleRate)
{
    for (uint32_t i = 0; i < DeviceCount(); ++i) {
        VedraDeviceCtrl* device = DeviceCtrlAt(i);
        if (device != nullptr)
            device->OnStateChanged(fromState, toState, sampleRate);
    }
}

void VedraServer::OnStateChangeFailed(uint32_t fromState, uint32_t toState, VedraStatus status)
{
    for (uint32_t i = 0; i < DeviceCount(); ++i) {
        VedraDeviceCtrl* device = DeviceCtrlAt(i);
        if (device != nullptr)
            device->OnStateChangeFailed(fromState, toState, status);
    }
}

VedraStatus VedraServer::PrepareStart()
{
    for (uint32_t i = 0; i < DeviceCount(); ++i) {
        VedraDeviceCtrl* device = DeviceCtrlAt(i);
        if (device == nullptr)
            continue;
        VedraStatus status = device->PrepareStart();
        if (status != VEDRA_STATUS_SUCCESS)
            return status;
    }
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus VedraServer::StartStreaming(uint32_t reconfigure)
{
    VedraStatus result = PrepareStart();
    if (result != VEDRA_STATUS_SUCCESS)
        return result;
    for (;;) {
        VedraStreamingStatus status = {};
        result = GetStreamingStatus(status);
        if (result != VEDRA_STATUS_SUCCESS)
            return result;
        if (!InStateRange(status.state))
            return VEDRA_STATUS_INVALID_STATE;
        const uint32_t rate = status.sampleRate;
        switch (status.state) {
        case VEDRA_STATE_DOWN:
            result = OnStateChanging(VEDRA_STATE_DOWN, VEDRA_STATE_READY, rate);
            if (result != VEDRA_STATUS_SUCCESS)
                return result;
            result = StreamingCommand(VEDRA_CMD_BRING_UP, reconfigure);
            if (result != VEDRA_STATUS_SUCCESS)
                return result;
            OnStateChanged(VEDRA_STATE_DOWN, VEDRA_STATE_READY, rate);
            break;
        case VEDRA_STATE_READY:
            if (!IsStreamingNeeded(status))
                return VEDRA_STATUS_SUCCESS;
            result = OnStateChanging(VEDRA_STATE_READY, VEDRA_STATE_PREPARED, rate);
            if (result != VEDRA_STATUS_SUCCESS)
                return result;
            result = StreamingCommand(VEDRA_CMD_PREPARE, 0);
            if (result != VEDRA_STATUS_SUCCESS) {
                OnStateChangeFailed(VEDRA_STATE_READY, VEDRA_STATE_PREPARED, result);
                return result;
            }
            OnStateChanged(VEDRA_STATE_READY, VEDRA_STATE_PREPARED, rate);
            break;
        case VEDRA_STATE_PREPARED:
            result = OnStateChanging(VEDRA_STATE_PREPARED, VEDRA_STATE_RUNNING, rate);
            if (result != VEDRA_STATUS_SUCCESS)
                return result;
            result = StreamingCommand(VEDRA_CMD_RUN, 0);
            if (result != VEDRA_STATUS_SUCCESS) {
                OnStateChangeFailed(VEDRA_STATE_PREPARED, VEDRA_STATE_RUNNING, result);
                return result;
            }
            OnStateChanged(VEDRA_STATE_PREPARED, VEDRA_STATE_RUNNING, rate);
            break;
        case VEDRA_STATE_RUNNING:
            return VEDRA_STATUS_SUCCESS;
        default: // 5 and 6
            result = StreamingCommand(VEDRA_CMD_RECOVER, 0);
            if (result != VEDRA_STATUS_SUCCESS)
                return result;
            break;
        }
    }
}

VedraStatus VedraServer::StopRunning(const VedraStreamingStatus& status)
{
    OnStateChanging(status.state, VEDRA_STATE_READY, status.sampleRate);
    VedraStatus result = StreamingCommand(VEDRA_CMD_STOP, 0);
    if (result != VEDRA_STATUS_SUCCESS) {
        OnStateChangeFailed(status.state, VEDRA_STATE_READY, result);
        return result;
    }
    OnStateChanged(status.state, VEDRA_STATE_READY, status.sampleRate);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus VedraServer::StopStreaming(uint32_t reconfigure)
{
    for (;;) {
        VedraStreamingStatus status = {};
        VedraStatus result = GetStreamingStatus(status);
        if (result != VEDRA_STATUS_SUCCESS)
            return result;
        if (!InStateRange(status.state))
            return VEDRA_STATUS_INVALID_STATE;
        switch (status.state) {
        case VEDRA_STATE_DOWN:
            return VEDRA_STATUS_SUCCESS;
        case VEDRA_STATE_READY:
            OnStateChanging(VEDRA_STATE_READY, VEDRA_STATE_DOWN, status.sampleRate);
            result = StreamingCommand(VEDRA_CMD_TAKE_DOWN, reconfigure);
            if (result != VEDRA_STATUS_SUCCESS)
                return result;
            OnStateChanged(VEDRA_STATE_READY, VEDRA_STATE_DOWN, status.sampleRate);
            break;
        case VEDRA_STATE_PREPARED:
        case VEDRA_STATE_RUNNING:
            result = StopRunning(status);
            if (result != VEDRA_STATUS_SUCCESS)
                return result;
            break;
        default: // 5 and 6
            result = StreamingCommand(VEDRA_CMD_RECOVER, 0);
            if (result != VEDRA_STATUS_SUCCESS)
                return result;
            break;
        }
    }
}

VedraStatus VedraServer::StopStreamingIfIdle()
{
    VedraStreamingStatus status = {};
    VedraStatus result = GetStreamingStatus(status);
    if (result != VEDRA_STATUS_SUCCESS)
        return result;
    if ((status.state == VEDRA_STATE_PREPARED || status.state == VEDRA_STATE_RUNNING) && !IsStreamingNeeded(status))
        return StopRunning(status);
    return VEDRA_STATUS_SUCCESS;
}
