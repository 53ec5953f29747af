// The server's streaming walks, request dispatch and loop against the
// simulated driver.
#include "SimFixture.h"
#include "VedraClient.h"
#include "VedraMessage.h"
#include "VedraServer.h"

#include <string.h>

#include <string>

namespace {

const wchar_t* const kName = VEDRA_INTERFACE_GUID_STRING;

// Records every hook call of its units in one log, in call order.
class RecordingServer : public VedraServer {
public:
    struct Unit : VedraDeviceCtrl {
        Unit(RecordingServer& owner, int index) : owner(owner), index(index) {}
        VedraStatus OnStateChanging(uint32_t from, uint32_t to, uint32_t) override
        {
            owner.Note(index, "changing", from, to);
            return index < static_cast<int>(owner.changingResults.size()) ? owner.changingResults[index] : 0;
        }
        void OnStateChanged(uint32_t from, uint32_t to, uint32_t) override { owner.Note(index, "changed", from, to); }
        void OnStateChangeFailed(uint32_t from, uint32_t to, VedraStatus) override
        {
            owner.Note(index, "failed", from, to);
        }
        void OnEndpointChangedKind1(uint32_t value) override { owner.Note(index, "endpoint1", value, value); }
        void OnEndpointChangedKind2(uint32_t value) override { owner.Note(index, "endpoint2", value, value); }
        RecordingServer& owner;
        int index;
    };

    RecordingServer() { noted.Create(false, false); }

    // Hooks run on the server's thread while a test may read the log.
    void Note(int unit, const char* what, uint32_t from, uint32_t to)
    {
        WnLockGuard hold(logLock);
        log += "u" + std::to_string(unit) + ":" + what + ":" + std::to_string(from) + "-" + std::to_string(to) + " ";
        noted.Set();
    }

    std::string Log()
    {
        WnLockGuard hold(logLock);
        return log;
    }

    // Waits until the log holds text; false after kTestWaitMs.
    bool WaitForLog(const std::string& text)
    {
        DWORD start = GetTickCount();
        for (;;) {
            {
                WnLockGuard hold(logLock);
                if (log.find(text) != std::string::npos)
                    return true;
            }
            DWORD elapsed = GetTickCount() - start;
            if (elapsed >= kTestWaitMs || WaitForSingleObject(noted.Get(), kTestWaitMs - elapsed) != WAIT_OBJECT_0)
                return false;
        }
    }

    std::unique_ptr<VedraDevice> CreateDevice() override
    {
        return std::unique_ptr<VedraDevice>(new Unit(*this, created++));
    }

    using VedraServer::detachPending;
    using VedraServer::OnNotification3005;

    std::string log;
    std::vector<VedraStatus> changingResults;
    int created = 0;
    WnCriticalSection logLock;
    WnEvent noted;
};

// Streaming commands the server sent, as "command/argument" items.
std::string Commands(const std::vector<VedraSimJournalEntry>& entries)
{
    std::string text;
    for (const VedraSimJournalEntry& entry : entries) {
        if (entry.role == VEDRA_ROLE_SERVER && VedraFunctionOf(entry.code) == VEDRA_FN_STREAMING_COMMAND)
            text += std::to_string(InputWord(entry, 0)) + "/" + std::to_string(InputWord(entry, 1)) + " ";
    }
    return text;
}

class StreamingSim : public SimTest {
protected:
    void Connect(uint32_t scenario)
    {
        Start(scenario);
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.ConnectServer(kName));
        bool changed = false;
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.UpdateDevices(changed));
    }

    uint32_t State()
    {
        VedraStreamingStatus status = {};
        EXPECT_EQ(VEDRA_STATUS_SUCCESS, server.GetStreamingStatus(status));
        return status.state;
    }

    RecordingServer server;
};

