#pragma once
#include "WnCallbacks.h"
#include "WnEvent.h"
#include "WnThread.h"

// A thread that turns each signal of an event into a posted window message.
//
// The owner calls Setup, then Start; the window and the signal event (which
// the thread does not own) must stay valid until Stop has returned. With an
// auto-reset signal event several signals can arrive under one message, and
// a message can arrive when there is nothing left to read: the window's
// handler reads its source until it is empty.
class WnPostWindowMessageThread : public WnThreadCallbackInterface {
public:
    WnPostWindowMessageThread();
    // Closes the stop event and the thread handle. It neither stops nor
    // waits for the thread: call Stop first.
    virtual ~WnPostWindowMessageThread();

    WnPostWindowMessageThread(const WnPostWindowMessageThread&) = delete;
    WnPostWindowMessageThread& operator=(const WnPostWindowMessageThread&) = delete;

    // Sets what the thread waits for and what it posts (wParam and lParam 0).
    // Only while the thread is not running.
    void Setup(HWND window, HANDLE signalEvent, uint32_t message);

    // Starts the thread; 183 while a thread is held.
    uint32_t Start();
    // Signals the stop event and waits without limit for the thread to end.
    // A stop wins over a signal that is pending at the same time. The
    // thread can be started again afterwards.
    void Stop();

    // The thread body: waits on the stop event, then the signal event.
    uint32_t Run() override;

    WnThread& Thread() { return thread_; }
    WnEvent& StopEvent() { return stopEvent_; }

private:
    WnThread thread_;
    HWND window_ = nullptr;
    HANDLE signalEvent_ = nullptr;
    WnEvent stopEvent_;
    uint32_t message_ = 0;
};
