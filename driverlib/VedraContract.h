#pragma once
// The kernel driver's control interface: control codes, message codes and the
// records that cross the driver boundary. Shared by both programs and by the
// simulated driver, so it needs nothing beyond <stdint.h>, and every record
// is a plain struct with fixed-width fields, checked size and offsets.
// Everything is little-endian (as the machine is).
#include <stddef.h>
#include <stdint.h>

#include "VedraStatus.h"

static_assert(sizeof(wchar_t) == 2, "text fields are UTF-16");

// Device path: "\\.\" followed by this name.
#define VEDRA_INTERFACE_GUID_STRING L"{3B7C5A10-64E2-4F0D-9C1A-52D8E6F40A73}"

// ---------------------------------------------------------------------------
// Control codes: device type 0x8088, FILE_ANY_ACCESS, METHOD_BUFFERED.

constexpr uint32_t VedraControlCode(uint32_t function)
{
    return 0x80880000u + 4u * function;
}

// Function number of a control code of ours, or 0 when the code is not ours.
constexpr uint32_t VedraFunctionOf(uint32_t code)
{
    return ((code & 0xFFFF0003u) == 0x80880000u) ? ((code >> 2) & 0xFFFu) : 0u;
}

enum VedraFunction : uint32_t {
    VEDRA_FN_GET_INTERFACE_VERSION = 0x801,
    VEDRA_FN_SEND_MESSAGE = 0x810,
    VEDRA_FN_RECEIVE_MESSAGE = 0x811,
    VEDRA_FN_RECEIVE_NOTIFICATION = 0x812,
    VEDRA_FN_SET_NOTIFICATION_EVENTS = 0x816,
    VEDRA_FN_REGISTER_ROLE = 0x819,
    VEDRA_FN_GET_DEVICE_LIST = 0x820,
    VEDRA_FN_BIND_DEVICE = 0x821,
    VEDRA_FN_GET_ASIO_INPUT_CHANNELS = 0x824,
    VEDRA_FN_GET_ASIO_OUTPUT_CHANNELS = 0x825,
    VEDRA_FN_GET_CHANNEL_INFO = 0x826,
    VEDRA_FN_GET_SAMPLE_RATE_INFO = 0x830,
    VEDRA_FN_GET_BUFFER_SETTINGS = 0x831,
    VEDRA_FN_GET_STREAMING_STATUS = 0x834,
    VEDRA_FN_GET_STATUS_COUNTERS = 0x835,
    VEDRA_FN_STREAMING_COMMAND = 0x840,
    VEDRA_FN_SET_SAMPLE_RATE = 0x900,
    VEDRA_FN_SET_BUFFER_SETTINGS = 0x901,
    VEDRA_FN_ANNOUNCE_SAMPLE_RATE = 0x902,
    VEDRA_FN_SET_POLICY = 0x903,
    VEDRA_FN_GET_POLICY = 0x904,
    VEDRA_FN_SELECT_STREAMING_DEVICE = 0x910,
    VEDRA_FN_GET_CHANNEL_LAYOUT = 0xB00,
    VEDRA_FN_SET_VIRTUAL_CHANNELS = 0xB08,
    VEDRA_FN_SET_WDM_CHANNEL_NAMES = 0xB10,
    VEDRA_FN_SET_WDM_PIN_NAMES = 0xB11,
    VEDRA_FN_GET_SPDIF_INPUT_STATUS = 0xB20,
    VEDRA_FN_SET_SPDIF_PASS_THROUGH = 0xB21,
    VEDRA_FN_GET_SPDIF_PASS_THROUGH = 0xB22,
    VEDRA_FN_GET_SOURCE_LEVELS = 0xB30,
    VEDRA_FN_GET_DESTINATION_LEVELS = 0xB31,
    VEDRA_FN_GET_MIXER_PINS = 0xB38,
    VEDRA_FN_GET_PIN_GAINS = 0xB40,
    VEDRA_FN_GET_CROSSPOINTS = 0xB41,
    VEDRA_FN_SET_PIN_GAINS = 0xB44,
    VEDRA_FN_SET_CROSSPOINTS = 0xB45,
    VEDRA_FN_SET_BYPASS_VOLUME = 0xB46,
    VEDRA_FN_GET_BYPASS_VOLUME = 0xB47,
    VEDRA_FN_SET_BYPASS_MUTE = 0xB48,
    VEDRA_FN_GET_BYPASS_MUTE = 0xB49,
    VEDRA_FN_GET_ENDPOINT_VOLUME = 0xB70,
    VEDRA_FN_SET_ENDPOINT_VOLUME = 0xB71,
    VEDRA_FN_SET_EFFECT_PARAMETERS = 0xB90,
    VEDRA_FN_GET_EFFECT_PARAMETERS = 0xB91,
    VEDRA_FN_SET_CONTROL_VALUE = 0xC20,
    VEDRA_FN_SET_CONTROL_SWITCH = 0xC22,
};

