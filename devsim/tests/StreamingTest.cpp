// The streaming state machine, sample rates, buffer settings, policy,
// selection and counters.
#include "SimTestSupport.h"

#include <cstring>

class StreamingTest : public SimDriverTest {
protected:
    void SetUp() override
    {
        SimDriverTest::SetUp();
        ASSERT_EQ(0u, c.Open());
    }

    uint32_t State()
    {
        VedraStreamingStatus s;
        EXPECT_STATUS(0, c.Read(VEDRA_IOCTL_GET_STREAMING_STATUS, s));
        return s.state;
    }

    uint32_t Command(uint32_t command, uint32_t argument = 0)
    {
        VedraStreamingCommand cmd = {command, argument};
        return c.Write(VEDRA_IOCTL_STREAMING_COMMAND, cmd);
    }

    // Walks the machine to a state through valid commands.
    void GoTo(uint32_t state)
    {
        static const uint32_t path[] = {0, 0, VEDRA_CMD_BRING_UP, VEDRA_CMD_PREPARE, VEDRA_CMD_RUN};
        for (uint32_t s = 2; s <= state; ++s)
            ASSERT_STATUS(0, Command(path[s]));
        ASSERT_EQ(state, State());
    }

    SimClient c;
};

TEST_F(StreamingTest, StartsDownAndFollowsValidCommands)
{
    EXPECT_EQ(1u, State());
    struct {
        uint32_t command;
        uint32_t to;
    } walk[] = {{2, 2}, {4, 3}, {5, 4}, {6, 2}, {4, 3}, {6, 2}, {3, 1}};
    for (auto& step : walk) {
        EXPECT_STATUS(0, Command(step.command, step.command <= 3 ? 1 : 0)) << "command " << step.command;
        EXPECT_EQ(step.to, State()) << "after command " << step.command;
    }
}

TEST_F(StreamingTest, InvalidTransitionsAreRefusedAndChangeNothing)
{
    struct {
        uint32_t from;
        uint32_t command;
        uint32_t expected;
    } cases[] = {
        {1, 1, VEDRA_STATUS_INVALID_STATE}, {1, 3, VEDRA_STATUS_INVALID_STATE}, {1, 4, VEDRA_STATUS_INVALID_STATE},
        {1, 5, VEDRA_STATUS_INVALID_STATE}, {1, 6, VEDRA_STATUS_INVALID_STATE}, {2, 2, VEDRA_STATUS_INVALID_STATE},
        {2, 5, VEDRA_STATUS_INVALID_STATE}, {2, 6, VEDRA_STATUS_INVALID_STATE}, {3, 2, VEDRA_STATUS_INVALID_STATE},
        {3, 3, VEDRA_STATUS_INVALID_STATE}, {3, 4, VEDRA_STATUS_INVALID_STATE}, {4, 4, VEDRA_STATUS_INVALID_STATE},
        {4, 5, VEDRA_STATUS_INVALID_STATE}, {4, 3, VEDRA_STATUS_INVALID_STATE}, {1, 0, VEDRA_STATUS_INVALID_COMMAND},
        {1, 7, VEDRA_STATUS_INVALID_COMMAND},
    };
    for (auto& k : cases) {
        ResetTo(VSIM_SCENARIO_ONE);
        GoTo(k.from);
        EXPECT_STATUS(k.expected, Command(k.command)) << "command " << k.command << " in state " << k.from;
        EXPECT_EQ(k.from, State()) << "command " << k.command << " in state " << k.from;
    }
    EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER, Command(VEDRA_CMD_BRING_UP, 2)) << "flag is 0 or 1";
}

TEST_F(StreamingTest, InjectedErrorGivesStateFiveUntilRecovered)
{
    GoTo(4);
    ASSERT_STATUS(0, control.Request(VSIM_IOCTL_STREAM_ERROR, nullptr, 0, nullptr, 0));
    EXPECT_EQ(5u, State());
    EXPECT_STATUS(VEDRA_STATUS_IN_ERROR_STATE, Command(VEDRA_CMD_STOP));
    EXPECT_STATUS(0, Command(VEDRA_CMD_RECOVER));
    EXPECT_EQ(1u, State());
    VedraStatusCounters counters;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_STATUS_COUNTERS, counters));
    EXPECT_EQ(1u, counters.streamingErrors);
}

TEST_F(StreamingTest, UnitOnUsb11GivesStateSixAndCannotComeUp)
{
    ResetTo(VSIM_SCENARIO_USB11);
    EXPECT_EQ(6u, State());
    EXPECT_STATUS(VEDRA_STATUS_NOT_IN_HIGH_SPEED_MODE, Command(VEDRA_CMD_BRING_UP));
    EXPECT_STATUS(0, Command(VEDRA_CMD_RECOVER));
    EXPECT_EQ(1u, State());
    EXPECT_STATUS(VEDRA_STATUS_NOT_IN_HIGH_SPEED_MODE, Command(VEDRA_CMD_BRING_UP));
    EXPECT_EQ(6u, State());
}

