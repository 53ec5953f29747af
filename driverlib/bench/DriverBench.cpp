// Measures the driver interface library against the simulated driver:
//   1. Request against a bare DeviceIoControl on the same handle;
//   2. a Transact round trip to a VedraServer running Run in another process
//      (request 1001 with the current rate, answered at once), against the
//      bare message round trip and a bare IOCTL measured alongside.
// Usage: vedra_bench [COUNT]   (default 5000)
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "VedraClient.h"
#include "VedraMessage.h"
#include "VedraSimControl.h"
#include "WnEvent.h"
#include "WnHandle.h"

namespace {

double g_tickMicroseconds = 0;

// A request code no server handles: VedraServer answers it at once with
// VEDRA_STATUS_INVALID_COMMAND and no driver request of its own.
constexpr uint32_t kUnknownRequest = 1099;

double Now()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * g_tickMicroseconds;
}

struct Figures {
    double p50;
    double p99;
    double mean;
};

Figures Summarise(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double sample : samples)
        sum += sample;
    size_t n = samples.size();
    return {samples[n / 2], samples[(n * 99) / 100], sum / n};
}

void Print(const char* what, const Figures& f)
{
    printf("%-44s p50 %8.1f us   p99 %8.1f us   mean %8.1f us\n", what, f.p50, f.p99, f.mean);
}

// The least a caller can do on an overlapped handle: one event, one wait.
bool BareRequest(HANDLE handle, HANDLE event, uint32_t code, void* out, DWORD outSize)
{
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event;
    DWORD count = 0;
    if (DeviceIoControl(handle, code, nullptr, 0, out, outSize, &count, &overlapped))
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    return GetOverlappedResult(handle, &overlapped, &count, TRUE) != FALSE;
}

int MeasureRequest(uint32_t count)
{
    VedraDriver driver;
    VedraStatus status = driver.Connect(VEDRA_INTERFACE_GUID_STRING, VEDRA_ROLE_PANEL_VISIBLE);
    if (status != VEDRA_STATUS_SUCCESS) {
        fprintf(stderr, "connect failed: %s (0x%08X)\n", StatusName(status), status);
        return 1;
    }
    WnEvent event;
    if (event.Create(true, false) != ERROR_SUCCESS)
        return 1;
    std::vector<double> bare, library;
    bare.reserve(count);
    library.reserve(count);
    VedraStreamingStatus record = {};
    // Interleaved, so that both see the same machine load.
    for (uint32_t i = 0; i < count + 100; ++i) {
        double t0 = Now();
        if (!BareRequest(driver.NativeHandle(), event.Get(), VEDRA_IOCTL_GET_STREAMING_STATUS, &record, sizeof(record)))
            return 1;
        double t1 = Now();
        if (driver.GetStreamingStatus(record) != VEDRA_STATUS_SUCCESS)
            return 1;
        double t2 = Now();
        if (i >= 100) { // warm-up left out
            bare.push_back(t1 - t0);
            library.push_back(t2 - t1);
        }
    }
    Figures b = Summarise(bare), l = Summarise(library);
    printf("GetStreamingStatus (0x834), %u requests each, interleaved\n", count);
    Print("  bare DeviceIoControl + GetOverlappedResult", b);
    Print("  VedraApiContext::Request", l);
    printf("  ratio Request/bare: p50 %.3f  p99 %.3f  mean %.3f\n\n", l.p50 / b.p50, l.p99 / b.p99, l.mean / b.mean);
    return 0;
}

