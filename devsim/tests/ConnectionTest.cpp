// Handshake, status pass-through, size checks and role rules.
#include "SimTestSupport.h"

#include <cstring>

using ConnectionTest = SimDriverTest;

TEST_F(ConnectionTest, HandshakeReportsInterfaceTwoAndVersion)
{
    SimClient c;
    ASSERT_EQ(0u, c.Open());
    VedraInterfaceVersion v;
    uint32_t bytes = 0;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_INTERFACE_VERSION, v, &bytes));
    EXPECT_EQ(24u, bytes);
    EXPECT_EQ(2u, v.interfaceMajor);
    EXPECT_EQ(VSIM_DRIVER_MAJOR, v.driverMajor);
    EXPECT_EQ(VSIM_DRIVER_MINOR, v.driverMinor);
    EXPECT_EQ(VSIM_DRIVER_BUILD, v.driverBuild);
    EXPECT_EQ(VEDRA_VERSION_FLAG_DEBUG, v.flags & VEDRA_VERSION_FLAG_DEBUG);
}

TEST_F(ConnectionTest, UnknownFunctionsAndCodesGiveInvalidIoctl)
{
    SimClient c;
    ASSERT_EQ(0u, c.Open());
    const uint32_t codes[] = {Control(0x800), Control(0x802), Control(0xAFF), Control(0xC23), Control(0xFFF),
                              0x80882001u /* METHOD_IN_DIRECT */, 0x80886004u /* FILE_READ_ACCESS */,
                              0x80892403u /* simulation control, METHOD_NEITHER */,
                              0x80892406u /* simulation control, METHOD_OUT_DIRECT */, 0x00220004u /* another device type */};
    for (uint32_t code : codes) {
        uint8_t out[64] = {};
        uint32_t bytes = 123;
        EXPECT_STATUS(VEDRA_STATUS_INVALID_IOCTL, c.Request(code, nullptr, 0, out, sizeof(out), &bytes))
            << std::hex << code;
        EXPECT_EQ(0u, bytes);
    }
}

// Every fixed-size request: one byte more or less, in or out, is refused
// with the matching status before anything else is looked at.
struct SizeCase {
    uint32_t function;
    uint32_t in;
    uint32_t out;
};

