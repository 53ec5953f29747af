// The client's request-and-reply exchange against a scripted server
// connection on a thread of the test.
#include "SimFixture.h"
#include "VedraClient.h"
#include "VedraMessage.h"

#include <string.h>

#include <memory>

namespace {

const wchar_t* const kName = VEDRA_INTERFACE_GUID_STRING;

// Takes the next request off a server connection's queue, waiting for it.
bool NextRequest(VedraDriver& server, VedraMessage& request)
{
    for (;;) {
        Init(request, VEDRA_MSG_NONE, 0);
        VedraStatus status = server.ReceiveMessage(request);
        if (status == VEDRA_STATUS_SUCCESS && request.type == VEDRA_MSG_REQUEST)
            return true;
        if (status == VEDRA_STATUS_SUCCESS)
            continue;
        if (WaitForSingleObject(server.MessageEvent(), kTestWaitMs) != WAIT_OBJECT_0)
            return false;
    }
}

class ClientSim : public SimTest {
protected:
    void Connect()
    {
        Start(VSIM_SCENARIO_ONE);
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.Connect(kName, VEDRA_ROLE_SERVER));
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.ConnectClient(kName));
    }

    struct Client : VedraClient {
        void SetLastSequence(uint32_t value) { lastSequence = value; }
    };

    VedraDriver server;
    Client client;
};

TEST_F(ClientSim, SequenceWrapsFromTheLargestValueTo1)
{
    Connect();
    client.SetLastSequence(0xFFFFFFFFu);
    VedraMessage seen;
    TestThread peer([&] {
        if (!NextRequest(server, seen))
            return;
        VedraMessage reply;
        InitReply(reply, seen, VEDRA_STATUS_SUCCESS);
        server.SendMessage(reply);
    });
    VedraStatus status = client.SetSampleRate(48000, kTestWaitMs);
    ASSERT_TRUE(peer.Join());
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, status) << StatusName(status);
    EXPECT_EQ(1u, seen.sequence);
    EXPECT_EQ(1001u, seen.code);
    uint32_t rate = 0;
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, ReadPayloadExact(seen, &rate, sizeof(rate)));
    EXPECT_EQ(48000u, rate);
}

TEST_F(ClientSim, ServerStatusAndReplyCodeComeBackAsTheResult)
{
    Connect();
    struct Case {
        uint32_t replyCode;
        VedraStatus replyStatus;
        VedraStatus expected;
    };
    const Case cases[] = {
        {2001, VEDRA_STATUS_SOUND_DEVICE_IN_USE, VEDRA_STATUS_SOUND_DEVICE_IN_USE},
        {2001, VEDRA_STATUS_SUCCESS, VEDRA_STATUS_SUCCESS},
        {12001, VEDRA_STATUS_SUCCESS, VEDRA_STATUS_UNEXPECTED_MSG_CODE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.replyCode);
        TestThread peer([&] {
            VedraMessage request;
            if (!NextRequest(server, request))
                return;
            VedraMessage reply;
            InitReply(reply, request, c.replyStatus);
            reply.code = c.replyCode;
            server.SendMessage(reply);
        });
        VedraStatus status = client.SetPolicy(1, kTestWaitMs);
        ASSERT_TRUE(peer.Join());
        EXPECT_EQ(c.expected, status) << StatusName(status);
    }
}

TEST_F(ClientSim, AStaleReplyIsDroppedAndTheExchangeWaitsOn)
{
    Connect();
    // The first request is never answered in time.
    EXPECT_EQ(VEDRA_STATUS_TIMEOUT, client.SetSampleRate(44100, 50));
    VedraMessage abandoned;
    ASSERT_TRUE(NextRequest(server, abandoned));
    // Its answer arrives late, ahead of the next exchange.
    VedraMessage late;
    InitReply(late, abandoned, VEDRA_STATUS_INVALID_SAMPLE_RATE);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.SendMessage(late));
    // Sends are delivered at once but complete late: the real reply is then
    // queued behind the stale one before the client first waits, and the
    // event's one signal covers both.
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Fault(VEDRA_FN_SEND_MESSAGE, 0, 0, 300));

    VedraMessage seen;
    TestThread peer([&] {
        if (!NextRequest(server, seen))
            return;
        VedraMessage reply;
        InitReply(reply, seen, VEDRA_STATUS_SUCCESS);
        server.SendMessage(reply);
    });
    VedraStatus status = client.SetSampleRate(48000, kTestWaitMs);
    ASSERT_TRUE(peer.Join());
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, status) << StatusName(status);
    EXPECT_EQ(abandoned.sequence + 1, seen.sequence);
}

