#pragma once
#include "WnCallbacks.h"
#include "WnHandle.h"

// An owned thread that runs a WnThreadCallbackInterface.
//
// One owning thread starts, waits for and destroys it. Destruction closes
// the handle only: it neither waits for nor ends the thread, so an owner
// first makes its thread's body return (a stop event) and then calls Wait.
class WnThread : public WnHandle {
public:
    WnThread() = default;
    ~WnThread() override;

    // Starts a thread (through the C runtime, so its per-thread state is set
    // up) whose exit code is callback->Run(). Returns 183
    // (ERROR_ALREADY_EXISTS) and starts nothing while a thread is held, 87
    // for a null callback, else 0 or the system error (ThreadId is then 0).
    uint32_t Start(WnThreadCallbackInterface* callback, uint32_t stackSize, uint32_t creationFlags);

    // Waits up to milliseconds (INFINITE allowed) for the thread to end.
    // 0 with nothing held. When the thread has ended its handle is closed and
    // 0 returned, after which Start may be called again. Any other wait
    // result (258 WAIT_TIMEOUT, 0x80, 0xFFFFFFFF WAIT_FAILED) is returned
    // unchanged and the handle stays held.
    uint32_t Wait(uint32_t milliseconds);

    // Id of the last thread started; kept after Wait, 0 after a failed Start.
    uint32_t ThreadId() const { return threadId_; }

private:
    static unsigned __stdcall ThreadEntry(void* callback);

    uint32_t threadId_ = 0;
};
