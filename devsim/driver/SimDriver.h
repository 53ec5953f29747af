#pragma once
// Internal declarations of the simulated driver. All state lives in one
// pool-allocated SimGlobals; one spin lock guards it (requests are dispatched
// on Wine's device thread, delayed answers are completed by the worker).
// wdm.h defines two interlocked helpers as static inline functions that
// intrin.h has already declared; C++ rejects that, so intrin.h comes first
// and the DDK's own copies get other names.
#include <intrin.h>
#define InterlockedBitTestAndSet SimDdkInterlockedBitTestAndSet
#define InterlockedBitTestAndReset SimDdkInterlockedBitTestAndReset
#include <ntddk.h>
#undef InterlockedBitTestAndSet
#undef InterlockedBitTestAndReset

#include "VedraSimControl.h"

// Exported by ntoskrnl, declared only in headers we do not use.
extern "C" {
NTSYSAPI NTSTATUS NTAPI ZwSetEvent(HANDLE event, PLONG previousState);
NTSYSAPI NTSTATUS NTAPI ZwDuplicateObject(HANDLE sourceProcess, HANDLE sourceHandle, HANDLE targetProcess,
                                          PHANDLE targetHandle, ACCESS_MASK access, ULONG attributes, ULONG options);
NTSYSAPI NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable, PLARGE_INTEGER timeout);
}

constexpr ULONG SIM_POOL_TAG = 0x6D695356; // "VSim"

constexpr uint32_t SIM_MAX_UNITS = VEDRA_MAX_DEVICES;
constexpr uint32_t SIM_ENDPOINTS = 8;
constexpr uint32_t SIM_CONTROLS = 16;
constexpr uint32_t SIM_UNIT_CHANNELS = 18; // ASIO channels per unit and direction
constexpr uint32_t SIM_RATE_COUNT = 8;

struct SimQueue {
    VedraMessage* slots; // VSIM_QUEUE_CAPACITY messages, allocated on first use
    uint32_t head;
    uint32_t count;
    uint32_t refused; // sends refused because the queue was full
    uint32_t lost;    // driver notifications dropped because the queue was full
};

struct SimConnection {
    LIST_ENTRY link;
    uint32_t number;
    uint32_t processId;
    uint32_t role; // VSIM_NO_ROLE when none
    HANDLE messageEvent; // duplicates in the driver's process, null when none
    HANDLE notificationEvent;
    bool bound;
    VedraDeviceId boundId;
    SimQueue messages;
    SimQueue notifications;
    uint32_t pendingRequests;
    bool released;
    bool closing; // closed while a cancel routine still held a request
};

struct SimUnit {
    VedraDeviceId id;
    uint16_t model;
    uint16_t variant;
    wchar_t serialNumber[VEDRA_SERIAL_NUMBER_CHARS];
    uint32_t flags; // VSIM_UNIT_*

    VedraSpdifStatus spdif;
    uint32_t passThrough;
    uint8_t bypassVolume;
    uint8_t bypassMute;
    VedraEndpointVolume endpoints[SIM_ENDPOINTS];
    uint32_t endpointWrites[SIM_ENDPOINTS];
    uint32_t controlSwitch[SIM_CONTROLS];
    uint32_t controlValue[SIM_CONTROLS];

    VedraVirtualChannels virtualChannels;
    uint32_t virtualChannelWrites;
    VedraWdmChannelNames channelNames;
    uint32_t channelNameWrites;
    VedraWdmPinNames pinNames;
    uint32_t pinNameWrites;

    // Mixer: destinations (group 0), then the sources of group 1 followed
    // by those of group 2 in one source index space.
    uint32_t destinationCount;
    uint32_t inputSourceCount;
    uint32_t playbackSourceCount;
    MixerPin destinations[VSIM_MAX_DESTINATIONS];
    MixerPin sources[2 * VSIM_MAX_SOURCES];
    int16_t gain[VSIM_MAX_DESTINATIONS];
    uint8_t gainFlags[VSIM_MAX_DESTINATIONS];
    int16_t weight[VSIM_MAX_DESTINATIONS][2 * VSIM_MAX_SOURCES];
    uint8_t connected[VSIM_MAX_DESTINATIONS][2 * VSIM_MAX_SOURCES];
    int32_t signalLevel[2 * VSIM_MAX_SOURCES];
    uint32_t signalWobble[2 * VSIM_MAX_SOURCES];

    VedraSimEffectState effect;
    uint32_t effectWrites;
};

struct SimFault {
    uint32_t function; // 0: free slot
    uint32_t failCount;
    uint32_t failStatus;
    uint32_t delayMs;
};

struct SimGlobals {
    KSPIN_LOCK lock;
    PDEVICE_OBJECT device;

    LIST_ENTRY connections;
    uint32_t connectionCount;
    uint32_t nextConnectionNumber;
    SimConnection* server;

    uint32_t scenario;
    uint32_t unitCount;
    SimUnit* units[SIM_MAX_UNITS]; // in device-list order
    uint32_t plugNumber;           // last id.low handed out
    uint32_t serialNumber;         // last made-up serial number

