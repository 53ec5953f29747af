#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>

#include "ChildProcess.h"

// What the service tests share: running tarvinesvc.exe, the service control
// manager's view of the installed service, and Wine's event-log output.

constexpr uint32_t kChildTimeoutMs = 15000;

std::wstring ServiceProgramPath();

struct ProgramRun {
    bool ended = false;
    uint32_t exitCode = 0;
    std::string output;
};

// Runs tarvinesvc.exe with arguments to its end (terminated after the time limit).
ProgramRun RunServiceProgram(const std::wstring& arguments, uint32_t timeoutMs = kChildTimeoutMs);

// Stops and removes the installed service and its event source, whatever
// state they are in, and waits until the manager has let it go.
void RemoveInstalledService();

// The installed service's current state; 0 when it is not installed.
uint32_t InstalledServiceState();
// Waits until the service reaches state; false on timeout.
bool WaitForServiceState(uint32_t state, uint32_t timeoutMs, SERVICE_STATUS* last = nullptr);

// Wine stores no event-log records: the services' reports appear on its
// "eventlog" debug channel, which the test bed writes to services.log in the
// build folder. A mark is the log's size; Since gives what came after it.
class EventLogWatch {
public:
    EventLogWatch();
    bool Available() const { return available; }
    const std::wstring& Path() const { return path; }
    // Text logged since the watch was made. A service writes its events
    // before it reports its state, so after a state wait this is complete.
    std::string Since() const;

private:
    std::wstring path;
    bool available = false;
    uint64_t mark = 0;
};
