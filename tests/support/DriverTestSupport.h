#pragma once
// Helpers shared by the tests and benchmarks that run the product's
// connections against the simulated driver.
#include <windows.h>
#include <stdint.h>

#include "VedraDriver.h"
#include "VedraSimControl.h"

// Waits until a notification of the given code arrives on a connection with
// a notification event, dropping the others. False when none came in time.
bool WaitForNotification(VedraDriver& driver, uint32_t code, DWORD timeoutMs = 10000);

// Word index of a journal entry's recorded input (0 past what was recorded).
uint32_t InputWord(const VedraSimJournalEntry& entry, uint32_t index);
