// Simulation control (device type 0x8089): scenarios, plugging, what the
// operating system and applications do, faults, and read-back of the
// journal, the stored records and the driver's inner state.
#include "SimDriver.h"

namespace {

VedraStatus Reset(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSimReset), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    uint32_t scenario = SimRead<uint32_t>(r.buffer);
    if (scenario >= VSIM_SCENARIO_COUNT)
        return VEDRA_STATUS_INVALID_PARAMETER;
    memset(g->faults, 0, sizeof(g->faults));
    g->malformed = 0;
    g->droppedReplies = 0;
    g->lostNotifications = 0;
    g->notificationSequence = 0;
    SimResetScenario(scenario);
    SimClearQueues();
    SimResetJournal();
    // A server that is attached (the service in a demo) reads the new list.
    SimNotifyServer(VEDRA_NTF_DEVICE_LIST_CHANGED, nullptr, 0);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus GetState(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, 0, sizeof(VedraSimState));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    VedraSimState s = {};
    s.scenario = g->scenario;
    s.unitCount = g->unitCount;
    s.connectionCount = g->connectionCount;
    s.serverConnection = g->server != nullptr ? g->server->number : 0;
    s.streaming = SimCurrentStreamingStatus();
    s.counters = g->counters;
    s.policy = g->policy;
    s.streamingBufferSize = g->streamingBufferSize;
    s.asioBufferSize = g->asioBufferSize;
    s.bufferReserved = g->bufferReserved;
    s.announcedRate = g->announcedRate;
    s.journalNext = g->journalNext;
    s.droppedReplies = g->droppedReplies;
    s.lostNotifications = g->lostNotifications;
    s.malformed = g->malformed;
    for (uint32_t i = 0; i < VSIM_MAX_FAULTS; ++i)
        if (g->faults[i].function != 0)
            s.faultCount++;
    s.selected = g->selected;
    s.interfaceEnabled = g->interfaceRegistered ? 1 : 0;
    s.interfaceStatus = g->interfaceStatus;
    return SimAnswer(r, s);
}

