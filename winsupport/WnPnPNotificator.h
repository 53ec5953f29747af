#pragma once
#include "WnCallbacks.h"
#include "WnCriticalSection.h"
#include "WnDeviceNotificationList.h"
#include "WnEvent.h"
#include "WnThread.h"

#include <atomic>

// Receives device-interface arrivals and removals in a process that has no
// window of its own: a thread of its own owns a hidden top-level window
// (never shown) and runs its message loop, and every arrival or removal of
// a device interface reaches the callback on that thread. The callback
// must therefore be safe against the owner's other threads.
//
// Stopped -> Start -> running -> Stop -> stopped; it can be started again.
// Start, Register and Stop may be called from any thread; they serialise on
// the notificator's lock.
class WnPnPNotificator : public WnThreadCallbackInterface {
public:
    WnPnPNotificator() = default;
    // Stops without time limit.
    virtual ~WnPnPNotificator();

    WnPnPNotificator(const WnPnPNotificator&) = delete;
    WnPnPNotificator& operator=(const WnPnPNotificator&) = delete;

    // Starts the thread and waits up to 10 s until its window exists.
    // instance null means the program's own module. Returns 87 for a null
    // callback, 1247 (ERROR_ALREADY_INITIALIZED) while running, 1460
    // (ERROR_TIMEOUT) when the window did not come in time, 183 while the
    // thread of a timed-out start is still held, the error of creating the
    // window, or 0.
    uint32_t Start(WnPnPNotificatorCallbackInterface* callback, HINSTANCE instance);

    // Registers the hidden window for interfaces of classGuid. 13
    // (ERROR_INVALID_DATA) when not running.
    uint32_t Register(const GUID& classGuid);

    // Closes the window and waits up to timeoutMs for the thread, returning
    // the wait result (0 when stopped, 258 when the thread is still running,
    // which leaves the notificator running). Cancels every registration
    // in both cases. 0 when not running. The thread of a Start that timed
    // out is waited for and ended the same way.
    uint32_t Stop(uint32_t timeoutMs);

    // Id of the notificator's thread (0 before the first start); the hidden
    // window's class is "PnPNotificatorWndCls_<process id>_<thread id>".
    uint32_t ThreadId() const { return thread_.ThreadId(); }

    // The thread body: creates the window and runs its message loop.
    uint32_t Run() override;

protected:
    virtual LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    uint32_t CreateHiddenWindow(const wchar_t* className, const wchar_t* title);
    LRESULT OnDeviceChange(WPARAM wParam, LPARAM lParam);

    WnCriticalSection lock_;
    bool running_ = false;
    HINSTANCE instance_ = nullptr;
    std::atomic<HWND> window_{nullptr};
    WnPnPNotificatorCallbackInterface* callback_ = nullptr;
    WnThread thread_;
    WnEvent readyEvent_;
    uint32_t windowResult_ = 0;
    WnDeviceNotificationList notifications_;
};
