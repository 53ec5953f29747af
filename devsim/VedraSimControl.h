#pragma once
// Private simulation control of the simulated driver: control codes and
// records shared by the driver, the tarvinesim tool, the tests and the
// benchmark. Freestanding (stdint only), like the product's contract header.
//
// The codes use their own device type (0x8089), so they can never collide
// with a product control code (device type 0x8088) and the request journal
// records product requests only.
#include <stddef.h>
#include <stdint.h>

#include "VedraContract.h"

constexpr uint32_t VedraSimControlCode(uint32_t function)
{
    return 0x80890000u + 4u * function; // FILE_ANY_ACCESS, METHOD_BUFFERED
}

enum VedraSimFunction : uint32_t {
    VSIM_FN_RESET = 0x900,               // in VedraSimReset
    VSIM_FN_GET_STATE = 0x901,           // out VedraSimState
    VSIM_FN_PLUG = 0x902,                // in VedraSimUnitSpec, out VedraDeviceId
    VSIM_FN_UNPLUG = 0x903,              // in VedraSimUnitRef
    VSIM_FN_REPLUG = 0x904,              // in VedraSimUnitRef, out VedraDeviceId
    VSIM_FN_SET_STREAMS = 0x905,         // in VedraSimStreams
    VSIM_FN_SET_ENDPOINT_VOLUME = 0x906, // in VedraSimEndpointVolume
    VSIM_FN_SET_SPDIF = 0x907,           // in VedraSimSpdif
    VSIM_FN_BUMP_COUNTERS = 0x908,       // in VedraStatusCounters (added to the counters)
    VSIM_FN_SET_TOPOLOGY = 0x909,        // in VedraSimTopology
    VSIM_FN_SET_SIGNAL = 0x90A,          // in VedraSimSignal
    VSIM_FN_STREAM_ERROR = 0x90B,        // no input: the streaming state becomes 5
    VSIM_FN_SET_FAULT = 0x90C,           // in VedraSimFault
    VSIM_FN_CLEAR_FAULTS = 0x90D,        // no input: faults and malformed answers off
    VSIM_FN_SET_MALFORMED = 0x90E,       // in u32 VSIM_MALFORMED_* flags
    VSIM_FN_READ_JOURNAL = 0x910,        // in VedraSimJournalQuery, out VedraSimJournalPage
    VSIM_FN_READ_RECORD = 0x911,         // in VedraSimRecordQuery, out VedraSimRecordHeader + bytes
    VSIM_FN_GET_CONNECTIONS = 0x912,     // out VedraSimConnectionList
    VSIM_FN_GET_UNIT = 0x913,            // in VedraSimUnitRef, out VedraSimUnitState
    VSIM_FN_ANNOUNCE = 0x914,            // no input: the device interface goes and comes again
};

#define VSIM_IOCTL(name) constexpr uint32_t VSIM_IOCTL_##name = VedraSimControlCode(VSIM_FN_##name)
VSIM_IOCTL(RESET);
VSIM_IOCTL(GET_STATE);
VSIM_IOCTL(PLUG);
VSIM_IOCTL(UNPLUG);
VSIM_IOCTL(REPLUG);
VSIM_IOCTL(SET_STREAMS);
VSIM_IOCTL(SET_ENDPOINT_VOLUME);
VSIM_IOCTL(SET_SPDIF);
VSIM_IOCTL(BUMP_COUNTERS);
VSIM_IOCTL(SET_TOPOLOGY);
VSIM_IOCTL(SET_SIGNAL);
VSIM_IOCTL(STREAM_ERROR);
VSIM_IOCTL(SET_FAULT);
VSIM_IOCTL(CLEAR_FAULTS);
VSIM_IOCTL(SET_MALFORMED);
VSIM_IOCTL(READ_JOURNAL);
VSIM_IOCTL(READ_RECORD);
VSIM_IOCTL(GET_CONNECTIONS);
VSIM_IOCTL(GET_UNIT);
VSIM_IOCTL(ANNOUNCE);
#undef VSIM_IOCTL

// The driver's own version, as the handshake reports it.
constexpr uint32_t VSIM_INTERFACE_MINOR = 4;
constexpr uint32_t VSIM_DRIVER_MAJOR = 1;
constexpr uint32_t VSIM_DRIVER_MINOR = 35;
constexpr uint32_t VSIM_DRIVER_BUILD = 20;

