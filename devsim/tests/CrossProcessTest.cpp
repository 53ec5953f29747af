// Routing and event signalling between processes, and what a killed client
// leaves behind (nothing).
#include "SimTestSupport.h"

#include <cstring>
#include <string>

namespace {

std::wstring ChildPath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path);
    return p.substr(0, p.find_last_of(L"\\/") + 1) + L"devsim_child.exe";
}

// Starts the helper and waits until it is in place.
struct Child {
    WnHandle process;
    WnHandle thread;
    WnHandle ready;

    bool Start(const wchar_t* mode)
    {
        std::wstring name = L"vedrasim-child-" + std::to_wstring(GetCurrentProcessId()) + L"-" + mode;
        ready.Attach(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
        std::wstring command = L"\"" + ChildPath() + L"\" " + mode + L" " + name;
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return false;
        process.Attach(pi.hProcess);
        thread.Attach(pi.hThread);
        HANDLE both[2] = {ready.Get(), process.Get()};
        return WaitForMultipleObjects(2, both, FALSE, 15000) == WAIT_OBJECT_0;
    }

    DWORD ProcessId() const { return GetProcessId(process.Get()); }

    ~Child()
    {
        if (process.IsValid() && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.Get(), 1);
            WaitForSingleObject(process.Get(), 5000);
        }
    }
};

const VedraSimConnection* FindConnection(const VedraSimConnectionList& list, uint32_t processId)
{
    for (uint32_t i = 0; i < list.count; ++i)
        if (list.connections[i].processId == processId)
            return &list.connections[i];
    return nullptr;
}

} // namespace

using CrossProcessTest = SimDriverTest;

TEST_F(CrossProcessTest, RequestAndReplyBetweenTwoProcessesWakeBothSides)
{
    Child server;
    ASSERT_TRUE(server.Start(L"server"));
    ProductConnection panel;
    ASSERT_STATUS(0, panel.Connect(VEDRA_ROLE_PANEL));

    for (uint32_t i = 1; i <= 3; ++i) {
        VedraMessage request = MakeMessage(VEDRA_MSG_REQUEST, 1001, 8);
        request.sequence = 100 + i;
        uint32_t status = VEDRA_STATUS_NOT_ALLOWED + i;
        memcpy(request.payload, &status, 4);
        ASSERT_STATUS(0, panel.Send(request));
        VedraMessage reply;
        ASSERT_STATUS(0, panel.WaitMessage(reply, 10000)) << "the server in the other process answers";
        EXPECT_EQ(VEDRA_MSG_REPLY, reply.type);
        EXPECT_EQ(100 + i, reply.sequence);
        EXPECT_EQ(status, reply.status);
        EXPECT_EQ(8u, reply.payloadLength);
        EXPECT_EQ(0, memcmp(request.payload, reply.payload, 8));
        EXPECT_EQ(GetCurrentProcessId(), reply.route2);
    }
    VedraMessage quit = MakeMessage(VEDRA_MSG_REQUEST, 9999, 4);
    ASSERT_STATUS(0, panel.Send(quit));
    ASSERT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(server.process.Get(), 10000));
    DWORD code = 1;
    GetExitCodeProcess(server.process.Get(), &code);
    EXPECT_EQ(0u, code);
}

TEST_F(CrossProcessTest, NotificationsReachAClientInAnotherProcess)
{
    Child server;
    ASSERT_TRUE(server.Start(L"server"));
    ProductConnection panel;
    ASSERT_STATUS(0, panel.Connect(VEDRA_ROLE_PANEL));
    // The driver's own notification to the clients, raised from here while
    // the server runs elsewhere.
    SimClient unit;
    ASSERT_EQ(0u, unit.Open());
    ASSERT_STATUS(0, unit.Write(VEDRA_IOCTL_BIND_DEVICE, DeviceList().entries[0].id));
    uint8_t on = 1;
    ASSERT_STATUS(0, unit.Write(VEDRA_IOCTL_SET_BYPASS_VOLUME, on));
    VedraMessage n;
    ASSERT_STATUS(0, panel.WaitNotification(n));
    EXPECT_EQ(3040u, n.code);
    EXPECT_EQ(8u, n.payloadLength);
}