#define VEDRA_IOCTL(name) constexpr uint32_t VEDRA_IOCTL_##name = VedraControlCode(VEDRA_FN_##name)
VEDRA_IOCTL(GET_INTERFACE_VERSION);
VEDRA_IOCTL(SEND_MESSAGE);
VEDRA_IOCTL(RECEIVE_MESSAGE);
VEDRA_IOCTL(RECEIVE_NOTIFICATION);
VEDRA_IOCTL(SET_NOTIFICATION_EVENTS);
VEDRA_IOCTL(REGISTER_ROLE);
VEDRA_IOCTL(GET_DEVICE_LIST);
VEDRA_IOCTL(BIND_DEVICE);
VEDRA_IOCTL(GET_ASIO_INPUT_CHANNELS);
VEDRA_IOCTL(GET_ASIO_OUTPUT_CHANNELS);
VEDRA_IOCTL(GET_CHANNEL_INFO);
VEDRA_IOCTL(GET_SAMPLE_RATE_INFO);
VEDRA_IOCTL(GET_BUFFER_SETTINGS);
VEDRA_IOCTL(GET_STREAMING_STATUS);
VEDRA_IOCTL(GET_STATUS_COUNTERS);
VEDRA_IOCTL(STREAMING_COMMAND);
VEDRA_IOCTL(SET_SAMPLE_RATE);
VEDRA_IOCTL(SET_BUFFER_SETTINGS);
VEDRA_IOCTL(ANNOUNCE_SAMPLE_RATE);
VEDRA_IOCTL(SET_POLICY);
VEDRA_IOCTL(GET_POLICY);
VEDRA_IOCTL(SELECT_STREAMING_DEVICE);
VEDRA_IOCTL(GET_CHANNEL_LAYOUT);
VEDRA_IOCTL(SET_VIRTUAL_CHANNELS);
VEDRA_IOCTL(SET_WDM_CHANNEL_NAMES);
VEDRA_IOCTL(SET_WDM_PIN_NAMES);
VEDRA_IOCTL(GET_SPDIF_INPUT_STATUS);
VEDRA_IOCTL(SET_SPDIF_PASS_THROUGH);
VEDRA_IOCTL(GET_SPDIF_PASS_THROUGH);
VEDRA_IOCTL(GET_SOURCE_LEVELS);
VEDRA_IOCTL(GET_DESTINATION_LEVELS);
VEDRA_IOCTL(GET_MIXER_PINS);
VEDRA_IOCTL(GET_PIN_GAINS);
VEDRA_IOCTL(GET_CROSSPOINTS);
VEDRA_IOCTL(SET_PIN_GAINS);
VEDRA_IOCTL(SET_CROSSPOINTS);
VEDRA_IOCTL(SET_BYPASS_VOLUME);
VEDRA_IOCTL(GET_BYPASS_VOLUME);
VEDRA_IOCTL(SET_BYPASS_MUTE);
VEDRA_IOCTL(GET_BYPASS_MUTE);
VEDRA_IOCTL(GET_ENDPOINT_VOLUME);
VEDRA_IOCTL(SET_ENDPOINT_VOLUME);
VEDRA_IOCTL(SET_EFFECT_PARAMETERS);
VEDRA_IOCTL(GET_EFFECT_PARAMETERS);
VEDRA_IOCTL(SET_CONTROL_VALUE);
VEDRA_IOCTL(SET_CONTROL_SWITCH);
#undef VEDRA_IOCTL