TEST_F(ClientSim, ASilentServerTimesOutAndNoServerIsTheDriversRefusal)
{
    Connect();
    DWORD before = GetTickCount();
    VedraStatus status = client.SetSampleRate(48000, 100);
    DWORD elapsed = GetTickCount() - before;
    EXPECT_EQ(VEDRA_STATUS_TIMEOUT, status) << StatusName(status);
    EXPECT_LE(90u, elapsed);

    server.Detach();
    status = client.SetSampleRate(48000, 100);
    EXPECT_EQ(VEDRA_STATUS_NO_SERVER, status) << StatusName(status);
}

TEST_F(ClientSim, AConnectionWithoutMessageEventFailsTheWaitAtOnce)
{
    Start(VSIM_SCENARIO_ONE);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.Connect(kName, VEDRA_ROLE_SERVER));
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.Connect(kName, VEDRA_ROLE_PANEL_VISIBLE));
    EXPECT_EQ(VEDRA_STATUS_FAILED, client.SetSampleRate(48000, kTestWaitMs));
}

TEST_F(ClientSim, StandardRequestsCarryTheirPayloads)
{
    Connect();
    VedraBufferSettings settings = {};
    settings.streamingBufferSize = 4;
    settings.asioBufferSize = 2;
    settings.reserved = 0x55;
    settings.streamingBufferTime = 999;
    VedraDeviceId none = {};
    VedraDeviceId unit = {7, 9};
    struct Case {
        const char* what;
        std::function<VedraStatus()> call;
        uint32_t code;
        std::vector<uint32_t> words;
    };
    const Case cases[] = {
        {"buffers", [&] { return client.SetBufferSettings(settings); }, 1002, {4, 2, 0x55}},
        {"all devices", [&] { return client.SelectStreamingDevice(none, true); }, 1003, {1, 0, 0}},
        {"one unit", [&] { return client.SelectStreamingDevice(unit, false); }, 1003, {0, 7, 9}},
        {"policy", [&] { return client.SetPolicy(0x81, kTestWaitMs); }, 1005, {0x81}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VedraMessage seen;
        TestThread peer([&] {
            if (!NextRequest(server, seen))
                return;
            VedraMessage reply;
            InitReply(reply, seen, VEDRA_STATUS_SUCCESS);
            server.SendMessage(reply);
        });
        EXPECT_EQ(VEDRA_STATUS_SUCCESS, c.call());
        ASSERT_TRUE(peer.Join());
        EXPECT_EQ(c.code, seen.code);
        ASSERT_EQ(c.words.size() * 4, seen.payloadLength);
        for (size_t i = 0; i < c.words.size(); ++i) {
            uint32_t word = 0;
            memcpy(&word, seen.payload + 4 * i, 4);
            EXPECT_EQ(c.words[i], word) << "word " << i;
        }
    }
}

TEST_F(ClientSim, TransactHoldsTheConnectionForTheWholeExchange)
{
    Connect();
    WnEvent finished;
    ASSERT_EQ(0u, finished.Create(true, false));
    HANDLE otherDone = finished.Get();
    std::unique_ptr<TestThread> other;
    DWORD blocked = WAIT_FAILED;
    VedraStatus otherStatus = 0xFFFFFFFF;
    TestThread peer([&] {
        VedraMessage request;
        if (!NextRequest(server, request))
            return;
        // While the exchange waits for this reply, another request on the
        // same connection must wait for the lock.
        other.reset(new TestThread([&] {
            VedraStreamingStatus status = {};
            otherStatus = client.GetStreamingStatus(status);
            SetEvent(otherDone);
        }));
        blocked = WaitForSingleObject(otherDone, 300);
        VedraMessage reply;
        InitReply(reply, request, VEDRA_STATUS_SUCCESS);
        server.SendMessage(reply);
    });
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, client.SetPolicy(0, kTestWaitMs));
    ASSERT_TRUE(peer.Join());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), blocked) << "a request ran in the middle of the exchange";
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(otherDone, kTestWaitMs));
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, otherStatus);
    ASSERT_TRUE(other->Join());
}

TEST_F(ClientSim, NextNotificationSkipsOtherTypes)
{
    Connect();
    VedraMessage notification;
    Init(notification, VEDRA_MSG_NOTIFICATION, VEDRA_NTF_SERVER_SETTINGS_CHANGED);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.SendMessage(notification));
    VedraMessage received;
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(client.NotificationEvent(), kTestWaitMs));
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, client.NextNotification(received));
    EXPECT_EQ(3u, received.type);
    EXPECT_EQ(3010u, received.code);
    EXPECT_EQ(VEDRA_STATUS_NO_MORE_ITEMS, client.NextNotification(received));
}

} // namespace