VedraStatus Plug(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSimUnitSpec), sizeof(VedraDeviceId));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto unitSpec = SimRead<VedraSimUnitSpec>(r.buffer);
    unitSpec.serialNumber[VEDRA_SERIAL_NUMBER_CHARS - 1] = 0;
    SimUnit* unit = SimPlug(unitSpec);
    if (unit == nullptr)
        return VEDRA_STATUS_NO_RESOURCES;
    memcpy(r.buffer, &unit->id, sizeof(VedraDeviceId));
    r.bytesReturned = sizeof(VedraDeviceId);
    SimNotifyServer(VEDRA_NTF_DEVICE_LIST_CHANGED, nullptr, 0);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Unplug(SimRequest& r, bool replug)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSimUnitRef), replug ? sizeof(VedraDeviceId) : 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    uint32_t index = SimRead<uint32_t>(r.buffer);
    SimUnit* unit = SimUnitAt(index);
    if (unit == nullptr)
        return VEDRA_STATUS_NO_DEVICE;
    VedraSimUnitSpec unitSpec = {};
    unitSpec.flags = unit->flags;
    unitSpec.model = unit->model;
    unitSpec.variant = unit->variant;
    memcpy(unitSpec.serialNumber, unit->serialNumber, sizeof(unitSpec.serialNumber));
    bool streaming = SimIsStreamingUnit(unit) && g->selectionMode == 0;
    if (SimIsStreamingUnit(unit) && g->state >= VEDRA_STATE_READY && g->state <= VEDRA_STATE_RUNNING)
        g->state = VEDRA_STATE_DOWN; // its streams broke off
    SimUnplug(index);
    if (replug) {
        SimUnit* again = SimPlug(unitSpec);
        if (again == nullptr)
            return VEDRA_STATUS_NO_RESOURCES;
        if (streaming)
            g->selected = again->id;
        // Back at its old place in the list.
        for (uint32_t i = g->unitCount - 1; i > index; --i) {
            SimUnit* t = g->units[i];
            g->units[i] = g->units[i - 1];
            g->units[i - 1] = t;
        }
        SimStreamingUnitsChanged();
        memcpy(r.buffer, &again->id, sizeof(VedraDeviceId));
        r.bytesReturned = sizeof(VedraDeviceId);
    }
    SimNotifyServer(VEDRA_NTF_DEVICE_LIST_CHANGED, nullptr, 0);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Streams(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSimStreams), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    SimSetStreams(SimRead<VedraSimStreams>(r.buffer));
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus EndpointVolume(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSimEndpointVolume), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto change = SimRead<VedraSimEndpointVolume>(r.buffer);
    SimUnit* unit = SimUnitAt(change.unitIndex);
    if (unit == nullptr)
        return VEDRA_STATUS_NO_DEVICE;
    if (change.volume.kind != VEDRA_ENDPOINT_KIND_OUTPUT || change.volume.index >= SIM_ENDPOINTS)
        return VEDRA_STATUS_INVALID_PARAMETER;
    unit->endpoints[change.volume.index] = change.volume;
    VedraEndpointChange payload = {unit->id, change.volume.kind, change.volume.index};
    SimNotifyServer(VEDRA_NTF_ENDPOINT_CHANGED, &payload, sizeof(payload));
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Spdif(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSimSpdif), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto spdif = SimRead<VedraSimSpdif>(r.buffer);
    SimUnit* unit = SimUnitAt(spdif.unitIndex);
    if (unit == nullptr)
        return VEDRA_STATUS_NO_DEVICE;
    if (spdif.lockState > 3 || spdif.format > 2)
        return VEDRA_STATUS_INVALID_PARAMETER;
    if (spdif.present)
        unit->flags &= ~VSIM_UNIT_NO_SPDIF;
    else
        unit->flags |= VSIM_UNIT_NO_SPDIF;
    unit->spdif.lockState = spdif.lockState;
    unit->spdif.format = spdif.format;
    unit->spdif.sampleRate = spdif.sampleRate;
    SimNotifyClients(VEDRA_NTF_DEVICE_STATE_CHANGED, &unit->id, sizeof(unit->id));
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus BumpCounters(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraStatusCounters), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto add = SimRead<VedraStatusCounters>(r.buffer);
    g->counters.streamingErrors += add.streamingErrors;
    g->counters.fifoErrors += add.fifoErrors;
    g->counters.asioErrors += add.asioErrors;
    g->counters.wdmAudioErrors += add.wdmAudioErrors;
    g->counters.wdmMidiErrors += add.wdmMidiErrors;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Topology(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSimTopology), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto topology = SimRead<VedraSimTopology>(r.buffer);
    SimUnit* unit = SimUnitAt(topology.unitIndex);
    if (unit == nullptr)
        return VEDRA_STATUS_NO_DEVICE;
    if (topology.destinations > VSIM_MAX_DESTINATIONS || topology.inputSources > VSIM_MAX_SOURCES ||
        topology.playbackSources > VSIM_MAX_SOURCES)
        return VEDRA_STATUS_INVALID_PARAMETER;
    SimDefaultTopology(unit, topology.destinations, topology.inputSources, topology.playbackSources);
    SimNotifyClients(VEDRA_NTF_MIXER_TOPOLOGY_CHANGED, &unit->id, sizeof(unit->id));
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Signal(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSimSignal), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto signal = SimRead<VedraSimSignal>(r.buffer);
    SimUnit* unit = SimUnitAt(signal.unitIndex);
    if (unit == nullptr)
        return VEDRA_STATUS_NO_DEVICE;
    uint32_t first;
    uint32_t count;
    if (signal.group == MIXER_GROUP_INPUT_SOURCES) {
        first = 0;
        count = unit->inputSourceCount;
    } else if (signal.group == MIXER_GROUP_PLAYBACK_SOURCES) {
        first = unit->inputSourceCount;
        count = unit->playbackSourceCount;
    } else {
        return VEDRA_STATUS_INVALID_PARAMETER;
    }
    if (signal.channel != VSIM_ALL_CHANNELS && signal.channel >= count)
        return VEDRA_STATUS_INVALID_PARAMETER;
    if (signal.level < VSIM_SILENCE || signal.level > 2400 || signal.wobble > 9600)
        return VEDRA_STATUS_INVALID_PARAMETER;
    for (uint32_t i = 0; i < count; ++i) {
        if (signal.channel != VSIM_ALL_CHANNELS && signal.channel != i)
            continue;
        unit->signalLevel[first + i] = signal.level;
        unit->signalWobble[first + i] = signal.wobble;
    }
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus StreamError(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, 0, 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    g->state = VEDRA_STATE_ERROR;
    g->counters.streamingErrors++;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Fault(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSimFault), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto fault = SimRead<VedraSimFault>(r.buffer);
    if (fault.function < 0x800 || fault.function > 0xFFF)
        return VEDRA_STATUS_INVALID_PARAMETER;
    // A failure must be an error status: the driver's own codes pass through
    // unchanged, NTSTATUS errors reach the caller as their Win32 error.
    if (fault.delayMs > 60000 || (fault.failCount > 0 && fault.failStatus < 0xC0000000u))
        return VEDRA_STATUS_INVALID_PARAMETER;
    if (fault.delayMs > 0 && g->workerThread == nullptr)
        return VEDRA_STATUS_NOT_SUPPORTED;
    SimFault* slot = SimFindFault(fault.function);
    if (fault.failCount == 0 && fault.delayMs == 0) {
        if (slot != nullptr)
            slot->function = 0;
        return VEDRA_STATUS_SUCCESS;
    }
    if (slot == nullptr)
        for (uint32_t i = 0; i < VSIM_MAX_FAULTS && slot == nullptr; ++i)
            if (g->faults[i].function == 0)
                slot = &g->faults[i];
    if (slot == nullptr)
        return VEDRA_STATUS_NO_RESOURCES;
    slot->function = fault.function;
    slot->failCount = fault.failCount;
    slot->failStatus = fault.failStatus;
    slot->delayMs = fault.delayMs;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus ClearFaults(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, 0, 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    memset(g->faults, 0, sizeof(g->faults));
    g->malformed = 0;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Malformed(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(uint32_t), 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    uint32_t flags = SimRead<uint32_t>(r.buffer);
    if (flags & ~0x3Fu)
        return VEDRA_STATUS_INVALID_PARAMETER;
    g->malformed = flags;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus ReadJournal(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSimJournalQuery), sizeof(VedraSimJournalPage));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    uint32_t from = SimRead<uint32_t>(r.buffer);
    auto* page = reinterpret_cast<VedraSimJournalPage*>(r.buffer);
    memset(page, 0, sizeof(VedraSimJournalPage));
    uint32_t next = g->journalNext;
    uint32_t oldest = next > VSIM_JOURNAL_CAPACITY ? next - VSIM_JOURNAL_CAPACITY : 1;
    if (from < oldest)
        from = oldest;
    page->oldestSequence = next > 1 ? oldest : 0;
    page->nextSequence = next;
    for (uint32_t seq = from; seq < next && page->count < VSIM_JOURNAL_PAGE_ENTRIES; ++seq)
        page->entries[page->count++] = g->journal[seq % VSIM_JOURNAL_CAPACITY];
    r.bytesReturned = sizeof(VedraSimJournalPage);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus ReadRecord(SimRequest& r)
{
    if (r.inLength != sizeof(VedraSimRecordQuery))
        return VEDRA_STATUS_INVALID_INBUFFER_SIZE;
    auto query = SimRead<VedraSimRecordQuery>(r.buffer);
    SimUnit* unit = SimUnitAt(query.unitIndex);
    if (unit == nullptr)
        return VEDRA_STATUS_NO_DEVICE;
    const void* data = nullptr;
    uint32_t size = 0;
    uint32_t writes = 0;
    VedraChannelLayout* layout = nullptr;
    switch (query.kind) {
    case VSIM_RECORD_VIRTUAL_CHANNELS:
        data = &unit->virtualChannels;
        size = sizeof(unit->virtualChannels);
        writes = unit->virtualChannelWrites;
        break;
    case VSIM_RECORD_WDM_CHANNEL_NAMES:
        data = &unit->channelNames;
        size = sizeof(unit->channelNames);
        writes = unit->channelNameWrites;
        break;
    case VSIM_RECORD_WDM_PIN_NAMES:
        data = &unit->pinNames;
        size = sizeof(unit->pinNames);
        writes = unit->pinNameWrites;
        break;
    case VSIM_RECORD_ENDPOINT_VOLUME:
        if (query.index >= SIM_ENDPOINTS)
            return VEDRA_STATUS_INVALID_PARAMETER;
        data = &unit->endpoints[query.index];
        size = sizeof(VedraEndpointVolume);
        writes = unit->endpointWrites[query.index];
        break;
    case VSIM_RECORD_EFFECT:
        data = &unit->effect;
        size = sizeof(unit->effect);
        writes = unit->effectWrites;
        break;
    case VSIM_RECORD_CHANNEL_LAYOUT:
        size = sizeof(VedraChannelLayout);
        break;
    default:
        return VEDRA_STATUS_INVALID_PARAMETER;
    }
    if (r.outLength != sizeof(VedraSimRecordHeader) + size)
        return VEDRA_STATUS_INVALID_OUTBUFFER_SIZE;
    VedraSimRecordHeader header = {query.kind, writes, size, 0};
    memcpy(r.buffer, &header, sizeof(header));
    if (query.kind == VSIM_RECORD_CHANNEL_LAYOUT) {
        layout = reinterpret_cast<VedraChannelLayout*>(r.buffer + sizeof(header));
        SimFillLayout(unit, layout);
    } else {
        memcpy(r.buffer + sizeof(header), data, size);
    }
    r.bytesReturned = sizeof(header) + size;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus Connections(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, 0, sizeof(VedraSimConnectionList));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    auto* list = reinterpret_cast<VedraSimConnectionList*>(r.buffer);
    memset(list, 0, sizeof(VedraSimConnectionList));
    list->total = g->connectionCount;
    for (LIST_ENTRY* e = g->connections.Flink; e != &g->connections; e = e->Flink) {
        if (list->count >= VSIM_MAX_LISTED_CONNECTIONS)
            break;
        SimConnection* conn = CONTAINING_RECORD(e, SimConnection, link);
        VedraSimConnection& c = list->connections[list->count++];
        c.number = conn->number;
        c.processId = conn->processId;
        c.role = conn->role;
        c.flags = (conn->messageEvent ? VSIM_CONN_MESSAGE_EVENT : 0) |
                  (conn->notificationEvent ? VSIM_CONN_NOTIFICATION_EVENT : 0);
        if (conn->bound)
            c.bound = conn->boundId;
        c.messagesQueued = conn->messages.count;
        c.notificationsQueued = conn->notifications.count;
        c.messagesRefused = conn->messages.refused;
        c.notificationsLost = conn->notifications.lost + conn->notifications.refused;
        c.pendingRequests = conn->pendingRequests;
    }
    r.bytesReturned = sizeof(VedraSimConnectionList);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus GetUnit(SimRequest& r)
{
    VedraStatus status = SimCheckSizes(r, sizeof(VedraSimUnitRef), sizeof(VedraSimUnitState));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    SimUnit* unit = SimUnitAt(SimRead<uint32_t>(r.buffer));
    if (unit == nullptr)
        return VEDRA_STATUS_NO_DEVICE;
    VedraSimUnitState s = {};
    s.entry.id = unit->id;
    s.entry.model = unit->model;
    s.entry.variant = unit->variant;
    memcpy(s.entry.serialNumber, unit->serialNumber, sizeof(s.entry.serialNumber));
    SimCopyText(s.entry.name, VEDRA_DEVICE_NAME_CHARS, L"Tarvine");
    s.entry.portFlags = (unit->flags & VSIM_UNIT_USB11) ? 0 : VEDRA_PORT_HIGH_SPEED;
    s.entry.featureFlags = (unit->flags & VSIM_UNIT_EFFECT) ? VEDRA_FEATURE_EFFECT : 0;
    s.entry.streamFlags = SimIsStreamingUnit(unit) ? VEDRA_STREAM_SELECTED : 0;
    s.flags = unit->flags;
    s.spdif = unit->spdif;
    s.passThrough = unit->passThrough;
    s.bypassVolume = unit->bypassVolume;
    s.bypassMute = unit->bypassMute;
    s.destinations = unit->destinationCount;
    s.inputSources = unit->inputSourceCount;
    s.playbackSources = unit->playbackSourceCount;
    memcpy(s.controlSwitch, unit->controlSwitch, sizeof(s.controlSwitch));
    memcpy(s.controlValue, unit->controlValue, sizeof(s.controlValue));
    return SimAnswer(r, s);
}

} // namespace

VedraStatus SimControlRequest(SimRequest& r)
{
    switch (r.function) {
    case VSIM_FN_RESET:
        return Reset(r);
    case VSIM_FN_GET_STATE:
        return GetState(r);
    case VSIM_FN_PLUG:
        return Plug(r);
    case VSIM_FN_UNPLUG:
        return Unplug(r, false);
    case VSIM_FN_REPLUG:
        return Unplug(r, true);
    case VSIM_FN_SET_STREAMS:
        return Streams(r);
    case VSIM_FN_SET_ENDPOINT_VOLUME:
        return EndpointVolume(r);
    case VSIM_FN_SET_SPDIF:
        return Spdif(r);
    case VSIM_FN_BUMP_COUNTERS:
        return BumpCounters(r);
    case VSIM_FN_SET_TOPOLOGY:
        return Topology(r);
    case VSIM_FN_SET_SIGNAL:
        return Signal(r);
    case VSIM_FN_STREAM_ERROR:
        return StreamError(r);
    case VSIM_FN_SET_FAULT:
        return Fault(r);
    case VSIM_FN_CLEAR_FAULTS:
        return ClearFaults(r);
    case VSIM_FN_SET_MALFORMED:
        return Malformed(r);
    case VSIM_FN_READ_JOURNAL:
        return ReadJournal(r);
    case VSIM_FN_READ_RECORD:
        return ReadRecord(r);
    case VSIM_FN_GET_CONNECTIONS:
        return Connections(r);
    case VSIM_FN_GET_UNIT:
        return GetUnit(r);
    default:
        return VEDRA_STATUS_INVALID_IOCTL;
    }
}

void SimResetJournal()
{
    g->journalNext = 1;
}

void SimJournal(const SimRequest& r, VedraStatus status)
{
    VedraSimJournalEntry& e = g->journal[g->journalNext % VSIM_JOURNAL_CAPACITY];
    memset(&e, 0, sizeof(e));
    e.sequence = g->journalNext++;
    e.connection = r.conn->number;
    e.role = r.role;
    e.processId = r.processId;
    e.code = r.code;
    e.inputLength = r.inLength;
    e.outputLength = r.outLength;
    e.status = status;
    e.bytesReturned = r.bytesReturned;
    if (r.conn->bound)
        e.bound = r.conn->boundId;
    // The input was copied before the answer overwrote the shared buffer.
    memcpy(e.input, r.inputPrefix, sizeof(e.input));
}

SimFault* SimFindFault(uint32_t function)
{
    for (uint32_t i = 0; i < VSIM_MAX_FAULTS; ++i)
        if (g->faults[i].function == function)
            return &g->faults[i];
    return nullptr;
}
