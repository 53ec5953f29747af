// Measures tarvinesvc.exe (console mode) against the simulated driver with
// two units; the figures go into BENCHMARKS.md. Run by hand under the test
// bed (see BENCHMARKS.md):
//   tarvinesvc_bench idle [SECONDS]      the service left idle (default 60 s; CPU: idle-cpu.sh)
//   tarvinesvc_bench ratechange [COUNT]  latency of real sample-rate changes (default 200)
//   tarvinesvc_bench requests [COUNT]    handles and private bytes around COUNT requests (default 10000)
#include <windows.h>
#include <winternl.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "CustomServer.h"
#include "SimClient.h"
#include "DriverTestSupport.h"
#include "VedraClient.h"
#include "VedraMessage.h"

namespace {

constexpr uint32_t kWaitMs = 10000;

VedraStatus Request(VedraClient& client, uint32_t code, const void* payload, uint32_t length)
{
    VedraMessage request;
    Init(request, VEDRA_MSG_REQUEST, code);
    WritePayload(request, payload, length);
    VedraMessage reply;
    Init(reply, VEDRA_MSG_NONE, 0);
    VedraStatus status = client.Transact(request, reply, kWaitMs);
    return status != VEDRA_STATUS_SUCCESS ? status : reply.status;
}

// The simulated driver with two units, the service in console mode and a client.
struct Bed {
    SimClient control;
    ChildProcess service;
    VedraClient client;

    bool Start()
    {
        if (control.Open() != 0 || sim::Reset(control, VSIM_SCENARIO_TWO) != 0) {
            fprintf(stderr, "the simulated driver is not running\n");
            return false;
        }
        if (client.ConnectClient(VEDRA_INTERFACE_GUID_STRING) != 0 ||
            service.Start(BuiltProgramPath(L"tarvinesvc.exe"), L"-console") != 0 ||
            !WaitForNotification(client, VEDRA_NTF_DEVICE_LIST)) {
            fprintf(stderr, "tarvinesvc did not start: %s\n", service.Output().c_str());
            return false;
        }
        return true;
    }

    ~Bed()
    {
        client.Close();
        service.SendCtrlC();
        uint32_t exitCode = 0;
        service.WaitForExit(kWaitMs, exitCode);
    }
};

// The CPU time is read from outside (service/bench/idle-cpu.sh): Wine
// reports none for another process. This keeps the service running idle for
// the period and counts the driver requests it makes meanwhile.
int Idle(uint32_t seconds)
{
    Bed bed;
    if (!bed.Start())
        return 1;
    uint32_t mark0 = 0;
    uint32_t mark1 = 0;
    sim::JournalMark(bed.control, mark0);
    WaitForSingleObject(bed.service.Process(), seconds * 1000);
    sim::JournalMark(bed.control, mark1);
    printf("idle %u s, two units: %u driver requests meanwhile\n", seconds, mark1 - mark0);
    return 0;
}

int RateChange(uint32_t count)
{
    Bed bed;
    if (!bed.Start())
        return 1;
    // Streaming runs (an application wants it, none has the device open), so
    // every change walks down from running and back up.
    if (sim::SetStreams(bed.control, VedraSimStreams{1, 0, 0, 0, 0}) != 0)
        return 1;
    VedraSimState state = {};
    sim::GetState(bed.control, state);
    uint32_t rate = state.streaming.sampleRate;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> latencies;
    uint32_t requests = 0;
    for (uint32_t i = 0; i < count; ++i) {
        rate = rate == 48000 ? 44100 : 48000;
        uint32_t before = 0;
        uint32_t after = 0;
        sim::JournalMark(bed.control, before);
        LARGE_INTEGER t0, t1;
        QueryPerformanceCounter(&t0);
        VedraStatus status = Request(bed.client, VEDRA_REQ_SET_SAMPLE_RATE, &rate, sizeof(rate));
        QueryPerformanceCounter(&t1);
        if (status != VEDRA_STATUS_SUCCESS) {
            fprintf(stderr, "change %u failed: 0x%08X\n", i, status);
            return 1;
        }
        sim::JournalMark(bed.control, after);
        // The client's own send and receive are in the journal too.
        requests += after - before;
        latencies.push_back(1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / frequency.QuadPart);
    }
    // One more change, taken apart: which of the requests the service sent.
    rate = rate == 48000 ? 44100 : 48000;
    uint32_t before = 0;
    sim::JournalMark(bed.control, before);
    Request(bed.client, VEDRA_REQ_SET_SAMPLE_RATE, &rate, sizeof(rate));
    std::vector<VedraSimJournalEntry> entries;
    sim::ReadJournal(bed.control, before, entries);
    uint32_t byService = 0;
    std::string functions;
    for (const VedraSimJournalEntry& e : entries) {
        if (e.processId != bed.service.ProcessId())
            continue;
        ++byService;
        char text[16];
        snprintf(text, sizeof(text), " %03X", static_cast<unsigned>(VedraFunctionOf(e.code)));
        functions += text;
    }
    printf("one change: %u requests by the service:%s\n", byService, functions.c_str());
    std::sort(latencies.begin(), latencies.end());
    auto percentile = [&](double p) { return latencies[std::min(latencies.size() - 1, static_cast<size_t>(p * latencies.size()))]; };
    sim::GetState(bed.control, state);
    printf("%u rate changes while running: p50 %.2f ms, p99 %.2f ms, max %.2f ms; "
           "driver requests per change %.1f (all connections); final state %u\n",
        count, percentile(0.50), percentile(0.99), latencies.back(), static_cast<double>(requests) / count,
        state.streaming.state);
    return 0;
}

// Wine answers GetProcessHandleCount and GetProcessMemoryInfo for another
// process with zeros; the system's process list carries both figures.
bool Usage(uint32_t processId, DWORD& handles, SIZE_T& privateBytes)
{
    using QueryFunction = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return false;
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    if (query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) != 0)
        return false;
    for (size_t offset = 0;;) {
        const auto* info = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        if (reinterpret_cast<uintptr_t>(info->UniqueProcessId) == processId) {
            handles = info->HandleCount;
            // The memory counters follow HandleCount, SessionId and
            // UniqueProcessKey; PagefileUsage is their tenth field. Wine
            // fills it with the process's anonymous (private) memory.
            const BYTE* counters = reinterpret_cast<const BYTE*>(&info->HandleCount) + sizeof(ULONG) * 2 +
                                   sizeof(ULONG_PTR);
            memcpy(&privateBytes, counters + 9 * sizeof(SIZE_T), sizeof(SIZE_T));
            return true;
        }
        if (info->NextEntryOffset == 0)
            return false;
        offset += info->NextEntryOffset;
    }
}

