// The connection, the driver object and the device requests against the
// simulated driver, through the real DeviceIoControl path.
#include "SimFixture.h"
#include "VedraDeviceCtrl.h"
#include "VedraDriver.h"

#include <string.h>

#include <functional>
#include <string>

namespace {

const wchar_t* const kName = VEDRA_INTERFACE_GUID_STRING;

using ChannelSim = SimTest;

TEST_F(ChannelSim, OpenHandshakesAndRefusesASecondOpen)
{
    Start(VSIM_SCENARIO_ONE);
    VedraApiContext context;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, context.Open(kName));
    EXPECT_TRUE(context.IsOpen());
    HANDLE first = context.NativeHandle();
    EXPECT_EQ(VEDRA_STATUS_REJECTED, context.Open(kName));
    EXPECT_EQ(first, context.NativeHandle()) << "a refused Open must leave the connection alone";

    VedraInterfaceVersion version = {};
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, context.GetInterfaceVersion(version));
    EXPECT_EQ(2u, version.interfaceMajor);
    EXPECT_EQ(VSIM_INTERFACE_MINOR, version.interfaceMinor);

    std::vector<uint32_t> sent = Functions(Journal(), [](const VedraSimJournalEntry&) { return true; });
    EXPECT_EQ((std::vector<uint32_t>{0x801, 0x801}), sent) << Hex(sent);

    context.Close();
    context.Close();
    EXPECT_FALSE(context.IsOpen());
    EXPECT_EQ(VEDRA_STATUS_NOT_OPENED, context.GetInterfaceVersion(version));
    // The connection can be opened again after Close.
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, context.Open(kName));
}

TEST_F(ChannelSim, InterfaceMajor3IsAVersionMismatchAndClosesTheHandle)
{
    Start(VSIM_SCENARIO_ONE);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Malformed(VSIM_MALFORMED_INTERFACE));
    VedraApiContext context;
    EXPECT_EQ(VEDRA_STATUS_VERSION_MISMATCH, context.Open(kName));
    EXPECT_FALSE(context.IsOpen());
    std::vector<uint32_t> sent = Functions(Journal(), [](const VedraSimJournalEntry&) { return true; });
    EXPECT_EQ((std::vector<uint32_t>{0x801}), sent) << Hex(sent);
}

TEST_F(ChannelSim, AFailingRequestStillReportsItsByteCount)
{
    Start(VSIM_SCENARIO_ONE);
    VedraApiContext context;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, context.Open(kName));
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Fault(VEDRA_FN_GET_STREAMING_STATUS, 1, VEDRA_STATUS_DEVICE_REMOVED));

    VedraStreamingStatus status = {};
    uint32_t bytes = 0xFFFF;
    VedraStatus result =
        context.Request(VEDRA_IOCTL_GET_STREAMING_STATUS, nullptr, 0, &status, sizeof(status), &bytes);
    EXPECT_EQ(VEDRA_STATUS_DEVICE_REMOVED, result) << StatusName(result);
    EXPECT_EQ(0u, bytes);

    result = context.Request(VEDRA_IOCTL_GET_STREAMING_STATUS, nullptr, 0, &status, sizeof(status), &bytes);
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, result) << StatusName(result);
    EXPECT_EQ(36u, bytes);
}

using DeviceListSim = SimTest;

