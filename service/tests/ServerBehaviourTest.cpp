// What tarvinesvc does with the units and the clients' requests, seen
// through the simulated driver's journal and stored records.
#include "ServiceSimFixture.h"

#include "CustomServer.h"
#include "SoundDeviceRecords.h"
#include "VedraMessage.h"
#include "WnRegistryKey.h"

#include <cstring>

namespace {

using ServerBehaviour = ServiceSimTest;

struct Expected {
    uint32_t function;
    uint32_t word0;
    uint32_t word1;
};

// The requests a starting unit gets, on its own connection.
const Expected kStartSequence[] = {
    {VEDRA_FN_SET_VIRTUAL_CHANNELS, 2, VEDRA_WDM_KIND_VIRTUAL},
    {VEDRA_FN_SET_CROSSPOINTS, 0x0005, 0x0002},
    {VEDRA_FN_GET_CHANNEL_LAYOUT, 0, 0},
    {VEDRA_FN_SET_WDM_CHANNEL_NAMES, 0, 0},
    {VEDRA_FN_SET_WDM_PIN_NAMES, 0, 0},
    {VEDRA_FN_SET_CONTROL_SWITCH, 0, 0},
    {VEDRA_FN_SET_CONTROL_VALUE, 0, 8},
    {VEDRA_FN_SET_CONTROL_SWITCH, 2, 0},
    {VEDRA_FN_SET_CONTROL_VALUE, 2, 8},
};

bool IsUnitRequest(const VedraSimJournalEntry& e)
{
    return FunctionOf(e) >= VEDRA_FN_GET_CHANNEL_LAYOUT;
}

std::vector<VedraSimJournalEntry> UnitRequests(const std::vector<VedraSimJournalEntry>& entries, const VedraDeviceId& id)
{
    return Filter(entries, [&id](const VedraSimJournalEntry& e) { return IsBoundTo(e, id) && IsUnitRequest(e); });
}

// The control switches sent to a unit: (selector, value) pairs.
std::vector<std::pair<uint32_t, uint32_t>> Switches(
    const std::vector<VedraSimJournalEntry>& entries, const VedraDeviceId& id)
{
    std::vector<std::pair<uint32_t, uint32_t>> switches;
    for (const VedraSimJournalEntry& e : UnitRequests(entries, id))
        if (FunctionOf(e) == VEDRA_FN_SET_CONTROL_SWITCH)
            switches.emplace_back(InputWord(e, 0), InputWord(e, 1));
    return switches;
}

std::vector<uint8_t> ChannelNames(bool withHardwareNames)
{
    VedraWdmChannelNames record = {};
    BuildChannelNameRecord(withHardwareNames, record);
    return Bytes(record);
}

std::vector<uint8_t> Endpoints(uint32_t render, uint32_t capture)
{
    VedraWdmPinNames record = {};
    BuildEndpointRecord(render, capture, record);
    return Bytes(record);
}

void WriteDword(const std::wstring& keyPath, const wchar_t* name, uint32_t value)
{
    WnRegistryKey key;
    ASSERT_EQ(0u, key.Create(HKEY_LOCAL_MACHINE, keyPath.c_str(), WnRegistryKey::kReadWrite));
    ASSERT_EQ(0u, key.WriteDword(name, value));
}

TEST_F(ServerBehaviour, EachUnitIsConfiguredWhenTheServiceStarts)
{
    const uint32_t mark = Mark();
    StartConsoleService();
    const std::vector<VedraSimJournalEntry> entries = ServiceRequestsSince(mark);

    VedraVirtualChannels channels = {};
    BuildVirtualChannelRecord(channels);
    Crosspoint crosspoints[kLoopbackCrosspointCount] = {};
    BuildLoopbackCrosspoints(crosspoints);
    for (uint32_t unit = 0; unit < 2; ++unit) {
        SCOPED_TRACE(testing::Message() << "unit " << unit);
        const VedraDeviceId id = Unit(unit).entry.id;
        const std::vector<VedraSimJournalEntry> requests = UnitRequests(entries, id);
        ASSERT_EQ(std::size(kStartSequence), requests.size()) << Describe(requests);
        for (size_t i = 0; i < requests.size(); ++i) {
            EXPECT_EQ(kStartSequence[i].function, FunctionOf(requests[i])) << Describe(requests);
            EXPECT_EQ(0u, requests[i].status) << Describe(requests);
            if (kStartSequence[i].function >= VEDRA_FN_SET_CONTROL_VALUE) {
                EXPECT_EQ(kStartSequence[i].word0, InputWord(requests[i], 0)) << Describe(requests);
                EXPECT_EQ(kStartSequence[i].word1, InputWord(requests[i], 1)) << Describe(requests);
            }
        }
        // The crosspoints fit the journal's input bytes: compare them whole.
        ASSERT_EQ(sizeof(crosspoints), requests[1].inputLength);
        EXPECT_EQ(0, memcmp(crosspoints, requests[1].input, sizeof(crosspoints)));

        EXPECT_EQ(Bytes(channels), Record(unit, VSIM_RECORD_VIRTUAL_CHANNELS));
        EXPECT_EQ(ChannelNames(true), Record(unit, VSIM_RECORD_WDM_CHANNEL_NAMES));
        EXPECT_EQ(Endpoints(0, 0), Record(unit, VSIM_RECORD_WDM_PIN_NAMES));

        // A unit seen for the first time gets its (empty) key.
        WnRegistryKey key;
        EXPECT_EQ(0u, key.Open(HKEY_LOCAL_MACHINE, DeviceKeyPath(unit).c_str(), KEY_READ));
    }
    StopConsoleService();
}

TEST_F(ServerBehaviour, UnitWithKind2LayoutGetsOnlyTheVirtualInputNames)
{
    ResetTo(VSIM_SCENARIO_KIND2);
    StartConsoleService();
    const std::vector<uint8_t> names = Record(0, VSIM_RECORD_WDM_CHANNEL_NAMES);
    EXPECT_EQ(ChannelNames(false), names);
    VedraWdmChannelNames record = {};
    ASSERT_EQ(sizeof(record), names.size());
    memcpy(&record, names.data(), sizeof(record));
    EXPECT_EQ(4u, record.inputs.count);
    EXPECT_EQ(0u, record.outputs.count);
    StopConsoleService();
}

TEST_F(ServerBehaviour, SoundDeviceConfigurationIsReadFromTheRegistry)
{
    const std::wstring key0 = DeviceKeyPath(0);
    const std::wstring key1 = DeviceKeyPath(1);
    WriteDword(key0, L"WdmRenderSoundDeviceConfiguration", 1);
    WriteDword(key1, L"WdmRenderSoundDeviceConfiguration", 1);
    WriteDword(key1, L"WdmCaptureSoundDeviceConfiguration", 3);
    // Values of another type are not a configuration.
    {
        WnRegistryKey key;
        ASSERT_EQ(0u, key.Create(HKEY_LOCAL_MACHINE, key0.c_str(), WnRegistryKey::kReadWrite));
        ASSERT_EQ(0u, key.WriteString(L"WdmCaptureSoundDeviceConfiguration", L"1", REG_SZ));
    }
    StartConsoleService();
    EXPECT_EQ(Endpoints(1, 0), Record(0, VSIM_RECORD_WDM_PIN_NAMES));
    EXPECT_EQ(Endpoints(1, 3), Record(1, VSIM_RECORD_WDM_PIN_NAMES));
    // The mono names do not depend on it.
    EXPECT_EQ(ChannelNames(true), Record(0, VSIM_RECORD_WDM_CHANNEL_NAMES));

    // 11002 reports what the unit holds.
    SoundDeviceConfigurationPayload payload = {Unit(1).entry.id, 77, 77};
    VedraMessage reply;
    EXPECT_EQ(0u, Request(VEDRA_REQ_GET_SOUND_DEVICE_CONFIG, &payload, sizeof(payload), &reply));
    EXPECT_EQ(static_cast<uint32_t>(VEDRA_REPLY_SOUND_DEVICE_CONFIG), reply.code);
    ASSERT_EQ(sizeof(payload), reply.payloadLength);
    SoundDeviceConfigurationPayload answer = {};
    memcpy(&answer, reply.payload, sizeof(answer));
    EXPECT_EQ(payload.id.low, answer.id.low);
    EXPECT_EQ(payload.id.high, answer.id.high);
    EXPECT_EQ(1u, answer.renderConfiguration);
    EXPECT_EQ(3u, answer.captureConfiguration);
    StopConsoleService();
}

TEST_F(ServerBehaviour, ControlsAreSwitchedOnForRunningAndOffForReady)
{
    StartConsoleService();
    const VedraDeviceId id0 = Unit(0).entry.id;
    const VedraDeviceId id1 = Unit(1).entry.id;
    const std::vector<std::pair<uint32_t, uint32_t>> on = {{0, 1}, {2, 1}};
    const std::vector<std::pair<uint32_t, uint32_t>> off = {{0, 0}, {2, 0}};

    uint32_t mark = Mark();
    ASSERT_EQ(0u, sim::SetStreams(control, VedraSimStreams{1, 0, 0, 0, 0}));
    WaitUntilServerIdle();
    VedraSimState state = {};
    ASSERT_EQ(0u, sim::GetState(control, state));
    EXPECT_EQ(static_cast<uint32_t>(VEDRA_STATE_RUNNING), state.streaming.state);
    std::vector<VedraSimJournalEntry> entries = ServiceRequestsSince(mark);
    EXPECT_EQ(on, Switches(entries, id0)) << Describe(entries);
    EXPECT_EQ(on, Switches(entries, id1)) << Describe(entries);

    mark = Mark();
    ASSERT_EQ(0u, sim::SetStreams(control, VedraSimStreams{0, 0, 0, 0, 0}));
    WaitUntilServerIdle();
    ASSERT_EQ(0u, sim::GetState(control, state));
    EXPECT_EQ(static_cast<uint32_t>(VEDRA_STATE_READY), state.streaming.state);
    entries = ServiceRequestsSince(mark);
    EXPECT_EQ(off, Switches(entries, id0)) << Describe(entries);
    EXPECT_EQ(off, Switches(entries, id1)) << Describe(entries);
    StopConsoleService();
}

TEST_F(ServerBehaviour, SettingRequestsWithAndWithoutOpenStreams)
{
    StartConsoleService();
    VedraSimState state = {};
    ASSERT_EQ(0u, sim::GetState(control, state));
    const uint32_t newRate = state.streaming.sampleRate == 48000 ? 44100 : 48000;

    // A real rate change: announced, streaming taken down and up again.
    uint32_t mark = Mark();
    EXPECT_EQ(0u, Request(VEDRA_REQ_SET_SAMPLE_RATE, &newRate, sizeof(newRate)));
    ASSERT_EQ(0u, sim::GetState(control, state));
    EXPECT_EQ(newRate, state.streaming.sampleRate);
    std::vector<VedraSimJournalEntry> entries = ServiceRequestsSince(mark);
    EXPECT_FALSE(Filter(entries, [](const VedraSimJournalEntry& e) {
        return FunctionOf(e) == VEDRA_FN_ANNOUNCE_SAMPLE_RATE;
    }).empty()) << Describe(entries);

    VedraBufferSettings buffers = {};
    buffers.streamingBufferSize = 3;
    buffers.asioBufferSize = 2;
    EXPECT_EQ(0u, Request(VEDRA_REQ_SET_BUFFER_SETTINGS, &buffers, VEDRA_BUFFER_SETTINGS_SET_SIZE));
    EXPECT_EQ(static_cast<uint32_t>(VEDRA_STATUS_INVALID_MSG_SIZE),
        Request(VEDRA_REQ_SET_BUFFER_SETTINGS, &buffers, 8));
    VedraStreamingDeviceSelection selection = {1, {0, 0}};
    EXPECT_EQ(0u, Request(VEDRA_REQ_SELECT_STREAMING_DEVICE, &selection, sizeof(selection)));

    // An application has the sound device open: no rate change, but the policy may.
    ASSERT_EQ(0u, sim::SetStreams(control, VedraSimStreams{0, 0, 1, 0, 0}));
    const uint32_t otherRate = newRate == 48000 ? 44100 : 48000;
    EXPECT_EQ(static_cast<uint32_t>(VEDRA_STATUS_SOUND_DEVICE_IN_USE),
        Request(VEDRA_REQ_SET_SAMPLE_RATE, &otherRate, sizeof(otherRate)));
    EXPECT_EQ(static_cast<uint32_t>(VEDRA_STATUS_SOUND_DEVICE_IN_USE),
        Request(VEDRA_REQ_SET_BUFFER_SETTINGS, &buffers, VEDRA_BUFFER_SETTINGS_SET_SIZE));
    const uint32_t policy = state.policy ^ VEDRA_POLICY_FORBID_RATE_CHANGE;
    EXPECT_EQ(0u, Request(VEDRA_REQ_SET_POLICY, &policy, sizeof(policy)));
    ASSERT_EQ(0u, sim::GetState(control, state));
    EXPECT_EQ(policy, state.policy);
    EXPECT_EQ(newRate, state.streaming.sampleRate);
    StopConsoleService();
}

TEST_F(ServerBehaviour, SoundDeviceConfigurationRequests)
{
    const std::wstring key0 = DeviceKeyPath(0);
    WriteDword(key0, L"WdmRenderSoundDeviceConfiguration", 1);
    WriteDword(key0, L"WdmCaptureSoundDeviceConfiguration", 1);
    StartConsoleService();
    const VedraDeviceId id = Unit(0).entry.id;
    ASSERT_EQ(Endpoints(1, 1), Record(0, VSIM_RECORD_WDM_PIN_NAMES));

    struct Refused {
        uint32_t code;
        SoundDeviceConfigurationPayload payload;
        uint32_t length;
        VedraStatus status;
    };
    const Refused refused[] = {
        {VEDRA_REQ_SET_SOUND_DEVICE_CONFIG, {id, 0, 1}, 16, VEDRA_STATUS_INVALID_PARAMETER},
        {VEDRA_REQ_SET_SOUND_DEVICE_CONFIG, {id, 1, 0}, 16, VEDRA_STATUS_INVALID_PARAMETER},
        {VEDRA_REQ_SET_SOUND_DEVICE_CONFIG, {{id.low + 100, id.high}, 0, 0}, 16, VEDRA_STATUS_OBJECT_NOT_FOUND},
        {VEDRA_REQ_GET_SOUND_DEVICE_CONFIG, {{id.low + 100, id.high}, 0, 0}, 16, VEDRA_STATUS_OBJECT_NOT_FOUND},
        {VEDRA_REQ_SET_SOUND_DEVICE_CONFIG, {id, 0, 0}, 15, VEDRA_STATUS_INVALID_MSG_SIZE},
        {VEDRA_REQ_GET_SOUND_DEVICE_CONFIG, {id, 0, 0}, 12, VEDRA_STATUS_INVALID_MSG_SIZE},
        {VEDRA_REQ_SET_SOUND_DEVICE_CONFIG, {id, 0, 0}, 20, VEDRA_STATUS_INVALID_LENGTH},
        {11003, {id, 0, 0}, 16, VEDRA_STATUS_INVALID_COMMAND},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(testing::Message() << "code " << r.code << ", " << r.length << " bytes");
        uint8_t payload[32] = {};
        memcpy(payload, &r.payload, sizeof(r.payload));
        EXPECT_EQ(static_cast<uint32_t>(r.status), Request(r.code, payload, r.length));
    }

    // While an application streams nothing changes and streaming goes on.
    ASSERT_EQ(0u, sim::SetStreams(control, VedraSimStreams{0, 1, 0, 0, 0}));
    WaitUntilServerIdle();
    SoundDeviceConfigurationPayload reset = {id, 0, 0};
    uint32_t mark = Mark();
    EXPECT_EQ(static_cast<uint32_t>(VEDRA_STATUS_SOUND_DEVICE_IN_USE),
        Request(VEDRA_REQ_SET_SOUND_DEVICE_CONFIG, &reset, sizeof(reset)));
    std::vector<VedraSimJournalEntry> entries = ServiceRequestsSince(mark);
    EXPECT_TRUE(Filter(entries, [](const VedraSimJournalEntry& e) {
        return FunctionOf(e) == VEDRA_FN_STREAMING_COMMAND || FunctionOf(e) == VEDRA_FN_SET_WDM_PIN_NAMES;
    }).empty()) << Describe(entries);
    EXPECT_EQ(Endpoints(1, 1), Record(0, VSIM_RECORD_WDM_PIN_NAMES));

    ASSERT_EQ(0u, sim::SetStreams(control, VedraSimStreams{0, 0, 0, 0, 0}));
    WaitUntilServerIdle();
    EXPECT_EQ(0u, Request(VEDRA_REQ_SET_SOUND_DEVICE_CONFIG, &reset, sizeof(reset)));
    EXPECT_EQ(Endpoints(0, 0), Record(0, VSIM_RECORD_WDM_PIN_NAMES));
    WnRegistryKey key;
    ASSERT_EQ(0u, key.Open(HKEY_LOCAL_MACHINE, key0.c_str(), KEY_READ));
    uint32_t render = 9;
    uint32_t capture = 9;
    EXPECT_EQ(0u, key.ReadDword(L"WdmRenderSoundDeviceConfiguration", render));
    EXPECT_EQ(0u, key.ReadDword(L"WdmCaptureSoundDeviceConfiguration", capture));
    EXPECT_EQ(0u, render);
    EXPECT_EQ(0u, capture);
    StopConsoleService();
}

TEST_F(ServerBehaviour, UnitWhoseFirstControlSwitchFailsGetsBothAndIsDropped)
{
    // The first switch request the driver sees is unit 0's selector 0.
    ASSERT_EQ(0u, sim::SetFault(control, VEDRA_FN_SET_CONTROL_SWITCH, 1, VEDRA_STATUS_FAILED, 0));
    const uint32_t mark = Mark();
    StartConsoleService();
    const VedraDeviceId failed = Unit(0).entry.id;
    const VedraDeviceId started = Unit(1).entry.id;
    const std::vector<VedraSimJournalEntry> requests = UnitRequests(ServiceRequestsSince(mark), failed);
    ASSERT_EQ(std::size(kStartSequence) - 1, requests.size()) << Describe(requests);
    const size_t first = requests.size() - 3;
    EXPECT_EQ(static_cast<uint32_t>(VEDRA_FN_SET_CONTROL_SWITCH), FunctionOf(requests[first]));
    EXPECT_EQ(0u, InputWord(requests[first], 0));
    EXPECT_EQ(static_cast<uint32_t>(VEDRA_STATUS_FAILED), requests[first].status);
    // No value after the failed switch, but selector 2 is still tried.
    EXPECT_EQ(static_cast<uint32_t>(VEDRA_FN_SET_CONTROL_SWITCH), FunctionOf(requests[first + 1]));
    EXPECT_EQ(2u, InputWord(requests[first + 1], 0));
    EXPECT_EQ(static_cast<uint32_t>(VEDRA_FN_SET_CONTROL_VALUE), FunctionOf(requests[first + 2]));
    EXPECT_EQ(2u, InputWord(requests[first + 2], 0));

    // The server dropped the unit whose start failed and kept the other.
    SoundDeviceConfigurationPayload payload = {failed, 0, 0};
    EXPECT_EQ(static_cast<uint32_t>(VEDRA_STATUS_OBJECT_NOT_FOUND),
        Request(VEDRA_REQ_GET_SOUND_DEVICE_CONFIG, &payload, sizeof(payload)));
    payload.id = started;
    EXPECT_EQ(0u, Request(VEDRA_REQ_GET_SOUND_DEVICE_CONFIG, &payload, sizeof(payload)));
    StopConsoleService();
}

// A connection of the test's own, bound to unit 0, to change and read gains.
class UnitConnection : public VedraDriver {
public:
    VedraDevice* Unit0()
    {
        bool changed = false;
        if (Attach(VEDRA_INTERFACE_GUID_STRING, false, false) != 0 || UpdateDevices(changed) != 0)
            return nullptr;
        return DeviceAt(0);
    }
};

TEST_F(ServerBehaviour, GainsAndEndpointVolumesFollowEachOther)
{
    StartConsoleService();
    UnitConnection connection;
    VedraDevice* unit = connection.Unit0();
    ASSERT_NE(nullptr, unit);

    // The mixer's output gains of pair 0 move: endpoint 0 follows.
    PinGain gains[2] = {};
    gains[0].pin = {MIXER_PIN_ANALOG, 0, {0, 0}};
    gains[0].gain = -600;
    gains[1].pin = {MIXER_PIN_ANALOG, 1, {0, 0}};
    gains[1].gain = 1;
    gains[1].gainFlags = PIN_GAIN_MUTED;
    ASSERT_EQ(0u, unit->SetPinGains(gains, 2));
    WaitUntilServerIdle();
    std::vector<uint8_t> bytes = Record(0, VSIM_RECORD_ENDPOINT_VOLUME, 0);
    VedraEndpointVolume volume = {};
    ASSERT_EQ(sizeof(volume), bytes.size());
    memcpy(&volume, bytes.data(), sizeof(volume));
    EXPECT_EQ(-393216, volume.volume[0]);
    EXPECT_EQ(655, volume.volume[1]);
    EXPECT_EQ(0u, volume.mute[0]);
    EXPECT_EQ(1u, volume.mute[1]);

    // The operating system moves endpoint volumes: the gains follow, held
    // to +-90 dB.
    struct Case {
        uint32_t endpoint;
        int32_t left;
        int32_t right;
        int16_t leftGain;
        int16_t rightGain;
    };
    const Case cases[] = {
        {1, INT32_MIN, 655360000, -9000, 9000},
        {2, -655360000, -393216, -9000, -600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "endpoint " << c.endpoint);
        VedraSimEndpointVolume change = {};
        change.unitIndex = 0;
        change.volume.kind = VEDRA_ENDPOINT_KIND_OUTPUT;
        change.volume.index = c.endpoint;
        change.volume.volume[0] = c.left;
        change.volume.volume[1] = c.right;
        change.volume.mute[0] = 1;
        ASSERT_EQ(0u, control.Write(VSIM_IOCTL_SET_ENDPOINT_VOLUME, change));
        WaitUntilServerIdle();
        PinGain read[2] = {};
        read[0].pin = {MIXER_PIN_ANALOG, static_cast<uint8_t>(2 * c.endpoint), {0, 0}};
        read[1].pin = {MIXER_PIN_ANALOG, static_cast<uint8_t>(2 * c.endpoint + 1), {0, 0}};
        ASSERT_EQ(0u, unit->GetPinGains(read, 2));
        EXPECT_EQ(c.leftGain, read[0].gain);
        EXPECT_EQ(c.rightGain, read[1].gain);
        EXPECT_EQ(PIN_GAIN_MUTED, read[0].gainFlags & PIN_GAIN_MUTED);
        EXPECT_EQ(0, read[1].gainFlags & PIN_GAIN_MUTED);
    }
    StopConsoleService();
}

TEST_F(ServerBehaviour, WithoutOutputEndpointsNoVolumesAreSynchronised)
{
    WriteDword(DeviceKeyPath(0), L"WdmRenderSoundDeviceConfiguration", 1);
    StartConsoleService();
    const VedraDeviceId id = Unit(0).entry.id;
    UnitConnection connection;
    VedraDevice* unit = connection.Unit0();
    ASSERT_NE(nullptr, unit);

    const uint32_t mark = Mark();
    PinGain gain = {};
    gain.pin = {MIXER_PIN_ANALOG, 0, {0, 0}};
    gain.gain = -1200;
    ASSERT_EQ(0u, unit->SetPinGains(&gain, 1));
    VedraSimEndpointVolume change = {};
    change.volume.kind = VEDRA_ENDPOINT_KIND_OUTPUT;
    change.volume.index = 0;
    change.volume.volume[0] = -65536;
    ASSERT_EQ(0u, control.Write(VSIM_IOCTL_SET_ENDPOINT_VOLUME, change));
    WaitUntilServerIdle();

    const std::vector<VedraSimJournalEntry> requests = UnitRequests(ServiceRequestsSince(mark), id);
    EXPECT_TRUE(requests.empty()) << "the service synchronised volumes of a unit without output endpoints:\n"
                                  << Describe(requests);
    StopConsoleService();
}

TEST_F(ServerBehaviour, UnitPluggedAndUnpluggedWhileRunning)
{
    StartConsoleService();
    const uint32_t mark = Mark();
    VedraSimUnitSpec unitSpec = {};
    VedraDeviceId id = {};
    ASSERT_EQ(0u, control.Request(VSIM_IOCTL_PLUG, &unitSpec, sizeof(unitSpec), &id, sizeof(id)));
    EXPECT_TRUE(WaitForNotification(client, VEDRA_NTF_DEVICE_LIST)) << "no 3030 after a unit came";
    const std::vector<VedraSimJournalEntry> requests = UnitRequests(ServiceRequestsSince(mark), id);
    EXPECT_EQ(std::size(kStartSequence), requests.size()) << Describe(requests);
    EXPECT_EQ(Endpoints(0, 0), Record(2, VSIM_RECORD_WDM_PIN_NAMES));

    VedraSimUnitRef unit = {2};
    ASSERT_EQ(0u, control.Write(VSIM_IOCTL_UNPLUG, unit));
    EXPECT_TRUE(WaitForNotification(client, VEDRA_NTF_DEVICE_LIST)) << "no 3030 after a unit went";
    StopConsoleService();
}

} // namespace