TEST_F(StreamingSim, StartFromDownWithoutDemandStopsAtReady)
{
    Connect(VSIM_SCENARIO_ONE);
    ASSERT_EQ(1u, State());
    Remark();
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, server.StartStreaming(1));
    EXPECT_EQ("2/1 ", Commands(Journal()));
    EXPECT_EQ("u0:changing:1-2 u0:changed:1-2 ", server.log);
    EXPECT_EQ(2u, State());
}

TEST_F(StreamingSim, StartFromReadyRunsOnlyWithDemand)
{
    Connect(VSIM_SCENARIO_ONE);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.StreamingCommand(VEDRA_CMD_BRING_UP, 0));
    ASSERT_EQ(2u, State());
    Remark();
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, server.StartStreaming(0));
    EXPECT_EQ("", Commands(Journal()));
    EXPECT_EQ("", server.log);

    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Streams(0, 0, 0, 1, 0));
    Remark();
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, server.StartStreaming(0));
    EXPECT_EQ("4/0 5/0 ", Commands(Journal()));
    EXPECT_EQ("u0:changing:2-3 u0:changed:2-3 u0:changing:3-4 u0:changed:3-4 ", server.log);
    EXPECT_EQ(4u, State());

    // Running already: nothing to do.
    Remark();
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, server.StartStreaming(0));
    EXPECT_EQ("", Commands(Journal()));
}

TEST_F(StreamingSim, AUnitBackInTheSameWakeUpKeepsTheServerAttached)
{
    Connect(VSIM_SCENARIO_ONE);
    // One drain of the notification queue handles the unplug's device-list
    // notice, then the plug's, which arrived meanwhile.
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Unplug(0));
    server.OnNotification3005();
    ASSERT_EQ(0u, server.DeviceCount());
    VedraDeviceId id = {};
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Plug(UnitSpec(L"", 0), id));
    server.OnNotification3005();
    EXPECT_EQ(1u, server.DeviceCount());
    EXPECT_FALSE(server.detachPending) << "a listed unit must keep its server connection";
}

TEST_F(StreamingSim, StartFromErrorRecoversFirst)
{
    Connect(VSIM_SCENARIO_ONE);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.StreamError());
    ASSERT_EQ(5u, State());
    Remark();
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, server.StartStreaming(0));
    EXPECT_EQ("1/0 2/0 ", Commands(Journal()));
    EXPECT_EQ(2u, State());
}

TEST_F(StreamingSim, AFailingPrepareIsReportedToTheHooks)
{
    Connect(VSIM_SCENARIO_ONE);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.StreamingCommand(VEDRA_CMD_BRING_UP, 0));
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Streams(1, 0, 0, 0, 0));
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Fault(VEDRA_FN_STREAMING_COMMAND, 1, VEDRA_STATUS_START_CHANNEL_FAILED));
    EXPECT_EQ(VEDRA_STATUS_START_CHANNEL_FAILED, server.StartStreaming(0));
    EXPECT_EQ("u0:changing:2-3 u0:failed:2-3 ", server.log);
}

TEST_F(StreamingSim, AFirstUnitRefusingTheStepStopsTheWalk)
{
    Connect(VSIM_SCENARIO_TWO);
    ASSERT_EQ(2u, server.DeviceCount());
    server.changingResults = {VEDRA_STATUS_FAILED, 0};
    Remark();
    EXPECT_EQ(VEDRA_STATUS_FAILED, server.StartStreaming(0));
    EXPECT_EQ("u0:changing:1-2 ", server.log) << "the second unit's hook must not run";
    EXPECT_EQ("", Commands(Journal()));
    EXPECT_EQ(1u, State());
}