// Bounds of the driver's own tables.
constexpr uint32_t VSIM_QUEUE_CAPACITY = 256;   // messages per queue
constexpr uint32_t VSIM_JOURNAL_CAPACITY = 4096; // entries kept
constexpr uint32_t VSIM_MAX_FAULTS = 16;
constexpr uint32_t VSIM_MAX_DESTINATIONS = 32; // mixer pins a topology may have
constexpr uint32_t VSIM_MAX_SOURCES = 32;

// Identifiers: low = plug number since the last reset (1, 2, ...), high = this tag.
constexpr uint32_t VSIM_ID_HIGH = 0x7A510000u;

// ---------------------------------------------------------------------------
// Scenarios (VSIM_FN_RESET).

enum VedraSimScenario : uint32_t {
    VSIM_SCENARIO_NONE = 0,   // no unit
    VSIM_SCENARIO_ONE = 1,    // one unit on a high-speed port, no effect (the default)
    VSIM_SCENARIO_TWO = 2,    // two units, the second with the echo effect
    VSIM_SCENARIO_EIGHT = 3,  // eight units
    VSIM_SCENARIO_USB11 = 4,  // one unit on a USB 1.1 port
    VSIM_SCENARIO_KIND2 = 5,  // one unit whose channel layout holds a kind-2 element
    VSIM_SCENARIO_COUNT = 6,
};

struct VedraSimReset {
    uint32_t scenario; // VedraSimScenario
};
static_assert(sizeof(VedraSimReset) == 4, "VedraSimReset");

// ---------------------------------------------------------------------------
// Units.

constexpr uint32_t VSIM_UNIT_USB11 = 0x1;    // on a USB 1.1 port (cannot stream)
constexpr uint32_t VSIM_UNIT_EFFECT = 0x2;   // carries the echo effect
constexpr uint32_t VSIM_UNIT_KIND2 = 0x4;    // channel layout holds a kind-2 element
constexpr uint32_t VSIM_UNIT_NO_SPDIF = 0x8; // no SPDIF input

constexpr uint16_t VSIM_DEFAULT_MODEL = 0x0A21;

struct VedraSimUnitSpec {
    uint32_t flags;   // VSIM_UNIT_*
    uint16_t model;   // 0: VSIM_DEFAULT_MODEL
    uint16_t variant;
    wchar_t serialNumber[VEDRA_SERIAL_NUMBER_CHARS]; // empty: the driver makes one up
};
static_assert(sizeof(VedraSimUnitSpec) == 48, "VedraSimUnitSpec");

// A unit by its position in the device list.
struct VedraSimUnitRef {
    uint32_t index;
};

struct VedraSimUnitState {
    VedraDeviceEntry entry;
    uint32_t flags;           // VSIM_UNIT_*
    VedraSpdifStatus spdif;   // as the unit reports it (when it has SPDIF)
    uint32_t passThrough;
    uint32_t bypassVolume;
    uint32_t bypassMute;
    uint32_t destinations;    // mixer pins of group 0
    uint32_t inputSources;    // group 1
    uint32_t playbackSources; // group 2
    uint32_t controlSwitch[16];
    uint32_t controlValue[16];
};
static_assert(sizeof(VedraSimUnitState) == 140 + 4 + 16 + 24 + 128, "VedraSimUnitState");

// ---------------------------------------------------------------------------
// What the operating system and applications do.

// The five stream counters of VedraStreamingStatus, set as a whole. The
// driver notifies the server with 3003 when the first becomes nonzero and
// 3004 when the last becomes zero.
struct VedraSimStreams {
    uint32_t demandA;
    uint32_t inUseA;
    uint32_t inUseB;
    uint32_t demandB;
    uint32_t demandC;
};
static_assert(sizeof(VedraSimStreams) == 20, "VedraSimStreams");

// The Windows mixer changes an endpoint volume (the driver notifies 3060).
struct VedraSimEndpointVolume {
    uint32_t unitIndex;
    VedraEndpointVolume volume; // kind 2, index 0..7
};
static_assert(sizeof(VedraSimEndpointVolume) == 140, "VedraSimEndpointVolume");

struct VedraSimSpdif {
    uint32_t unitIndex;
    uint32_t present;   // 0: the unit has no SPDIF input
    uint32_t lockState; // 0 not streaming, 1 no signal, 2 synchronizing, 3 locked
    uint32_t format;    // 0 unidentified, 1 PCM, 2 non-PCM
    uint32_t sampleRate;
};
static_assert(sizeof(VedraSimSpdif) == 20, "VedraSimSpdif");

