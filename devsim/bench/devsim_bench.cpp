// Benchmark of the simulated driver: the bare control-request round trip,
// and a request-reply message round trip between two processes through the
// driver (client send, server woken by its event, receive and reply, client
// woken and receive). Usage: devsim_bench [COUNT]   (default 10000)
// The program starts a second copy of itself as the server.
#include <windows.h>
#include <stdio.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "SimClient.h"

namespace {

constexpr uint32_t kQuitCode = 9999;
constexpr uint32_t kBenchCode = 1001;

VedraMessage Message(uint32_t type, uint32_t code)
{
    VedraMessage m = {};
    m.headerSize = VEDRA_MESSAGE_HEADER_SIZE;
    m.type = type;
    m.code = code;
    return m;
}

int Serve(const wchar_t* readyName)
{
    SimEventClient server;
    if (server.Connect(VEDRA_ROLE_SERVER) != 0)
        return 2;
    WnHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName));
    SetEvent(ready.Get());
    for (;;) {
        if (WaitForSingleObject(server.messageEvent.Get(), 60000) != WAIT_OBJECT_0)
            return 3;
        VedraMessage m;
        while (server.client.Read(VEDRA_IOCTL_RECEIVE_MESSAGE, m) == 0) {
            VedraMessage reply = Message(VEDRA_MSG_REPLY, VEDRA_REPLY_GENERIC);
            reply.sequence = m.sequence;
            reply.route1 = m.route1;
            reply.route2 = m.route2;
            server.Send(reply);
            if (m.code == kQuitCode)
                return 0;
        }
    }
}

struct Figures {
    double p50;
    double p99;
    double mean;
};

Figures Summarise(std::vector<double>& us)
{
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double v : us)
        sum += v;
    return {us[us.size() / 2], us[(us.size() * 99) / 100], sum / us.size()};
}

double Micros(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER frequency)
{
    return (double)(b.QuadPart - a.QuadPart) * 1e6 / (double)frequency.QuadPart;
}

int Measure(uint32_t count)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    SimClient control;
    if (control.Open() != 0) {
        fprintf(stderr, "devsim_bench: the simulated driver is not running\n");
        return 1;
    }
    sim::Reset(control, VSIM_SCENARIO_ONE);

    // The server in a second process.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring readyName = L"vedrasim-bench-" + std::to_wstring(GetCurrentProcessId());
    WnHandle ready(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    std::wstring command = L"\"" + std::wstring(self) + L"\" serve " + readyName;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        fprintf(stderr, "devsim_bench: cannot start the server: %lu\n", GetLastError());
        return 1;
    }
    WnHandle process(pi.hProcess);
    WnHandle thread(pi.hThread);
    if (WaitForSingleObject(ready.Get(), 15000) != WAIT_OBJECT_0) {
        fprintf(stderr, "devsim_bench: the server did not come up\n");
        return 1;
    }
    SimEventClient client;
    if (client.Connect(VEDRA_ROLE_PANEL) != 0)
        return 1;
    // Interleaved call by call, so both figures see the same machine load;
    // the first 100 of each are warm-up and left out.
    SimClient c;
    c.Open();
    std::vector<double> ioctl, trip;
    ioctl.reserve(count);
    trip.reserve(count);
    const uint32_t warmUp = 100;
    for (uint32_t i = 0; i < count + warmUp; ++i) {
        // Bare request: GetStreamingStatus, 36 bytes out.
        VedraStreamingStatus s;
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        uint32_t status = c.Read(VEDRA_IOCTL_GET_STREAMING_STATUS, s);
        QueryPerformanceCounter(&b);
        if (status != 0) {
            fprintf(stderr, "devsim_bench: request failed: 0x%08X\n", (unsigned)status);
            return 1;
        }
        if (i >= warmUp)
            ioctl.push_back(Micros(a, b, frequency));

        // Message round trip through the server process.
        VedraMessage request = Message(VEDRA_MSG_REQUEST, kBenchCode);
        request.sequence = i + 1;
        QueryPerformanceCounter(&a);
        status = client.Send(request);
        VedraMessage reply = {};
        while (status == 0) {
            if (WaitForSingleObject(client.messageEvent.Get(), 10000) != WAIT_OBJECT_0) {
                status = WAIT_TIMEOUT;
                break;
            }
            status = client.client.Read(VEDRA_IOCTL_RECEIVE_MESSAGE, reply);
            if (status == 0 && reply.sequence == request.sequence)
                break;
            if (status == VEDRA_STATUS_NO_MORE_ITEMS)
                status = 0;
        }
        QueryPerformanceCounter(&b);
        if (status != 0) {
            fprintf(stderr, "devsim_bench: round trip failed: 0x%08X\n", (unsigned)status);
            return 1;
        }
        if (i >= warmUp)
            trip.push_back(Micros(a, b, frequency));
    }
    client.Send(Message(VEDRA_MSG_REQUEST, kQuitCode));
    WaitForSingleObject(process.Get(), 10000);

    Figures f1 = Summarise(ioctl);
    Figures f2 = Summarise(trip);
    printf("requests: %u each\n", count);
    printf("ioctl round trip: p50=%.1f us p99=%.1f us mean=%.1f us\n", f1.p50, f1.p99, f1.mean);
    printf("message round trip: p50=%.1f us p99=%.1f us mean=%.1f us\n", f2.p50, f2.p99, f2.mean);
    printf("ratio message/ioctl: p50=%.1f p99=%.1f\n", f2.p50 / f1.p50, f2.p99 / f1.p99);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && wcscmp(argv[1], L"serve") == 0)
        return Serve(argv[2]);
    uint32_t count = 10000;
    if (argc == 2)
        count = (uint32_t)wcstoul(argv[1], nullptr, 10);
    if (count == 0)
        return 2;
    return Measure(count);
}