TEST_F(StreamingSim, StopWalksDownIgnoringTheHooksResults)
{
    Connect(VSIM_SCENARIO_TWO);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Streams(1, 0, 0, 0, 0));
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.StartStreaming(0));
    ASSERT_EQ(4u, State());
    server.log.clear();
    server.changingResults = {VEDRA_STATUS_FAILED, 0};
    Remark();
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, server.StopStreaming(1));
    EXPECT_EQ("6/0 3/1 ", Commands(Journal()));
    EXPECT_EQ("u0:changing:4-2 u0:changed:4-2 u1:changed:4-2 u0:changing:2-1 u0:changed:2-1 u1:changed:2-1 ",
              server.log);
    EXPECT_EQ(1u, State());
}

TEST_F(StreamingSim, StopIfIdleStopsOnlyWithoutDemand)
{
    Connect(VSIM_SCENARIO_ONE);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Streams(0, 0, 0, 0, 1));
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.StartStreaming(0));
    ASSERT_EQ(4u, State());
    Remark();
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, server.StopStreamingIfIdle());
    EXPECT_EQ("", Commands(Journal()));

    // inUseB alone is no demand.
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Streams(0, 0, 1, 0, 0));
    Remark();
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, server.StopStreamingIfIdle());
    EXPECT_EQ("6/0 ", Commands(Journal()));
    EXPECT_EQ(2u, State());
}

// A server running its loop on a test thread, with a client beside it.
class ServerLoopSim : public SimTest {
protected:
    // before runs after the reset, while no server is there to be told.
    void Run(uint32_t scenario, const std::function<void()>& before = {})
    {
        Start(scenario);
        if (before)
            before();
        ASSERT_EQ(0u, stop.Create(false, false));
        ASSERT_EQ(0u, arrival.Create(false, false));
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.ConnectServer(kName));
        // The client registers before the loop starts, so both 3030 below
        // are certain: one from the loop's first device refresh, one as the
        // server's answer to the driver's 3020 about this client.
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.ConnectClient(kName));
        loop.reset(new TestThread([this] { server.Run(stop.Get(), arrival.Get()); }));
        ASSERT_TRUE(WaitForNotification(client, VEDRA_NTF_DEVICE_LIST));
        ASSERT_TRUE(WaitForNotification(client, VEDRA_NTF_DEVICE_LIST));
        Sync();
        Drain();
        Remark();
    }

    void TearDown() override
    {
        if (loop) {
            stop.Set();
            EXPECT_TRUE(loop->Join()) << "the server loop did not end on its stop event";
        }
    }

    // A request the server answers at once: when its reply is here, the
    // server has finished everything it was doing before.
    void Sync()
    {
        VedraMessage request, reply;
        Init(request, VEDRA_MSG_REQUEST, VEDRA_REQ_1004);
        uint8_t value = 0;
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, WritePayload(request, &value, 1));
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.Transact(request, reply, kTestWaitMs));
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, reply.status);
    }

    void Drain()
    {
        VedraMessage message;
        while (client.NextNotification(message) == VEDRA_STATUS_SUCCESS) {
        }
    }

    // The server closes its connection from its own thread and tells nobody:
    // this looks until it is closed, for kTestWaitMs at the most.
    bool WaitForDetach()
    {
        WnEvent pause;
        pause.Create(false, false);
        const DWORD start = GetTickCount();
        while (server.IsOpen()) {
            if (GetTickCount() - start >= kTestWaitMs)
                return false;
            WaitForSingleObject(pause.Get(), 5);
        }
        return true;
    }

    // What the server's own connection sent, receives left out.
    std::vector<uint32_t> ServerSent()
    {
        return Functions(Journal(), [](const VedraSimJournalEntry& e) {
            return e.role == VEDRA_ROLE_SERVER && VedraFunctionOf(e.code) != VEDRA_FN_RECEIVE_MESSAGE &&
                   VedraFunctionOf(e.code) != VEDRA_FN_RECEIVE_NOTIFICATION;
        });
    }

    VedraStreamingStatus Status()
    {
        VedraStreamingStatus status = {};
        EXPECT_EQ(VEDRA_STATUS_SUCCESS, client.GetStreamingStatus(status));
        return status;
    }

    RecordingServer server;
    VedraClient client;
    WnEvent stop;
    WnEvent arrival;
    std::unique_ptr<TestThread> loop;
};

