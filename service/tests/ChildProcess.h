#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>

#include "WnCallbacks.h"
#include "WnCriticalSection.h"
#include "WnEvent.h"
#include "WnHandle.h"
#include "WnThread.h"

// The full path of a program built next to the test folder (..\name).
std::wstring BuiltProgramPath(const wchar_t* name);

// A child process whose standard output (and error) the test reads through a
// pipe, attached to the test process's console so that it can be sent
// Ctrl+C. A child still running when the object goes is terminated: no test
// leaves a process behind.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts "program" arguments; 0 or the Win32 error.
    uint32_t Start(const std::wstring& program, const std::wstring& arguments);

    // Waits for the child to end; false on timeout. exitCode is set when it ended.
    bool WaitForExit(uint32_t timeoutMs, uint32_t& exitCode);
    // Waits until the output contains text; false on timeout or when the
    // child ended without writing it.
    bool WaitForOutput(const std::string& text, uint32_t timeoutMs);
    // Everything the child wrote so far (complete once it has ended and the
    // pipe is drained: WaitForExit takes care of that).
    std::string Output();

    // Ctrl+C to every process on the test's console (the test ignores it).
    // Wine 8 refuses Ctrl+Break (error 6), and Ctrl+C to a process group
    // of its own is ignored as on Windows, so this is the one that works.
    bool SendCtrlC() const;
    void Terminate();

    uint32_t ProcessId() const { return processId; }
    HANDLE Process() const { return process.Get(); }

private:
    uint32_t ReadOutput();

    WnHandle process;
    uint32_t processId = 0;
    WnHandle readEnd;
    WnThread reader;
    WnThreadCallbackForwarderT<ChildProcess> readerBody;
    WnCriticalSection lock;
    std::string output;
    WnEvent outputEvent; // set on every chunk and at the end of the output
    bool outputEnded = false;
};
