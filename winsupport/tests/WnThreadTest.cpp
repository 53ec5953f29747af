#include "TestHelperProcess.h"
#include "WnCallbacks.h"
#include "WnEvent.h"
#include "WnMutex.h"
#include "WnThread.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr DWORD kTimeoutMs = 5000;

// A thread body that runs until released, so the test controls its life.
class GatedBody {
public:
    GatedBody()
    {
        forwarder.Bind(this, &GatedBody::Body);
        started.Create(true, false);
        release.Create(true, false);
    }

    uint32_t Body()
    {
        ++runs;
        runningThreadId = GetCurrentThreadId();
        started.Set();
        WaitForSingleObject(release.Get(), kTimeoutMs);
        return exitCode;
    }

    WnThreadCallbackForwarderT<GatedBody> forwarder;
    WnEvent started;
    WnEvent release;
    LONG runs = 0;
    DWORD runningThreadId = 0;
    uint32_t exitCode = 42;
};

TEST(WnThread, WaitWithoutAThreadReturnsAtOnce)
{
    WnThread thread;
    EXPECT_EQ(0u, thread.Wait(INFINITE));
    EXPECT_EQ(0u, thread.ThreadId());
}

TEST(WnThread, WaitTimesOutWhileTheThreadRunsAndReleasesItAfter)
{
    GatedBody body;
    WnThread thread;
    ASSERT_EQ(0u, thread.Start(&body.forwarder, 0, 0));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(body.started.Get(), kTimeoutMs));
    EXPECT_EQ(body.runningThreadId, thread.ThreadId()) << "ThreadId names the started thread";

    EXPECT_EQ(static_cast<uint32_t>(WAIT_TIMEOUT), thread.Wait(10));
    EXPECT_TRUE(thread.IsValid()) << "a timed-out wait keeps the handle";

    // Keep a handle of our own to read the exit code after Wait closes its one.
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread.Get(), GetCurrentProcess(), &copy, 0, FALSE,
        DUPLICATE_SAME_ACCESS));
    WnHandle ownCopy(copy);

    body.release.Set();
    EXPECT_EQ(0u, thread.Wait(INFINITE));
    EXPECT_FALSE(thread.IsValid());
    EXPECT_EQ(body.runningThreadId, thread.ThreadId()) << "ThreadId is kept after the wait";
    DWORD exitCode = 0;
    ASSERT_TRUE(GetExitCodeThread(ownCopy.Get(), &exitCode));
    EXPECT_EQ(42u, exitCode) << "the thread's exit code is Run's result";
}

TEST(WnThread, SecondStartWhileHeldIsRefusedAndStartWorksAgainAfterWait)
{
    GatedBody first;
    GatedBody second;
    WnThread thread;
    ASSERT_EQ(0u, thread.Start(&first.forwarder, 0, 0));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first.started.Get(), kTimeoutMs));
    const HANDLE held = thread.Get();
    const uint32_t firstId = thread.ThreadId();

    EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), thread.Start(&second.forwarder, 0, 0));
    EXPECT_EQ(held, thread.Get());
    EXPECT_EQ(firstId, thread.ThreadId());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(held, 0)) << "the first thread runs on";

    first.release.Set();
    ASSERT_EQ(0u, thread.Wait(kTimeoutMs));
    second.release.Set();
    EXPECT_EQ(0u, thread.Start(&second.forwarder, 0, 0));
    EXPECT_EQ(0u, thread.Wait(kTimeoutMs));
    EXPECT_EQ(1, first.runs);
    EXPECT_EQ(1, second.runs);
}

TEST(WnThread, StartWithoutACallbackIsRefused)
{
    WnThread thread;
    EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_PARAMETER), thread.Start(nullptr, 0, 0));
    EXPECT_FALSE(thread.IsValid());
}

std::wstring UniqueName(const wchar_t* stem)
{
    return std::wstring(stem) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
        std::to_wstring(GetTickCount());
}