TEST_F(DeviceListSim, AReplugedUnitKeepsItsObjectAndConnectionWithItsNewId)
{
    Start(VSIM_SCENARIO_TWO);
    VedraDriver driver;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.Connect(kName, VEDRA_ROLE_PANEL_VISIBLE));
    bool changed = false;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.UpdateDevices(changed));
    EXPECT_TRUE(changed);
    ASSERT_EQ(2u, driver.DeviceCount());
    VedraDevice* first = driver.DeviceAt(0);
    VedraDevice* second = driver.DeviceAt(1);
    VedraDeviceId oldId = first->Entry().id;
    HANDLE oldHandle = first->NativeHandle();

    VedraDeviceId newId = {};
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Replug(0, newId));
    ASSERT_FALSE(newId.low == oldId.low && newId.high == oldId.high);
    Remark();

    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.UpdateDevices(changed));
    EXPECT_FALSE(changed);
    ASSERT_EQ(2u, driver.DeviceCount());
    VedraDevice* found = driver.FindDevice(newId);
    EXPECT_EQ(first, found);
    EXPECT_EQ(oldHandle, found->NativeHandle());
    EXPECT_TRUE(found->IsOpen());
    EXPECT_EQ(nullptr, driver.FindDevice(oldId));
    EXPECT_EQ(second, driver.FindDevice(second->Entry().id));

    // The refresh asked for the list and opened nothing.
    std::vector<uint32_t> sent = Functions(Journal(), [](const VedraSimJournalEntry&) { return true; });
    EXPECT_EQ((std::vector<uint32_t>{0x820}), sent) << Hex(sent);
}

TEST_F(DeviceListSim, SameSerialWithAnotherVariantIsAnotherUnit)
{
    Start(VSIM_SCENARIO_NONE);
    VedraDeviceId a = {}, b = {};
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Plug(UnitSpec(L"QX1234", 1), a));
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Plug(UnitSpec(L"QX1234", 2), b));

    VedraDriver driver;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.Connect(kName, VEDRA_ROLE_PANEL_VISIBLE));
    bool changed = false;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.UpdateDevices(changed));
    ASSERT_EQ(2u, driver.DeviceCount());
    EXPECT_NE(driver.FindDevice(a), driver.FindDevice(b));
    ASSERT_NE(nullptr, driver.FindDevice(b));
    EXPECT_EQ(2u, driver.FindDevice(b)->Entry().variant);

    // Each object is bound to its own unit.
    std::vector<VedraSimJournalEntry> binds;
    for (const VedraSimJournalEntry& entry : Journal()) {
        if (VedraFunctionOf(entry.code) == VEDRA_FN_BIND_DEVICE)
            binds.push_back(entry);
    }
    ASSERT_EQ(2u, binds.size());
    EXPECT_EQ(a.low, InputWord(binds[0], 0));
    EXPECT_EQ(b.low, InputWord(binds[1], 0));
}

TEST_F(DeviceListSim, AnEmptyListDestroysEveryDeviceObject)
{
    Start(VSIM_SCENARIO_ONE);
    VedraDriver driver;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.Connect(kName, VEDRA_ROLE_PANEL_VISIBLE));
    bool changed = false;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.UpdateDevices(changed));
    ASSERT_EQ(1u, driver.DeviceCount());

    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Unplug(0));
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.UpdateDevices(changed));
    EXPECT_TRUE(changed);
    EXPECT_EQ(0u, driver.DeviceCount());

    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.UpdateDevices(changed));
    EXPECT_FALSE(changed) << "nothing was there to destroy";
}

TEST_F(DeviceListSim, AClosedConnectionDestroysEveryDeviceObject)
{
    Start(VSIM_SCENARIO_TWO);
    VedraDriver driver;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.Connect(kName, VEDRA_ROLE_PANEL_VISIBLE));
    bool changed = false;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.UpdateDevices(changed));
    ASSERT_EQ(2u, driver.DeviceCount());

    driver.Detach();
    EXPECT_EQ(2u, driver.DeviceCount()) << "Detach leaves the device objects alone";
    EXPECT_EQ(VEDRA_STATUS_NOT_OPENED, driver.UpdateDevices(changed));
    EXPECT_TRUE(changed);
    EXPECT_EQ(0u, driver.DeviceCount());
}

TEST_F(DeviceListSim, ACountOf200IsReadAsTheEightEntriesTheRecordHolds)
{
    Start(VSIM_SCENARIO_EIGHT);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Malformed(VSIM_MALFORMED_DEVICE_COUNT));
    VedraDriver driver;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.Connect(kName, VEDRA_ROLE_PANEL_VISIBLE));

    VedraDeviceList list;
    memset(&list, 0xCC, sizeof(list));
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.GetDeviceList(list));
    EXPECT_EQ(8u, list.count);

    bool changed = false;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.UpdateDevices(changed));
    EXPECT_EQ(8u, driver.DeviceCount());
    size_t binds = Functions(Journal(), [](const VedraSimJournalEntry& e) {
                       return VedraFunctionOf(e.code) == VEDRA_FN_BIND_DEVICE;
                   }).size();
    EXPECT_EQ(8u, binds);
}

