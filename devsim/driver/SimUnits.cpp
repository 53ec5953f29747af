// Simulated units: scenarios, plugging, the device list and binding, and the
// per-unit requests (SPDIF, bypass, endpoint volumes, controls, channel
// layout and configuration records, mixer and effect).
#include "SimDriver.h"

namespace {

const wchar_t kUnitName[] = L"Tarvine";

bool ValidArray(uint32_t inLength, uint32_t outLength, uint32_t recordSize, uint32_t maxRecords, VedraStatus& status)
{
    if (inLength == 0 || inLength % recordSize != 0 || inLength / recordSize > maxRecords) {
        status = VEDRA_STATUS_INVALID_INBUFFER_SIZE;
        return false;
    }
    if (outLength != inLength) {
        status = VEDRA_STATUS_INVALID_OUTBUFFER_SIZE;
        return false;
    }
    return true;
}

MixerPin Pin(uint8_t kind, uint8_t channel)
{
    MixerPin pin = {};
    pin.kind = kind;
    pin.channel = channel;
    return pin;
}

// Pin i of a group, in the order the unit lists them: the first pins are
// what the hardware has; a larger topology appends further channels.
MixerPin DestinationPin(uint32_t i)
{
    if (i < 16)
        return Pin(MIXER_PIN_ANALOG, (uint8_t)i);
    if (i < 18)
        return Pin(MIXER_PIN_SPDIF, (uint8_t)(i - 16));
    if (i < 22)
        return Pin(MIXER_PIN_VIRTUAL_INPUT, (uint8_t)(i - 18));
    return Pin(MIXER_PIN_ANALOG, (uint8_t)(i - 6));
}

MixerPin SourcePin(uint32_t group, uint32_t i)
{
    uint8_t main = group == MIXER_GROUP_INPUT_SOURCES ? MIXER_PIN_ANALOG : MIXER_PIN_PLAYBACK;
    uint8_t spdif = group == MIXER_GROUP_INPUT_SOURCES ? MIXER_PIN_SPDIF : MIXER_PIN_SPDIF_PLAYBACK;
    if (i < 16)
        return Pin(main, (uint8_t)i);
    if (i < 18)
        return Pin(spdif, (uint8_t)(i - 16));
    return Pin(main, (uint8_t)(i - 2));
}

bool SamePin(MixerPin a, MixerPin b)
{
    return a.kind == b.kind && a.channel == b.channel;
}

int FindDestination(const SimUnit* unit, MixerPin pin)
{
    for (uint32_t i = 0; i < unit->destinationCount; ++i)
        if (SamePin(unit->destinations[i], pin))
            return (int)i;
    return -1;
}

int FindSource(const SimUnit* unit, MixerPin pin)
{
    uint32_t count = unit->inputSourceCount + unit->playbackSourceCount;
    for (uint32_t i = 0; i < count; ++i)
        if (SamePin(unit->sources[i], pin))
            return (int)i;
    return -1;
}

void MakeSerial(wchar_t* serial)
{
    static const wchar_t prefix[] = L"TV";
    SimCopyText(serial, VEDRA_SERIAL_NUMBER_CHARS, prefix);
    SimAppendNumber(serial, VEDRA_SERIAL_NUMBER_CHARS, 2, 100000 + ++g->serialNumber);
}

void InitUnit(SimUnit* unit, const VedraSimUnitSpec& unitSpec)
{
    memset(unit, 0, sizeof(SimUnit));
    unit->id.low = ++g->plugNumber;
    unit->id.high = VSIM_ID_HIGH;
    unit->model = unitSpec.model != 0 ? unitSpec.model : VSIM_DEFAULT_MODEL;
    unit->variant = unitSpec.variant;
    unit->flags = unitSpec.flags;
    if (unitSpec.serialNumber[0] != 0)
        SimCopyText(unit->serialNumber, VEDRA_SERIAL_NUMBER_CHARS, unitSpec.serialNumber);
    else
        MakeSerial(unit->serialNumber);
    unit->spdif.lockState = 1; // no signal
    for (uint32_t i = 0; i < SIM_ENDPOINTS; ++i) {
        unit->endpoints[i].kind = VEDRA_ENDPOINT_KIND_OUTPUT;
        unit->endpoints[i].index = i;
    }
    SimDefaultTopology(unit, 22, 18, 18);
    if (unitSpec.flags & VSIM_UNIT_EFFECT) {
        unit->effect.channelCount = VSIM_EFFECT_CHANNELS;
        unit->effect.maxDelay = VSIM_EFFECT_MAX_DELAY_MS;
    }
}

VedraStatus GetSpdifStatus(SimRequest& r, SimUnit* unit)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSpdifStatus), sizeof(VedraSpdifStatus));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto query = SimRead<VedraSpdifStatus>(r.buffer);
    if ((unit->flags & VSIM_UNIT_NO_SPDIF) || query.input != 0)
        return VEDRA_STATUS_OBJECT_NOT_FOUND;
    VedraSpdifStatus answer = unit->spdif;
    answer.input = query.input;
    return SimAnswer(r, answer);
}

