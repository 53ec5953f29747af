// The answering side of the message benchmark, run as its own process:
//   vedra_bench_host READY_EVENT STOP_EVENT
// It runs VedraServer::Run; READY_EVENT is signalled once the server role is
// held, STOP_EVENT ends the host.
#include <windows.h>
#include <stdio.h>

#include "VedraServer.h"
#include "WnEvent.h"
#include "WnHandle.h"

namespace {

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
    if (argc != 3) {
        fprintf(stderr, "usage: vedra_bench_host READY_EVENT STOP_EVENT\n");
        return 1;
    }
    WnHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]));
    WnHandle stop(OpenEventW(SYNCHRONIZE, FALSE, argv[2]));
    if (!ready.IsValid() || !stop.IsValid()) {
        fprintf(stderr, "host: events not found (%lu)\n", GetLastError());
        return 1;
    }
    return RunServer(ready.Get(), stop.Get());
}