TEST_F(DeviceListSim, TextsWithoutTerminatorStayWithinTheirFields)
{
    Start(VSIM_SCENARIO_TWO);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Malformed(VSIM_MALFORMED_TEXT));
    // A server's objects offer the serial number as text.
    struct Server : VedraDriver {
        std::unique_ptr<VedraDevice> CreateDevice() override { return std::unique_ptr<VedraDevice>(new VedraDeviceCtrl()); }
    } driver;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.Connect(kName, VEDRA_ROLE_PANEL_VISIBLE));
    bool changed = false;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.UpdateDevices(changed));
    ASSERT_EQ(2u, driver.DeviceCount());
    VedraDevice* first = driver.DeviceAt(0);
    std::wstring serial = static_cast<VedraDeviceCtrl*>(first)->GetSerialNumber();
    EXPECT_EQ(VEDRA_SERIAL_NUMBER_CHARS, serial.size());

    // Units are still told apart and kept by their bounded serial numbers.
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.UpdateDevices(changed));
    EXPECT_FALSE(changed);
    EXPECT_EQ(first, driver.DeviceAt(0));
    EXPECT_NE(driver.DeviceAt(0), driver.DeviceAt(1));
}

TEST_F(DeviceListSim, AUnitWhoseBindFailsIsNotListedAndTriedAgainLater)
{
    Start(VSIM_SCENARIO_ONE);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Fault(VEDRA_FN_BIND_DEVICE, 1, VEDRA_STATUS_NO_DEVICE));
    VedraDriver driver;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.Connect(kName, VEDRA_ROLE_PANEL_VISIBLE));
    bool changed = true;
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, driver.UpdateDevices(changed));
    EXPECT_FALSE(changed);
    EXPECT_EQ(0u, driver.DeviceCount());

    // Its connection was closed again: only the driver object's remains.
    VedraSimConnectionList connections;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Connections(connections));
    uint32_t bound = 0;
    for (uint32_t i = 0; i < connections.count && i < VSIM_MAX_LISTED_CONNECTIONS; ++i) {
        if (connections.connections[i].processId == GetCurrentProcessId() &&
            (connections.connections[i].bound.low != 0 || connections.connections[i].bound.high != 0))
            ++bound;
    }
    EXPECT_EQ(0u, bound);

    EXPECT_EQ(VEDRA_STATUS_SUCCESS, driver.UpdateDevices(changed));
    EXPECT_TRUE(changed);
    EXPECT_EQ(1u, driver.DeviceCount());
}

TEST_F(DeviceListSim, OnAttachedFailingClosesTheDeviceAndSkipsIt)
{
    Start(VSIM_SCENARIO_ONE);
    struct Refusing : VedraDevice {
        VedraStatus OnAttached() override { return VEDRA_STATUS_FAILED; }
    };
    Refusing device;
    VedraDeviceList list = {};
    {
        VedraDriver driver;
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.Connect(kName, VEDRA_ROLE_PANEL_VISIBLE));
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.GetDeviceList(list));
    }
    ASSERT_EQ(1u, list.count);
    EXPECT_EQ(VEDRA_STATUS_FAILED, device.Attach(kName, list.entries[0]));
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(std::wstring(kName), std::wstring(device.DriverName()));
}