static_assert(VEDRA_IOCTL_GET_INTERFACE_VERSION == 0x80882004u, "control code formula");
static_assert(VEDRA_IOCTL_SET_CONTROL_SWITCH == 0x80883088u, "control code formula");
static_assert(VEDRA_IOCTL_GET_EFFECT_PARAMETERS == 0x80882e44u, "control code formula");

// Roles a driver-level connection registers (VEDRA_FN_REGISTER_ROLE).
enum VedraRole : uint32_t {
    VEDRA_ROLE_SERVER = 0,
    VEDRA_ROLE_PANEL = 2,
    VEDRA_ROLE_PANEL_VISIBLE = 3,
    VEDRA_ROLE_PANEL_MIXER = 4,
};

// ---------------------------------------------------------------------------
// Messages exchanged through the driver's queues.

enum VedraMessageType : uint32_t {
    VEDRA_MSG_NONE = 0,
    VEDRA_MSG_REQUEST = 1,
    VEDRA_MSG_REPLY = 2,
    VEDRA_MSG_NOTIFICATION = 3,
};

enum VedraMessageCode : uint32_t {
    // Requests from clients to the server.
    VEDRA_REQ_SET_SAMPLE_RATE = 1001,
    VEDRA_REQ_SET_BUFFER_SETTINGS = 1002,
    VEDRA_REQ_SELECT_STREAMING_DEVICE = 1003,
    VEDRA_REQ_1004 = 1004,
    VEDRA_REQ_SET_POLICY = 1005,
    VEDRA_REQ_SET_SOUND_DEVICE_CONFIG = 11001,
    VEDRA_REQ_GET_SOUND_DEVICE_CONFIG = 11002,
    // Replies.
    VEDRA_REPLY_GENERIC = 2001,
    VEDRA_REPLY_SOUND_DEVICE_CONFIG = 12001,
    // Notifications from the driver to the clients.
    VEDRA_NTF_SETTINGS_CHANGED = 3001,
    // Notifications from the driver to the server.
    VEDRA_NTF_STREAMING_DEMAND = 3003,
    VEDRA_NTF_STREAMING_DEMAND_ENDED = 3004,
    VEDRA_NTF_DEVICE_LIST_CHANGED = 3005,
    VEDRA_NTF_3006 = 3006,
    // Notifications from the server to the clients.
    VEDRA_NTF_SERVER_SETTINGS_CHANGED = 3010,
    VEDRA_NTF_SERVER_SAMPLE_RATE_CHANGED = 3011,
    // Notifications from the driver to the server.
    VEDRA_NTF_3015 = 3015,
    VEDRA_NTF_3016 = 3016,
    VEDRA_NTF_CLIENT_REGISTERED = 3020,
    VEDRA_NTF_3021 = 3021,
    // From the server to the clients.
    VEDRA_NTF_DEVICE_LIST = 3030,
    // From the driver, payload a VedraDeviceId.
    VEDRA_NTF_DEVICE_STATE_CHANGED = 3040,
    VEDRA_NTF_MIXER_TOPOLOGY_CHANGED = 3050,
    VEDRA_NTF_MIXER_GAINS_CHANGED = 3051,
    VEDRA_NTF_CROSSPOINTS_CHANGED = 3052,
    // From the driver to the server, payload VedraEndpointChange.
    VEDRA_NTF_ENDPOINT_CHANGED = 3060,
};

constexpr uint32_t VEDRA_MESSAGE_HEADER_SIZE = 32;
constexpr uint32_t VEDRA_MESSAGE_PAYLOAD_SIZE = 512;

