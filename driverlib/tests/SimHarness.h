#pragma once
// Test side of the simulated driver: its private control requests, its
// journal of product requests, and small helpers to run a server or a
// scripted peer on a thread of the test process.
#include <windows.h>
#include <stdint.h>

#include <functional>
#include <vector>

#include "DriverTestSupport.h"
#include "VedraApiContext.h"
#include "VedraDriver.h"
#include "VedraSimControl.h"
#include "WnEvent.h"
#include "WnHandle.h"

// How long a test waits for something another thread or process does.
constexpr DWORD kTestWaitMs = 5000;

class SimControl {
public:
    // Opens the control connection; the test fails when the driver is absent.
    VedraStatus Open();
    VedraStatus Reset(uint32_t scenario);
    VedraStatus Fault(uint32_t function, uint32_t failCount, uint32_t failStatus, uint32_t delayMs = 0);
    VedraStatus Malformed(uint32_t flags);
    VedraStatus Streams(uint32_t demandA, uint32_t inUseA, uint32_t inUseB, uint32_t demandB, uint32_t demandC);
    VedraStatus StreamError();
    VedraStatus State(VedraSimState& state);
    VedraStatus Plug(const VedraSimUnitSpec& unitSpec, VedraDeviceId& id);
    VedraStatus Unplug(uint32_t index);
    VedraStatus Replug(uint32_t index, VedraDeviceId& id);
    VedraStatus Topology(uint32_t index, uint32_t destinations, uint32_t inputSources, uint32_t playbackSources);
    VedraStatus Connections(VedraSimConnectionList& list);
    // The operating system changes endpoint index of the unit (kind 2, 0 dB).
    VedraStatus EndpointVolume(uint32_t unitIndex, uint32_t index);

    // The sequence number the next product request gets.
    uint32_t Mark();
    // Every journal entry from mark on, oldest first.
    std::vector<VedraSimJournalEntry> Since(uint32_t mark);

private:
    // Sim requests bypass VedraApiContext: its handshake is what some tests
    // make the driver answer wrongly.
    VedraStatus Call(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize);

    WnHandle device;
    WnEvent done;
};

// Function numbers of the entries that pass the filter, in journal order.
std::vector<uint32_t> Functions(const std::vector<VedraSimJournalEntry>& entries,
                                const std::function<bool(const VedraSimJournalEntry&)>& keep);
bool ByRole(const VedraSimJournalEntry& entry, uint32_t role);
// A readable list of function numbers for failure messages.
std::string Hex(const std::vector<uint32_t>& functions);

// A body run on its own thread, joined (with a time limit) when it goes.
class TestThread {
public:
    explicit TestThread(std::function<void()> body);
    ~TestThread();
    // True when the thread ended within timeoutMs.
    bool Join(DWORD timeoutMs = kTestWaitMs);

private:
    static DWORD WINAPI Thunk(void* self);
    std::function<void()> body_;
    WnHandle thread_;
};

