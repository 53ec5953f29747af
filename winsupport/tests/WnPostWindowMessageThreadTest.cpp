#include "WnEvent.h"
#include "WnPostWindowMessageThread.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD kTimeoutMs = 5000;
constexpr UINT kMessage = WM_APP + 10;

// A message-only window on the test thread that receives the posts.
class TargetWindow {
public:
    TargetWindow()
    {
        window_ = CreateWindowExW(0, L"STATIC", L"WnPostWindowMessageThreadTest", 0, 0, 0, 0, 0, HWND_MESSAGE,
            nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~TargetWindow()
    {
        if (window_ != nullptr)
            DestroyWindow(window_);
    }
    HWND Get() const { return window_; }

    // Takes every posted kMessage out of the queue; fails on a wrong wParam or lParam.
    int Drain()
    {
        int count = 0;
        MSG message;
        while (PeekMessageW(&message, window_, kMessage, kMessage, PM_REMOVE)) {
            EXPECT_EQ(0u, message.wParam);
            EXPECT_EQ(0, message.lParam);
            ++count;
        }
        return count;
    }

private:
    HWND window_ = nullptr;
};

TEST(WnPostWindowMessageThread, StopWinsOverAPendingSignal)
{
    TargetWindow window;
    ASSERT_NE(nullptr, window.Get());
    WnEvent signal;
    ASSERT_EQ(0u, signal.Create(false, false));
    WnPostWindowMessageThread pump;
    pump.Setup(window.Get(), signal.Get(), kMessage);

    // Both signalled before the thread's first wait.
    signal.Set();
    pump.StopEvent().Set();
    ASSERT_EQ(0u, pump.Start());
    ASSERT_EQ(0u, pump.Thread().Wait(kTimeoutMs));
    EXPECT_EQ(0, window.Drain()) << "nothing is posted once stop is seen";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(signal.Get(), 0)) << "the signal was not consumed";
}

TEST(WnPostWindowMessageThread, QuickSignalsGiveOneToThreeMessages)
{
    TargetWindow window;
    ASSERT_NE(nullptr, window.Get());
    WnEvent signal;
    ASSERT_EQ(0u, signal.Create(false, false));
    WnPostWindowMessageThread pump;
    pump.Setup(window.Get(), signal.Get(), kMessage);
    ASSERT_EQ(0u, pump.Start());

    signal.Set();
    signal.Set();
    signal.Set();
    // Signals that come before the thread takes the auto-reset event merge,
    // and a stop can overtake one still pending: at least the first post comes.
    ASSERT_EQ(WAIT_OBJECT_0, MsgWaitForMultipleObjects(0, nullptr, FALSE, kTimeoutMs, QS_POSTMESSAGE));
    pump.Stop();
    EXPECT_FALSE(pump.Thread().IsValid());
    const int posted = window.Drain();
    EXPECT_GE(posted, 1);
    EXPECT_LE(posted, 3);
}

TEST(WnPostWindowMessageThread, EachSignalAfterTheLastPostGivesAnotherMessage)
{
    TargetWindow window;
    ASSERT_NE(nullptr, window.Get());
    WnEvent signal;
    ASSERT_EQ(0u, signal.Create(false, false));
    WnPostWindowMessageThread pump;
    pump.Setup(window.Get(), signal.Get(), kMessage);
    // A Stop with no thread running first: it must not end the thread started after it.
    pump.Stop();
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_EQ(0u, pump.Start());
        for (int round = 1; round <= 3; ++round) {
            SCOPED_TRACE(round);
            signal.Set();
            ASSERT_EQ(WAIT_OBJECT_0, MsgWaitForMultipleObjects(0, nullptr, FALSE, kTimeoutMs, QS_POSTMESSAGE));
            EXPECT_EQ(1, window.Drain());
        }
        pump.Stop();
        EXPECT_FALSE(pump.Thread().IsValid());
        EXPECT_EQ(0, window.Drain());
    }
}

TEST(WnPostWindowMessageThread, AnUnusableSignalHandleEndsTheThread)
{
    TargetWindow window;
    WnPostWindowMessageThread pump;
    pump.Setup(window.Get(), reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7FFC)), kMessage);
    ASSERT_EQ(0u, pump.Start());
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), pump.Thread().Get(), GetCurrentProcess(), &copy, 0, FALSE,
        DUPLICATE_SAME_ACCESS));
    WnHandle thread(copy);
    EXPECT_EQ(0u, pump.Thread().Wait(kTimeoutMs)) << "the thread ends instead of spinning";
    DWORD exitCode = 0;
    GetExitCodeThread(thread.Get(), &exitCode);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), exitCode);
}

} // namespace