struct VedraMessage {
    uint32_t headerSize;    // always 32
    uint32_t payloadLength; // bytes used in payload, 0..512
    uint32_t type;          // VedraMessageType
    uint32_t code;          // VedraMessageCode
    uint32_t sequence;      // set by the requesting client, copied into the reply
    uint32_t route1;        // routing words: filled in by the driver, copied into the reply
    uint32_t route2;
    uint32_t status;        // a reply's VedraStatus
    uint8_t payload[VEDRA_MESSAGE_PAYLOAD_SIZE];
};
static_assert(sizeof(VedraMessage) == 544, "VedraMessage");
static_assert(offsetof(VedraMessage, payloadLength) == 4, "VedraMessage");
static_assert(offsetof(VedraMessage, type) == 8, "VedraMessage");
static_assert(offsetof(VedraMessage, code) == 12, "VedraMessage");
static_assert(offsetof(VedraMessage, sequence) == 16, "VedraMessage");
static_assert(offsetof(VedraMessage, route1) == 20, "VedraMessage");
static_assert(offsetof(VedraMessage, route2) == 24, "VedraMessage");
static_assert(offsetof(VedraMessage, status) == 28, "VedraMessage");
static_assert(offsetof(VedraMessage, payload) == 32, "VedraMessage");

// ---------------------------------------------------------------------------
// Connection records.

struct VedraInterfaceVersion {
    uint32_t interfaceMajor; // this system requires 2
    uint32_t interfaceMinor;
    uint32_t driverMajor;
    uint32_t driverMinor;
    uint32_t driverBuild;
    uint32_t flags; // bit 0: debug build
};
static_assert(sizeof(VedraInterfaceVersion) == 24, "VedraInterfaceVersion");
static_assert(offsetof(VedraInterfaceVersion, flags) == 20, "VedraInterfaceVersion");

constexpr uint32_t VEDRA_INTERFACE_MAJOR = 2;
constexpr uint32_t VEDRA_VERSION_FLAG_DEBUG = 0x1;

// Input of VEDRA_FN_SET_NOTIFICATION_EVENTS: event handles widened to 64 bits, 0 = none.
struct VedraNotificationEvents {
    uint64_t messageEvent;
    uint64_t notificationEvent;
};
static_assert(sizeof(VedraNotificationEvents) == 16, "VedraNotificationEvents");
static_assert(offsetof(VedraNotificationEvents, notificationEvent) == 8, "VedraNotificationEvents");

// ---------------------------------------------------------------------------
// Device list.

struct VedraDeviceId {
    uint32_t low;
    uint32_t high;
};
static_assert(sizeof(VedraDeviceId) == 8, "VedraDeviceId");

constexpr uint32_t VEDRA_SERIAL_NUMBER_CHARS = 20;
constexpr uint32_t VEDRA_DEVICE_NAME_CHARS = 42;
constexpr uint32_t VEDRA_MAX_DEVICES = 8;

constexpr uint8_t VEDRA_PORT_HIGH_SPEED = 0x1;
constexpr uint8_t VEDRA_FEATURE_EFFECT = 0x1;
constexpr uint8_t VEDRA_STREAM_SELECTED = 0x1;

struct VedraDeviceEntry {
    VedraDeviceId id;
    uint16_t model;
    uint16_t variant;
    wchar_t serialNumber[VEDRA_SERIAL_NUMBER_CHARS]; // zero-terminated when well formed
    wchar_t name[VEDRA_DEVICE_NAME_CHARS];           // zero-terminated when well formed
    uint8_t portFlags;
    uint8_t featureFlags;
    uint8_t streamFlags;
    uint8_t reserved;
};
static_assert(sizeof(VedraDeviceEntry) == 140, "VedraDeviceEntry");
static_assert(offsetof(VedraDeviceEntry, model) == 8, "VedraDeviceEntry");
static_assert(offsetof(VedraDeviceEntry, variant) == 10, "VedraDeviceEntry");
static_assert(offsetof(VedraDeviceEntry, serialNumber) == 12, "VedraDeviceEntry");
static_assert(offsetof(VedraDeviceEntry, name) == 52, "VedraDeviceEntry");
static_assert(offsetof(VedraDeviceEntry, portFlags) == 136, "VedraDeviceEntry");
static_assert(offsetof(VedraDeviceEntry, featureFlags) == 137, "VedraDeviceEntry");
static_assert(offsetof(VedraDeviceEntry, streamFlags) == 138, "VedraDeviceEntry");

