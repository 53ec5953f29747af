// Driver-wide streaming: the state machine, sample rates, buffer settings,
// policy, streaming selection, counters and the ASIO channel lists.
#include "SimDriver.h"

namespace {

const uint32_t kRates[SIM_RATE_COUNT] = {44100, 48000, 88200, 96000, 176400, 192000, 2822400, 5644800};

// Buffer lengths in samples at 44.1/48 kHz; higher rates scale them so the
// time stays about the same.
const uint32_t kStreamingSamples[6] = {128, 256, 512, 1024, 2048, 4096};
const uint32_t kAsioSamples[4] = {128, 256, 512, 1024};

bool IsSupportedRate(uint32_t rate)
{
    for (uint32_t i = 0; i < SIM_RATE_COUNT; ++i)
        if (kRates[i] == rate)
            return true;
    return false;
}

uint32_t RateFactor(uint32_t rate)
{
    if (rate >= 2822400)
        return rate / 44100; // DSD: 64 or 128
    if (rate >= 176400)
        return 4;
    if (rate >= 88200)
        return 2;
    return 1;
}

bool SettingsMayChange()
{
    return g->state == VEDRA_STATE_DOWN || g->state == VEDRA_STATE_READY;
}

bool StreamingSetOnUsb11()
{
    for (uint32_t i = 0; i < g->unitCount; ++i)
        if (SimIsStreamingUnit(g->units[i]) && (g->units[i]->flags & VSIM_UNIT_USB11))
            return true;
    return false;
}

bool AnyStreamingUnit()
{
    for (uint32_t i = 0; i < g->unitCount; ++i)
        if (SimIsStreamingUnit(g->units[i]))
            return true;
    return false;
}

bool AnyDemand(const VedraSimStreams& s)
{
    return s.demandA != 0 || s.inUseA != 0 || s.inUseB != 0 || s.demandB != 0 || s.demandC != 0;
}

VedraStatus Command(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraStreamingCommand), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto command = SimRead<VedraStreamingCommand>(r.buffer);
    if (command.command < VEDRA_CMD_RECOVER || command.command > VEDRA_CMD_STOP)
        return VEDRA_STATUS_INVALID_COMMAND;
    uint32_t state = g->state;
    if (command.command == VEDRA_CMD_RECOVER) {
        if (state != VEDRA_STATE_ERROR && state != VEDRA_STATE_USB11)
            return VEDRA_STATUS_INVALID_STATE;
        g->state = VEDRA_STATE_DOWN;
        return VEDRA_STATUS_SUCCESS;
    }
    if (state == VEDRA_STATE_ERROR)
        return VEDRA_STATUS_IN_ERROR_STATE;
    if (state == VEDRA_STATE_USB11)
        return VEDRA_STATUS_NOT_IN_HIGH_SPEED_MODE;
    switch (command.command) {
    case VEDRA_CMD_BRING_UP:
        if (state != VEDRA_STATE_DOWN)
            return VEDRA_STATUS_INVALID_STATE;
        if (command.argument > 1)
            return VEDRA_STATUS_INVALID_PARAMETER;
        if (!AnyStreamingUnit())
            return VEDRA_STATUS_NO_STREAMING_DEVICE;
        if (StreamingSetOnUsb11()) {
            g->state = VEDRA_STATE_USB11;
            return VEDRA_STATUS_NOT_IN_HIGH_SPEED_MODE;
        }
        g->state = VEDRA_STATE_READY;
        return VEDRA_STATUS_SUCCESS;
    case VEDRA_CMD_TAKE_DOWN:
        if (state != VEDRA_STATE_READY)
            return VEDRA_STATUS_INVALID_STATE;
        if (command.argument > 1)
            return VEDRA_STATUS_INVALID_PARAMETER;
        g->state = VEDRA_STATE_DOWN;
        return VEDRA_STATUS_SUCCESS;
    case VEDRA_CMD_PREPARE:
        if (state != VEDRA_STATE_READY)
            return VEDRA_STATUS_INVALID_STATE;
        g->state = VEDRA_STATE_PREPARED;
        return VEDRA_STATUS_SUCCESS;
    case VEDRA_CMD_RUN:
        if (state != VEDRA_STATE_PREPARED)
            return VEDRA_STATUS_INVALID_STATE;
        g->state = VEDRA_STATE_RUNNING;
        return VEDRA_STATUS_SUCCESS;
    case VEDRA_CMD_STOP:
        if (state != VEDRA_STATE_PREPARED && state != VEDRA_STATE_RUNNING)
            return VEDRA_STATUS_INVALID_STATE;
        g->state = VEDRA_STATE_READY;
        return VEDRA_STATUS_SUCCESS;
    default:
        return VEDRA_STATUS_INVALID_COMMAND;
    }
}

