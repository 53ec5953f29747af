#pragma once
#include "WnHandle.h"

// An owned, unnamed Win32 event.
class WnEvent : public WnHandle {
public:
    WnEvent() = default;
    ~WnEvent() override;

    // Replaces a held event (its close error is dropped) with a new one.
    // On failure nothing is held and the system error is returned.
    uint32_t Create(bool manualReset, bool initialState);

    // Failures are dropped: a missing event shows up in the wait that uses it.
    void Set();
    void Reset();
};