VedraStatus PassThrough(SimRequest& r, SimUnit* unit, bool set)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSpdifPassThrough), set ? 0 : sizeof(VedraSpdifPassThrough));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto record = SimRead<VedraSpdifPassThrough>(r.buffer);
    if ((unit->flags & VSIM_UNIT_NO_SPDIF) || record.input != 0 || record.subIndex != 0)
        return VEDRA_STATUS_OBJECT_NOT_FOUND;
    if (set) {
        if (record.on > 1)
            return VEDRA_STATUS_INVALID_PARAMETER;
        if (unit->passThrough != record.on) {
            unit->passThrough = record.on;
            SimNotifyClients(VEDRA_NTF_DEVICE_STATE_CHANGED, &unit->id, sizeof(unit->id));
        }
        return VEDRA_STATUS_SUCCESS;
    }
    record.on = unit->passThrough;
    return SimAnswer(r, record);
}

VedraStatus Bypass(SimRequest& r, SimUnit* unit, uint8_t& value, bool set)
{
    VedraStatus status = set ? SimCheckSizes(r, 1, 0) : SimCheckSizes(r, 0, 1);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    if (set) {
        uint8_t on = r.buffer[0];
        if (on > 1)
            return VEDRA_STATUS_INVALID_PARAMETER;
        if (value != on) {
            value = on;
            SimNotifyClients(VEDRA_NTF_DEVICE_STATE_CHANGED, &unit->id, sizeof(unit->id));
        }
        return VEDRA_STATUS_SUCCESS;
    }
    r.buffer[0] = value;
    r.bytesReturned = 1;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus EndpointVolume(SimRequest& r, SimUnit* unit, bool set)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraEndpointVolume), set ? 0 : sizeof(VedraEndpointVolume));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto record = SimRead<VedraEndpointVolume>(r.buffer);
    if (record.kind != VEDRA_ENDPOINT_KIND_OUTPUT || record.index >= SIM_ENDPOINTS)
        return VEDRA_STATUS_INVALID_PARAMETER;
    if (set) {
        // A change through the control interface is never echoed as 3060.
        unit->endpoints[record.index] = record;
        unit->endpointWrites[record.index]++;
        return VEDRA_STATUS_SUCCESS;
    }
    memcpy(r.buffer, &unit->endpoints[record.index], sizeof(VedraEndpointVolume));
    r.bytesReturned = sizeof(VedraEndpointVolume);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Control(SimRequest& r, uint32_t* table)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraControlSetting), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto setting = SimRead<VedraControlSetting>(r.buffer);
    if (setting.selector >= SIM_CONTROLS)
        return VEDRA_STATUS_INVALID_PARAMETER;
    table[setting.selector] = setting.value;
    return VEDRA_STATUS_SUCCESS;
}