    // Streaming and settings.
    uint32_t state;
    uint32_t selectionMode;
    VedraDeviceId selected;
    uint32_t sampleRate;
    uint32_t announcedRate;
    VedraSimStreams streams;
    uint32_t streamingBufferSize;
    uint32_t asioBufferSize;
    uint32_t bufferReserved;
    uint32_t policy;
    VedraStatusCounters counters;

    // Faults.
    SimFault faults[VSIM_MAX_FAULTS];
    uint32_t malformed;

    // Journal: a ring of the newest entries.
    VedraSimJournalEntry* journal;
    uint32_t journalNext;   // sequence of the next entry
    uint32_t droppedReplies;
    uint32_t lostNotifications;
    uint32_t notificationSequence;

    // The device interface, announced to RegisterDeviceNotification users.
    UNICODE_STRING interfaceName;
    bool interfaceRegistered;
    uint32_t interfaceStatus; // NTSTATUS of the last registration step

    // Requests held back by a delay fault, completed by the worker thread.
    LIST_ENTRY delayed;
    KEVENT workerWake;
    HANDLE workerThread;
    volatile LONG workerStop;
};

extern SimGlobals* g;

// One control request while it is handled.
struct SimRequest {
    SimConnection* conn;
    uint32_t code;
    uint32_t function;
    uint8_t* buffer; // METHOD_BUFFERED: input, then output in the same place
    uint32_t inLength;
    uint32_t outLength;
    uint32_t bytesReturned;
    uint32_t processId;
    uint32_t role; // the connection's role when the request arrived
    uint8_t inputPrefix[VSIM_JOURNAL_INPUT_BYTES];
};

// SimConnections.cpp
SimConnection* SimCreateConnection(uint32_t processId);
void SimReleaseConnection(SimConnection* conn); // role, events, queues; idempotent
void SimDestroyConnection(SimConnection* conn); // release and free
VedraStatus SimSetEvents(SimRequest& r);
VedraStatus SimRegisterRole(SimRequest& r);
VedraStatus SimSendMessage(SimRequest& r);
VedraStatus SimReceive(SimRequest& r, bool notification);
void SimNotifyServer(uint32_t code, const void* payload, uint32_t length);
void SimNotifyClients(uint32_t code, const void* payload, uint32_t length);
void SimClearQueues();

// SimUnits.cpp
void SimResetScenario(uint32_t scenario);
SimUnit* SimPlug(const VedraSimUnitSpec& unitSpec);
bool SimUnplug(uint32_t index);
SimUnit* SimFindUnit(VedraDeviceId id);
SimUnit* SimUnitAt(uint32_t index);
void SimDefaultTopology(SimUnit* unit, uint32_t destinations, uint32_t inputs, uint32_t playback);
VedraStatus SimGetDeviceList(SimRequest& r);
VedraStatus SimBindDevice(SimRequest& r);
VedraStatus SimDeviceRequest(SimRequest& r, SimUnit* unit);
void SimFillLayout(SimUnit* unit, VedraChannelLayout* layout);

// SimStreaming.cpp
void SimResetStreaming();
bool SimIsStreamingUnit(const SimUnit* unit);
void SimStreamingUnitsChanged();
VedraStatus SimStreamingRequest(SimRequest& r);
VedraStreamingStatus SimCurrentStreamingStatus();
void SimSetStreams(const VedraSimStreams& streams);

// SimControl.cpp
VedraStatus SimControlRequest(SimRequest& r);
void SimJournal(const SimRequest& r, VedraStatus status);
SimFault* SimFindFault(uint32_t function);
void SimResetJournal();

// SimEntry.cpp: announces the device interface again (removal, then arrival).
VedraStatus SimAnnounceInterface();

// SimMath.cpp
int16_t SimPowerSumDb(const int32_t* levels, uint32_t count); // 1/100 dB in and out
int32_t SimSourceLevel(const SimUnit* unit, uint32_t source, uint64_t nowMs);

// Small helpers.
uint64_t SimNowMs();
void SimCopyText(wchar_t* target, uint32_t capacity, const wchar_t* source);
uint32_t SimAppendNumber(wchar_t* target, uint32_t capacity, uint32_t at, uint32_t value);
bool SimIdEqual(VedraDeviceId a, VedraDeviceId b);

// A fixed-size request: exactly in bytes of input and room for exactly out.
inline VedraStatus SimCheckSizes(const SimRequest& r, uint32_t in, uint32_t out)
{
    if (r.inLength != in)
        return VEDRA_STATUS_INVALID_INBUFFER_SIZE;
    if (r.outLength != out)
        return VEDRA_STATUS_INVALID_OUTBUFFER_SIZE;
    return VEDRA_STATUS_SUCCESS;
}

// Answers with one record (its size checked by SimCheckSizes before).
template <typename T>
inline VedraStatus SimAnswer(SimRequest& r, const T& record)
{
    memcpy(r.buffer, &record, sizeof(T));
    r.bytesReturned = sizeof(T);
    return VEDRA_STATUS_SUCCESS;
}

template <typename T>
inline T SimRead(const uint8_t* p)
{
    T value;
    memcpy(&value, p, sizeof(T));
    return value;
}
