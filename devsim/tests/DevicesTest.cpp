// Device list, scenarios, binding, unplug and re-plug.
#include "SimTestSupport.h"

#include <cstring>
#include <set>
#include <string>

using DevicesTest = SimDriverTest;

namespace {

std::wstring Text(const wchar_t* text, size_t capacity)
{
    size_t n = 0;
    while (n < capacity && text[n] != 0)
        ++n;
    return std::wstring(text, n);
}

} // namespace

TEST_F(DevicesTest, DefaultScenarioIsOneHighSpeedUnitWithoutEffectSelectedForStreaming)
{
    VedraDeviceList list = DeviceList();
    ASSERT_EQ(1u, list.count);
    const VedraDeviceEntry& e = list.entries[0];
    EXPECT_TRUE(e.id.low != 0 || e.id.high != 0);
    EXPECT_EQ(VSIM_DEFAULT_MODEL, e.model);
    EXPECT_EQ(L"Tarvine", Text(e.name, VEDRA_DEVICE_NAME_CHARS));
    EXPECT_FALSE(Text(e.serialNumber, VEDRA_SERIAL_NUMBER_CHARS).empty());
    EXPECT_EQ(VEDRA_PORT_HIGH_SPEED, e.portFlags);
    EXPECT_EQ(0, e.featureFlags);
    EXPECT_EQ(VEDRA_STREAM_SELECTED, e.streamFlags);
    VedraDeviceEntry empty = {};
    for (uint32_t i = 1; i < VEDRA_MAX_DEVICES; ++i)
        EXPECT_EQ(0, memcmp(&empty, &list.entries[i], sizeof(empty))) << "entry " << i;
}

TEST_F(DevicesTest, ScenariosGiveTheirUnits)
{
    struct {
        uint32_t scenario;
        uint32_t count;
        uint8_t lastPort;
        uint8_t lastFeature;
    } cases[] = {
        {VSIM_SCENARIO_NONE, 0, 0, 0},
        {VSIM_SCENARIO_ONE, 1, VEDRA_PORT_HIGH_SPEED, 0},
        {VSIM_SCENARIO_TWO, 2, VEDRA_PORT_HIGH_SPEED, VEDRA_FEATURE_EFFECT},
        {VSIM_SCENARIO_EIGHT, 8, VEDRA_PORT_HIGH_SPEED, 0},
        {VSIM_SCENARIO_USB11, 1, 0, 0},
        {VSIM_SCENARIO_KIND2, 1, VEDRA_PORT_HIGH_SPEED, 0},
    };
    for (auto& c : cases) {
        ResetTo(c.scenario);
        VedraDeviceList list = DeviceList();
        ASSERT_EQ(c.count, list.count) << "scenario " << c.scenario;
        if (c.count == 0)
            continue;
        std::set<std::wstring> serials;
        std::set<uint32_t> ids;
        for (uint32_t i = 0; i < c.count; ++i) {
            serials.insert(Text(list.entries[i].serialNumber, VEDRA_SERIAL_NUMBER_CHARS));
            ids.insert(list.entries[i].id.low);
        }
        EXPECT_EQ(c.count, serials.size()) << "serial numbers are unique";
        EXPECT_EQ(c.count, ids.size()) << "identifiers are unique";
        EXPECT_EQ(c.lastPort, list.entries[c.count - 1].portFlags) << "scenario " << c.scenario;
        EXPECT_EQ(c.lastFeature, list.entries[c.count - 1].featureFlags) << "scenario " << c.scenario;
        EXPECT_EQ(VEDRA_STREAM_SELECTED, list.entries[0].streamFlags);
    }
}