TEST_F(DeviceListSim, ConnectRegistersTheRoleOnceAndASecondServerIsRefused)
{
    Start(VSIM_SCENARIO_ONE);
    VedraDriver server;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.Connect(kName, VEDRA_ROLE_SERVER));
    EXPECT_NE(nullptr, server.MessageEvent());
    EXPECT_NE(nullptr, server.NotificationEvent());
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, server.Connect(kName, VEDRA_ROLE_SERVER));

    VedraDriver second;
    EXPECT_EQ(VEDRA_STATUS_ALREADY_DONE, second.Connect(kName, VEDRA_ROLE_SERVER));
    EXPECT_FALSE(second.IsOpen());

    VedraDriver mixer;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, mixer.Connect(kName, VEDRA_ROLE_PANEL_MIXER));
    EXPECT_EQ(nullptr, mixer.MessageEvent());

    // server: handshake, events, role; second: handshake, events, role
    // refused, events cleared; mixer: handshake, no events, role.
    std::vector<uint32_t> sent = Functions(Journal(), [](const VedraSimJournalEntry&) { return true; });
    EXPECT_EQ((std::vector<uint32_t>{0x801, 0x816, 0x819, 0x801, 0x816, 0x819, 0x816, 0x801, 0x816, 0x819}), sent)
        << Hex(sent);
}

TEST_F(DeviceListSim, DriverReadsBoundTheirCounts)
{
    Start(VSIM_SCENARIO_ONE);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Malformed(VSIM_MALFORMED_RATE_COUNT | VSIM_MALFORMED_CHANNEL_COUNT));
    VedraDriver driver;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.Connect(kName, VEDRA_ROLE_PANEL_VISIBLE));
    VedraSampleRateInfo rates = {};
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.GetSampleRateInfo(rates));
    EXPECT_EQ(10u, rates.rateCount);
    VedraChannelList inputs = {};
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.GetAsioInputChannels(inputs));
    EXPECT_EQ(96u, inputs.count);
    VedraChannelList outputs = {};
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.GetAsioOutputChannels(outputs));
    EXPECT_EQ(96u, outputs.count);
}

class DeviceSim : public SimTest {
protected:
    // A server-side object on the first unit of the scenario.
    void Attach(uint32_t scenario)
    {
        Start(scenario);
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.Connect(kName, VEDRA_ROLE_PANEL_VISIBLE));
        VedraDeviceList list = {};
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.GetDeviceList(list));
        ASSERT_LE(1u, list.count);
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, device.Attach(kName, list.entries[0]));
        Remark();
    }

    std::vector<uint32_t> Sent()
    {
        return Functions(Journal(), [](const VedraSimJournalEntry&) { return true; });
    }

    VedraDriver driver;
    VedraDeviceCtrl device;
};

TEST_F(DeviceSim, SwitchThenValueSendsTheValue8AfterASwitchThatTook)
{
    Attach(VSIM_SCENARIO_ONE);
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, device.SetControlSwitchThenValue(3, 1));
    std::vector<VedraSimJournalEntry> sent = Journal();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ(VEDRA_IOCTL_SET_CONTROL_SWITCH, sent[0].code);
    EXPECT_EQ(3u, InputWord(sent[0], 0));
    EXPECT_EQ(1u, InputWord(sent[0], 1));
    EXPECT_EQ(VEDRA_IOCTL_SET_CONTROL_VALUE, sent[1].code);
    EXPECT_EQ(3u, InputWord(sent[1], 0));
    EXPECT_EQ(8u, InputWord(sent[1], 1));
}

TEST_F(DeviceSim, SwitchThenValueStopsAtAFailingSwitch)
{
    Attach(VSIM_SCENARIO_ONE);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Fault(VEDRA_FN_SET_CONTROL_SWITCH, 1, VEDRA_STATUS_NOT_SUPPORTED));
    EXPECT_EQ(VEDRA_STATUS_NOT_SUPPORTED, device.SetControlSwitchThenValue(0, 0));
    EXPECT_EQ((std::vector<uint32_t>{0xC22}), Sent()) << Hex(Sent());
}