struct VedraDeviceList {
    uint32_t count; // from the driver: never trusted beyond VEDRA_MAX_DEVICES
    VedraDeviceEntry entries[VEDRA_MAX_DEVICES];
};
static_assert(sizeof(VedraDeviceList) == 1124, "VedraDeviceList");
static_assert(offsetof(VedraDeviceList, entries) == 4, "VedraDeviceList");

// ---------------------------------------------------------------------------
// Driver settings and status.

enum VedraStreamingState : uint32_t {
    VEDRA_STATE_UNDEFINED = 0,
    VEDRA_STATE_DOWN = 1,
    VEDRA_STATE_READY = 2,
    VEDRA_STATE_PREPARED = 3,
    VEDRA_STATE_RUNNING = 4,
    VEDRA_STATE_ERROR = 5,
    VEDRA_STATE_USB11 = 6,
};

enum VedraStreamingCommandCode : uint32_t {
    VEDRA_CMD_RECOVER = 1,        // 5 or 6 -> 1
    VEDRA_CMD_BRING_UP = 2,       // 1 -> 2, argument: reconfigure flag
    VEDRA_CMD_TAKE_DOWN = 3,      // 2 -> 1, argument: reconfigure flag
    VEDRA_CMD_PREPARE = 4,        // 2 -> 3
    VEDRA_CMD_RUN = 5,            // 3 -> 4
    VEDRA_CMD_STOP = 6,           // 3 or 4 -> 2
};

struct VedraStreamingCommand {
    uint32_t command;
    uint32_t argument;
};
static_assert(sizeof(VedraStreamingCommand) == 8, "VedraStreamingCommand");

struct VedraStreamingStatus {
    uint32_t state; // VedraStreamingState
    uint32_t selectionMode; // 0 one selected unit streams, 1 all units
    uint32_t sampleRate;
    uint32_t demandA;
    uint32_t inUseA;
    uint32_t inUseB;
    uint32_t demandB;
    uint32_t demandC;
    uint32_t reserved;
};
static_assert(sizeof(VedraStreamingStatus) == 36, "VedraStreamingStatus");
static_assert(offsetof(VedraStreamingStatus, inUseA) == 16, "VedraStreamingStatus");
static_assert(offsetof(VedraStreamingStatus, demandC) == 28, "VedraStreamingStatus");

constexpr uint32_t VEDRA_MAX_SAMPLE_RATES = 10;

struct VedraSampleRateInfo {
    uint32_t sampleRate;
    uint32_t rateCount; // from the driver: never trusted beyond VEDRA_MAX_SAMPLE_RATES
    uint32_t rates[VEDRA_MAX_SAMPLE_RATES];
};
static_assert(sizeof(VedraSampleRateInfo) == 48, "VedraSampleRateInfo");
static_assert(offsetof(VedraSampleRateInfo, rates) == 8, "VedraSampleRateInfo");

struct VedraBufferSettings {
    uint32_t streamingBufferSize; // class 0..5
    uint32_t asioBufferSize;      // class 0..3
    uint32_t reserved;            // written back unchanged
    uint32_t streamingBufferTime; // microseconds
    uint32_t asioBufferTime;      // microseconds
    uint32_t asioBufferSamples;
    uint32_t unused[2];
};
static_assert(sizeof(VedraBufferSettings) == 32, "VedraBufferSettings");
static_assert(offsetof(VedraBufferSettings, streamingBufferTime) == 12, "VedraBufferSettings");
static_assert(offsetof(VedraBufferSettings, asioBufferSamples) == 20, "VedraBufferSettings");
// SetBufferSettings and message 1002 carry only the first three words.
constexpr uint32_t VEDRA_BUFFER_SETTINGS_SET_SIZE = 12;

