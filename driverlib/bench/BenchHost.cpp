// The answering side of the message benchmark, run as its own process:
//   vedra_bench_host server|echo READY_EVENT STOP_EVENT
// "server" runs VedraServer::Run; "echo" answers every request at once with
// a bare reply, the least a server can do. READY_EVENT is signalled once the
// server role is held; STOP_EVENT ends the host.
#include <windows.h>
#include <stdio.h>

#include "VedraMessage.h"
#include "VedraServer.h"
#include "WnEvent.h"
#include "WnHandle.h"

namespace {

int RunEcho(HANDLE ready, HANDLE stop)
{
    VedraDriver echo;
    VedraStatus status = echo.Connect(VEDRA_INTERFACE_GUID_STRING, VEDRA_ROLE_SERVER);
    if (status != VEDRA_STATUS_SUCCESS) {
        fprintf(stderr, "echo: connect failed: %s (0x%08X)\n", StatusName(status), status);
        return 2;
    }
    SetEvent(ready);
    HANDLE handles[2] = {stop, echo.MessageEvent()};
    VedraMessage message;
    VedraMessage reply;
    for (;;) {
        DWORD waited = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (waited != WAIT_OBJECT_0 + 1)
            return 0;
        while (echo.ReceiveMessage(message) == VEDRA_STATUS_SUCCESS) {
            if (message.type != VEDRA_MSG_REQUEST)
                continue;
            InitReply(reply, message, VEDRA_STATUS_SUCCESS);
            echo.SendMessage(reply);
        }
    }
}

int RunServer(HANDLE ready, HANDLE stop)
{
    VedraServer server;
    VedraStatus status = server.ConnectServer(server.InterfaceGuidString());
    if (status != VEDRA_STATUS_SUCCESS) {
        fprintf(stderr, "server: connect failed: %s (0x%08X)\n", StatusName(status), status);
        return 2;
    }
    WnEvent arrival;
    if (arrival.Create(false, false) != ERROR_SUCCESS)
        return 3;
    SetEvent(ready);
    server.Run(stop, arrival.Get());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: vedra_bench_host server|echo READY_EVENT STOP_EVENT\n");
        return 1;
    }
    WnHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]));
    WnHandle stop(OpenEventW(SYNCHRONIZE, FALSE, argv[3]));
    if (!ready.IsValid() || !stop.IsValid()) {
        fprintf(stderr, "host: events not found (%lu)\n", GetLastError());
        return 1;
    }
    if (wcscmp(argv[1], L"echo") == 0)
        return RunEcho(ready.Get(), stop.Get());
    return RunServer(ready.Get(), stop.Get());
}
