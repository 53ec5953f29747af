// tarvinesvc.exe -console against the simulated driver.
#include "ServiceSimFixture.h"
#include "ServiceTestSupport.h"

#include "SoundDeviceRecords.h"

namespace {

using ConsoleMode = ServiceSimTest;

TEST_F(ConsoleMode, ServesClientsAndEndsOnCtrlC)
{
    StartConsoleService();
    VedraSimState state = {};
    ASSERT_EQ(0u, sim::GetState(control, state));
    EXPECT_NE(0u, state.serverConnection) << "the service is not the driver's server";

    // A rate change to the current rate is answered without touching streaming.
    const uint32_t rate = state.streaming.sampleRate;
    EXPECT_EQ(0u, Request(VEDRA_REQ_SET_SAMPLE_RATE, &rate, sizeof(rate)));

    StopConsoleService();
    EXPECT_EQ("", service.Output());
    ASSERT_EQ(0u, sim::GetState(control, state));
    EXPECT_EQ(0u, state.serverConnection) << "the server connection outlived the process";
}

TEST_F(ConsoleMode, SecondInstanceRefusesAndExitsWithZero)
{
    StartConsoleService();
    ProgramRun second = RunServiceProgram(L"-console");
    ASSERT_TRUE(second.ended);
    EXPECT_EQ(0u, second.exitCode);
    EXPECT_EQ("Cannot start, another instance is already running.\r\n", second.output);
    // The first one goes on serving.
    WaitUntilServerIdle();
    StopConsoleService();
}

TEST_F(ConsoleMode, ClientConnectingLaterIsToldTheDeviceList)
{
    StartConsoleService();
    VedraClient later;
    ASSERT_EQ(0u, later.ConnectClient(VEDRA_INTERFACE_GUID_STRING));
    EXPECT_TRUE(WaitForNotification(later, VEDRA_NTF_DEVICE_LIST));
    StopConsoleService();
}

// With no unit the server lets go of the driver; only a device arrival,
// which reaches the console instance through its notificator's hidden
// window, makes it connect again.
TEST_F(ConsoleMode, DeviceArrivalReconnectsAServerThatLetGo)
{
    ResetTo(VSIM_SCENARIO_NONE);
    StartConsoleService();
    // The server lets go at the end of a wake-up of its loop (the start
    // itself is none): a new client makes one.
    WaitUntilServerIdle();
    VedraSimState state = {};
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(0u, sim::GetState(control, state));
        if (state.serverConnection == 0)
            break;
        WaitForSingleObject(service.Process(), 20);
    }
    ASSERT_EQ(0u, state.serverConnection) << "the server kept the driver with no unit";
    // Forget what the client was told before.
    VedraMessage stale;
    while (client.NextNotification(stale) == VEDRA_STATUS_SUCCESS) {
    }

    VedraSimUnitSpec unitSpec = {};
    VedraDeviceId id = {};
    ASSERT_EQ(0u, control.Request(VSIM_IOCTL_PLUG, &unitSpec, sizeof(unitSpec), &id, sizeof(id)));
    // Wine registers a window for device notices in the background, so an
    // arrival announced too early is missed: announce until one is heard.
    bool told = false;
    for (int i = 0; i < 20 && !told; ++i) {
        ASSERT_EQ(0u, control.Request(VSIM_IOCTL_ANNOUNCE, nullptr, 0, nullptr, 0));
        told = WaitForNotification(client, VEDRA_NTF_DEVICE_LIST, 500);
    }
    ASSERT_TRUE(told) << "no 3030 after device arrivals";
    ASSERT_EQ(0u, sim::GetState(control, state));
    EXPECT_NE(0u, state.serverConnection);
    VedraWdmPinNames endpoints = {};
    BuildEndpointRecord(0, 0, endpoints);
    EXPECT_EQ(Bytes(endpoints), Record(0, VSIM_RECORD_WDM_PIN_NAMES)) << "the new unit was not configured";
    StopConsoleService();
}

} // namespace