struct VedraStatusCounters {
    uint32_t streamingErrors;
    uint32_t fifoErrors;
    uint32_t asioErrors;
    uint32_t wdmAudioErrors;
    uint32_t wdmMidiErrors;
};
static_assert(sizeof(VedraStatusCounters) == 20, "VedraStatusCounters");

constexpr uint32_t VEDRA_MAX_CHANNELS = 96;

struct VedraChannelKey {
    uint32_t key1;
    uint32_t key2;
};
static_assert(sizeof(VedraChannelKey) == 8, "VedraChannelKey");

struct VedraChannelList {
    uint32_t count; // from the driver: never trusted beyond VEDRA_MAX_CHANNELS
    VedraChannelKey keys[VEDRA_MAX_CHANNELS];
};
static_assert(sizeof(VedraChannelList) == 772, "VedraChannelList");

constexpr uint32_t VEDRA_CHANNEL_NAME_CHARS = 42;

struct VedraChannelInfo {
    VedraChannelKey key;
    VedraDeviceId deviceId;
    uint32_t unused[2];
    wchar_t channelName[VEDRA_CHANNEL_NAME_CHARS]; // zero-terminated when well formed
};
static_assert(sizeof(VedraChannelInfo) == 108, "VedraChannelInfo");
static_assert(offsetof(VedraChannelInfo, deviceId) == 8, "VedraChannelInfo");
static_assert(offsetof(VedraChannelInfo, channelName) == 24, "VedraChannelInfo");

struct VedraStreamingDeviceSelection {
    uint32_t allDevices; // 0 only the unit named next, 1 all units
    VedraDeviceId id;
};
static_assert(sizeof(VedraStreamingDeviceSelection) == 12, "VedraStreamingDeviceSelection");
static_assert(offsetof(VedraStreamingDeviceSelection, id) == 4, "VedraStreamingDeviceSelection");

constexpr uint32_t VEDRA_POLICY_FORBID_RATE_CHANGE = 0x1;

// ---------------------------------------------------------------------------
// Device records.

struct VedraSpdifStatus {
    uint32_t input;     // 0 for the unit's one input
    uint32_t lockState; // 0 not streaming, 1 no signal, 2 synchronizing, 3 locked
    uint32_t format;    // when locked: 0 unidentified, 1 PCM, 2 non-PCM
    uint32_t sampleRate;
};
static_assert(sizeof(VedraSpdifStatus) == 16, "VedraSpdifStatus");

struct VedraSpdifPassThrough {
    uint32_t input;
    uint32_t subIndex;
    uint32_t on; // set: the low byte is 1 or 0 and the rest zero; get: nonzero is on
};
static_assert(sizeof(VedraSpdifPassThrough) == 12, "VedraSpdifPassThrough");

constexpr uint32_t VEDRA_ENDPOINT_CHANNELS = 16;
constexpr uint32_t VEDRA_ENDPOINT_KIND_OUTPUT = 2;

struct VedraEndpointVolume {
    uint32_t kind;
    uint32_t index;
    int32_t volume[VEDRA_ENDPOINT_CHANNELS]; // 1/65536 dB
    uint32_t mute[VEDRA_ENDPOINT_CHANNELS];  // nonzero = muted
};
static_assert(sizeof(VedraEndpointVolume) == 136, "VedraEndpointVolume");
static_assert(offsetof(VedraEndpointVolume, volume) == 8, "VedraEndpointVolume");
static_assert(offsetof(VedraEndpointVolume, mute) == 72, "VedraEndpointVolume");

// Payload of notification 3060.
struct VedraEndpointChange {
    VedraDeviceId id;
    uint32_t kind;
    uint32_t value; // the endpoint index for kind 2
};
static_assert(sizeof(VedraEndpointChange) == 16, "VedraEndpointChange");

struct VedraControlSetting {
    uint32_t selector;
    uint32_t value;
};
static_assert(sizeof(VedraControlSetting) == 8, "VedraControlSetting");

// Answer of VEDRA_FN_GET_CHANNEL_LAYOUT, as far as this system reads it.
constexpr uint32_t VEDRA_LAYOUT_ELEMENTS = 16;
constexpr uint32_t VEDRA_LAYOUT_MAX_BLOCKS = 10;