TEST_F(StreamingTest, NoUnitMeansNoStreamingDevice)
{
    ResetTo(VSIM_SCENARIO_NONE);
    EXPECT_EQ(1u, State());
    EXPECT_STATUS(VEDRA_STATUS_NO_STREAMING_DEVICE, Command(VEDRA_CMD_BRING_UP));
}

TEST_F(StreamingTest, SampleRatesIncludeDsdAndOnlyListedRatesAreAccepted)
{
    VedraSampleRateInfo info;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_SAMPLE_RATE_INFO, info));
    ASSERT_GE(info.rateCount, 2u);
    ASSERT_LE(info.rateCount, VEDRA_MAX_SAMPLE_RATES);
    bool dsd64 = false, dsd128 = false;
    for (uint32_t i = 0; i < info.rateCount; ++i) {
        dsd64 |= info.rates[i] == 2822400;
        dsd128 |= info.rates[i] == 5644800;
    }
    EXPECT_TRUE(dsd64 && dsd128);
    EXPECT_EQ(48000u, info.sampleRate);

    uint32_t rate = 44100;
    SimClient panel;
    ASSERT_EQ(0u, panel.Open());
    ProductConnection watcher;
    ASSERT_STATUS(0, watcher.Connect(VEDRA_ROLE_PANEL));
    EXPECT_STATUS(0, c.Write(VEDRA_IOCTL_SET_SAMPLE_RATE, rate));
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_SAMPLE_RATE_INFO, info));
    EXPECT_EQ(44100u, info.sampleRate);
    EXPECT_EQ((std::vector<uint32_t>{3001}), watcher.DrainNotifications());

    for (uint32_t bad : {0u, 22050u, 48001u, 384000u})
        EXPECT_STATUS(VEDRA_STATUS_INVALID_SAMPLE_RATE, c.Write(VEDRA_IOCTL_SET_SAMPLE_RATE, bad)) << bad;
    EXPECT_STATUS(VEDRA_STATUS_INVALID_SAMPLE_RATE, c.Write(VEDRA_IOCTL_ANNOUNCE_SAMPLE_RATE, 1u));

    GoTo(3);
    rate = 96000;
    EXPECT_STATUS(VEDRA_STATUS_NOT_ALLOWED, c.Write(VEDRA_IOCTL_SET_SAMPLE_RATE, rate)) << "only in states 1 and 2";
    EXPECT_STATUS(0, c.Write(VEDRA_IOCTL_ANNOUNCE_SAMPLE_RATE, rate));
    VedraSimState state;
    ASSERT_STATUS(0, sim::GetState(control, state));
    EXPECT_EQ(96000u, state.announcedRate);
}

TEST_F(StreamingTest, BufferSettingsGivePlausibleTimesForEveryClass)
{
    for (uint32_t rate : {48000u, 96000u}) {
        ASSERT_STATUS(0, c.Write(VEDRA_IOCTL_SET_SAMPLE_RATE, rate));
        uint32_t previous = 0;
        for (uint32_t cls = 0; cls <= 5; ++cls) {
            uint32_t set[3] = {cls, cls % 4, 0xA5A5};
            ASSERT_STATUS(0, c.Request(VEDRA_IOCTL_SET_BUFFER_SETTINGS, set, 12, nullptr, 0));
            VedraBufferSettings b;
            ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_BUFFER_SETTINGS, b));
            EXPECT_EQ(cls, b.streamingBufferSize);
            EXPECT_EQ(cls % 4, b.asioBufferSize);
            EXPECT_EQ(0xA5A5u, b.reserved) << "written back unchanged";
            EXPECT_GT(b.streamingBufferTime, previous) << "larger classes are longer";
            previous = b.streamingBufferTime;
            EXPECT_EQ((uint32_t)((uint64_t)b.asioBufferSamples * 1000000 / rate), b.asioBufferTime);
        }
    }
    uint32_t small[3] = {2, 1, 0};
    ASSERT_STATUS(0, c.Write(VEDRA_IOCTL_SET_SAMPLE_RATE, 48000u));
    ASSERT_STATUS(0, c.Request(VEDRA_IOCTL_SET_BUFFER_SETTINGS, small, 12, nullptr, 0));
    VedraBufferSettings b;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_BUFFER_SETTINGS, b));
    EXPECT_EQ(10666u, b.streamingBufferTime);
    EXPECT_EQ(5333u, b.asioBufferTime);
    EXPECT_EQ(256u, b.asioBufferSamples);

    uint32_t bad[2][3] = {{6, 0, 0}, {0, 4, 0}};
    for (auto& s : bad)
        EXPECT_STATUS(VEDRA_STATUS_INVALID_BUFFER_SIZE, c.Request(VEDRA_IOCTL_SET_BUFFER_SETTINGS, s, 12, nullptr, 0));
}