TEST_F(ServerLoopSim, TheCurrentRateIsAcceptedWithoutStoppingOrNotifying)
{
    Run(VSIM_SCENARIO_ONE);
    VedraStreamingStatus before = Status();
    Remark();
    VedraStatus status = client.SetSampleRate(before.sampleRate, kTestWaitMs);
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, status) << StatusName(status);
    std::vector<uint32_t> sent = ServerSent();
    EXPECT_EQ((std::vector<uint32_t>{0x834, 0x810}), sent) << Hex(sent);
    VedraMessage message;
    EXPECT_EQ(VEDRA_STATUS_NO_MORE_ITEMS, client.NextNotification(message)) << message.code;
}

TEST_F(ServerLoopSim, ARateChangeStopsSetsStartsAndNotifies)
{
    Run(VSIM_SCENARIO_ONE);
    VedraStreamingStatus before = Status();
    uint32_t rate = before.sampleRate == 48000 ? 44100 : 48000;
    Remark();
    VedraStatus status = client.SetSampleRate(rate, kTestWaitMs);
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, status) << StatusName(status);
    EXPECT_EQ(rate, Status().sampleRate);
    std::vector<uint32_t> sent = ServerSent();
    // status, announce, stop walk (2 -> 1), set, start walk (1 -> 2), 3010, 3011, reply
    EXPECT_EQ((std::vector<uint32_t>{0x834, 0x902, 0x834, 0x840, 0x834, 0x900, 0x834, 0x840, 0x834, 0x810, 0x810,
                                     0x810}),
              sent)
        << Hex(sent);
    EXPECT_TRUE(WaitForNotification(client, VEDRA_NTF_SERVER_SETTINGS_CHANGED));
    EXPECT_TRUE(WaitForNotification(client, VEDRA_NTF_SERVER_SAMPLE_RATE_CHANGED));
}

TEST_F(ServerLoopSim, InUseBRefusesARateChangeButNotAPolicyChange)
{
    Run(VSIM_SCENARIO_ONE, [this] { ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Streams(0, 0, 1, 0, 0)); });
    VedraStreamingStatus before = Status();
    ASSERT_EQ(1u, before.inUseB);
    Remark();
    uint32_t rate = before.sampleRate == 48000 ? 44100 : 48000;
    VedraStatus status = client.SetSampleRate(rate, kTestWaitMs);
    EXPECT_EQ(VEDRA_STATUS_SOUND_DEVICE_IN_USE, status) << StatusName(status);
    std::vector<uint32_t> sent = ServerSent();
    EXPECT_EQ((std::vector<uint32_t>{0x834, 0x810}), sent) << Hex(sent);

    uint32_t policy = 0;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.GetPolicy(policy));
    Remark();
    status = client.SetPolicy(policy ^ VEDRA_POLICY_FORBID_RATE_CHANGE, kTestWaitMs);
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, status) << StatusName(status);
    uint32_t after = 0;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.GetPolicy(after));
    EXPECT_EQ(policy ^ VEDRA_POLICY_FORBID_RATE_CHANGE, after);
    sent = ServerSent();
    ASSERT_LE(2u, sent.size());
    EXPECT_EQ(0x904u, sent.front()) << Hex(sent);
    EXPECT_EQ(0x810u, sent.back()) << Hex(sent);
    VedraMessage message;
    EXPECT_EQ(VEDRA_STATUS_NO_MORE_ITEMS, client.NextNotification(message)) << "a policy change posts nothing";
}