struct VedraLayoutElement {
    uint32_t kind;
    uint32_t unused;
};
static_assert(sizeof(VedraLayoutElement) == 8, "VedraLayoutElement");

struct VedraLayoutBlock {
    VedraLayoutElement first[VEDRA_LAYOUT_ELEMENTS];
    VedraLayoutElement second[VEDRA_LAYOUT_ELEMENTS];
    uint8_t unused[136];
};
static_assert(sizeof(VedraLayoutBlock) == 392, "VedraLayoutBlock");
static_assert(offsetof(VedraLayoutBlock, second) == 128, "VedraLayoutBlock");

struct VedraChannelLayout {
    uint32_t blockCount; // from the driver: never trusted beyond VEDRA_LAYOUT_MAX_BLOCKS
    uint32_t unused;
    VedraLayoutBlock blocks[VEDRA_LAYOUT_MAX_BLOCKS];
    uint8_t tail[128];
};
static_assert(sizeof(VedraChannelLayout) == 4056, "VedraChannelLayout");
static_assert(offsetof(VedraChannelLayout, blocks) == 8, "VedraChannelLayout");

// Virtual input channels (VEDRA_FN_SET_VIRTUAL_CHANNELS).
struct VedraVirtualChannel {
    uint32_t kind; // VEDRA_WDM_KIND_VIRTUAL
    uint32_t value;
};

struct VedraVirtualChannels {
    uint32_t count;
    VedraVirtualChannel entries[16];
    uint32_t unused;
};
static_assert(sizeof(VedraVirtualChannels) == 136, "VedraVirtualChannels");

// WDM channel names (VEDRA_FN_SET_WDM_CHANNEL_NAMES): an input and an output section.
constexpr uint32_t VEDRA_WDM_SECTION_ENTRIES = 32;
constexpr uint32_t VEDRA_WDM_NAME_CHARS = 42; // 41 characters and the terminator
constexpr uint32_t VEDRA_WDM_KIND_HARDWARE = 1;
constexpr uint32_t VEDRA_WDM_KIND_VIRTUAL = 40;

struct VedraWdmChannelEntry {
    uint32_t kind;      // VEDRA_WDM_KIND_*
    uint32_t pairIndex; // channel / 2
    uint32_t side;      // channel % 2
    wchar_t name[VEDRA_WDM_NAME_CHARS];
};
static_assert(sizeof(VedraWdmChannelEntry) == 96, "VedraWdmChannelEntry");
static_assert(offsetof(VedraWdmChannelEntry, name) == 12, "VedraWdmChannelEntry");

struct VedraWdmChannelSection {
    uint32_t count;
    VedraWdmChannelEntry entries[VEDRA_WDM_SECTION_ENTRIES];
};
static_assert(sizeof(VedraWdmChannelSection) == 3076, "VedraWdmChannelSection");

struct VedraWdmChannelNames {
    VedraWdmChannelSection inputs;
    VedraWdmChannelSection outputs;
};
static_assert(sizeof(VedraWdmChannelNames) == 6152, "VedraWdmChannelNames");
static_assert(offsetof(VedraWdmChannelNames, outputs) == 3076, "VedraWdmChannelNames");

// Stereo endpoints (VEDRA_FN_SET_WDM_PIN_NAMES).
constexpr uint32_t VEDRA_WDM_PIN_NAME_CHARS = 44; // 88 bytes; names are cut at 41 characters

