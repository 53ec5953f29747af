#include "DriverTestSupport.h"

#include "VedraMessage.h"

#include <cstring>

bool WaitForNotification(VedraDriver& driver, uint32_t code, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        VedraMessage message;
        Init(message, VEDRA_MSG_NONE, 0);
        while (driver.ReceiveNotification(message) == VEDRA_STATUS_SUCCESS) {
            if (message.type == VEDRA_MSG_NOTIFICATION && message.code == code)
                return true;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        if (WaitForSingleObject(driver.NotificationEvent(), timeoutMs - elapsed) != WAIT_OBJECT_0)
            return false;
    }
}

uint32_t InputWord(const VedraSimJournalEntry& entry, uint32_t index)
{
    uint32_t word = 0;
    if ((index + 1) * 4 <= VSIM_JOURNAL_INPUT_BYTES)
        std::memcpy(&word, entry.input + index * 4, 4);
    return word;
}
