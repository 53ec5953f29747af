#pragma once
// Shared pieces of the simulated driver's tests: a fixture that resets the
// driver to a scenario, product-level connections with their two events,
// and message helpers. Every request is a raw DeviceIoControl.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimClient.h"

// A product connection: the handle plus the two auto-reset events the
// driver signals (created on demand).
struct ProductConnection {
    SimClient client;
    WnEvent messageEvent;
    WnEvent notificationEvent;

    uint32_t Open() { return client.Open(); }
    // Hands both events to the driver.
    uint32_t SetEvents();
    uint32_t RegisterRole(uint32_t role);
    // Open, events (for roles 0 and 2) and role, as the programs connect.
    uint32_t Connect(uint32_t role);
    uint32_t Send(const VedraMessage& message);
    uint32_t Receive(VedraMessage& message);
    uint32_t ReceiveNotification(VedraMessage& message);
    // Waits for the event, then receives; WAIT_TIMEOUT when nothing came.
    uint32_t WaitMessage(VedraMessage& message, uint32_t timeoutMs = 5000);
    uint32_t WaitNotification(VedraMessage& message, uint32_t timeoutMs = 5000);
    // Codes of every queued notification, in order (drains the queue).
    std::vector<uint32_t> DrainNotifications();
};

VedraMessage MakeMessage(uint32_t type, uint32_t code, uint32_t payloadLength = 0);
uint32_t Control(uint32_t function);
const char* Name(uint32_t status); // status name for messages

class SimDriverTest : public ::testing::Test {
protected:
    void SetUp() override { ResetTo(VSIM_SCENARIO_ONE); }
    void ResetTo(uint32_t scenario);
    // The device list as a fresh connection sees it.
    VedraDeviceList DeviceList();
    std::vector<VedraSimJournalEntry> JournalSince(uint32_t mark);
    uint32_t JournalMark();

    SimClient control; // simulation control only: never a product request
};

#define EXPECT_STATUS(expected, actual) \
    EXPECT_EQ((uint32_t)(expected), (uint32_t)(actual)) << "expected " << Name(expected) << ", got " << Name(actual)
#define ASSERT_STATUS(expected, actual) \
    ASSERT_EQ((uint32_t)(expected), (uint32_t)(actual)) << "expected " << Name(expected) << ", got " << Name(actual)
