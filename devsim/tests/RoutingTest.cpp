// Message routing between connections of one process, malformed messages,
// notification fan-out, queue bounds and the driver's own notifications.
#include "SimTestSupport.h"

#include <cstring>

class RoutingTest : public SimDriverTest {
protected:
    void SetUp() override
    {
        SimDriverTest::SetUp();
        ASSERT_STATUS(0, server.Connect(VEDRA_ROLE_SERVER));
        ASSERT_STATUS(0, panel.Connect(VEDRA_ROLE_PANEL));
        server.DrainNotifications(); // 3020 for the panel
    }

    ProductConnection server;
    ProductConnection panel;
};

TEST_F(RoutingTest, RequestReachesTheServerWithRoutingWordsAndTheReplyComesBack)
{
    VedraMessage request = MakeMessage(VEDRA_MSG_REQUEST, VEDRA_REQ_SET_SAMPLE_RATE, 4);
    request.sequence = 77;
    request.route1 = 0xDEAD; // the driver writes its own words
    uint32_t rate = 96000;
    memcpy(request.payload, &rate, 4);
    ASSERT_STATUS(0, panel.Send(request));

    VedraMessage got;
    ASSERT_STATUS(0, server.WaitMessage(got));
    EXPECT_EQ(VEDRA_MSG_REQUEST, got.type);
    EXPECT_EQ(1001u, got.code);
    EXPECT_EQ(77u, got.sequence);
    EXPECT_EQ(4u, got.payloadLength);
    EXPECT_EQ(0, memcmp(&rate, got.payload, 4));
    EXPECT_NE(0xDEADu, got.route1);
    EXPECT_EQ(GetCurrentProcessId(), got.route2);
    for (uint32_t i = 4; i < VEDRA_MESSAGE_PAYLOAD_SIZE; ++i)
        ASSERT_EQ(0, got.payload[i]) << "payload byte " << i << " beyond the length";

    VedraMessage reply = MakeMessage(VEDRA_MSG_REPLY, VEDRA_REPLY_GENERIC);
    reply.sequence = got.sequence;
    reply.route1 = got.route1;
    reply.route2 = got.route2;
    reply.status = VEDRA_STATUS_SOUND_DEVICE_IN_USE;
    ASSERT_STATUS(0, server.Send(reply));

    VedraMessage answer;
    ASSERT_STATUS(0, panel.WaitMessage(answer));
    EXPECT_EQ(VEDRA_MSG_REPLY, answer.type);
    EXPECT_EQ(2001u, answer.code);
    EXPECT_EQ(77u, answer.sequence);
    EXPECT_STATUS(VEDRA_STATUS_SOUND_DEVICE_IN_USE, answer.status);
}

TEST_F(RoutingTest, RequestWithoutServerIsRefused)
{
    server.client.Close();
    EXPECT_STATUS(VEDRA_STATUS_NO_SERVER, panel.Send(MakeMessage(VEDRA_MSG_REQUEST, 1001, 4)));
}

TEST_F(RoutingTest, ReplyToAConnectionThatHasGoneIsDroppedAndCounted)
{
    ASSERT_STATUS(0, panel.Send(MakeMessage(VEDRA_MSG_REQUEST, 1005, 4)));
    VedraMessage got;
    ASSERT_STATUS(0, server.WaitMessage(got));
    panel.client.Close();
    VedraMessage reply = MakeMessage(VEDRA_MSG_REPLY, 2001);
    reply.route1 = got.route1;
    reply.route2 = got.route2;
    EXPECT_STATUS(0, server.Send(reply));
    VedraSimState state;
    ASSERT_STATUS(0, sim::GetState(control, state));
    EXPECT_EQ(1u, state.droppedReplies);
}

TEST_F(RoutingTest, MalformedMessagesAreRefused)
{
    struct Case {
        const char* what;
        uint32_t headerSize, payloadLength, type, sent;
        uint32_t expected;
    } cases[] = {
        {"header size 28", 28, 0, 1, 32, VEDRA_STATUS_INVALID_HD_SIZE},
        {"header size 36", 36, 0, 1, 36, VEDRA_STATUS_INVALID_HD_SIZE},
        {"payload 513", 32, 513, 1, 544, VEDRA_STATUS_INVALID_MSG_SIZE},
        {"input shorter than the payload", 32, 8, 1, 36, VEDRA_STATUS_INVALID_MSG_SIZE},
        {"type 0", 32, 0, 0, 32, VEDRA_STATUS_INVALID_MSG_TYPE},
        {"type 4", 32, 0, 4, 32, VEDRA_STATUS_INVALID_MSG_TYPE},
        {"reply from a client", 32, 0, 2, 32, VEDRA_STATUS_INVALID_MSG_TYPE},
        {"notification from a client", 32, 0, 3, 32, VEDRA_STATUS_INVALID_MSG_TYPE},
        {"shorter than a header", 32, 0, 1, 31, VEDRA_STATUS_INVALID_INBUFFER_SIZE},
        {"longer than a message", 32, 0, 1, 545, VEDRA_STATUS_INVALID_INBUFFER_SIZE},
    };
    std::vector<uint8_t> buffer(600);
    for (const Case& c : cases) {
        VedraMessage m = MakeMessage(c.type, 1001);
        m.headerSize = c.headerSize;
        m.payloadLength = c.payloadLength;
        memcpy(buffer.data(), &m, sizeof(m));
        EXPECT_STATUS(c.expected, panel.client.Request(VEDRA_IOCTL_SEND_MESSAGE, buffer.data(), c.sent, nullptr, 0))
            << c.what;
    }
    VedraMessage got;
    EXPECT_STATUS(VEDRA_STATUS_NO_MORE_ITEMS, server.Receive(got)) << "nothing malformed may be queued";
    EXPECT_STATUS(VEDRA_STATUS_INVALID_MSG_TYPE, server.Send(MakeMessage(VEDRA_MSG_REQUEST, 1001)))
        << "the server sends no requests";
}