VedraStatus GetStatus(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, 0, sizeof(VedraStreamingStatus));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    return SimAnswer(r, SimCurrentStreamingStatus());
}

VedraStatus GetRates(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, 0, sizeof(VedraSampleRateInfo));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    VedraSampleRateInfo info = {};
    info.sampleRate = g->sampleRate;
    info.rateCount = (g->malformed & VSIM_MALFORMED_RATE_COUNT) ? 50 : SIM_RATE_COUNT;
    // A malformed answer (count 50) fills the record's spare slots as well.
    for (uint32_t i = SIM_RATE_COUNT; i < VEDRA_MAX_SAMPLE_RATES; ++i)
        info.rates[i] = (g->malformed & VSIM_MALFORMED_RATE_COUNT) ? 32000 + i : 0;
    for (uint32_t i = 0; i < SIM_RATE_COUNT; ++i)
        info.rates[i] = kRates[i];
    return SimAnswer(r, info);
}

VedraStatus GetBuffers(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, 0, sizeof(VedraBufferSettings));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    VedraBufferSettings b = {};
    b.streamingBufferSize = g->streamingBufferSize;
    b.asioBufferSize = g->asioBufferSize;
    b.reserved = g->bufferReserved;
    uint32_t factor = RateFactor(g->sampleRate);
    uint32_t streamingSamples = kStreamingSamples[g->streamingBufferSize] * factor;
    b.asioBufferSamples = kAsioSamples[g->asioBufferSize] * factor;
    b.streamingBufferTime = (uint32_t)((uint64_t)streamingSamples * 1000000u / g->sampleRate);
    b.asioBufferTime = (uint32_t)((uint64_t)b.asioBufferSamples * 1000000u / g->sampleRate);
    return SimAnswer(r, b);
}