TEST_F(ConnectionTest, EveryFixedSizeRequestChecksBothSizes)
{
    const SizeCase cases[] = {
        {VEDRA_FN_GET_INTERFACE_VERSION, 0, 24}, {VEDRA_FN_RECEIVE_MESSAGE, 0, 544},
        {VEDRA_FN_RECEIVE_NOTIFICATION, 0, 544}, {VEDRA_FN_SET_NOTIFICATION_EVENTS, 16, 0},
        {VEDRA_FN_REGISTER_ROLE, 4, 0},          {VEDRA_FN_GET_DEVICE_LIST, 0, 1124},
        {VEDRA_FN_BIND_DEVICE, 8, 0},            {VEDRA_FN_GET_ASIO_INPUT_CHANNELS, 0, 772},
        {VEDRA_FN_GET_ASIO_OUTPUT_CHANNELS, 0, 772}, {VEDRA_FN_GET_CHANNEL_INFO, 8, 108},
        {VEDRA_FN_GET_SAMPLE_RATE_INFO, 0, 48},  {VEDRA_FN_GET_BUFFER_SETTINGS, 0, 32},
        {VEDRA_FN_GET_STREAMING_STATUS, 0, 36},  {VEDRA_FN_GET_STATUS_COUNTERS, 0, 20},
        {VEDRA_FN_STREAMING_COMMAND, 8, 0},      {VEDRA_FN_SET_SAMPLE_RATE, 4, 0},
        {VEDRA_FN_SET_BUFFER_SETTINGS, 12, 0},   {VEDRA_FN_ANNOUNCE_SAMPLE_RATE, 4, 0},
        {VEDRA_FN_SET_POLICY, 4, 0},             {VEDRA_FN_GET_POLICY, 0, 4},
        {VEDRA_FN_SELECT_STREAMING_DEVICE, 12, 0}, {VEDRA_FN_GET_CHANNEL_LAYOUT, 0, 4056},
        {VEDRA_FN_SET_VIRTUAL_CHANNELS, 136, 0}, {VEDRA_FN_SET_WDM_CHANNEL_NAMES, 6152, 0},
        {VEDRA_FN_SET_WDM_PIN_NAMES, 9480, 0},   {VEDRA_FN_GET_SPDIF_INPUT_STATUS, 16, 16},
        {VEDRA_FN_SET_SPDIF_PASS_THROUGH, 12, 0}, {VEDRA_FN_GET_SPDIF_PASS_THROUGH, 12, 12},
        {VEDRA_FN_SET_BYPASS_VOLUME, 1, 0},      {VEDRA_FN_GET_BYPASS_VOLUME, 0, 1},
        {VEDRA_FN_SET_BYPASS_MUTE, 1, 0},        {VEDRA_FN_GET_BYPASS_MUTE, 0, 1},
        {VEDRA_FN_GET_ENDPOINT_VOLUME, 136, 136}, {VEDRA_FN_SET_ENDPOINT_VOLUME, 136, 0},
        {VEDRA_FN_SET_CONTROL_VALUE, 8, 0},      {VEDRA_FN_SET_CONTROL_SWITCH, 8, 0},
    };
    SimClient c;
    ASSERT_EQ(0u, c.Open());
    VedraDeviceList list = DeviceList();
    ASSERT_EQ(1u, list.count);
    // Bound, so device requests reach their size checks.
    ASSERT_STATUS(0, c.Write(VEDRA_IOCTL_BIND_DEVICE, list.entries[0].id));
    std::vector<uint8_t> in(10000), out(10000);
    for (const SizeCase& s : cases) {
        uint32_t code = Control(s.function);
        EXPECT_STATUS(VEDRA_STATUS_INVALID_INBUFFER_SIZE, c.Request(code, in.data(), s.in + 1, out.data(), s.out))
            << std::hex << s.function;
        if (s.in > 0) {
            EXPECT_STATUS(VEDRA_STATUS_INVALID_INBUFFER_SIZE,
                          c.Request(code, in.data(), s.in - 1, out.data(), s.out))
                << std::hex << s.function;
        }
        EXPECT_STATUS(VEDRA_STATUS_INVALID_OUTBUFFER_SIZE, c.Request(code, in.data(), s.in, out.data(), s.out + 1))
            << std::hex << s.function;
        if (s.out > 0) {
            EXPECT_STATUS(VEDRA_STATUS_INVALID_OUTBUFFER_SIZE,
                          c.Request(code, in.data(), s.in, out.data(), s.out - 1))
                << std::hex << s.function;
        }
    }
}

TEST_F(ConnectionTest, ArrayRequestsCheckRecordMultiples)
{
    SimClient c;
    ASSERT_EQ(0u, c.Open());
    ASSERT_STATUS(0, c.Write(VEDRA_IOCTL_BIND_DEVICE, DeviceList().entries[0].id));
    struct {
        uint32_t function;
        uint32_t record;
    } arrays[] = {{VEDRA_FN_GET_SOURCE_LEVELS, 8}, {VEDRA_FN_GET_DESTINATION_LEVELS, 8}, {VEDRA_FN_GET_PIN_GAINS, 8},
                  {VEDRA_FN_SET_PIN_GAINS, 8},     {VEDRA_FN_GET_CROSSPOINTS, 12},       {VEDRA_FN_SET_CROSSPOINTS, 12}};
    uint8_t in[64] = {}, out[64] = {};
    for (auto& a : arrays) {
        uint32_t code = Control(a.function);
        EXPECT_STATUS(VEDRA_STATUS_INVALID_INBUFFER_SIZE, c.Request(code, in, 0, out, 0)) << std::hex << a.function;
        EXPECT_STATUS(VEDRA_STATUS_INVALID_INBUFFER_SIZE, c.Request(code, in, a.record + 1, out, a.record + 1))
            << std::hex << a.function;
        EXPECT_STATUS(VEDRA_STATUS_INVALID_OUTBUFFER_SIZE, c.Request(code, in, a.record, out, 2 * a.record))
            << std::hex << a.function;
    }
    EXPECT_STATUS(VEDRA_STATUS_INVALID_OUTBUFFER_SIZE, c.Request(Control(VEDRA_FN_GET_MIXER_PINS), in, 4, out, 6));
    EXPECT_STATUS(VEDRA_STATUS_INVALID_OUTBUFFER_SIZE, c.Request(Control(VEDRA_FN_GET_MIXER_PINS), in, 4, out, 0));
    // Effect blocks: 8 to 520 bytes in whole words, the same length back.
    std::vector<uint8_t> block(600);
    uint32_t getEffect = Control(VEDRA_FN_GET_EFFECT_PARAMETERS);
    uint32_t setEffect = Control(VEDRA_FN_SET_EFFECT_PARAMETERS);
    EXPECT_STATUS(VEDRA_STATUS_INVALID_INBUFFER_SIZE, c.Request(getEffect, block.data(), 4, block.data(), 4));
    EXPECT_STATUS(VEDRA_STATUS_INVALID_INBUFFER_SIZE, c.Request(getEffect, block.data(), 524, block.data(), 524));
    EXPECT_STATUS(VEDRA_STATUS_INVALID_INBUFFER_SIZE, c.Request(setEffect, block.data(), 10, nullptr, 0));
    EXPECT_STATUS(VEDRA_STATUS_INVALID_OUTBUFFER_SIZE, c.Request(getEffect, block.data(), 16, block.data(), 8));
    EXPECT_STATUS(VEDRA_STATUS_INVALID_OUTBUFFER_SIZE, c.Request(setEffect, block.data(), 16, block.data(), 16));
    EXPECT_STATUS(VEDRA_STATUS_INVALID_INBUFFER_SIZE, c.Request(Control(VEDRA_FN_GET_MIXER_PINS), in, 3, out, 8));
}