TEST_F(DevicesTest, DeviceRequestsNeedABoundPresentUnit)
{
    SimClient unbound, bound;
    ASSERT_EQ(0u, unbound.Open());
    ASSERT_EQ(0u, bound.Open());
    uint8_t value = 0;
    EXPECT_STATUS(VEDRA_STATUS_NO_DEVICE, unbound.Read(VEDRA_IOCTL_GET_BYPASS_VOLUME, value));

    VedraDeviceId unknown = {12345, VSIM_ID_HIGH};
    EXPECT_STATUS(VEDRA_STATUS_NO_DEVICE, bound.Write(VEDRA_IOCTL_BIND_DEVICE, unknown));
    VedraDeviceId id = DeviceList().entries[0].id;
    ASSERT_STATUS(0, bound.Write(VEDRA_IOCTL_BIND_DEVICE, id));
    EXPECT_STATUS(0, bound.Read(VEDRA_IOCTL_GET_BYPASS_VOLUME, value));

    VedraSimUnitRef ref = {0};
    ASSERT_STATUS(0, control.Write(VSIM_IOCTL_UNPLUG, ref));
    EXPECT_STATUS(VEDRA_STATUS_DEVICE_REMOVED, bound.Read(VEDRA_IOCTL_GET_BYPASS_VOLUME, value));
    EXPECT_EQ(0u, DeviceList().count);
}

TEST_F(DevicesTest, ReplugGivesANewIdentifierAndKeepsTheSerialNumber)
{
    VedraDeviceEntry before = DeviceList().entries[0];
    SimClient bound;
    ASSERT_EQ(0u, bound.Open());
    ASSERT_STATUS(0, bound.Write(VEDRA_IOCTL_BIND_DEVICE, before.id));

    VedraSimUnitRef ref = {0};
    VedraDeviceId newId = {};
    ASSERT_STATUS(0, control.Request(VSIM_IOCTL_REPLUG, &ref, sizeof(ref), &newId, sizeof(newId)));
    VedraDeviceEntry after = DeviceList().entries[0];
    EXPECT_FALSE(after.id.low == before.id.low && after.id.high == before.id.high);
    EXPECT_EQ(newId.low, after.id.low);
    EXPECT_EQ(0, memcmp(before.serialNumber, after.serialNumber, sizeof(before.serialNumber)));
    EXPECT_EQ(before.model, after.model);
    EXPECT_EQ(before.variant, after.variant);
    EXPECT_EQ(VEDRA_STREAM_SELECTED, after.streamFlags) << "still the streaming unit";

    uint8_t value;
    EXPECT_STATUS(VEDRA_STATUS_DEVICE_REMOVED, bound.Read(VEDRA_IOCTL_GET_BYPASS_VOLUME, value))
        << "the old identifier is gone";
    ASSERT_STATUS(0, bound.Write(VEDRA_IOCTL_BIND_DEVICE, after.id));
    EXPECT_STATUS(0, bound.Read(VEDRA_IOCTL_GET_BYPASS_VOLUME, value));
}

TEST_F(DevicesTest, PluggingBeyondEightUnitsIsRefused)
{
    ResetTo(VSIM_SCENARIO_EIGHT);
    VedraSimUnitSpec unitSpec = {};
    VedraDeviceId id;
    EXPECT_STATUS(VEDRA_STATUS_NO_RESOURCES, control.Request(VSIM_IOCTL_PLUG, &unitSpec, sizeof(unitSpec), &id, sizeof(id)));
    EXPECT_EQ(8u, DeviceList().count);
}

TEST_F(DevicesTest, PlugTakesTheGivenSerialNumberAndFlags)
{
    ResetTo(VSIM_SCENARIO_NONE);
    VedraSimUnitSpec unitSpec = {};
    unitSpec.flags = VSIM_UNIT_EFFECT | VSIM_UNIT_USB11;
    unitSpec.variant = 3;
    wcscpy(unitSpec.serialNumber, L"QA-0042");
    VedraDeviceId id;
    ASSERT_STATUS(0, control.Request(VSIM_IOCTL_PLUG, &unitSpec, sizeof(unitSpec), &id, sizeof(id)));
    VedraDeviceList list = DeviceList();
    ASSERT_EQ(1u, list.count);
    EXPECT_EQ(L"QA-0042", Text(list.entries[0].serialNumber, VEDRA_SERIAL_NUMBER_CHARS));
    EXPECT_EQ(3, list.entries[0].variant);
    EXPECT_EQ(0, list.entries[0].portFlags);
    EXPECT_EQ(VEDRA_FEATURE_EFFECT, list.entries[0].featureFlags);
    EXPECT_EQ(id.low, list.entries[0].id.low);
}
