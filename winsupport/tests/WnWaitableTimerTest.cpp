#include "WnWaitableTimer.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace {

constexpr DWORD kTimeoutMs = 5000;

class TimerOwner {
public:
    TimerOwner() { forwarder.Bind(this, &TimerOwner::OnTimer); }

    void OnTimer(uint32_t low, uint32_t high)
    {
        ++calls;
        threadId = GetCurrentThreadId();
        (void)low;
        (void)high;
    }

    WnWaitableTimerCallbackForwarderT<TimerOwner> forwarder;
    int calls = 0;
    DWORD threadId = 0;
};

DWORD WINAPI AlertableWaitThread(void*)
{
    return SleepEx(0, TRUE);
}

TEST(WnWaitableTimer, ExpiryIsDeliveredOnlyInAnAlertableWaitOfTheArmingThread)
{
    TimerOwner owner;
    WnWaitableTimer timer;
    ASSERT_EQ(0u, timer.Create(false, nullptr, nullptr));
    // A 1000 ms period: the first expiry comes 1000 x 100 ns = 0.1 ms after arming.
    ASSERT_EQ(0u, timer.Set(1000, &owner.forwarder, false));

    // The handle is signalled on expiry; a wait that is not alertable runs no routine.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(timer.Get(), kTimeoutMs));
    EXPECT_EQ(0, owner.calls);

    // Nor does an alertable wait on another thread.
    HANDLE other = CreateThread(nullptr, 0, AlertableWaitThread, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, other);
    WnHandle otherOwner(other);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(other, kTimeoutMs));
    DWORD otherResult = 1;
    GetExitCodeThread(other, &otherResult);
    EXPECT_EQ(0u, otherResult) << "SleepEx result on the other thread";
    EXPECT_EQ(0, owner.calls);

    // The queued routine runs at the next alertable wait, on this thread.
    EXPECT_EQ(static_cast<DWORD>(WAIT_IO_COMPLETION), SleepEx(0, TRUE));
    EXPECT_EQ(1, owner.calls);
    EXPECT_EQ(GetCurrentThreadId(), owner.threadId);
    // low and high are not checked against the clock: Windows passes the
    // expiry time in UTC, Wine 8 the raw due time of a relative timer.
}

TEST(WnWaitableTimer, NothingReachesTheOwnerAfterDestruction)
{
    // The expiry is already queued for this thread when the timer goes.
    struct Case {
        const char* what;
        bool destroyFirst;
        DWORD sleepResult;
        int calls;
    };
    const Case cases[] = {
        {"timer kept", false, WAIT_IO_COMPLETION, 1},
        {"timer destroyed", true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TimerOwner owner;
        auto timer = std::make_unique<WnWaitableTimer>();
        ASSERT_EQ(0u, timer->Create(false, nullptr, nullptr));
        ASSERT_EQ(0u, timer->Set(100000, &owner.forwarder, false));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(timer->Get(), kTimeoutMs));
        if (c.destroyFirst)
            timer.reset();
        EXPECT_EQ(c.sleepResult, SleepEx(0, TRUE));
        EXPECT_EQ(c.calls, owner.calls);
    }
}

TEST(WnWaitableTimer, NullCallbackArmsWithoutARoutine)
{
    WnWaitableTimer timer;
    ASSERT_EQ(0u, timer.Create(false, nullptr, nullptr));
    ASSERT_EQ(0u, timer.Set(1000, nullptr, false));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(timer.Get(), kTimeoutMs)) << "armed: the handle is signalled";
    EXPECT_EQ(0u, SleepEx(0, TRUE)) << "no completion routine was queued";
}

TEST(WnWaitableTimer, PeriodOfZeroOrLessIsRefusedAndLeavesTheTimerArmed)
{
    TimerOwner owner;
    WnWaitableTimer timer;
    ASSERT_EQ(0u, timer.Create(false, nullptr, nullptr));
    // Armed for 30000 x 100 ns = 3 ms from now, without a routine.
    ASSERT_EQ(0u, timer.Set(30000, nullptr, false));
    for (int32_t period : {0, -1, INT_MIN}) {
        SCOPED_TRACE(period);
        EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_PARAMETER), timer.Set(period, &owner.forwarder, false));
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(timer.Get(), kTimeoutMs)) << "the earlier arming still fires";
    EXPECT_EQ(0u, SleepEx(0, TRUE));
    EXPECT_EQ(0, owner.calls);
}

TEST(WnWaitableTimer, CancelStopsExpiriesAndIsHarmlessWithoutATimer)
{
    WnWaitableTimer none;
    EXPECT_EQ(0u, none.Cancel());

    TimerOwner owner;
    WnWaitableTimer timer;
    ASSERT_EQ(0u, timer.Create(false, nullptr, nullptr));
    // A 200 ms period: the first expiry is 20 us away, the next one 200 ms.
    ASSERT_EQ(0u, timer.Set(200, &owner.forwarder, false));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(timer.Get(), kTimeoutMs));
    EXPECT_EQ(0u, timer.Cancel());
    EXPECT_EQ(0u, SleepEx(0, TRUE)) << "the queued expiry is dropped";
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(timer.Get(), 400)) << "no further expiry";
    EXPECT_EQ(0, owner.calls);
}

} // namespace