TEST(WnMutex, NameHeldByAnotherProcessGives183AndAHandle)
{
    const std::wstring name = UniqueName(L"WnMutexTest");
    WnHandle release(CreateEventW(nullptr, TRUE, FALSE, (name + L"-release").c_str()));
    WnHandle readyNamed(CreateEventW(nullptr, TRUE, FALSE, (name + L"-ready").c_str()));
    ASSERT_TRUE(release.IsValid());
    ASSERT_TRUE(readyNamed.IsValid());
    WnHandle helper(StartTestHelper(L"-holdmutex " + name));
    ASSERT_TRUE(helper.IsValid()) << "cannot start " << testing::PrintToString(TestHelperPath());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(readyNamed.Get(), kTimeoutMs)) << "helper never took the mutex";

    WnMutex mutex;
    EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), mutex.Create(nullptr, true, name.c_str()));
    ASSERT_TRUE(mutex.IsValid()) << "the handle to the existing mutex is held";
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(mutex.Get(), 0))
        << "the other process still owns it";

    SetEvent(release.Get());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(helper.Get(), kTimeoutMs));
    DWORD helperExit = 1;
    GetExitCodeProcess(helper.Get(), &helperExit);
    EXPECT_EQ(0u, helperExit);
    // The helper ended while owning it: the same object, now abandoned.
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(mutex.Get(), 0));
    ReleaseMutex(mutex.Get());
}

TEST(WnMutex, FreshNameAndUnnamedGiveZero)
{
    const std::wstring name = UniqueName(L"WnMutexFresh");
    WnMutex named;
    EXPECT_EQ(0u, named.Create(nullptr, true, name.c_str()));
    EXPECT_TRUE(named.IsValid());

    // A second create in the same process finds the first one.
    WnMutex again;
    EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), again.Create(nullptr, false, name.c_str()));

    WnMutex unnamed;
    SetLastError(ERROR_ALREADY_EXISTS);
    EXPECT_EQ(0u, unnamed.Create(nullptr, false, nullptr));
    EXPECT_TRUE(unnamed.IsValid());
    ReleaseMutex(named.Get());
}

class Counter {
public:
    void OnDeviceChange(uint32_t eventType, void* eventData)
    {
        ++calls;
        lastType = eventType;
        lastData = eventData;
    }
    int calls = 0;
    uint32_t lastType = 0;
    void* lastData = nullptr;
};

TEST(WnCallbackForwarders, NotificatorKindDoesNothingUntilBound)
{
    Counter counter;
    WnPnPNotificatorCallbackForwarderT<Counter> forwarder;
    WnPnPNotificatorCallbackInterface& callback = forwarder;
    callback.OnDeviceChange(0x8000, nullptr);
    EXPECT_EQ(0, counter.calls);

    int data = 0;
    forwarder.Bind(&counter, &Counter::OnDeviceChange);
    callback.OnDeviceChange(0x8004, &data);
    EXPECT_EQ(1, counter.calls);
    EXPECT_EQ(0x8004u, counter.lastType);
    EXPECT_EQ(&data, counter.lastData);
}

class ServiceOwner {
public:
    uint32_t HandleControl(uint32_t control, uint32_t eventType, void* eventData)
    {
        seen[0] = control;
        seen[1] = eventType;
        data = eventData;
        return 0x1234;
    }
    void OnTimer(uint32_t low, uint32_t high)
    {
        seen[0] = low;
        seen[1] = high;
    }
    uint32_t seen[2] = {};
    void* data = nullptr;
};

TEST(WnCallbackForwarders, ArgumentsAndResultsPassUnchanged)
{
    ServiceOwner owner;
    int data = 0;
    WnServiceCallbackForwarderT<ServiceOwner> service(&owner, &ServiceOwner::HandleControl);
    WnServiceCallbackInterface& serviceCallback = service;
    EXPECT_EQ(0x1234u, serviceCallback.HandleControl(11, 0x8000, &data));
    EXPECT_EQ(11u, owner.seen[0]);
    EXPECT_EQ(0x8000u, owner.seen[1]);
    EXPECT_EQ(&data, owner.data);

    WnWaitableTimerCallbackForwarderT<ServiceOwner> timer(&owner, &ServiceOwner::OnTimer);
    WnWaitableTimerCallbackInterface& timerCallback = timer;
    timerCallback.OnTimer(0xAABBCCDD, 0x01D00000);
    EXPECT_EQ(0xAABBCCDDu, owner.seen[0]);
    EXPECT_EQ(0x01D00000u, owner.seen[1]);
}

} // namespace