VedraStatus SetRate(SimRequest& r, bool announce)
{
    VedraStatus status = SimCheckSizes(r, sizeof(uint32_t), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    uint32_t rate = SimRead<uint32_t>(r.buffer);
    if (!IsSupportedRate(rate))
        return VEDRA_STATUS_INVALID_SAMPLE_RATE;
    if (announce) {
        g->announcedRate = rate;
        return VEDRA_STATUS_SUCCESS;
    }
    if (!SettingsMayChange())
        return VEDRA_STATUS_NOT_ALLOWED;
    if (g->sampleRate != rate) {
        g->sampleRate = rate;
        SimNotifyClients(VEDRA_NTF_SETTINGS_CHANGED, nullptr, 0);
    }
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus SetBuffers(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, VEDRA_BUFFER_SETTINGS_SET_SIZE, 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    uint32_t streaming = SimRead<uint32_t>(r.buffer);
    uint32_t asio = SimRead<uint32_t>(r.buffer + 4);
    uint32_t reserved = SimRead<uint32_t>(r.buffer + 8);
    if (streaming > 5 || asio > 3)
        return VEDRA_STATUS_INVALID_BUFFER_SIZE;
    if (!SettingsMayChange())
        return VEDRA_STATUS_NOT_ALLOWED;
    bool changed = streaming != g->streamingBufferSize || asio != g->asioBufferSize;
    g->streamingBufferSize = streaming;
    g->asioBufferSize = asio;
    g->bufferReserved = reserved;
    if (changed)
        SimNotifyClients(VEDRA_NTF_SETTINGS_CHANGED, nullptr, 0);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Policy(SimRequest& r, bool set)
{
    VedraStatus status = set ? SimCheckSizes(r, 4, 0) : SimCheckSizes(r, 0, 4);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    if (set) {
        g->policy = SimRead<uint32_t>(r.buffer);
        return VEDRA_STATUS_SUCCESS;
    }
    memcpy(r.buffer, &g->policy, 4);
    r.bytesReturned = 4;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Select(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraStreamingDeviceSelection), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto selection = SimRead<VedraStreamingDeviceSelection>(r.buffer);
    if (selection.allDevices > 1)
        return VEDRA_STATUS_INVALID_PARAMETER;
    bool named = selection.id.low != 0 || selection.id.high != 0;
    if (named && SimFindUnit(selection.id) == nullptr)
        return VEDRA_STATUS_NO_DEVICE;
    if (!SettingsMayChange() && g->state != VEDRA_STATE_USB11)
        return VEDRA_STATUS_NOT_ALLOWED;
    g->selectionMode = selection.allDevices;
    if (named)
        g->selected = selection.id;
    SimStreamingUnitsChanged();
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Counters(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, 0, sizeof(VedraStatusCounters));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    return SimAnswer(r, g->counters);
}

void ChannelName(wchar_t* name, uint32_t direction, uint32_t index)
{
    static const wchar_t analogIn[] = L"Analog In ";
    static const wchar_t analogOut[] = L"Analog Out ";
    static const wchar_t spdifIn[] = L"SPDIF In ";
    static const wchar_t spdifOut[] = L"SPDIF Out ";
    memset(name, 0, VEDRA_CHANNEL_NAME_CHARS * sizeof(wchar_t));
    if (index < 16) {
        SimCopyText(name, VEDRA_CHANNEL_NAME_CHARS, direction == 0 ? analogIn : analogOut);
        uint32_t at = 0;
        while (name[at] != 0)
            ++at;
        SimAppendNumber(name, VEDRA_CHANNEL_NAME_CHARS, at, index + 1);
    } else {
        SimCopyText(name, VEDRA_CHANNEL_NAME_CHARS, direction == 0 ? spdifIn : spdifOut);
        uint32_t at = 0;
        while (name[at] != 0)
            ++at;
        name[at] = index == 16 ? L'L' : L'R';
    }
    if (g->malformed & VSIM_MALFORMED_TEXT)
        for (uint32_t c = 0; c < VEDRA_CHANNEL_NAME_CHARS; ++c)
            if (name[c] == 0)
                name[c] = L'.';
}

VedraStatus Channels(SimRequest& r, uint32_t direction)
{
    VedraStatus status = SimCheckSizes(r, 0, sizeof(VedraChannelList));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto* list = reinterpret_cast<VedraChannelList*>(r.buffer);
    memset(list, 0, sizeof(VedraChannelList));
    uint32_t n = 0;
    for (uint32_t u = 0; u < g->unitCount; ++u) {
        if (!SimIsStreamingUnit(g->units[u]))
            continue;
        for (uint32_t c = 0; c < SIM_UNIT_CHANNELS && n < VEDRA_MAX_CHANNELS; ++c) {
            list->keys[n].key1 = g->units[u]->id.low;
            list->keys[n].key2 = (direction << 16) | c;
            ++n;
        }
    }
    list->count = (g->malformed & VSIM_MALFORMED_CHANNEL_COUNT) ? 500 : n;
    r.bytesReturned = sizeof(VedraChannelList);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Channel(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraChannelKey), sizeof(VedraChannelInfo));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto key = SimRead<VedraChannelKey>(r.buffer);
    uint32_t direction = key.key2 >> 16;
    uint32_t index = key.key2 & 0xFFFFu;
    SimUnit* unit = nullptr;
    for (uint32_t u = 0; u < g->unitCount; ++u)
        if (g->units[u]->id.low == key.key1)
            unit = g->units[u];
    if (unit == nullptr || direction > 1 || index >= SIM_UNIT_CHANNELS)
        return VEDRA_STATUS_OBJECT_NOT_FOUND;
    VedraChannelInfo info = {};
    info.key = key;
    info.deviceId = unit->id;
    ChannelName(info.channelName, direction, index);
    return SimAnswer(r, info);
}

VedraStatus Handshake(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, 0, sizeof(VedraInterfaceVersion));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    VedraInterfaceVersion v = {};
    v.interfaceMajor = (g->malformed & VSIM_MALFORMED_INTERFACE) ? 3 : VEDRA_INTERFACE_MAJOR;
    v.interfaceMinor = VSIM_INTERFACE_MINOR;
    v.driverMajor = VSIM_DRIVER_MAJOR;
    v.driverMinor = VSIM_DRIVER_MINOR;
    v.driverBuild = VSIM_DRIVER_BUILD;
    v.flags = VEDRA_VERSION_FLAG_DEBUG; // the simulation calls itself a debug build
    return SimAnswer(r, v);
}

} // namespace

