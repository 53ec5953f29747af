#include "WnEvent.h"
#include "WnHandle.h"

#include <gtest/gtest.h>

namespace {

// True while the handle still names a live kernel object in this process.
bool IsOpenHandle(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(WnHandle, CloseWithNothingHeldReturnsSuccess)
{
    WnHandle handle;
    EXPECT_EQ(nullptr, handle.Get());
    EXPECT_EQ(0u, handle.Close());
    EXPECT_EQ(0u, handle.Close());
}

TEST(WnHandle, CloseReleasesTheKernelHandleAndForgetsIt)
{
    HANDLE raw = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, raw);
    WnHandle handle(raw);
    EXPECT_EQ(raw, handle.Get());
    EXPECT_EQ(0u, handle.Close());
    EXPECT_EQ(nullptr, handle.Get());
    EXPECT_FALSE(IsOpenHandle(raw));
}

TEST(WnHandle, DestructorClosesTheHandle)
{
    HANDLE raw = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, raw);
    {
        WnHandle handle(raw);
        EXPECT_TRUE(IsOpenHandle(raw));
    }
    EXPECT_FALSE(IsOpenHandle(raw));
}

TEST(WnHandle, InvalidHandleValueIsHeldAsNone)
{
    HANDLE file = CreateFileW(L"C:\\no\\such\\file.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(INVALID_HANDLE_VALUE, file);
    WnHandle handle(file);
    EXPECT_FALSE(handle.IsValid());
    EXPECT_EQ(0u, handle.Close());
}

TEST(WnEvent, CreateReplacesAHeldEvent)
{
    WnEvent event;
    ASSERT_EQ(0u, event.Create(false, false));
    HANDLE first = event.Get();
    ASSERT_NE(nullptr, first);

    ASSERT_EQ(0u, event.Create(true, true));
    ASSERT_NE(nullptr, event.Get());
    // The system may hand out the freed value again; a handle value names one
    // object at a time, so only a different value can still be the old event.
    if (event.Get() != first) {
        EXPECT_FALSE(IsOpenHandle(first)) << "the replaced event must be closed";
    }
    // The new one is manual-reset and signalled: it stays signalled across waits.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.Get(), 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.Get(), 0));
}

TEST(WnEvent, SetAndResetAreSeenByWaits)
{
    struct Case {
        bool manualReset;
        DWORD secondWait; // after one satisfied wait
    };
    const Case cases[] = {{false, WAIT_TIMEOUT}, {true, WAIT_OBJECT_0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.manualReset ? "manual reset" : "auto reset");
        WnEvent event;
        ASSERT_EQ(0u, event.Create(c.manualReset, false));
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event.Get(), 0));
        event.Set();
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.Get(), 0));
        EXPECT_EQ(c.secondWait, WaitForSingleObject(event.Get(), 0));
        event.Set();
        event.Reset();
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event.Get(), 0));
    }
}

DWORD WINAPI SetEventThread(void* param)
{
    static_cast<WnEvent*>(param)->Set();
    return 0;
}

TEST(WnEvent, SetWakesAWaiterOnAnotherThread)
{
    WnEvent event;
    ASSERT_EQ(0u, event.Create(false, false));
    HANDLE thread = CreateThread(nullptr, 0, SetEventThread, &event, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    WnHandle threadOwner(thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.Get(), 5000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(threadOwner.Get(), 5000));
}

TEST(WnEvent, SetAndResetWithoutAnEventAreHarmless)
{
    WnEvent event;
    event.Set();
    event.Reset();
    EXPECT_EQ(nullptr, event.Get());
}

} // namespace