template <typename Record>
VedraStatus StoreRecord(SimRequest& r, Record& stored, uint32_t& writes, bool valid)
{
    VedraStatus status = SimCheckSizes(r, sizeof(Record), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    if (!valid)
        return VEDRA_STATUS_INVALID_PARAMETER;
    memcpy(&stored, r.buffer, sizeof(Record));
    writes++;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus MixerPins(SimRequest& r, SimUnit* unit)
{
    if (r.inLength != sizeof(uint32_t))
        return VEDRA_STATUS_INVALID_INBUFFER_SIZE;
    if (r.outLength == 0 || r.outLength % sizeof(MixerPin) != 0)
        return VEDRA_STATUS_INVALID_OUTBUFFER_SIZE;
    uint32_t group = SimRead<uint32_t>(r.buffer);
    const MixerPin* pins;
    uint32_t count;
    switch (group) {
    case MIXER_GROUP_DESTINATIONS:
        pins = unit->destinations;
        count = unit->destinationCount;
        break;
    case MIXER_GROUP_INPUT_SOURCES:
        pins = unit->sources;
        count = unit->inputSourceCount;
        break;
    case MIXER_GROUP_PLAYBACK_SOURCES:
        pins = unit->sources + unit->inputSourceCount;
        count = unit->playbackSourceCount;
        break;
    default:
        return VEDRA_STATUS_INVALID_PARAMETER;
    }
    uint32_t capacity = r.outLength / sizeof(MixerPin);
    if (count > capacity)
        count = capacity; // the caller's buffer decides; the rest is not sent
    memcpy(r.buffer, pins, count * sizeof(MixerPin));
    r.bytesReturned = count * sizeof(MixerPin);
    return VEDRA_STATUS_SUCCESS;
}

int16_t DestinationLevel(const SimUnit* unit, uint32_t d, uint64_t now)
{
    if (unit->gainFlags[d] & PIN_GAIN_MUTED)
        return (int16_t)VSIM_SILENCE;
    int32_t levels[2 * VSIM_MAX_SOURCES];
    uint32_t n = 0;
    uint32_t sources = unit->inputSourceCount + unit->playbackSourceCount;
    for (uint32_t s = 0; s < sources; ++s) {
        if (!(unit->connected[d][s] & CROSSPOINT_CONNECTED))
            continue;
        int32_t level = SimSourceLevel(unit, s, now);
        if (level > VSIM_SILENCE)
            levels[n++] = level + unit->weight[d][s];
    }
    if (n == 0)
        return (int16_t)VSIM_SILENCE;
    int32_t level = SimPowerSumDb(levels, n) + unit->gain[d];
    if (level < VSIM_SILENCE)
        level = VSIM_SILENCE;
    if (level > 2400)
        level = 2400;
    return (int16_t)level;
}

VedraStatus Levels(SimRequest& r, SimUnit* unit, bool destinations)
{
    VedraStatus status;
    if (!ValidArray(r.inLength, r.outLength, sizeof(PinLevel), 2 * VSIM_MAX_SOURCES, status))
        return status;
    uint32_t n = r.inLength / sizeof(PinLevel);
    auto* levels = reinterpret_cast<PinLevel*>(r.buffer);
    for (uint32_t i = 0; i < n; ++i) {
        int index = destinations ? FindDestination(unit, levels[i].pin) : FindSource(unit, levels[i].pin);
        if (index < 0)
            return VEDRA_STATUS_INVALID_PARAMETER;
    }
    uint64_t now = SimNowMs();
    for (uint32_t i = 0; i < n; ++i) {
        if (destinations) {
            levels[i].level = DestinationLevel(unit, (uint32_t)FindDestination(unit, levels[i].pin), now);
        } else {
            int32_t level = SimSourceLevel(unit, (uint32_t)FindSource(unit, levels[i].pin), now);
            levels[i].level = (int16_t)(level < VSIM_SILENCE ? VSIM_SILENCE : level);
        }
    }
    r.bytesReturned = r.inLength;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Gains(SimRequest& r, SimUnit* unit, bool set)
{
    VedraStatus status;
    if (!ValidArray(r.inLength, r.outLength, sizeof(PinGain), VSIM_MAX_DESTINATIONS, status))
        return status;
    uint32_t n = r.inLength / sizeof(PinGain);
    auto* gains = reinterpret_cast<PinGain*>(r.buffer);
    for (uint32_t i = 0; i < n; ++i)
        if (FindDestination(unit, gains[i].pin) < 0)
            return VEDRA_STATUS_INVALID_PARAMETER;
    for (uint32_t i = 0; i < n; ++i) {
        int d = FindDestination(unit, gains[i].pin);
        if (set) {
            unit->gain[d] = gains[i].gain;
            unit->gainFlags[d] = gains[i].gainFlags & PIN_GAIN_MUTED;
        }
        gains[i].gain = unit->gain[d];
        gains[i].gainFlags = unit->gainFlags[d];
    }
    r.bytesReturned = r.inLength;
    if (set) {
        SimNotifyClients(VEDRA_NTF_MIXER_GAINS_CHANGED, &unit->id, sizeof(unit->id));
        // The server's own changes (endpoint volume to mixer) are not echoed
        // back to it, so its two-way volume sync settles at once.
        if (g->server != nullptr && g->server->processId != r.processId)
            SimNotifyServer(VEDRA_NTF_MIXER_GAINS_CHANGED, &unit->id, sizeof(unit->id));
    }
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Crosspoints(SimRequest& r, SimUnit* unit, bool set)
{
    VedraStatus status;
    uint32_t maxRecords = VSIM_MAX_DESTINATIONS * 2 * VSIM_MAX_SOURCES;
    if (!ValidArray(r.inLength, r.outLength, sizeof(Crosspoint), maxRecords, status))
        return status;
    uint32_t n = r.inLength / sizeof(Crosspoint);
    auto* points = reinterpret_cast<Crosspoint*>(r.buffer);
    for (uint32_t i = 0; i < n; ++i)
        if (FindDestination(unit, points[i].destination) < 0 || FindSource(unit, points[i].source) < 0)
            return VEDRA_STATUS_INVALID_PARAMETER;
    for (uint32_t i = 0; i < n; ++i) {
        int d = FindDestination(unit, points[i].destination);
        int s = FindSource(unit, points[i].source);
        if (set) {
            unit->weight[d][s] = points[i].weight;
            unit->connected[d][s] = points[i].crosspointFlags & CROSSPOINT_CONNECTED;
        }
        points[i].weight = unit->weight[d][s];
        points[i].crosspointFlags = unit->connected[d][s];
    }
    r.bytesReturned = r.inLength;
    if (set)
        SimNotifyClients(VEDRA_NTF_CROSSPOINTS_CHANGED, &unit->id, sizeof(unit->id));
    return VEDRA_STATUS_SUCCESS;
}

enum EffectParameter : uint32_t { kChannelCount = 0, kMaxDelay = 1, kDelay = 2, kAmplification = 3 };

VedraStatus Effect(SimRequest& r, SimUnit* unit, bool set)
{
    if (r.inLength < 8 || r.inLength > sizeof(EffectParameterBlock) || r.inLength % 4 != 0)
        return VEDRA_STATUS_INVALID_INBUFFER_SIZE;
    if (r.outLength != (set ? 0 : r.inLength))
        return VEDRA_STATUS_INVALID_OUTBUFFER_SIZE;
    if (!(unit->flags & VSIM_UNIT_EFFECT))
        return VEDRA_STATUS_NOT_SUPPORTED;
    uint32_t parameter = SimRead<uint32_t>(r.buffer);
    uint32_t count = SimRead<uint32_t>(r.buffer + 4);
    if (parameter == kChannelCount || parameter == kMaxDelay) {
        if (set)
            return VEDRA_STATUS_NOT_ALLOWED;
        uint32_t value = parameter == kChannelCount ? unit->effect.channelCount : unit->effect.maxDelay;
        memcpy(r.buffer + 4, &value, 4);
        r.bytesReturned = r.inLength;
        return VEDRA_STATUS_SUCCESS;
    }
    if (parameter != kDelay && parameter != kAmplification)
        return VEDRA_STATUS_INVALID_PARAMETER;
    if (count > EFFECT_MAX_PAIRS || 8 + count * 8 > r.inLength)
        return VEDRA_STATUS_INVALID_LENGTH;
    uint32_t* values = parameter == kDelay ? unit->effect.delay : unit->effect.amplification;
    uint32_t limit = parameter == kDelay ? unit->effect.maxDelay : VSIM_EFFECT_MAX_AMPLIFICATION;
    auto* pairs = reinterpret_cast<EffectChannelValue*>(r.buffer + 8);
    for (uint32_t i = 0; i < count; ++i) {
        if (pairs[i].channel >= unit->effect.channelCount || (set && pairs[i].value > limit))
            return VEDRA_STATUS_INVALID_PARAMETER;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (set)
            values[pairs[i].channel] = pairs[i].value;
        else
            pairs[i].value = values[pairs[i].channel];
    }
    if (set)
        unit->effectWrites++;
    else
        r.bytesReturned = r.inLength;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus ChannelLayout(SimRequest& r, SimUnit* unit)
{
    VedraStatus status = SimCheckSizes(r, 0, sizeof(VedraChannelLayout));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    SimFillLayout(unit, reinterpret_cast<VedraChannelLayout*>(r.buffer));
    r.bytesReturned = sizeof(VedraChannelLayout);
    return VEDRA_STATUS_SUCCESS;
}

bool ValidChannelNames(const VedraWdmChannelNames& names)
{
    return names.inputs.count <= VEDRA_WDM_SECTION_ENTRIES && names.outputs.count <= VEDRA_WDM_SECTION_ENTRIES;
}

bool ValidPinNames(const VedraWdmPinNames& names)
{
    return names.inputs.count <= VEDRA_WDM_SECTION_ENTRIES && names.outputs.count <= VEDRA_WDM_SECTION_ENTRIES;
}

} // namespace

void SimFillLayout(SimUnit* unit, VedraChannelLayout* layout)
{
    memset(layout, 0, sizeof(VedraChannelLayout));
    // Two blocks (inputs and outputs) of hardware elements (kind 1); a unit
    // with a kind-2 element has it as the first element of its second block.
    layout->blockCount = 2;
    for (uint32_t b = 0; b < 2; ++b)
        for (uint32_t j = 0; j < 8; ++j) {
            layout->blocks[b].first[j].kind = 1;
            layout->blocks[b].first[j].unused = j;
            layout->blocks[b].second[j].kind = 1;
            layout->blocks[b].second[j].unused = 8 + j;
        }
    if (unit->flags & VSIM_UNIT_KIND2)
        layout->blocks[1].second[0].kind = 2;
    if (g->malformed & VSIM_MALFORMED_LAYOUT_BLOCKS)
        layout->blockCount = 30;
}

void SimDefaultTopology(SimUnit* unit, uint32_t destinations, uint32_t inputs, uint32_t playback)
{
    unit->destinationCount = destinations;
    unit->inputSourceCount = inputs;
    unit->playbackSourceCount = playback;
    for (uint32_t i = 0; i < destinations; ++i)
        unit->destinations[i] = DestinationPin(i);
    for (uint32_t i = 0; i < inputs; ++i)
        unit->sources[i] = SourcePin(MIXER_GROUP_INPUT_SOURCES, i);
    for (uint32_t i = 0; i < playback; ++i)
        unit->sources[inputs + i] = SourcePin(MIXER_GROUP_PLAYBACK_SOURCES, i);
    memset(unit->gain, 0, sizeof(unit->gain));
    memset(unit->gainFlags, 0, sizeof(unit->gainFlags));
    memset(unit->connected, 0, sizeof(unit->connected));
    for (uint32_t d = 0; d < VSIM_MAX_DESTINATIONS; ++d)
        for (uint32_t s = 0; s < 2 * VSIM_MAX_SOURCES; ++s)
            unit->weight[d][s] = (int16_t)VSIM_SILENCE;
    // The playback channels reach the outputs of the same number at 0 dB.
    for (uint32_t d = 0; d < destinations; ++d) {
        MixerPin pin = unit->destinations[d];
        if (pin.kind != MIXER_PIN_ANALOG && pin.kind != MIXER_PIN_SPDIF)
            continue;
        uint8_t kind = pin.kind == MIXER_PIN_ANALOG ? MIXER_PIN_PLAYBACK : MIXER_PIN_SPDIF_PLAYBACK;
        for (uint32_t s = inputs; s < inputs + playback; ++s)
            if (unit->sources[s].kind == kind && unit->sources[s].channel == pin.channel) {
                unit->weight[d][s] = 0;
                unit->connected[d][s] = CROSSPOINT_CONNECTED;
            }
    }
    // Signals: inputs at -18 dB and below, playback at -12 dB, all moving.
    for (uint32_t s = 0; s < inputs + playback; ++s) {
        bool input = s < inputs;
        unit->signalLevel[s] = input ? -1800 - 100 * (int32_t)(s % 8) : -1200;
        unit->signalWobble[s] = input ? 1200 : 600;
    }
}

SimUnit* SimPlug(const VedraSimUnitSpec& unitSpec)
{
    if (g->unitCount >= SIM_MAX_UNITS)
        return nullptr;
    auto* unit = static_cast<SimUnit*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(SimUnit), SIM_POOL_TAG));
    if (unit == nullptr)
        return nullptr;
    InitUnit(unit, unitSpec);
    g->units[g->unitCount++] = unit;
    SimStreamingUnitsChanged();
    return unit;
}

bool SimUnplug(uint32_t index)
{
    if (index >= g->unitCount)
        return false;
    SimUnit* unit = g->units[index];
    for (uint32_t i = index; i + 1 < g->unitCount; ++i)
        g->units[i] = g->units[i + 1];
    g->units[--g->unitCount] = nullptr;
    ExFreePoolWithTag(unit, SIM_POOL_TAG);
    SimStreamingUnitsChanged();
    return true;
}

void SimResetScenario(uint32_t scenario)
{
    while (g->unitCount > 0) {
        SimUnit* unit = g->units[--g->unitCount];
        g->units[g->unitCount] = nullptr;
        ExFreePoolWithTag(unit, SIM_POOL_TAG);
    }
    g->plugNumber = 0;
    g->serialNumber = 0;
    g->scenario = scenario;
    SimResetStreaming();

    VedraSimUnitSpec unitSpec = {};
    switch (scenario) {
    case VSIM_SCENARIO_ONE:
        SimPlug(unitSpec);
        break;
    case VSIM_SCENARIO_TWO:
        SimPlug(unitSpec);
        unitSpec.flags = VSIM_UNIT_EFFECT;
        SimPlug(unitSpec);
        break;
    case VSIM_SCENARIO_EIGHT:
        for (uint32_t i = 0; i < SIM_MAX_UNITS; ++i)
            SimPlug(unitSpec);
        break;
    case VSIM_SCENARIO_USB11:
        unitSpec.flags = VSIM_UNIT_USB11;
        SimPlug(unitSpec);
        break;
    case VSIM_SCENARIO_KIND2:
        unitSpec.flags = VSIM_UNIT_KIND2;
        SimPlug(unitSpec);
        break;
    default:
        break;
    }
}

SimUnit* SimFindUnit(VedraDeviceId id)
{
    for (uint32_t i = 0; i < g->unitCount; ++i)
        if (SimIdEqual(g->units[i]->id, id))
            return g->units[i];
    return nullptr;
}

SimUnit* SimUnitAt(uint32_t index)
{
    return index < g->unitCount ? g->units[index] : nullptr;
}

VedraStatus SimGetDeviceList(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, 0, sizeof(VedraDeviceList));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto* list = reinterpret_cast<VedraDeviceList*>(r.buffer);
    memset(list, 0, sizeof(VedraDeviceList));
    list->count = g->unitCount;
    bool unterminated = (g->malformed & VSIM_MALFORMED_TEXT) != 0;
    for (uint32_t i = 0; i < g->unitCount; ++i) {
        const SimUnit* unit = g->units[i];
        VedraDeviceEntry& entry = list->entries[i];
        entry.id = unit->id;
        entry.model = unit->model;
        entry.variant = unit->variant;
        SimCopyText(entry.serialNumber, VEDRA_SERIAL_NUMBER_CHARS, unit->serialNumber);
        SimCopyText(entry.name, VEDRA_DEVICE_NAME_CHARS, kUnitName);
        if (unterminated) {
            for (uint32_t c = 0; c < VEDRA_SERIAL_NUMBER_CHARS; ++c)
                if (entry.serialNumber[c] == 0)
                    entry.serialNumber[c] = L'X';
            for (uint32_t c = 0; c < VEDRA_DEVICE_NAME_CHARS; ++c)
                if (entry.name[c] == 0)
                    entry.name[c] = L'N';
        }
        entry.portFlags = (unit->flags & VSIM_UNIT_USB11) ? 0 : VEDRA_PORT_HIGH_SPEED;
        entry.featureFlags = (unit->flags & VSIM_UNIT_EFFECT) ? VEDRA_FEATURE_EFFECT : 0;
        entry.streamFlags = SimIsStreamingUnit(unit) ? VEDRA_STREAM_SELECTED : 0;
    }
    if (g->malformed & VSIM_MALFORMED_DEVICE_COUNT)
        list->count = 200;
    r.bytesReturned = sizeof(VedraDeviceList);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus SimBindDevice(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraDeviceId), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto id = SimRead<VedraDeviceId>(r.buffer);
    if (SimFindUnit(id) == nullptr)
        return VEDRA_STATUS_NO_DEVICE;
    r.conn->bound = true;
    r.conn->boundId = id;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus SimDeviceRequest(SimRequest& r, SimUnit* unit)
{
    switch (r.function) {
    case VEDRA_FN_GET_CHANNEL_LAYOUT:
    case VEDRA_FN_SET_VIRTUAL_CHANNELS:
    case VEDRA_FN_SET_WDM_CHANNEL_NAMES:
    case VEDRA_FN_SET_WDM_PIN_NAMES:
    case VEDRA_FN_GET_SPDIF_INPUT_STATUS:
    case VEDRA_FN_SET_SPDIF_PASS_THROUGH:
    case VEDRA_FN_GET_SPDIF_PASS_THROUGH:
    case VEDRA_FN_GET_SOURCE_LEVELS:
    case VEDRA_FN_GET_DESTINATION_LEVELS:
    case VEDRA_FN_GET_MIXER_PINS:
    case VEDRA_FN_GET_PIN_GAINS:
    case VEDRA_FN_GET_CROSSPOINTS:
    case VEDRA_FN_SET_PIN_GAINS:
    case VEDRA_FN_SET_CROSSPOINTS:
    case VEDRA_FN_SET_BYPASS_VOLUME:
    case VEDRA_FN_GET_BYPASS_VOLUME:
    case VEDRA_FN_SET_BYPASS_MUTE:
    case VEDRA_FN_GET_BYPASS_MUTE:
    case VEDRA_FN_GET_ENDPOINT_VOLUME:
    case VEDRA_FN_SET_ENDPOINT_VOLUME:
    case VEDRA_FN_SET_EFFECT_PARAMETERS:
    case VEDRA_FN_GET_EFFECT_PARAMETERS:
    case VEDRA_FN_SET_CONTROL_VALUE:
    case VEDRA_FN_SET_CONTROL_SWITCH:
        break;
    default:
        return VEDRA_STATUS_INVALID_IOCTL;
    }
    if (!r.conn->bound)
        return VEDRA_STATUS_NO_DEVICE;
    if (unit == nullptr)
        return VEDRA_STATUS_DEVICE_REMOVED;

    switch (r.function) {
    case VEDRA_FN_GET_CHANNEL_LAYOUT:
        return ChannelLayout(r, unit);
    case VEDRA_FN_SET_VIRTUAL_CHANNELS:
        return StoreRecord(r, unit->virtualChannels, unit->virtualChannelWrites,
                           r.inLength == sizeof(VedraVirtualChannels) && SimRead<uint32_t>(r.buffer) <= 16);
    case VEDRA_FN_SET_WDM_CHANNEL_NAMES:
        return StoreRecord(r, unit->channelNames, unit->channelNameWrites,
                           r.inLength == sizeof(VedraWdmChannelNames) &&
                               ValidChannelNames(*reinterpret_cast<const VedraWdmChannelNames*>(r.buffer)));
    case VEDRA_FN_SET_WDM_PIN_NAMES:
        return StoreRecord(r, unit->pinNames, unit->pinNameWrites,
                           r.inLength == sizeof(VedraWdmPinNames) &&
                               ValidPinNames(*reinterpret_cast<const VedraWdmPinNames*>(r.buffer)));
    case VEDRA_FN_GET_SPDIF_INPUT_STATUS:
        return GetSpdifStatus(r, unit);
    case VEDRA_FN_SET_SPDIF_PASS_THROUGH:
        return PassThrough(r, unit, true);
    case VEDRA_FN_GET_SPDIF_PASS_THROUGH:
        return PassThrough(r, unit, false);
    case VEDRA_FN_GET_SOURCE_LEVELS:
        return Levels(r, unit, false);
    case VEDRA_FN_GET_DESTINATION_LEVELS:
        return Levels(r, unit, true);
    case VEDRA_FN_GET_MIXER_PINS:
        return MixerPins(r, unit);
    case VEDRA_FN_GET_PIN_GAINS:
        return Gains(r, unit, false);
    case VEDRA_FN_SET_PIN_GAINS:
        return Gains(r, unit, true);
    case VEDRA_FN_GET_CROSSPOINTS:
        return Crosspoints(r, unit, false);
    case VEDRA_FN_SET_CROSSPOINTS:
        return Crosspoints(r, unit, true);
    case VEDRA_FN_SET_BYPASS_VOLUME:
        return Bypass(r, unit, unit->bypassVolume, true);
    case VEDRA_FN_GET_BYPASS_VOLUME:
        return Bypass(r, unit, unit->bypassVolume, false);
    case VEDRA_FN_SET_BYPASS_MUTE:
        return Bypass(r, unit, unit->bypassMute, true);
    case VEDRA_FN_GET_BYPASS_MUTE:
        return Bypass(r, unit, unit->bypassMute, false);
    case VEDRA_FN_GET_ENDPOINT_VOLUME:
        return EndpointVolume(r, unit, false);
    case VEDRA_FN_SET_ENDPOINT_VOLUME:
        return EndpointVolume(r, unit, true);
    case VEDRA_FN_SET_EFFECT_PARAMETERS:
        return Effect(r, unit, true);
    case VEDRA_FN_GET_EFFECT_PARAMETERS:
        return Effect(r, unit, false);
    case VEDRA_FN_SET_CONTROL_VALUE:
        return Control(r, unit->controlValue);
    case VEDRA_FN_SET_CONTROL_SWITCH:
        return Control(r, unit->controlSwitch);
    default:
        return VEDRA_STATUS_INVALID_IOCTL;
    }
}
