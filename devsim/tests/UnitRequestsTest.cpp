// Per-unit requests: SPDIF, bypass, endpoint volumes, controls, the stored
// configuration records, the mixer with its meters, and the effect.
#include "SimTestSupport.h"

#include <cstring>

class UnitTest : public SimDriverTest {
protected:
    void SetUp() override
    {
        SimDriverTest::SetUp();
        Bind(VSIM_SCENARIO_ONE, 0);
    }

    void Bind(uint32_t scenario, uint32_t index)
    {
        ResetTo(scenario);
        unit.Close();
        ASSERT_EQ(0u, unit.Open());
        id = DeviceList().entries[index].id;
        ASSERT_STATUS(0, unit.Write(VEDRA_IOCTL_BIND_DEVICE, id));
    }

    SimClient unit;
    VedraDeviceId id = {};
};

TEST_F(UnitTest, SpdifStatusFollowsTheSimulatedInput)
{
    ProductConnection panel;
    ASSERT_STATUS(0, panel.Connect(VEDRA_ROLE_PANEL));
    VedraSpdifStatus s = {};
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_SPDIF_INPUT_STATUS, &s, 16, &s, 16));
    EXPECT_EQ(1u, s.lockState) << "no signal at first";

    VedraSimSpdif locked = {0, 1, 3, 1, 44100};
    ASSERT_STATUS(0, control.Write(VSIM_IOCTL_SET_SPDIF, locked));
    s = VedraSpdifStatus{};
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_SPDIF_INPUT_STATUS, &s, 16, &s, 16));
    EXPECT_EQ(0u, s.input);
    EXPECT_EQ(3u, s.lockState);
    EXPECT_EQ(1u, s.format);
    EXPECT_EQ(44100u, s.sampleRate);
    VedraMessage n;
    ASSERT_STATUS(0, panel.WaitNotification(n));
    EXPECT_EQ(3040u, n.code);
    ASSERT_EQ(8u, n.payloadLength);
    EXPECT_EQ(0, memcmp(&id, n.payload, 8));

    VedraSimSpdif none = {0, 0, 0, 0, 0};
    ASSERT_STATUS(0, control.Write(VSIM_IOCTL_SET_SPDIF, none));
    s = VedraSpdifStatus{};
    EXPECT_STATUS(VEDRA_STATUS_OBJECT_NOT_FOUND, unit.Request(VEDRA_IOCTL_GET_SPDIF_INPUT_STATUS, &s, 16, &s, 16));
}

TEST_F(UnitTest, PassThroughAndBypassAreKeptAndAnnounced)
{
    ProductConnection panel;
    ASSERT_STATUS(0, panel.Connect(VEDRA_ROLE_PANEL));
    VedraSpdifPassThrough on = {0, 0, 1};
    ASSERT_STATUS(0, unit.Write(VEDRA_IOCTL_SET_SPDIF_PASS_THROUGH, on));
    VedraSpdifPassThrough got = {0, 0, 0};
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_SPDIF_PASS_THROUGH, &got, 12, &got, 12));
    EXPECT_NE(0u, got.on);
    VedraSpdifPassThrough bad = {1, 0, 1};
    EXPECT_STATUS(VEDRA_STATUS_OBJECT_NOT_FOUND, unit.Write(VEDRA_IOCTL_SET_SPDIF_PASS_THROUGH, bad));

    uint8_t one = 1, two = 2, value = 0;
    ASSERT_STATUS(0, unit.Write(VEDRA_IOCTL_SET_BYPASS_VOLUME, one));
    ASSERT_STATUS(0, unit.Read(VEDRA_IOCTL_GET_BYPASS_VOLUME, value));
    EXPECT_EQ(1, value);
    ASSERT_STATUS(0, unit.Write(VEDRA_IOCTL_SET_BYPASS_MUTE, one));
    ASSERT_STATUS(0, unit.Read(VEDRA_IOCTL_GET_BYPASS_MUTE, value));
    EXPECT_EQ(1, value);
    EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER, unit.Write(VEDRA_IOCTL_SET_BYPASS_VOLUME, two));
    ASSERT_STATUS(0, unit.Write(VEDRA_IOCTL_SET_BYPASS_VOLUME, one)); // unchanged: no notification
    EXPECT_EQ((std::vector<uint32_t>{3040, 3040, 3040}), panel.DrainNotifications());
}