int Requests(uint32_t count)
{
    Bed bed;
    if (!bed.Start())
        return 1;
    VedraSimState state = {};
    sim::GetState(bed.control, state);
    VedraSimUnitState unit = {};
    sim::GetUnit(bed.control, 0, unit);
    const uint32_t rate = state.streaming.sampleRate;
    SoundDeviceConfigurationPayload get = {unit.entry.id, 0, 0};
    // Warm-up: the first requests allocate what the service keeps for good.
    for (int i = 0; i < 100; ++i)
        Request(bed.client, VEDRA_REQ_GET_SOUND_DEVICE_CONFIG, &get, sizeof(get));
    // Two rounds of count requests: growth that is a leak shows in both,
    // pages touched once for good only in the first.
    DWORD handles[3] = {};
    SIZE_T privateBytes[3] = {};
    uint32_t failures = 0;
    Usage(bed.service.ProcessId(), handles[0], privateBytes[0]);
    for (int round = 1; round <= 2; ++round) {
        for (uint32_t i = 0; i < count; ++i) {
            VedraStatus status = (i % 2 == 0)
                ? Request(bed.client, VEDRA_REQ_SET_SAMPLE_RATE, &rate, sizeof(rate))
                : Request(bed.client, VEDRA_REQ_GET_SOUND_DEVICE_CONFIG, &get, sizeof(get));
            if (status != VEDRA_STATUS_SUCCESS)
                ++failures;
        }
        Usage(bed.service.ProcessId(), handles[round], privateBytes[round]);
    }
    printf("2 x %u requests (1001 same rate / 11002 alternately), %u failed: handles %lu -> %lu -> %lu, "
           "private bytes %lu -> %lu -> %lu KiB\n",
        count, failures, handles[0], handles[1], handles[2], static_cast<unsigned long>(privateBytes[0] / 1024),
        static_cast<unsigned long>(privateBytes[1] / 1024), static_cast<unsigned long>(privateBytes[2] / 1024));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    const uint32_t n = argc > 2 ? static_cast<uint32_t>(wcstoul(argv[2], nullptr, 10)) : 0;
    if (mode == L"idle")
        return Idle(n != 0 ? n : 60);
    if (mode == L"ratechange")
        return RateChange(n != 0 ? n : 200);
    if (mode == L"requests")
        return Requests(n != 0 ? n : 10000);
    fprintf(stderr, "usage: tarvinesvc_bench idle [SECONDS] | ratechange [COUNT] | requests [COUNT]\n");
    return 2;
}