TEST_F(ConnectionTest, OnlyOneServerAndTheRoleFreesWithItsHandle)
{
    ProductConnection first, second, panel;
    ASSERT_STATUS(0, first.Connect(VEDRA_ROLE_SERVER));
    ASSERT_EQ(0u, second.Open());
    EXPECT_STATUS(VEDRA_STATUS_ALREADY_DONE, second.RegisterRole(VEDRA_ROLE_SERVER));
    EXPECT_STATUS(0, first.RegisterRole(VEDRA_ROLE_SERVER)) << "the server may repeat its own registration";
    ASSERT_STATUS(0, panel.Connect(VEDRA_ROLE_PANEL));

    first.client.Close();
    EXPECT_STATUS(0, second.RegisterRole(VEDRA_ROLE_SERVER));
    VedraSimState state;
    ASSERT_STATUS(0, sim::GetState(control, state));
    EXPECT_NE(0u, state.serverConnection);
}

TEST_F(ConnectionTest, RolesOutsideTheKnownSetAreRefused)
{
    ProductConnection c;
    ASSERT_EQ(0u, c.Open());
    for (uint32_t role : {1u, 5u, 0xFFFFFFFFu})
        EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER, c.RegisterRole(role)) << role;
    for (uint32_t role : {2u, 3u, 4u})
        EXPECT_STATUS(0, c.RegisterRole(role)) << role;
}

TEST_F(ConnectionTest, EventHandlesThatAreNotHandlesAreRefused)
{
    ProductConnection c;
    ASSERT_EQ(0u, c.Open());
    VedraNotificationEvents bogus = {0x7FFFFFF0ull, 0};
    EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER, c.client.Write(VEDRA_IOCTL_SET_NOTIFICATION_EVENTS, bogus));
    VedraNotificationEvents wide = {0x100000004ull, 0};
    EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER, c.client.Write(VEDRA_IOCTL_SET_NOTIFICATION_EVENTS, wide));
    VedraNotificationEvents none = {0, 0};
    EXPECT_STATUS(0, c.client.Write(VEDRA_IOCTL_SET_NOTIFICATION_EVENTS, none));
}

TEST_F(ConnectionTest, EmptyQueuesAnswerNoMoreItems)
{
    ProductConnection c;
    ASSERT_STATUS(0, c.Connect(VEDRA_ROLE_PANEL));
    VedraMessage m;
    uint32_t bytes = 1;
    EXPECT_STATUS(VEDRA_STATUS_NO_MORE_ITEMS, c.client.Read(VEDRA_IOCTL_RECEIVE_MESSAGE, m, &bytes));
    EXPECT_EQ(0u, bytes);
    EXPECT_STATUS(VEDRA_STATUS_NO_MORE_ITEMS, c.ReceiveNotification(m));
}