TEST_F(DeviceSim, HasChannelKind2ReadsOnlyTheBlocksTheRecordHolds)
{
    Attach(VSIM_SCENARIO_KIND2);
    EXPECT_TRUE(device.HasChannelKind2());

    VedraDeviceCtrl plain;
    Start(VSIM_SCENARIO_ONE);
    VedraDeviceList list = {};
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, driver.GetDeviceList(list));
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, plain.Attach(kName, list.entries[0]));
    EXPECT_FALSE(plain.HasChannelKind2());

    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Malformed(VSIM_MALFORMED_LAYOUT_BLOCKS));
    EXPECT_FALSE(plain.HasChannelKind2()) << "30 blocks claimed, 10 read";
    VedraChannelLayout layout = {};
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, plain.GetChannelLayout(layout));
    EXPECT_EQ(10u, layout.blockCount);

    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Fault(VEDRA_FN_GET_CHANNEL_LAYOUT, 1, VEDRA_STATUS_DEVICE_REMOVED));
    EXPECT_FALSE(device.HasChannelKind2()) << "a failed layout request has no kind 2";
}

TEST_F(DeviceSim, GetMixerPinsCountsWhatCameBack)
{
    Attach(VSIM_SCENARIO_ONE);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Topology(0, 30, 18, 18));
    MixerPin pins[27];
    memset(pins, 0xEE, sizeof(pins));
    uint32_t count = 0xFFFF;
    VedraStatus status = device.GetMixerPins(MIXER_GROUP_DESTINATIONS, pins, 26, count);
    EXPECT_LE(count, 26u) << StatusName(status);
    EXPECT_EQ(0xEE, pins[26].kind) << "nothing is written beyond the capacity";
    std::vector<VedraSimJournalEntry> sent = Journal();
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(104u, sent[0].outputLength);
    EXPECT_EQ(count * 4, sent[0].bytesReturned);

    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Fault(VEDRA_FN_GET_MIXER_PINS, 1, VEDRA_STATUS_DEVICE_REMOVED));
    count = 0xFFFF;
    EXPECT_EQ(VEDRA_STATUS_DEVICE_REMOVED, device.GetMixerPins(MIXER_GROUP_DESTINATIONS, pins, 26, count));
    EXPECT_EQ(0u, count);
}

TEST_F(DeviceSim, ArrayRequestsSendExactlyTheRecordsGiven)
{
    Attach(VSIM_SCENARIO_ONE);
    MixerPin pins[26];
    uint32_t count = 0;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, device.GetMixerPins(MIXER_GROUP_DESTINATIONS, pins, 26, count));
    ASSERT_LE(1u, count);
    Remark();

    PinGain gain = {};
    gain.pin = pins[0];
    gain.gain = -600;
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, device.SetPinGains(&gain, 1));
    PinLevel levels[26] = {};
    for (uint32_t i = 0; i < count; ++i) {
        levels[i].pin = pins[i];
        levels[i].level = 0x7FFF;
    }
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, device.GetDestinationLevels(levels, count));
    std::vector<VedraSimJournalEntry> sent = Journal();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ(VEDRA_IOCTL_SET_PIN_GAINS, sent[0].code);
    EXPECT_EQ(8u, sent[0].inputLength);
    EXPECT_EQ(VEDRA_IOCTL_GET_DESTINATION_LEVELS, sent[1].code);
    EXPECT_EQ(count * 8, sent[1].inputLength);
    EXPECT_EQ(count * 8, sent[1].outputLength);
    // The driver answered in the caller's own array.
    EXPECT_NE(0x7FFF, levels[0].level);

    PinGain back = {};
    back.pin = pins[0];
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, device.GetPinGains(&back, 1));
    EXPECT_EQ(-600, back.gain);
}

TEST_F(DeviceSim, SpdifPassThroughReadsAnyNonzeroWordAsOn)
{
    Attach(VSIM_SCENARIO_ONE);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, device.SetSpdifPassThrough(0, 0, true));
    bool on = false;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, device.GetSpdifPassThrough(0, 0, on));
    EXPECT_TRUE(on);
    std::vector<VedraSimJournalEntry> sent = Journal();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ(12u, sent[0].inputLength);
    EXPECT_EQ(1u, InputWord(sent[0], 2)) << "the flag byte followed by three zero bytes";
    EXPECT_EQ(0u, InputWord(sent[1], 2));

    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Fault(VEDRA_FN_GET_SPDIF_PASS_THROUGH, 1, VEDRA_STATUS_NO_DEVICE));
    on = true;
    EXPECT_EQ(VEDRA_STATUS_NO_DEVICE, device.GetSpdifPassThrough(0, 0, on));
    EXPECT_TRUE(on) << "written only on success";
}

} // namespace