TEST_F(UnitTest, EndpointVolumesAreKeptAndOnlyTheOperatingSystemsChangesAreAnnounced)
{
    ProductConnection server;
    ASSERT_STATUS(0, server.Connect(VEDRA_ROLE_SERVER));
    VedraEndpointVolume v = {};
    v.kind = 2;
    v.index = 3;
    v.volume[0] = -393216;
    v.volume[1] = -65536;
    v.mute[1] = 1;
    ASSERT_STATUS(0, unit.Write(VEDRA_IOCTL_SET_ENDPOINT_VOLUME, v));
    VedraEndpointVolume got = {};
    got.kind = 2;
    got.index = 3;
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_ENDPOINT_VOLUME, &got, 136, &got, 136));
    EXPECT_EQ(0, memcmp(&v, &got, sizeof(v)));
    EXPECT_TRUE(server.DrainNotifications().empty()) << "no 3060 for the control interface's own change";

    for (uint32_t bad : {8u, 100u}) {
        got.index = bad;
        EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER,
                      unit.Request(VEDRA_IOCTL_GET_ENDPOINT_VOLUME, &got, 136, &got, 136));
    }
    got.index = 0;
    got.kind = 1;
    EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER, unit.Request(VEDRA_IOCTL_GET_ENDPOINT_VOLUME, &got, 136, &got, 136));

    VedraSimEndpointVolume os = {};
    os.unitIndex = 0;
    os.volume.kind = 2;
    os.volume.index = 5;
    os.volume.volume[0] = -131072;
    ASSERT_STATUS(0, control.Write(VSIM_IOCTL_SET_ENDPOINT_VOLUME, os));
    VedraMessage n;
    ASSERT_STATUS(0, server.WaitNotification(n));
    EXPECT_EQ(3060u, n.code);
    ASSERT_EQ(16u, n.payloadLength);
    VedraEndpointChange change;
    memcpy(&change, n.payload, 16);
    EXPECT_EQ(id.low, change.id.low);
    EXPECT_EQ(id.high, change.id.high);
    EXPECT_EQ(2u, change.kind);
    EXPECT_EQ(5u, change.value);
}

TEST_F(UnitTest, ConfigurationRecordsReadBackByteExact)
{
    std::vector<uint8_t> pins(sizeof(VedraWdmPinNames)), names(sizeof(VedraWdmChannelNames)),
        virtuals(sizeof(VedraVirtualChannels));
    for (size_t i = 0; i < pins.size(); ++i)
        pins[i] = (uint8_t)(i * 31 + 7);
    for (size_t i = 0; i < names.size(); ++i)
        names[i] = (uint8_t)(i * 17 + 3);
    for (size_t i = 0; i < virtuals.size(); ++i)
        virtuals[i] = (uint8_t)(i + 1);
    uint32_t counts[2] = {10, 8};
    memcpy(&pins[0], &counts[0], 4);
    memcpy(&pins[4740], &counts[1], 4);
    memcpy(&names[0], &counts[0], 4);
    memcpy(&names[3076], &counts[1], 4);
    uint32_t two = 2;
    memcpy(&virtuals[0], &two, 4);

    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_SET_WDM_PIN_NAMES, pins.data(), (uint32_t)pins.size(), nullptr, 0));
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_SET_WDM_CHANNEL_NAMES, names.data(), (uint32_t)names.size(), nullptr, 0));
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_SET_VIRTUAL_CHANNELS, virtuals.data(), (uint32_t)virtuals.size(), nullptr, 0));

    struct {
        uint32_t kind;
        const std::vector<uint8_t>* sent;
    } records[] = {{VSIM_RECORD_WDM_PIN_NAMES, &pins},
                   {VSIM_RECORD_WDM_CHANNEL_NAMES, &names},
                   {VSIM_RECORD_VIRTUAL_CHANNELS, &virtuals}};
    for (auto& r : records) {
        VedraSimRecordHeader header;
        std::vector<uint8_t> stored;
        ASSERT_STATUS(0, sim::ReadRecord(control, 0, r.kind, 0, header, stored));
        EXPECT_EQ(1u, header.writes);
        EXPECT_TRUE(stored == *r.sent) << "record " << r.kind;
    }

    counts[0] = 33;
    memcpy(&pins[0], &counts[0], 4);
    EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER,
                  unit.Request(VEDRA_IOCTL_SET_WDM_PIN_NAMES, pins.data(), (uint32_t)pins.size(), nullptr, 0))
        << "a section holds at most 32 entries";
}

