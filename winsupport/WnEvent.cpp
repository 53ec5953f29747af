#include "WnEvent.h"

WnEvent::~WnEvent() = default;

uint32_t WnEvent::Create(bool manualReset, bool initialState)
{
    Close();
    HANDLE event = CreateEventW(nullptr, manualReset, initialState, nullptr);
    if (event == nullptr)
        return GetLastError();
    Attach(event);
    return ERROR_SUCCESS;
}

void WnEvent::Set()
{
    SetEvent(Get());
}

void WnEvent::Reset()
{
    ResetEvent(Get());
}