TEST_F(RoutingTest, ServerNotificationReachesEveryClientWithANotificationEventButTheServer)
{
    ProductConnection second, quiet;
    ASSERT_STATUS(0, second.Connect(VEDRA_ROLE_PANEL));
    ASSERT_STATUS(0, quiet.Connect(VEDRA_ROLE_PANEL_VISIBLE)); // no events
    server.DrainNotifications();

    VedraMessage n = MakeMessage(VEDRA_MSG_NOTIFICATION, VEDRA_NTF_DEVICE_LIST, 3);
    ASSERT_STATUS(0, server.Send(n));
    for (ProductConnection* c : {&panel, &second}) {
        VedraMessage got;
        ASSERT_STATUS(0, c->WaitNotification(got));
        EXPECT_EQ(3030u, got.code);
        EXPECT_EQ(3u, got.payloadLength);
        EXPECT_EQ(0, memcmp(n.payload, got.payload, 3));
    }
    VedraMessage none;
    EXPECT_STATUS(VEDRA_STATUS_NO_MORE_ITEMS, quiet.ReceiveNotification(none));
    EXPECT_STATUS(VEDRA_STATUS_NO_MORE_ITEMS, server.ReceiveNotification(none));
}

TEST_F(RoutingTest, FullQueueFailsTheSenderAndKeepsTheQueuedMessages)
{
    VedraMessage request = MakeMessage(VEDRA_MSG_REQUEST, 1001, 4);
    for (uint32_t i = 0; i < VSIM_QUEUE_CAPACITY; ++i) {
        request.sequence = i + 1;
        ASSERT_STATUS(0, panel.Send(request)) << i;
    }
    request.sequence = 999;
    EXPECT_STATUS(VEDRA_STATUS_NO_RESOURCES, panel.Send(request));

    VedraSimConnectionList list;
    ASSERT_STATUS(0, sim::GetConnections(control, list));
    bool found = false;
    for (uint32_t i = 0; i < list.count; ++i)
        if (list.connections[i].role == VEDRA_ROLE_SERVER) {
            found = true;
            EXPECT_EQ(VSIM_QUEUE_CAPACITY, list.connections[i].messagesQueued);
            EXPECT_EQ(1u, list.connections[i].messagesRefused);
        }
    EXPECT_TRUE(found);

    VedraMessage got;
    for (uint32_t i = 0; i < VSIM_QUEUE_CAPACITY; ++i) {
        ASSERT_STATUS(0, server.Receive(got));
        ASSERT_EQ(i + 1, got.sequence) << "messages come out in order";
    }
    EXPECT_STATUS(VEDRA_STATUS_NO_MORE_ITEMS, server.Receive(got));
}

TEST_F(RoutingTest, NotificationFanOutToAFullQueueFailsTheSenderButReachesTheOthers)
{
    ProductConnection other;
    ASSERT_STATUS(0, other.Connect(VEDRA_ROLE_PANEL));
    server.DrainNotifications();
    VedraMessage n = MakeMessage(VEDRA_MSG_NOTIFICATION, 3010);
    for (uint32_t i = 0; i < VSIM_QUEUE_CAPACITY; ++i)
        ASSERT_STATUS(0, server.Send(n)) << i;
    VedraMessage got;
    for (uint32_t i = 0; i < VSIM_QUEUE_CAPACITY; ++i)
        ASSERT_STATUS(0, other.ReceiveNotification(got));
    EXPECT_STATUS(VEDRA_STATUS_NO_RESOURCES, server.Send(n)) << "the panel's queue is full";
    ASSERT_STATUS(0, other.ReceiveNotification(got)) << "the other client still got it";
}