TEST_F(UnitTest, ControlsAndChannelLayout)
{
    VedraControlSetting sw = {2, 1}, value = {0, 8}, bad = {16, 0};
    ASSERT_STATUS(0, unit.Write(VEDRA_IOCTL_SET_CONTROL_SWITCH, sw));
    ASSERT_STATUS(0, unit.Write(VEDRA_IOCTL_SET_CONTROL_VALUE, value));
    EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER, unit.Write(VEDRA_IOCTL_SET_CONTROL_SWITCH, bad));
    VedraSimUnitState state;
    ASSERT_STATUS(0, sim::GetUnit(control, 0, state));
    EXPECT_EQ(1u, state.controlSwitch[2]);
    EXPECT_EQ(8u, state.controlValue[0]);

    auto hasKind2 = [this]() {
        VedraChannelLayout layout;
        EXPECT_STATUS(0, unit.Read(VEDRA_IOCTL_GET_CHANNEL_LAYOUT, layout));
        EXPECT_LE(layout.blockCount, VEDRA_LAYOUT_MAX_BLOCKS);
        for (uint32_t b = 0; b < layout.blockCount && b < VEDRA_LAYOUT_MAX_BLOCKS; ++b)
            for (uint32_t j = 0; j < VEDRA_LAYOUT_ELEMENTS; ++j)
                if (layout.blocks[b].first[j].kind == 2 || layout.blocks[b].second[j].kind == 2)
                    return true;
        return false;
    };
    EXPECT_FALSE(hasKind2());
    Bind(VSIM_SCENARIO_KIND2, 0);
    EXPECT_TRUE(hasKind2());
}

class MixerTest : public UnitTest {
protected:
    std::vector<MixerPin> Pins(uint32_t group, uint32_t capacity)
    {
        std::vector<MixerPin> pins(capacity);
        uint32_t bytes = 0;
        EXPECT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_MIXER_PINS, &group, 4, pins.data(), capacity * 4, &bytes));
        pins.resize(bytes / 4);
        return pins;
    }

    int16_t DestinationLevel(MixerPin pin)
    {
        PinLevel level = {pin, 0, {0, 0}};
        EXPECT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_DESTINATION_LEVELS, &level, 8, &level, 8));
        return level.level;
    }

    void SetSignal(uint32_t group, uint32_t channel, double db)
    {
        VedraSimSignal s = {0, group, channel, (int32_t)(db * 100), 0};
        ASSERT_STATUS(0, control.Write(VSIM_IOCTL_SET_SIGNAL, s));
    }

    uint32_t SetCrosspoint(MixerPin destination, MixerPin source, int16_t weight, bool connected)
    {
        Crosspoint c = {destination, source, weight, (uint8_t)(connected ? CROSSPOINT_CONNECTED : 0), 0};
        return unit.Request(VEDRA_IOCTL_SET_CROSSPOINTS, &c, 12, &c, 12);
    }

    uint32_t SetGain(MixerPin pin, int16_t gain, bool muted)
    {
        PinGain g = {pin, 0, (uint8_t)(muted ? PIN_GAIN_MUTED : 0), gain};
        return unit.Request(VEDRA_IOCTL_SET_PIN_GAINS, &g, 8, &g, 8);
    }
};

TEST_F(MixerTest, PinGroupsAndCapacity)
{
    auto destinations = Pins(0, 32);
    ASSERT_EQ(22u, destinations.size());
    EXPECT_EQ(MIXER_PIN_ANALOG, destinations[0].kind);
    EXPECT_EQ(MIXER_PIN_SPDIF, destinations[16].kind);
    EXPECT_EQ(MIXER_PIN_VIRTUAL_INPUT, destinations[18].kind);
    EXPECT_EQ(3, destinations[21].channel);
    EXPECT_EQ(18u, Pins(1, 18).size());
    auto playback = Pins(2, 18);
    ASSERT_EQ(18u, playback.size());
    EXPECT_EQ(MIXER_PIN_PLAYBACK, playback[0].kind);
    EXPECT_EQ(MIXER_PIN_SPDIF_PLAYBACK, playback[17].kind);

    ProductConnection panel;
    ASSERT_STATUS(0, panel.Connect(VEDRA_ROLE_PANEL));
    VedraSimTopology big = {0, 30, 18, 18};
    ASSERT_STATUS(0, control.Write(VSIM_IOCTL_SET_TOPOLOGY, big));
    EXPECT_EQ(26u, Pins(0, 26).size()) << "no more than the caller's room";
    EXPECT_EQ(30u, Pins(0, 32).size());
    VedraMessage n;
    ASSERT_STATUS(0, panel.WaitNotification(n));
    EXPECT_EQ(3050u, n.code);

    uint32_t group = 3;
    MixerPin room[4];
    EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER, unit.Request(VEDRA_IOCTL_GET_MIXER_PINS, &group, 4, room, 16));
}