TEST_F(ServerLoopSim, AWrongPayloadSizeIsAnsweredWithoutStopping)
{
    Run(VSIM_SCENARIO_ONE);
    VedraMessage request, reply;
    Init(request, VEDRA_MSG_REQUEST, VEDRA_REQ_SET_BUFFER_SETTINGS);
    uint32_t words[2] = {1, 1};
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, WritePayload(request, words, sizeof(words)));
    Init(reply, VEDRA_MSG_NONE, 0);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.Transact(request, reply, kTestWaitMs));
    EXPECT_EQ(2001u, reply.code);
    EXPECT_EQ(VEDRA_STATUS_INVALID_MSG_SIZE, reply.status) << StatusName(reply.status);
    std::vector<uint32_t> sent = ServerSent();
    EXPECT_EQ((std::vector<uint32_t>{0x810}), sent) << Hex(sent);

    // An unknown code is nobody's.
    Init(request, VEDRA_MSG_REQUEST, 1099);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.Transact(request, reply, kTestWaitMs));
    EXPECT_EQ(VEDRA_STATUS_INVALID_COMMAND, reply.status) << StatusName(reply.status);
}

TEST_F(ServerLoopSim, AReplyInTheServersQueueIsConsumedAndIgnored)
{
    Run(VSIM_SCENARIO_ONE);
    VedraSimState state;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.State(state));
    ASSERT_NE(0u, state.serverConnection);
    // Only the server may send replies; one routed back to itself lands
    // in its own message queue.
    VedraMessage stray;
    Init(stray, VEDRA_MSG_REPLY, VEDRA_REPLY_GENERIC);
    stray.route1 = state.serverConnection;
    stray.route2 = GetCurrentProcessId();
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.SendMessage(stray));
    Sync();
    std::vector<uint32_t> sent = ServerSent();
    EXPECT_EQ((std::vector<uint32_t>{0x810, 0x810}), sent) << "the stray reply and the sync answer: " << Hex(sent);
    size_t receives = Functions(Journal(), [](const VedraSimJournalEntry& e) {
                          return e.role == VEDRA_ROLE_SERVER && VedraFunctionOf(e.code) == VEDRA_FN_RECEIVE_MESSAGE &&
                                 e.status == VEDRA_STATUS_SUCCESS;
                      }).size();
    EXPECT_EQ(2u, receives) << "the stray reply and the sync request were both taken";
}

TEST_F(ServerLoopSim, AnEmptiedListDetachesAndTheNextArrivalReconnects)
{
    Run(VSIM_SCENARIO_ONE);
    ASSERT_EQ(1u, server.DeviceCount());
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Unplug(0));
    EXPECT_TRUE(WaitForNotification(client, VEDRA_NTF_SERVER_SETTINGS_CHANGED));
    EXPECT_TRUE(WaitForNotification(client, VEDRA_NTF_DEVICE_LIST));
    // The detach ends the wake-up that posted 3030; a unit plugged before it
    // would be taken up in that same wake-up (tested on its own below).
    ASSERT_TRUE(WaitForDetach());

    VedraDeviceId id = {};
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Plug(UnitSpec(L"", 0), id));
    arrival.Set();
    EXPECT_TRUE(WaitForNotification(client, VEDRA_NTF_SERVER_SETTINGS_CHANGED));
    EXPECT_TRUE(WaitForNotification(client, VEDRA_NTF_DEVICE_LIST));
    Sync();
    EXPECT_EQ(1u, server.DeviceCount());

    // The server connection's own requests, its unit's left out.
    std::vector<uint32_t> sent = Functions(Journal(), [](const VedraSimJournalEntry& e) {
        return e.role != VEDRA_ROLE_PANEL && e.bound.low == 0 && e.bound.high == 0 &&
               VedraFunctionOf(e.code) != VEDRA_FN_RECEIVE_MESSAGE &&
               VedraFunctionOf(e.code) != VEDRA_FN_RECEIVE_NOTIFICATION && VedraFunctionOf(e.code) != 0x801 + 0;
    });
    // list, 3010, 3030, events cleared; then on arrival: events, role, list,
    // bind of the new unit (a fresh connection: handshake and bind), start
    // walk, 3010, 3030.
    std::string text = Hex(sent);
    size_t detach = text.find("0x820 0x810 0x810 0x816 0x816 0x819 0x820");
    EXPECT_NE(std::string::npos, detach) << text;
}