// Starts the server host and measures, interleaved call by call so that all
// three see the same load: a bare IOCTL round trip, a request the server
// loop answers without a driver request of its own (an unknown code: the
// bare message round trip through the library on both sides), and request
// 1001 with the current rate.
int MeasureTransact(uint32_t count)
{
    wchar_t ready[64], stop[64];
    swprintf(ready, 64, L"Local\\VedraBenchReady%lu", GetCurrentProcessId());
    swprintf(stop, 64, L"Local\\VedraBenchStop%lu", GetCurrentProcessId());
    WnHandle readyEvent(CreateEventW(nullptr, FALSE, FALSE, ready));
    WnHandle stopEvent(CreateEventW(nullptr, FALSE, FALSE, stop));
    if (!readyEvent.IsValid() || !stopEvent.IsValid())
        return 1;

    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring host(exe);
    host = host.substr(0, host.find_last_of(L"\\/") + 1) + L"vedra_bench_host.exe";
    std::wstring commandLine = L"\"" + host + L"\" " + ready + L" " + stop;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(host.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        fprintf(stderr, "cannot start %ls (%lu)\n", host.c_str(), GetLastError());
        return 1;
    }
    WnHandle processHandle(process.hProcess);
    WnHandle threadHandle(process.hThread);
    HANDLE started[2] = {readyEvent.Get(), processHandle.Get()};
    if (WaitForMultipleObjects(2, started, FALSE, 10000) != WAIT_OBJECT_0) {
        fprintf(stderr, "host did not become ready\n");
        TerminateProcess(processHandle.Get(), 1);
        return 1;
    }

    int failed = 0;
    {
        VedraClient client;
        WnEvent event;
        VedraStatus status = client.ConnectClient(VEDRA_INTERFACE_GUID_STRING);
        if (status == VEDRA_STATUS_SUCCESS)
            status = event.Create(true, false);
        VedraStreamingStatus current = {};
        if (status == VEDRA_STATUS_SUCCESS)
            status = client.GetStreamingStatus(current);
        std::vector<double> ioctl, bare, server;
        ioctl.reserve(count);
        bare.reserve(count);
        server.reserve(count);
        VedraMessage request, reply;
        for (uint32_t i = 0; status == VEDRA_STATUS_SUCCESS && i < count + 100; ++i) {
            double t0 = Now();
            VedraStreamingStatus record = {};
            if (!BareRequest(client.NativeHandle(), event.Get(), VEDRA_IOCTL_GET_STREAMING_STATUS, &record,
                             sizeof(record)))
                status = VEDRA_STATUS_FAILED;
            double t1 = Now();
            Init(request, VEDRA_MSG_REQUEST, kUnknownRequest);
            Init(reply, VEDRA_MSG_NONE, 0);
            if (status == VEDRA_STATUS_SUCCESS)
                status = client.Transact(request, reply, 30000);
            if (status == VEDRA_STATUS_SUCCESS && reply.status != VEDRA_STATUS_INVALID_COMMAND)
                status = reply.status;
            double t2 = Now();
            if (status == VEDRA_STATUS_SUCCESS)
                status = client.SetSampleRate(current.sampleRate, 30000);
            double t3 = Now();
            if (i >= 100) {
                ioctl.push_back(t1 - t0);
                bare.push_back(t2 - t1);
                server.push_back(t3 - t2);
            }
        }
        if (status != VEDRA_STATUS_SUCCESS) {
            fprintf(stderr, "exchange failed: %s (0x%08X)\n", StatusName(status), status);
            failed = 1;
        } else {
            Figures i = Summarise(ioctl), b = Summarise(bare), s = Summarise(server);
            printf("Client and VedraServer::Run in two processes, %u of each, interleaved\n", count);
            Print("  bare IOCTL round trip (0x834)", i);
            Print("  Transact, code answered at once (bare)", b);
            Print("  Transact, 1001 with the current rate", s);
            printf("  ratio 1001/bare message: p50 %.2f  p99 %.2f\n", s.p50 / b.p50, s.p99 / b.p99);
            printf("  in IOCTL round trips: bare message p50 %.2f, 1001 p50 %.2f\n", b.p50 / i.p50, s.p50 / i.p50);
        }
    }
    SetEvent(stopEvent.Get());
    if (WaitForSingleObject(processHandle.Get(), 10000) != WAIT_OBJECT_0) {
        TerminateProcess(processHandle.Get(), 1);
        failed = 1;
    }
    return failed;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_tickMicroseconds = 1e6 / frequency.QuadPart;
    uint32_t count = argc > 1 ? wcstoul(argv[1], nullptr, 10) : 5000;
    if (count < 100)
        count = 100;

    // A known starting point: one unit, no faults.
    {
        VedraApiContext control;
        if (control.Open(VEDRA_INTERFACE_GUID_STRING) != VEDRA_STATUS_SUCCESS) {
            fprintf(stderr, "the simulated driver is not there\n");
            return 1;
        }
        VedraSimReset reset = {VSIM_SCENARIO_ONE};
        control.Request(VSIM_IOCTL_CLEAR_FAULTS, nullptr, 0, nullptr, 0);
        if (control.Request(VSIM_IOCTL_RESET, &reset, sizeof(reset), nullptr, 0) != VEDRA_STATUS_SUCCESS)
            return 1;
    }
    if (MeasureRequest(count) != 0)
        return 1;

    if (MeasureTransact(count) != 0)
        return 1;
    return 0;
}
