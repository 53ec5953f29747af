// tarvinesvc.exe -console against the simulated driver.
#include "ServiceSimFixture.h"
#include "ServiceTestSupport.h"

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

} // namespace