TEST_F(MixerTest, GainsAndCrosspointsAreKeptAndAnnounced)
{
    ProductConnection server, panel;
    ASSERT_STATUS(0, server.Connect(VEDRA_ROLE_SERVER));
    ASSERT_STATUS(0, panel.Connect(VEDRA_ROLE_PANEL));
    server.DrainNotifications();
    MixerPin out3 = {MIXER_PIN_ANALOG, 3, {0, 0}};
    MixerPin virt1 = {MIXER_PIN_VIRTUAL_INPUT, 1, {0, 0}};
    MixerPin play1 = {MIXER_PIN_PLAYBACK, 1, {0, 0}};
    ASSERT_STATUS(0, SetGain(out3, -600, true));
    ASSERT_STATUS(0, SetCrosspoint(virt1, play1, -1250, true));

    PinGain g[2] = {{out3, 0, 0, 0}, {virt1, 0, 0, 0}};
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_PIN_GAINS, g, 16, g, 16));
    EXPECT_EQ(-600, g[0].gain);
    EXPECT_EQ(PIN_GAIN_MUTED, g[0].gainFlags);
    EXPECT_EQ(0, g[1].gain);
    Crosspoint c = {virt1, play1, 0, 0, 0};
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_CROSSPOINTS, &c, 12, &c, 12));
    EXPECT_EQ(-1250, c.weight);
    EXPECT_EQ(CROSSPOINT_CONNECTED, c.crosspointFlags);

    EXPECT_EQ((std::vector<uint32_t>{3051, 3052}), panel.DrainNotifications());
    EXPECT_TRUE(server.DrainNotifications().empty())
        << "changes made from the server's own process are not echoed to it";

    MixerPin nowhere = {MIXER_PIN_VIRTUAL_INPUT, 9, {0, 0}};
    EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER, SetGain(nowhere, 0, false));
    EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER, SetCrosspoint(play1, play1, 0, true)) << "a source is no destination";
}

TEST_F(MixerTest, MetersShowWhatTheMixerDoes)
{
    MixerPin out0 = {MIXER_PIN_ANALOG, 0, {0, 0}};
    MixerPin virt0 = {MIXER_PIN_VIRTUAL_INPUT, 0, {0, 0}};
    MixerPin in0 = {MIXER_PIN_ANALOG, 0, {0, 0}};
    MixerPin play0 = {MIXER_PIN_PLAYBACK, 0, {0, 0}};
    SetSignal(MIXER_GROUP_INPUT_SOURCES, 0, -20);
    SetSignal(MIXER_GROUP_PLAYBACK_SOURCES, 0, -20);

    PinLevel source = {in0, 0, {0, 0}};
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_SOURCE_LEVELS, &source, 8, &source, 8));
    EXPECT_EQ(-2000, source.level);

    // Playback 0 reaches output 0 at 0 dB by default; virtual input 0 is silent.
    EXPECT_EQ(-2000, DestinationLevel(out0));
    EXPECT_EQ(VSIM_SILENCE, DestinationLevel(virt0));

    // Two equal sources power-sum to +3 dB, then weight and gain apply.
    ASSERT_STATUS(0, SetCrosspoint(out0, in0, 0, true));
    EXPECT_NEAR(-1699, DestinationLevel(out0), 2);
    ASSERT_STATUS(0, SetCrosspoint(out0, in0, -1000, true));
    EXPECT_NEAR(-1959, DestinationLevel(out0), 2);
    ASSERT_STATUS(0, SetGain(out0, -600, false));
    EXPECT_NEAR(-2559, DestinationLevel(out0), 2);
    ASSERT_STATUS(0, SetGain(out0, -600, true));
    EXPECT_EQ(VSIM_SILENCE, DestinationLevel(out0)) << "muted";
    ASSERT_STATUS(0, SetGain(out0, 0, false));
    ASSERT_STATUS(0, SetCrosspoint(out0, play0, 0, false));
    ASSERT_STATUS(0, SetCrosspoint(out0, in0, -300, true));
    EXPECT_EQ(-2300, DestinationLevel(out0)) << "only the connected source";

    SetSignal(MIXER_GROUP_INPUT_SOURCES, VSIM_ALL_CHANNELS, -144);
    EXPECT_EQ(VSIM_SILENCE, DestinationLevel(out0));
}