VedraStreamingStatus SimCurrentStreamingStatus()
{
    VedraStreamingStatus s = {};
    s.state = g->state;
    s.selectionMode = g->selectionMode;
    s.sampleRate = g->sampleRate;
    s.demandA = g->streams.demandA;
    s.inUseA = g->streams.inUseA;
    s.inUseB = g->streams.inUseB;
    s.demandB = g->streams.demandB;
    s.demandC = g->streams.demandC;
    return s;
}

void SimResetStreaming()
{
    g->state = VEDRA_STATE_DOWN;
    g->selectionMode = 0;
    g->selected.low = g->selected.high = 0;
    g->sampleRate = 48000;
    g->announcedRate = 0;
    memset(&g->streams, 0, sizeof(g->streams));
    g->streamingBufferSize = 2;
    g->asioBufferSize = 1;
    g->bufferReserved = 0;
    g->policy = 0;
    memset(&g->counters, 0, sizeof(g->counters));
}

bool SimIsStreamingUnit(const SimUnit* unit)
{
    if (g->selectionMode == 1)
        return true;
    return SimIdEqual(unit->id, g->selected);
}

// After units came, went or the selection changed: keep a valid selection
// (the first unit when the selected one is gone) and the state in step.
void SimStreamingUnitsChanged()
{
    if (SimFindUnit(g->selected) == nullptr) {
        if (g->unitCount > 0)
            g->selected = g->units[0]->id;
        else
            g->selected.low = g->selected.high = 0;
    }
    bool usb11 = StreamingSetOnUsb11();
    if (g->unitCount == 0 && g->state != VEDRA_STATE_ERROR)
        g->state = VEDRA_STATE_DOWN;
    if (usb11 && (g->state == VEDRA_STATE_DOWN || g->state == VEDRA_STATE_READY))
        g->state = VEDRA_STATE_USB11;
    else if (!usb11 && g->state == VEDRA_STATE_USB11)
        g->state = VEDRA_STATE_DOWN;
}

void SimSetStreams(const VedraSimStreams& streams)
{
    bool before = AnyDemand(g->streams);
    g->streams = streams;
    bool after = AnyDemand(g->streams);
    if (!before && after)
        SimNotifyServer(VEDRA_NTF_STREAMING_DEMAND, nullptr, 0);
    else if (before && !after)
        SimNotifyServer(VEDRA_NTF_STREAMING_DEMAND_ENDED, nullptr, 0);
}

VedraStatus SimStreamingRequest(SimRequest& r)
{
    switch (r.function) {
    case VEDRA_FN_GET_INTERFACE_VERSION:
        return Handshake(r);
    case VEDRA_FN_GET_ASIO_INPUT_CHANNELS:
        return Channels(r, 0);
    case VEDRA_FN_GET_ASIO_OUTPUT_CHANNELS:
        return Channels(r, 1);
    case VEDRA_FN_GET_CHANNEL_INFO:
        return Channel(r);
    case VEDRA_FN_GET_SAMPLE_RATE_INFO:
        return GetRates(r);
    case VEDRA_FN_GET_BUFFER_SETTINGS:
        return GetBuffers(r);
    case VEDRA_FN_GET_STREAMING_STATUS:
        return GetStatus(r);
    case VEDRA_FN_GET_STATUS_COUNTERS:
        return Counters(r);
    case VEDRA_FN_STREAMING_COMMAND:
        return Command(r);
    case VEDRA_FN_SET_SAMPLE_RATE:
        return SetRate(r, false);
    case VEDRA_FN_ANNOUNCE_SAMPLE_RATE:
        return SetRate(r, true);
    case VEDRA_FN_SET_BUFFER_SETTINGS:
        return SetBuffers(r);
    case VEDRA_FN_SET_POLICY:
        return Policy(r, true);
    case VEDRA_FN_GET_POLICY:
        return Policy(r, false);
    case VEDRA_FN_SELECT_STREAMING_DEVICE:
        return Select(r);
    default:
        return VEDRA_STATUS_INVALID_IOCTL;
    }
}