TEST_F(StreamingTest, PolicyIsKept)
{
    uint32_t policy = 0;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_POLICY, policy));
    EXPECT_EQ(0u, policy);
    ASSERT_STATUS(0, c.Write(VEDRA_IOCTL_SET_POLICY, 0x80000001u));
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_POLICY, policy));
    EXPECT_EQ(0x80000001u, policy);
}

TEST_F(StreamingTest, SelectionIsReflectedInStreamFlagsAndSelectionMode)
{
    ResetTo(VSIM_SCENARIO_TWO);
    VedraDeviceList list = DeviceList();
    ASSERT_EQ(2u, list.count);
    EXPECT_EQ(VEDRA_STREAM_SELECTED, list.entries[0].streamFlags);
    EXPECT_EQ(0, list.entries[1].streamFlags);

    VedraStreamingDeviceSelection second = {0, list.entries[1].id};
    ASSERT_STATUS(0, c.Write(VEDRA_IOCTL_SELECT_STREAMING_DEVICE, second));
    list = DeviceList();
    EXPECT_EQ(0, list.entries[0].streamFlags);
    EXPECT_EQ(VEDRA_STREAM_SELECTED, list.entries[1].streamFlags);

    VedraStreamingDeviceSelection all = {1, {0, 0}};
    ASSERT_STATUS(0, c.Write(VEDRA_IOCTL_SELECT_STREAMING_DEVICE, all));
    list = DeviceList();
    EXPECT_EQ(VEDRA_STREAM_SELECTED, list.entries[0].streamFlags);
    EXPECT_EQ(VEDRA_STREAM_SELECTED, list.entries[1].streamFlags);
    VedraStreamingStatus s;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_STREAMING_STATUS, s));
    EXPECT_EQ(1u, s.selectionMode);

    VedraStreamingDeviceSelection oneUnnamed = {0, {0, 0}};
    ASSERT_STATUS(0, c.Write(VEDRA_IOCTL_SELECT_STREAMING_DEVICE, oneUnnamed));
    list = DeviceList();
    EXPECT_EQ(VEDRA_STREAM_SELECTED, list.entries[1].streamFlags) << "keeps the unit chosen before";
    EXPECT_EQ(0, list.entries[0].streamFlags);

    VedraStreamingDeviceSelection unknown = {0, {999, VSIM_ID_HIGH}};
    EXPECT_STATUS(VEDRA_STATUS_NO_DEVICE, c.Write(VEDRA_IOCTL_SELECT_STREAMING_DEVICE, unknown));
    VedraStreamingDeviceSelection badMode = {2, {0, 0}};
    EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER, c.Write(VEDRA_IOCTL_SELECT_STREAMING_DEVICE, badMode));
}

TEST_F(StreamingTest, CountersMoveWhenBumped)
{
    VedraStatusCounters add = {1, 2, 3, 4, 5};
    ASSERT_STATUS(0, control.Write(VSIM_IOCTL_BUMP_COUNTERS, add));
    ASSERT_STATUS(0, control.Write(VSIM_IOCTL_BUMP_COUNTERS, add));
    VedraStatusCounters counters;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_STATUS_COUNTERS, counters));
    EXPECT_EQ(2u, counters.streamingErrors);
    EXPECT_EQ(4u, counters.fifoErrors);
    EXPECT_EQ(6u, counters.asioErrors);
    EXPECT_EQ(8u, counters.wdmAudioErrors);
    EXPECT_EQ(10u, counters.wdmMidiErrors);
}

TEST_F(StreamingTest, AsioChannelListsCoverTheStreamingUnitsWithinTheRecord)
{
    ResetTo(VSIM_SCENARIO_EIGHT);
    VedraChannelList inputs;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_ASIO_INPUT_CHANNELS, inputs));
    EXPECT_EQ(18u, inputs.count) << "one streaming unit";
    VedraStreamingDeviceSelection all = {1, {0, 0}};
    ASSERT_STATUS(0, c.Write(VEDRA_IOCTL_SELECT_STREAMING_DEVICE, all));
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_ASIO_OUTPUT_CHANNELS, inputs));
    EXPECT_EQ(VEDRA_MAX_CHANNELS, inputs.count) << "eight units fill the record";

    VedraChannelInfo info;
    uint32_t bytes = 0;
    ASSERT_STATUS(0, c.Request(VEDRA_IOCTL_GET_CHANNEL_INFO, &inputs.keys[1], 8, &info, sizeof(info), &bytes));
    EXPECT_EQ(108u, bytes);
    EXPECT_EQ(inputs.keys[1].key1, info.key.key1);
    EXPECT_EQ(inputs.keys[1].key2, info.key.key2);
    EXPECT_EQ(DeviceList().entries[0].id.low, info.deviceId.low);
    EXPECT_EQ(std::wstring(L"Analog Out 2"), std::wstring(info.channelName));
    VedraChannelKey bogus = {0xFFFF, 0};
    EXPECT_STATUS(VEDRA_STATUS_OBJECT_NOT_FOUND,
                  c.Request(VEDRA_IOCTL_GET_CHANNEL_INFO, &bogus, 8, &info, sizeof(info)));
}