TEST_F(MixerTest, DefaultMetersMove)
{
    MixerPin in0 = {MIXER_PIN_ANALOG, 0, {0, 0}};
    PinLevel first = {in0, 0, {0, 0}};
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_SOURCE_LEVELS, &first, 8, &first, 8));
    // The default signal swings 12 dB once a second: within 0.6 s it changes.
    bool moved = false;
    WnEvent never;
    ASSERT_EQ(0u, never.Create(true, false));
    for (int i = 0; i < 30 && !moved; ++i) {
        WaitForSingleObject(never.Get(), 20);
        PinLevel now = {in0, 0, {0, 0}};
        ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_SOURCE_LEVELS, &now, 8, &now, 8));
        moved = now.level != first.level;
        EXPECT_LE(now.level, -1800);
        EXPECT_GE(now.level, -3000);
    }
    EXPECT_TRUE(moved);
}

TEST_F(MixerTest, EffectParametersOnUnitsWithTheEffect)
{
    EffectParameterBlock block = {};
    block.parameter = 0;
    EXPECT_STATUS(VEDRA_STATUS_NOT_SUPPORTED,
                  unit.Request(VEDRA_IOCTL_GET_EFFECT_PARAMETERS, &block, 520, &block, 520)) << "unit 0 has none";

    Bind(VSIM_SCENARIO_TWO, 1);
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_EFFECT_PARAMETERS, &block, 520, &block, 520));
    EXPECT_EQ(VSIM_EFFECT_CHANNELS, block.count);
    block = EffectParameterBlock{};
    block.parameter = 1;
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_EFFECT_PARAMETERS, &block, 520, &block, 520));
    EXPECT_EQ(VSIM_EFFECT_MAX_DELAY_MS, block.count);

    EffectParameterBlock set = {};
    set.parameter = 2;
    set.count = 2;
    set.pairs[0] = {4, 120};
    set.pairs[1] = {5, 120};
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_SET_EFFECT_PARAMETERS, &set, 520, nullptr, 0));
    set.parameter = 3;
    set.pairs[0] = {4, 750};
    set.pairs[1] = {5, 750};
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_SET_EFFECT_PARAMETERS, &set, 520, nullptr, 0));

    EffectParameterBlock get = {};
    get.parameter = 2;
    get.count = 1;
    get.pairs[0].channel = 5;
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_EFFECT_PARAMETERS, &get, 16, &get, 16));
    EXPECT_EQ(120u, get.pairs[0].value);
    get.parameter = 3;
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_GET_EFFECT_PARAMETERS, &get, 16, &get, 16));
    EXPECT_EQ(750u, get.pairs[0].value);

    struct {
        uint32_t parameter, channel, value, expected;
    } bad[] = {{2, 16, 10, VEDRA_STATUS_INVALID_PARAMETER},
               {2, 0, VSIM_EFFECT_MAX_DELAY_MS + 1, VEDRA_STATUS_INVALID_PARAMETER},
               {3, 0, 1001, VEDRA_STATUS_INVALID_PARAMETER},
               {7, 0, 0, VEDRA_STATUS_INVALID_PARAMETER}};
    for (auto& b : bad) {
        EffectParameterBlock x = {};
        x.parameter = b.parameter;
        x.count = 1;
        x.pairs[0] = {b.channel, b.value};
        EXPECT_STATUS(b.expected, unit.Request(VEDRA_IOCTL_SET_EFFECT_PARAMETERS, &x, 520, nullptr, 0));
    }
    EffectParameterBlock tooMany = {};
    tooMany.parameter = 2;
    tooMany.count = 3;
    EXPECT_STATUS(VEDRA_STATUS_INVALID_LENGTH,
                  unit.Request(VEDRA_IOCTL_SET_EFFECT_PARAMETERS, &tooMany, 24, nullptr, 0));

    VedraSimRecordHeader header;
    std::vector<uint8_t> bytes;
    ASSERT_STATUS(0, sim::ReadRecord(control, 1, VSIM_RECORD_EFFECT, 0, header, bytes));
    VedraSimEffectState effect;
    memcpy(&effect, bytes.data(), sizeof(effect));
    EXPECT_EQ(120u, effect.delay[4]);
    EXPECT_EQ(750u, effect.amplification[5]);
    EXPECT_EQ(2u, header.writes);
}
