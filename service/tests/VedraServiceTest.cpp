// The service object in the test process: its control handling, the
// single-instance mutex and the server loop with the units' timers.
#include "ServiceSimFixture.h"

#include "CustomDevice.h"
#include "CustomServer.h"
#include "VedraService.h"

#include <dbt.h>

#include <atomic>

namespace {

bool Signalled(HANDLE event)
{
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

TEST(VedraService, ControlsStopTheLoopOrReportAnArrival)
{
    struct Case {
        uint32_t control;
        uint32_t eventType;
        bool stops;
        bool arrives;
    };
    const Case cases[] = {
        {SERVICE_CONTROL_STOP, 0, true, false},
        {SERVICE_CONTROL_SHUTDOWN, 0, true, false},
        {SERVICE_CONTROL_DEVICEEVENT, DBT_DEVICEARRIVAL, false, true},
        {SERVICE_CONTROL_DEVICEEVENT, DBT_DEVICEREMOVECOMPLETE, false, false},
        {SERVICE_CONTROL_INTERROGATE, 0, false, false},
        {SERVICE_CONTROL_PAUSE, 0, false, false},
    };
    VedraService service;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "control " << c.control << ", event type 0x" << std::hex << c.eventType);
        EXPECT_EQ(0u, service.HandleControl(c.control, c.eventType, nullptr));
        EXPECT_EQ(c.stops, Signalled(service.StopEvent()));
        EXPECT_EQ(c.arrives, Signalled(service.DeviceArrivalEvent()));
    }
}

TEST(VedraService, IdentityComesFromTheServer)
{
    VedraService service;
    EXPECT_STREQ(L"tarvinesvc", service.ServiceName());
    EXPECT_STREQ(L"Tarvine control", service.DisplayName());
    EXPECT_STREQ(L"Tarvine control service", service.Description());
    wchar_t name[VedraService::kInstanceNameChars + 1];
    service.InstanceName(name);
    EXPECT_STREQ(L"Global\\tarvinesvc-{3B7C5A10-64E2-4F0D-9C1A-52D8E6F40A73}", name);
}

// The test binary is not tarvinesvc: these tests carry the simdriver lock,
// which every test running tarvinesvc.exe holds too.
TEST(VedraService, OneInstanceAtATimeAcrossSessions)
{
    VedraService first;
    VedraService second;
    const wchar_t* globalName = L"Global\\tarvinesvc-{3B7C5A10-64E2-4F0D-9C1A-52D8E6F40A73}";
    ASSERT_EQ(0u, first.AcquireSingleInstance());
    WnHandle seen(OpenMutexW(SYNCHRONIZE, FALSE, globalName));
    EXPECT_TRUE(seen.IsValid()) << "the mutex is not in the Global namespace: " << GetLastError();
    seen.Close();

    EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), second.AcquireSingleInstance());
    // The refused instance keeps no handle: once the first has gone, the
    // name is free again.
    first.ReleaseSingleInstance();
    WnHandle gone(OpenMutexW(SYNCHRONIZE, FALSE, globalName));
    EXPECT_FALSE(gone.IsValid());
    EXPECT_EQ(0u, second.AcquireSingleInstance());
    second.ReleaseSingleInstance();
}

// Counts the timer expiries of the units it starts.
class CountingDevice : public CustomDevice {
public:
    CountingDevice(std::atomic<int>& expiries_, HANDLE secondExpiry_)
        : CustomDevice(HKEY_LOCAL_MACHINE, L"Software\\QUENDAL\\tarvine"), expiries(expiries_),
          secondExpiry(secondExpiry_)
    {
    }

protected:
    void OnTimer(uint32_t low, uint32_t high) override
    {
        CustomDevice::OnTimer(low, high);
        if (++expiries == 2)
            SetEvent(secondExpiry);
    }

private:
    std::atomic<int>& expiries;
    HANDLE secondExpiry;
};

class CountingServer : public CustomServer {
public:
    CountingServer(std::atomic<int>& expiries_, HANDLE secondExpiry_) : expiries(expiries_), secondExpiry(secondExpiry_) {}

protected:
    std::unique_ptr<VedraDevice> CreateDevice() override
    {
        return std::make_unique<CountingDevice>(expiries, secondExpiry);
    }

private:
    std::atomic<int>& expiries;
    HANDLE secondExpiry;
};

class ServerLoop : public ServiceSimTest {};

TEST_F(ServerLoop, WakesForTheUnitTimerAndEndsOnStop)
{
    ResetTo(VSIM_SCENARIO_ONE);
    std::atomic<int> expiries{0};
    WnEvent secondExpiry;
    ASSERT_EQ(0u, secondExpiry.Create(true, false));
    VedraService service(std::make_unique<CountingServer>(expiries, secondExpiry.Get()));
    class LoopThread : public WnThreadCallbackInterface {
    public:
        explicit LoopThread(VedraService& s) : service(s) {}
        uint32_t Run() override
        {
            service.RunServer();
            return 0;
        }

    private:
        VedraService& service;
    } loop(service);
    WnThread thread;
    ASSERT_EQ(0u, thread.Start(&loop, 0, 0));
    // The first expiry comes at once, the second one period (3 s) later.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(secondExpiry.Get(), CustomDevice::kTimerPeriodMs + 2000))
        << expiries << " expiries";
    service.Stop();
    EXPECT_EQ(0u, thread.Wait(kWaitMs)) << "the server loop did not end on stop";
}

} // namespace
