#pragma once
// A connection to the simulated driver for tests, the benchmark and the
// tarvinesim tool: an overlapped handle on the product's device path and
// synchronous requests that wait for completion with a time limit.
#include <windows.h>
#include <stdint.h>

#include <vector>

#include "VedraSimControl.h"
#include "WnEvent.h"
#include "WnHandle.h"

class SimClient {
public:
    SimClient() = default;
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;

    // Opens \\.\{GUID}; returns the Win32 error of CreateFileW (0 on success).
    uint32_t Open();
    void Close();
    bool IsOpen() const { return handle_.IsValid(); }
    HANDLE Handle() const { return handle_.Get(); }

    // One request. Returns 0, the driver's status, a Win32 error, or
    // WAIT_TIMEOUT when no answer came within timeoutMs (the request is
    // then cancelled). bytesReturned is written in every case.
    uint32_t Request(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                     uint32_t* bytesReturned = nullptr, uint32_t timeoutMs = 10000);

    template <typename T>
    uint32_t Read(uint32_t code, T& out, uint32_t* bytesReturned = nullptr)
    {
        out = T{};
        return Request(code, nullptr, 0, &out, sizeof(T), bytesReturned);
    }

    template <typename T>
    uint32_t Write(uint32_t code, const T& in)
    {
        return Request(code, &in, sizeof(T), nullptr, 0);
    }

private:
    WnHandle handle_;
    WnEvent done_;
};

// A driver-level connection with its two events and a role, as the
// product's programs hold one: for the helper processes of tests and the
// benchmark, which play the server or a client at the raw request level.
struct SimEventClient {
    SimClient client;
    WnEvent messageEvent;
    WnEvent notificationEvent;

    // Opens, creates and hands over both events, registers the role.
    uint32_t Connect(uint32_t role);
    // Sends the message's header and the used part of its payload.
    uint32_t Send(const VedraMessage& message);
};

// Simulation control over any connection.
namespace sim {

uint32_t Reset(SimClient& c, uint32_t scenario);
uint32_t GetState(SimClient& c, VedraSimState& state);
uint32_t GetConnections(SimClient& c, VedraSimConnectionList& list);
uint32_t GetUnit(SimClient& c, uint32_t index, VedraSimUnitState& unit);
// Every journal entry from fromSequence on, in order.
uint32_t ReadJournal(SimClient& c, uint32_t fromSequence, std::vector<VedraSimJournalEntry>& entries);
// Sequence number the next product request will get (a mark for ReadJournal).
uint32_t JournalMark(SimClient& c, uint32_t& next);
// A stored record: header and exactly header.size bytes.
uint32_t ReadRecord(SimClient& c, uint32_t unitIndex, uint32_t kind, uint32_t index, VedraSimRecordHeader& header,
                    std::vector<uint8_t>& bytes);
uint32_t SetFault(SimClient& c, uint32_t function, uint32_t failCount, uint32_t failStatus, uint32_t delayMs);
uint32_t SetStreams(SimClient& c, const VedraSimStreams& streams);

} // namespace sim