TEST_F(CrossProcessTest, AKilledServerLeavesNothingBehind)
{
    VedraSimConnectionList before;
    ASSERT_STATUS(0, sim::GetConnections(control, before));
    {
        Child server;
        ASSERT_TRUE(server.Start(L"server"));
        VedraSimConnectionList list;
        ASSERT_STATUS(0, sim::GetConnections(control, list));
        const VedraSimConnection* c = FindConnection(list, server.ProcessId());
        ASSERT_NE(nullptr, c);
        EXPECT_EQ(0u, c->role);
        ProductConnection second;
        ASSERT_EQ(0u, second.Open());
        EXPECT_STATUS(VEDRA_STATUS_ALREADY_DONE, second.RegisterRole(VEDRA_ROLE_SERVER));
        TerminateProcess(server.process.Get(), 1);
        WaitForSingleObject(server.process.Get(), 5000);
    }
    VedraSimConnectionList after;
    ASSERT_STATUS(0, sim::GetConnections(control, after));
    EXPECT_EQ(before.total, after.total);
    ProductConnection newServer;
    EXPECT_STATUS(0, newServer.Connect(VEDRA_ROLE_SERVER)) << "the role is free again";
}

TEST_F(CrossProcessTest, AKilledClientWithPendingRequestsAndEventsLeavesNothingBehind)
{
    ProductConnection server;
    ASSERT_STATUS(0, server.Connect(VEDRA_ROLE_SERVER));
    ASSERT_STATUS(0, sim::SetFault(control, VEDRA_FN_GET_POLICY, 0, 0, 60000));
    Child client;
    ASSERT_TRUE(client.Start(L"pending"));
    VedraSimConnectionList list;
    ASSERT_STATUS(0, sim::GetConnections(control, list));
    const VedraSimConnection* c = FindConnection(list, client.ProcessId());
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(1u, c->pendingRequests);
    EXPECT_EQ(VSIM_CONN_MESSAGE_EVENT | VSIM_CONN_NOTIFICATION_EVENT, c->flags);
    uint32_t total = list.total;

    TerminateProcess(client.process.Get(), 1);
    WaitForSingleObject(client.process.Get(), 5000);
    // Wine closes the killed process's handles asynchronously: poll briefly.
    for (int i = 0; i < 100; ++i) {
        ASSERT_STATUS(0, sim::GetConnections(control, list));
        if (FindConnection(list, client.ProcessId()) == nullptr)
            break;
        WaitForSingleObject(GetCurrentProcess(), 20);
    }
    EXPECT_EQ(nullptr, FindConnection(list, client.ProcessId()));
    EXPECT_EQ(total - 1, list.total);
    // Notifications to the clients still work and find no dead queue.
    server.DrainNotifications();
    EXPECT_STATUS(0, server.Send(MakeMessage(VEDRA_MSG_NOTIFICATION, 3010)));
    VedraSimState state;
    ASSERT_STATUS(0, sim::GetState(control, state));
    EXPECT_EQ(0u, state.lostNotifications);
}

TEST_F(CrossProcessTest, GainChangesFromAnotherProcessReachTheServer)
{
    Child server;
    ASSERT_TRUE(server.Start(L"server"));
    ProductConnection panel;
    ASSERT_STATUS(0, panel.Connect(VEDRA_ROLE_PANEL));
    SimClient unit;
    ASSERT_EQ(0u, unit.Open());
    VedraDeviceId id = DeviceList().entries[0].id;
    ASSERT_STATUS(0, unit.Write(VEDRA_IOCTL_BIND_DEVICE, id));
    PinGain gain = {{MIXER_PIN_ANALOG, 0, {0, 0}}, 0, 0, -300};
    ASSERT_STATUS(0, unit.Request(VEDRA_IOCTL_SET_PIN_GAINS, &gain, 8, &gain, 8));

    ASSERT_STATUS(0, panel.Send(MakeMessage(VEDRA_MSG_REQUEST, 9998)));
    VedraMessage reply;
    ASSERT_STATUS(0, panel.WaitMessage(reply, 10000));
    std::vector<uint32_t> codes(reply.payloadLength / 4);
    memcpy(codes.data(), reply.payload, codes.size() * 4);
    EXPECT_EQ((std::vector<uint32_t>{3020, 3051}), codes) << "the panel's registration, then the gain change";
    ASSERT_STATUS(0, panel.Send(MakeMessage(VEDRA_MSG_REQUEST, 9999)));
    WaitForSingleObject(server.process.Get(), 10000);
}