struct VedraSimTopology {
    uint32_t unitIndex;
    uint32_t destinations;    // 0..VSIM_MAX_DESTINATIONS
    uint32_t inputSources;    // 0..VSIM_MAX_SOURCES
    uint32_t playbackSources; // 0..VSIM_MAX_SOURCES
};
static_assert(sizeof(VedraSimTopology) == 16, "VedraSimTopology");

// Level of a simulated source signal in 1/100 dB (VSIM_SILENCE: none).
constexpr int32_t VSIM_SILENCE = -14400;
constexpr uint32_t VSIM_ALL_CHANNELS = 0xFFFFFFFFu;

struct VedraSimSignal {
    uint32_t unitIndex;
    uint32_t group;   // MIXER_GROUP_INPUT_SOURCES or MIXER_GROUP_PLAYBACK_SOURCES
    uint32_t channel; // pin index within the group, or VSIM_ALL_CHANNELS
    int32_t level;    // peak level in 1/100 dB
    uint32_t wobble;  // 1/100 dB the level swings down and back, period about one second
};
static_assert(sizeof(VedraSimSignal) == 20, "VedraSimSignal");

// ---------------------------------------------------------------------------
// Faults.

// Fail the next failCount requests of a product function with failStatus,
// and/or answer every request of it delayMs late (0: at once). A fault with
// failCount 0 and delayMs 0 removes the function's fault.
struct VedraSimFault {
    uint32_t function; // product function number, e.g. 0x834
    uint32_t failCount;
    uint32_t failStatus; // an error status: a VEDRA_STATUS code, or an NTSTATUS error (the caller sees its Win32 code)
    uint32_t delayMs;
};
static_assert(sizeof(VedraSimFault) == 16, "VedraSimFault");

// Out-of-range answers (VSIM_FN_SET_MALFORMED).
constexpr uint32_t VSIM_MALFORMED_DEVICE_COUNT = 0x01;  // device list count 200
constexpr uint32_t VSIM_MALFORMED_RATE_COUNT = 0x02;    // 50 sample rates
constexpr uint32_t VSIM_MALFORMED_LAYOUT_BLOCKS = 0x04; // 30 layout blocks
constexpr uint32_t VSIM_MALFORMED_CHANNEL_COUNT = 0x08; // 500 ASIO channels
constexpr uint32_t VSIM_MALFORMED_TEXT = 0x10;          // serial, name and channel names without terminator
constexpr uint32_t VSIM_MALFORMED_INTERFACE = 0x20;     // handshake with interface major 3

// ---------------------------------------------------------------------------
// Journal of product requests.

constexpr uint32_t VSIM_NO_ROLE = 0xFFFFFFFFu;
// Enough for a whole endpoint-volume record or 18 gain records.
constexpr uint32_t VSIM_JOURNAL_INPUT_BYTES = 144;
constexpr uint32_t VSIM_JOURNAL_PAGE_ENTRIES = 32;

struct VedraSimJournalEntry {
    uint32_t sequence;     // 1, 2, ... since the last reset
    uint32_t connection;   // connection number (the request's route1 word)
    uint32_t role;         // VSIM_NO_ROLE before a role was registered
    uint32_t processId;
    uint32_t code;         // control code as sent
    uint32_t inputLength;
    uint32_t outputLength;
    uint32_t status;       // what the request completed with
    uint32_t bytesReturned;
    VedraDeviceId bound;   // unit the connection is bound to, zeros when none
    uint8_t input[VSIM_JOURNAL_INPUT_BYTES]; // the first input bytes, rest zero
};
static_assert(sizeof(VedraSimJournalEntry) == 44 + VSIM_JOURNAL_INPUT_BYTES, "VedraSimJournalEntry");

struct VedraSimJournalQuery {
    uint32_t fromSequence; // first sequence number wanted (older ones are skipped)
};

struct VedraSimJournalPage {
    uint32_t oldestSequence; // oldest entry still kept (0 when empty)
    uint32_t nextSequence;   // sequence number the next request gets
    uint32_t count;          // entries in this page
    uint32_t reserved;
    VedraSimJournalEntry entries[VSIM_JOURNAL_PAGE_ENTRIES];
};
static_assert(sizeof(VedraSimJournalPage) == 16 + 32 * sizeof(VedraSimJournalEntry), "VedraSimJournalPage");