TEST_F(ServerLoopSim, DriverNotificationsReachTheStreamingWalksAndTheUnitHooks)
{
    Run(VSIM_SCENARIO_TWO);
    ASSERT_EQ(2u, server.DeviceCount());
    // Demand (3003) starts streaming; its end (3004) stops it when idle.
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Streams(1, 0, 0, 0, 0));
    EXPECT_TRUE(server.WaitForLog("u1:changed:3-4 ")) << server.Log();
    EXPECT_EQ(4u, Status().state);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Streams(0, 0, 0, 0, 0));
    EXPECT_TRUE(server.WaitForLog("u1:changed:4-2 ")) << server.Log();
    EXPECT_EQ(2u, Status().state);

    // An endpoint change (3060) of the second unit reaches that unit only.
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.EndpointVolume(1, 3));
    EXPECT_TRUE(server.WaitForLog("u1:endpoint2:3-3 ")) << server.Log();
    Sync();
    EXPECT_EQ(std::string::npos, server.Log().find("u0:endpoint")) << server.Log();
}

TEST_F(ServerLoopSim, ABufferChangeStopsSetsAndStartsAndPostsOnlyTheSettingsNotice)
{
    Run(VSIM_SCENARIO_ONE);
    VedraBufferSettings settings = {};
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.GetBufferSettings(settings));
    settings.asioBufferSize = settings.asioBufferSize == 1 ? 2 : 1;
    Remark();
    VedraStatus status = client.SetBufferSettings(settings);
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, status) << StatusName(status);
    VedraBufferSettings after = {};
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.GetBufferSettings(after));
    EXPECT_EQ(settings.asioBufferSize, after.asioBufferSize);
    // Ready (2): down with command 3, set, up again with command 2.
    EXPECT_EQ("3/0 2/0 ", Commands(Journal()));
    std::vector<uint32_t> sent = ServerSent();
    EXPECT_EQ((std::vector<uint32_t>{0x834, 0x834, 0x840, 0x834, 0x901, 0x834, 0x840, 0x834, 0x810, 0x810}), sent)
        << Hex(sent);
    EXPECT_TRUE(WaitForNotification(client, VEDRA_NTF_SERVER_SETTINGS_CHANGED));
    VedraMessage message;
    EXPECT_EQ(VEDRA_STATUS_NO_MORE_ITEMS, client.NextNotification(message)) << message.code;
}

TEST_F(ServerLoopSim, AStreamingDeviceSelectionReachesTheDriver)
{
    Run(VSIM_SCENARIO_TWO);
    ASSERT_EQ(2u, server.DeviceCount());
    VedraDeviceId second = server.DeviceAt(1)->Entry().id;
    VedraStatus status = client.SelectStreamingDevice(second, false);
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, status) << StatusName(status);
    VedraSimState state;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.State(state));
    EXPECT_EQ(0u, state.streaming.selectionMode);
    EXPECT_EQ(second.low, state.selected.low);
    EXPECT_EQ(second.high, state.selected.high);

    status = client.SelectStreamingDevice(VedraDeviceId{0, 0}, true);
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, status) << StatusName(status);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.State(state));
    EXPECT_EQ(1u, state.streaming.selectionMode);
}

TEST_F(StreamingSim, RunReturnsAtOnceWhenAnotherServerHoldsTheRole)
{
    Start(VSIM_SCENARIO_ONE);
    VedraDriver holder;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, holder.Connect(kName, VEDRA_ROLE_SERVER));
    WnEvent stop, arrival;
    ASSERT_EQ(0u, stop.Create(false, false));
    ASSERT_EQ(0u, arrival.Create(false, false));
    TestThread loop([&] { server.Run(stop.Get(), arrival.Get()); });
    bool returned = loop.Join();
    if (!returned)
        stop.Set();
    EXPECT_TRUE(returned) << "Run waited although the role was taken";
    EXPECT_FALSE(server.IsOpen());
}

