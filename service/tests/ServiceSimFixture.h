#pragma once
// Tests of tarvinesvc.exe against the simulated driver: the real program in
// console mode (or under the service control manager), a test client on the
// driver interface library, and the simulated driver's journal and stored
// records to see what the service sent.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "DriverTestSupport.h"
#include "SimClient.h"
#include "VedraClient.h"

constexpr uint32_t kWaitMs = 10000;

class ServiceSimTest : public testing::Test {
protected:
    // Resets the driver to two units and removes the units' registry keys.
    void SetUp() override;
    void TearDown() override;

    void ResetTo(uint32_t scenario);
    // Starts "tarvinesvc.exe -console" and connects the test client; returns
    // once the client has been told the device list (3030), by which time
    // every unit has been started.
    void StartConsoleService();
    // Ctrl+C to the console service; it must end with exit code 0.
    void StopConsoleService();

    // A client that connects and registers makes the driver tell the server
    // (3020), which answers every client with 3030. Notifications reach the
    // server in order, so once the 3030 is here, every notification queued
    // for the server before has been handled.
    void WaitUntilServerIdle();

    // Journal entries of the service process from mark on.
    std::vector<VedraSimJournalEntry> ServiceRequestsSince(uint32_t mark);
    uint32_t Mark();
    VedraSimUnitState Unit(uint32_t index);
    std::vector<uint8_t> Record(uint32_t unitIndex, uint32_t kind, uint32_t index = 0);
    std::wstring DeviceKeyPath(uint32_t unitIndex);

    // A request from the test client; the reply's status (or the transport error).
    VedraStatus Request(uint32_t code, const void* payload, uint32_t length, VedraMessage* reply = nullptr);

    SimClient control;
    ChildProcess service;
    VedraClient client;
};


// Journal helpers.
uint32_t FunctionOf(const VedraSimJournalEntry& entry);
bool IsBoundTo(const VedraSimJournalEntry& entry, const VedraDeviceId& id);
std::vector<VedraSimJournalEntry> Filter(
    const std::vector<VedraSimJournalEntry>& entries, const std::function<bool(const VedraSimJournalEntry&)>& keep);
std::string Describe(const std::vector<VedraSimJournalEntry>& entries);

template <typename T>
std::vector<uint8_t> Bytes(const T& record)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    return std::vector<uint8_t>(bytes, bytes + sizeof(T));
}