namespace {

// One request as the driver saw it: function, input and output lengths.
struct Wire {
    const char* what;
    std::function<void()> call;
    uint32_t function;
    uint32_t inputLength;
    uint32_t outputLength;
};

void ExpectOnTheWire(const Wire& wire, const std::vector<VedraSimJournalEntry>& entries)
{
    SCOPED_TRACE(wire.what);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(VedraControlCode(wire.function), entries[0].code);
    EXPECT_EQ(wire.inputLength, entries[0].inputLength);
    EXPECT_EQ(wire.outputLength, entries[0].outputLength);
}

class WireSim : public DeviceSim {
protected:
    void Check(const std::vector<Wire>& wires)
    {
        for (const Wire& wire : wires) {
            Remark();
            wire.call();
            ExpectOnTheWire(wire, Journal());
        }
    }
};

TEST_F(WireSim, DeviceRequestsGoOutWithTheirCodesAndSizes)
{
    Attach(VSIM_SCENARIO_ONE);
    VedraSpdifStatus spdif = {};
    bool on = false;
    uint8_t byte = 0;
    VedraEndpointVolume volume = {};
    VedraChannelLayout layout = {};
    VedraVirtualChannels virtuals = {};
    static VedraWdmChannelNames channelNames = {};
    static VedraWdmPinNames pinNames = {};
    MixerPin pins[26] = {};
    uint32_t count = 0;
    PinLevel levels[3] = {};
    PinGain gains[2] = {};
    Crosspoint crosspoints[2] = {};
    EffectParameterBlock block = {};
    Check({
        {"GetSpdifInputStatus", [&] { device.GetSpdifInputStatus(0, spdif); }, 0xB20, 16, 16},
        {"SetSpdifPassThrough", [&] { device.SetSpdifPassThrough(0, 0, false); }, 0xB21, 12, 0},
        {"GetSpdifPassThrough", [&] { device.GetSpdifPassThrough(0, 0, on); }, 0xB22, 12, 12},
        {"SetBypassVolume", [&] { device.SetBypassVolume(true); }, 0xB46, 1, 0},
        {"GetBypassVolume", [&] { device.GetBypassVolume(byte); }, 0xB47, 0, 1},
        {"SetBypassMute", [&] { device.SetBypassMute(false); }, 0xB48, 1, 0},
        {"GetBypassMute", [&] { device.GetBypassMute(byte); }, 0xB49, 0, 1},
        {"GetEndpointVolume", [&] { device.GetEndpointVolume(2, 0, volume); }, 0xB70, 136, 136},
        {"SetEndpointVolume", [&] { device.SetEndpointVolume(volume); }, 0xB71, 136, 0},
        {"SetControlSwitch", [&] { device.SetControlSwitch(1, 1); }, 0xC22, 8, 0},
        {"SetControlValue", [&] { device.SetControlValue(1, 8); }, 0xC20, 8, 0},
        {"GetChannelLayout", [&] { device.GetChannelLayout(layout); }, 0xB00, 0, 4056},
        {"SetVirtualChannels", [&] { device.SetVirtualChannels(virtuals); }, 0xB08, 136, 0},
        {"SetWdmChannelNames", [&] { device.SetWdmChannelNames(channelNames); }, 0xB10, 6152, 0},
        {"SetWdmPinNames", [&] { device.SetWdmPinNames(pinNames); }, 0xB11, 9480, 0},
        {"GetMixerPins", [&] { device.GetMixerPins(MIXER_GROUP_PLAYBACK_SOURCES, pins, 18, count); }, 0xB38, 4, 72},
        {"GetSourceLevels", [&] { device.GetSourceLevels(levels, 3); }, 0xB30, 24, 24},
        {"GetDestinationLevels", [&] { device.GetDestinationLevels(levels, 2); }, 0xB31, 16, 16},
        {"GetPinGains", [&] { device.GetPinGains(gains, 2); }, 0xB40, 16, 16},
        {"SetPinGains", [&] { device.SetPinGains(gains, 1); }, 0xB44, 8, 8},
        {"GetCrosspoints", [&] { device.GetCrosspoints(crosspoints, 2); }, 0xB41, 24, 24},
        {"SetCrosspoints", [&] { device.SetCrosspoints(crosspoints, 1); }, 0xB45, 12, 12},
        {"SetEffectParameters", [&] { device.SetEffectParameters(block, 520); }, 0xB90, 520, 0},
        {"GetEffectParameters", [&] { device.GetEffectParameters(block, 16); }, 0xB91, 16, 16},
        {"GetEffectParameters beyond the block", [&] { device.GetEffectParameters(block, 4096); }, 0xB91, 520, 520},
    });
}

TEST_F(WireSim, DriverRequestsGoOutWithTheirCodesAndSizes)
{
    Attach(VSIM_SCENARIO_ONE);
    VedraStreamingStatus status = {};
    VedraSampleRateInfo rates = {};
    VedraBufferSettings buffers = {};
    VedraStatusCounters counters = {};
    VedraChannelList channels = {};
    VedraChannelInfo info = {};
    VedraDeviceList list = {};
    VedraInterfaceVersion version = {};
    uint32_t policy = 0;
    VedraStreamingDeviceSelection selection = {};
    VedraMessage message;
    Init(message, VEDRA_MSG_REQUEST, 1001);
    uint32_t rate = 48000;
    WritePayload(message, &rate, sizeof(rate));
    Check({
        {"GetInterfaceVersion", [&] { driver.GetInterfaceVersion(version); }, 0x801, 0, 24},
        {"GetStreamingStatus", [&] { driver.GetStreamingStatus(status); }, 0x834, 0, 36},
        {"GetSampleRateInfo", [&] { driver.GetSampleRateInfo(rates); }, 0x830, 0, 48},
        {"GetBufferSettings", [&] { driver.GetBufferSettings(buffers); }, 0x831, 0, 32},
        {"GetStatusCounters", [&] { driver.GetStatusCounters(counters); }, 0x835, 0, 20},
        {"GetAsioInputChannels", [&] { driver.GetAsioInputChannels(channels); }, 0x824, 0, 772},
        {"GetAsioOutputChannels", [&] { driver.GetAsioOutputChannels(channels); }, 0x825, 0, 772},
        {"GetChannelInfo", [&] { driver.GetChannelInfo(1, 2, info); }, 0x826, 8, 108},
        {"GetPolicy", [&] { driver.GetPolicy(policy); }, 0x904, 0, 4},
        {"GetDeviceList", [&] { driver.GetDeviceList(list); }, 0x820, 0, 1124},
        {"AnnounceSampleRate", [&] { driver.AnnounceSampleRate(48000); }, 0x902, 4, 0},
        {"SetSampleRate", [&] { driver.SetSampleRate(48000); }, 0x900, 4, 0},
        {"SetPolicy", [&] { driver.SetPolicy(policy); }, 0x903, 4, 0},
        {"SetBufferSettings", [&] { driver.SetBufferSettings(buffers); }, 0x901, 12, 0},
        {"SelectStreamingDevice", [&] { driver.SelectStreamingDevice(selection); }, 0x910, 12, 0},
        {"StreamingCommand", [&] { driver.StreamingCommand(VEDRA_CMD_BRING_UP, 0); }, 0x840, 8, 0},
        {"RegisterRole", [&] { driver.RegisterRole(VEDRA_ROLE_PANEL_VISIBLE); }, 0x819, 4, 0},
        {"SetNotificationEvents", [&] { driver.SetNotificationEvents(nullptr, nullptr); }, 0x816, 16, 0},
        {"SendMessage", [&] { driver.SendMessage(message); }, 0x810, 36, 0},
        {"ReceiveMessage", [&] { driver.ReceiveMessage(message); }, 0x811, 0, 544},
        {"ReceiveNotification", [&] { driver.ReceiveNotification(message); }, 0x812, 0, 544},
        {"BindDevice", [&] { device.BindDevice(device.Entry().id); }, 0x821, 8, 0},
    });
}

} // namespace