TEST_F(StreamingSim, RunWithoutAConnectionRetriesOnTheNextDeviceArrival)
{
    Start(VSIM_SCENARIO_ONE);
    VedraClient client;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.ConnectClient(kName));
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Fault(VEDRA_FN_REGISTER_ROLE, 1, VEDRA_STATUS_NO_RESOURCES));
    WnEvent stop, arrival;
    ASSERT_EQ(0u, stop.Create(false, false));
    ASSERT_EQ(0u, arrival.Create(false, false));
    TestThread loop([&] { server.Run(stop.Get(), arrival.Get()); });
    arrival.Set();
    // Connected and refreshed on the arrival: the device notices follow.
    EXPECT_TRUE(WaitForNotification(client, VEDRA_NTF_DEVICE_LIST));
    stop.Set();
    ASSERT_TRUE(loop.Join());
    EXPECT_TRUE(server.IsOpen());
    EXPECT_EQ(1u, server.DeviceCount());
    std::vector<uint32_t> roles = Functions(Journal(), [](const VedraSimJournalEntry& e) {
        return VedraFunctionOf(e.code) == VEDRA_FN_REGISTER_ROLE && InputWord(e, 0) == VEDRA_ROLE_SERVER;
    });
    EXPECT_EQ(2u, roles.size()) << "the refused registration and the one on arrival";
}

// A derived server answering a request of its own later, or at once with a
// reply code and payload of its own.
class DeferringServer : public RecordingServer {
protected:
    VedraStatus OnRequest(const VedraMessage& request, VedraMessage& reply) override
    {
        if (request.code == 11001)
            return VEDRA_STATUS_PENDING;
        if (request.code != 11002)
            return VedraServer::OnRequest(request, reply);
        reply.code = VEDRA_REPLY_SOUND_DEVICE_CONFIG;
        const char text[] = "config";
        WritePayload(reply, text, sizeof(text));
        return VEDRA_STATUS_SUCCESS;
    }
};

class DeferringLoopSim : public SimTest {
protected:
    DeferringServer server;
};

TEST_F(DeferringLoopSim, APendingHandlerSendsNoReplyAndOthersShapeTheirOwn)
{
    Start(VSIM_SCENARIO_ONE);
    WnEvent stop, arrival;
    ASSERT_EQ(0u, stop.Create(false, false));
    ASSERT_EQ(0u, arrival.Create(false, false));
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, server.ConnectServer(kName));
    VedraClient client;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.ConnectClient(kName));
    TestThread loop([&] { server.Run(stop.Get(), arrival.Get()); });

    VedraMessage request, reply;
    Init(request, VEDRA_MSG_REQUEST, 11002);
    Init(reply, VEDRA_MSG_NONE, 0);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, client.Transact(request, reply, kTestWaitMs));
    EXPECT_EQ(12001u, reply.code);
    EXPECT_EQ(request.sequence, reply.sequence);
    char text[16] = {};
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, ReadPayloadExact(reply, text, 7));
    EXPECT_STREQ("config", text);

    Remark();
    Init(request, VEDRA_MSG_REQUEST, 11001);
    EXPECT_EQ(VEDRA_STATUS_TIMEOUT, client.Transact(request, reply, 200));
    stop.Set();
    ASSERT_TRUE(loop.Join());
    size_t replies = Functions(Journal(), [](const VedraSimJournalEntry& e) {
                         return e.role == VEDRA_ROLE_SERVER && VedraFunctionOf(e.code) == VEDRA_FN_SEND_MESSAGE &&
                                InputWord(e, 2) == VEDRA_MSG_REPLY;
                     }).size();
    EXPECT_EQ(0u, replies);
}

} // namespace