// ---------------------------------------------------------------------------
// Stored configuration records, byte-exact as the last writer sent them.

enum VedraSimRecordKind : uint32_t {
    VSIM_RECORD_VIRTUAL_CHANNELS = 1,  // 136 bytes
    VSIM_RECORD_WDM_CHANNEL_NAMES = 2, // 6152 bytes
    VSIM_RECORD_WDM_PIN_NAMES = 3,     // 9480 bytes
    VSIM_RECORD_ENDPOINT_VOLUME = 4,   // 136 bytes, index 0..7
    VSIM_RECORD_EFFECT = 5,            // VedraSimEffectState
    VSIM_RECORD_CHANNEL_LAYOUT = 6,    // 4056 bytes, as the unit answers it
};

struct VedraSimRecordQuery {
    uint32_t unitIndex;
    uint32_t kind; // VedraSimRecordKind
    uint32_t index;
};

struct VedraSimRecordHeader {
    uint32_t kind;
    uint32_t writes; // how often the record was written since the unit came
    uint32_t size;   // bytes that follow
    uint32_t reserved;
};
static_assert(sizeof(VedraSimRecordHeader) == 16, "VedraSimRecordHeader");

constexpr uint32_t VSIM_EFFECT_CHANNELS = 16;
constexpr uint32_t VSIM_EFFECT_MAX_DELAY_MS = 500;
constexpr uint32_t VSIM_EFFECT_MAX_AMPLIFICATION = 1000;

struct VedraSimEffectState {
    uint32_t channelCount;
    uint32_t maxDelay;
    uint32_t delay[VSIM_EFFECT_CHANNELS];
    uint32_t amplification[VSIM_EFFECT_CHANNELS];
};
static_assert(sizeof(VedraSimEffectState) == 136, "VedraSimEffectState");

// ---------------------------------------------------------------------------
// Driver-wide state and connections.

struct VedraSimState {
    uint32_t scenario;
    uint32_t unitCount;
    uint32_t connectionCount;
    uint32_t serverConnection; // connection number of the server, 0 when none
    VedraStreamingStatus streaming;
    VedraStatusCounters counters;
    uint32_t policy;
    uint32_t streamingBufferSize;
    uint32_t asioBufferSize;
    uint32_t bufferReserved;
    uint32_t announcedRate;  // last AnnounceSampleRate, 0 when none
    uint32_t journalNext;    // sequence number the next product request gets
    uint32_t droppedReplies; // replies whose connection had gone
    uint32_t lostNotifications; // driver notifications that found a full queue
    uint32_t malformed;      // VSIM_MALFORMED_* flags in force
    uint32_t faultCount;     // functions with a fault in force
    VedraDeviceId selected;  // unit selected for streaming in mode 0
    uint32_t interfaceEnabled; // the device interface is announced
    uint32_t interfaceStatus;  // NTSTATUS of its last registration step
};
static_assert(sizeof(VedraSimState) == 16 + 36 + 20 + 40 + 16, "VedraSimState");

constexpr uint32_t VSIM_CONN_MESSAGE_EVENT = 0x1;
constexpr uint32_t VSIM_CONN_NOTIFICATION_EVENT = 0x2;
constexpr uint32_t VSIM_MAX_LISTED_CONNECTIONS = 32;

struct VedraSimConnection {
    uint32_t number;
    uint32_t processId;
    uint32_t role;  // VSIM_NO_ROLE when none
    uint32_t flags; // VSIM_CONN_*
    VedraDeviceId bound;
    uint32_t messagesQueued;
    uint32_t notificationsQueued;
    uint32_t messagesRefused;   // sends refused because this queue was full
    uint32_t notificationsLost; // notifications that found this queue full
    uint32_t pendingRequests;   // requests held back by a delay fault
};
static_assert(sizeof(VedraSimConnection) == 44, "VedraSimConnection");

struct VedraSimConnectionList {
    uint32_t count; // connections listed (at most VSIM_MAX_LISTED_CONNECTIONS)
    uint32_t total; // connections open
    VedraSimConnection connections[VSIM_MAX_LISTED_CONNECTIONS];
};
static_assert(sizeof(VedraSimConnectionList) == 8 + 32 * 44, "VedraSimConnectionList");