struct VedraWdmPinEntry {
    uint32_t kind;
    uint32_t pairCount;
    uint32_t pairs[8];
    uint32_t volumeMapping; // 2: skipped when volumes are synchronised
    uint32_t controlFlags;
    wchar_t name[VEDRA_WDM_PIN_NAME_CHARS];
    uint32_t position;
    int32_t lowerBound; // 1/65536 dB
    int32_t upperBound;
};
static_assert(sizeof(VedraWdmPinEntry) == 148, "VedraWdmPinEntry");
static_assert(offsetof(VedraWdmPinEntry, pairs) == 8, "VedraWdmPinEntry");
static_assert(offsetof(VedraWdmPinEntry, volumeMapping) == 40, "VedraWdmPinEntry");
static_assert(offsetof(VedraWdmPinEntry, controlFlags) == 44, "VedraWdmPinEntry");
static_assert(offsetof(VedraWdmPinEntry, name) == 48, "VedraWdmPinEntry");
static_assert(offsetof(VedraWdmPinEntry, position) == 136, "VedraWdmPinEntry");
static_assert(offsetof(VedraWdmPinEntry, lowerBound) == 140, "VedraWdmPinEntry");
static_assert(offsetof(VedraWdmPinEntry, upperBound) == 144, "VedraWdmPinEntry");

struct VedraWdmPinSection {
    uint32_t count;
    VedraWdmPinEntry entries[VEDRA_WDM_SECTION_ENTRIES];
};
static_assert(sizeof(VedraWdmPinSection) == 4740, "VedraWdmPinSection");

struct VedraWdmPinNames {
    VedraWdmPinSection inputs;
    VedraWdmPinSection outputs;
};
static_assert(sizeof(VedraWdmPinNames) == 9480, "VedraWdmPinNames");
static_assert(offsetof(VedraWdmPinNames, outputs) == 4740, "VedraWdmPinNames");

// ---------------------------------------------------------------------------
// Mixer and effect records (array requests: n records in, the same n out).

enum MixerPinKind : uint8_t {
    MIXER_PIN_ANALOG = 0,
    MIXER_PIN_SPDIF = 1,
    MIXER_PIN_PLAYBACK = 2,
    MIXER_PIN_SPDIF_PLAYBACK = 3,
    MIXER_PIN_VIRTUAL_INPUT = 5,
};

enum MixerPinGroup : uint32_t {
    MIXER_GROUP_DESTINATIONS = 0,
    MIXER_GROUP_INPUT_SOURCES = 1,
    MIXER_GROUP_PLAYBACK_SOURCES = 2,
};

struct MixerPin {
    uint8_t kind; // MixerPinKind
    uint8_t channel;
    uint8_t carried[2];
};
static_assert(sizeof(MixerPin) == 4, "MixerPin");

struct PinLevel {
    MixerPin pin;
    int16_t level; // 1/100 dB
    uint8_t unused[2];
};
static_assert(sizeof(PinLevel) == 8, "PinLevel");
static_assert(offsetof(PinLevel, level) == 4, "PinLevel");

constexpr uint8_t PIN_GAIN_MUTED = 0x1;

struct PinGain {
    MixerPin pin;
    uint8_t carried;
    uint8_t gainFlags; // bit 0: muted
    int16_t gain;      // 1/100 dB
};
static_assert(sizeof(PinGain) == 8, "PinGain");
static_assert(offsetof(PinGain, gainFlags) == 5, "PinGain");
static_assert(offsetof(PinGain, gain) == 6, "PinGain");

constexpr uint8_t CROSSPOINT_CONNECTED = 0x1;

struct Crosspoint {
    MixerPin destination;
    MixerPin source;
    int16_t weight; // 1/100 dB
    uint8_t crosspointFlags; // bit 0: connected
    uint8_t carried;
};
static_assert(sizeof(Crosspoint) == 12, "Crosspoint");
static_assert(offsetof(Crosspoint, weight) == 8, "Crosspoint");
static_assert(offsetof(Crosspoint, crosspointFlags) == 10, "Crosspoint");

constexpr uint32_t EFFECT_MAX_PAIRS = 64;

struct EffectChannelValue {
    uint32_t channel;
    uint32_t value;
};

struct EffectParameterBlock {
    uint32_t parameter;
    uint32_t count;
    EffectChannelValue pairs[EFFECT_MAX_PAIRS];
};
static_assert(sizeof(EffectParameterBlock) == 520, "EffectParameterBlock");
static_assert(offsetof(EffectParameterBlock, pairs) == 8, "EffectParameterBlock");
