// The connection, the driver object and the device requests against the
// simulated driver, through the real DeviceIoControl path.
#include "SimFixture.h"
#include "VedraDeviceCtrl.h"
#include "VedraDriver.h"

#include <string.h>

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
