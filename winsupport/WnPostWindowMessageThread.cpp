#include "WnPostWindowMessageThread.h"

WnPostWindowMessageThread::WnPostWindowMessageThread()
{
    // A missing stop event shows up as a failed wait in Run, which ends the thread.
    stopEvent_.Create(false, false);
}

WnPostWindowMessageThread::~WnPostWindowMessageThread()
{
    stopEvent_.Close();
}

void WnPostWindowMessageThread::Setup(HWND window, HANDLE signalEvent, uint32_t message)
{
    window_ = window;
    signalEvent_ = signalEvent;
    message_ = message;
}

uint32_t WnPostWindowMessageThread::Start()
{
    return thread_.Start(this, 0, 0);
}

void WnPostWindowMessageThread::Stop()
{
    stopEvent_.Set();
    thread_.Wait(INFINITE);
    // A stop that no thread took (none was running) must not end the next one at once.
    stopEvent_.Reset();
}

uint32_t WnPostWindowMessageThread::Run()
{
    // The stop event comes first so that it wins when both are signalled.
    const HANDLE handles[2] = {stopEvent_.Get(), signalEvent_};
    for (;;) {
        const DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0 + 1) {
            // A failed post is dropped: the next signal posts again.
            PostMessageW(window_, message_, 0, 0);
            continue;
        }
        if (result == WAIT_FAILED) {
            // A handle that cannot be waited on would fail every wait again:
            // end the thread rather than spin, with the reason as exit code.
            return GetLastError();
        }
        return 0;
    }
}