TEST_F(RoutingTest, EventsAreSignalledWhenSomethingIsQueued)
{
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(panel.notificationEvent.Get(), 0));
    ASSERT_STATUS(0, server.Send(MakeMessage(VEDRA_MSG_NOTIFICATION, 3011)));
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(panel.notificationEvent.Get(), 5000));
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(panel.messageEvent.Get(), 0));
}

TEST_F(RoutingTest, ARegisteringPanelIsAnnouncedToTheServer)
{
    ProductConnection late;
    ASSERT_STATUS(0, late.Connect(VEDRA_ROLE_PANEL));
    VedraMessage got;
    ASSERT_STATUS(0, server.WaitNotification(got));
    EXPECT_EQ(VEDRA_MSG_NOTIFICATION, got.type);
    EXPECT_EQ(3020u, got.code);
    ProductConnection mixer;
    ASSERT_STATUS(0, mixer.Connect(VEDRA_ROLE_PANEL_MIXER));
    EXPECT_TRUE(server.DrainNotifications().empty()) << "only role 2 is announced";
}

TEST_F(RoutingTest, StreamDemandIsAnnouncedToTheServerWhenItAppearsAndEnds)
{
    VedraSimStreams streams = {};
    streams.demandA = 1;
    ASSERT_STATUS(0, sim::SetStreams(control, streams));
    streams.inUseA = 1;
    ASSERT_STATUS(0, sim::SetStreams(control, streams));
    streams = VedraSimStreams{};
    streams.inUseB = 1;
    ASSERT_STATUS(0, sim::SetStreams(control, streams));
    ASSERT_STATUS(0, sim::SetStreams(control, VedraSimStreams{}));
    EXPECT_EQ((std::vector<uint32_t>{3003, 3004}), server.DrainNotifications());
    EXPECT_TRUE(panel.DrainNotifications().empty());

    VedraStreamingStatus status;
    streams = {1, 2, 3, 4, 5};
    ASSERT_STATUS(0, sim::SetStreams(control, streams));
    ASSERT_STATUS(0, panel.client.Read(VEDRA_IOCTL_GET_STREAMING_STATUS, status));
    EXPECT_EQ(1u, status.demandA);
    EXPECT_EQ(2u, status.inUseA);
    EXPECT_EQ(3u, status.inUseB);
    EXPECT_EQ(4u, status.demandB);
    EXPECT_EQ(5u, status.demandC);
}

TEST_F(RoutingTest, PluggingAndUnpluggingAnnouncesTheDeviceListToTheServer)
{
    VedraSimUnitSpec unitSpec = {};
    VedraDeviceId id;
    ASSERT_STATUS(0, control.Request(VSIM_IOCTL_PLUG, &unitSpec, sizeof(unitSpec), &id, sizeof(id)));
    VedraSimUnitRef ref = {0};
    ASSERT_STATUS(0, control.Write(VSIM_IOCTL_UNPLUG, ref));
    EXPECT_EQ((std::vector<uint32_t>{3005, 3005}), server.DrainNotifications());
}

TEST_F(RoutingTest, AReplyReachesItsConnectionOnlyWhenBothRoutingWordsMatch)
{
    ASSERT_STATUS(0, panel.Send(MakeMessage(VEDRA_MSG_REQUEST, 1005, 4)));
    VedraMessage got;
    ASSERT_STATUS(0, server.WaitMessage(got));
    VedraMessage reply = MakeMessage(VEDRA_MSG_REPLY, 2001);
    reply.route1 = got.route1;
    reply.route2 = got.route2 + 1; // another process's connection of that number
    EXPECT_STATUS(0, server.Send(reply));
    VedraMessage none;
    EXPECT_STATUS(VEDRA_STATUS_NO_MORE_ITEMS, panel.Receive(none));
    VedraSimState state;
    ASSERT_STATUS(0, sim::GetState(control, state));
    EXPECT_EQ(1u, state.droppedReplies);
}

TEST_F(RoutingTest, ResetKeepsRolesAndEventsButEmptiesTheQueues)
{
    ASSERT_STATUS(0, server.Send(MakeMessage(VEDRA_MSG_NOTIFICATION, 3010)));
    ResetTo(VSIM_SCENARIO_TWO);
    VedraMessage got;
    ASSERT_STATUS(0, server.ReceiveNotification(got));
    EXPECT_EQ(3005u, got.code) << "the server learns that the list changed";
    EXPECT_STATUS(VEDRA_STATUS_NO_MORE_ITEMS, panel.ReceiveNotification(got)) << "emptied by the reset";
    ProductConnection other;
    ASSERT_EQ(0u, other.Open());
    EXPECT_STATUS(VEDRA_STATUS_ALREADY_DONE, other.RegisterRole(VEDRA_ROLE_SERVER)) << "the server keeps its role";
    ASSERT_STATUS(0, server.Send(MakeMessage(VEDRA_MSG_NOTIFICATION, 3011)));
    ASSERT_STATUS(0, panel.WaitNotification(got)) << "and the panel its event";
    EXPECT_EQ(3011u, got.code);
}
