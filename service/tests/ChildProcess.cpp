#include "ChildProcess.h"

#include <vector>

std::wstring BuiltProgramPath(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result(path, length);
    size_t slash = result.find_last_of(L"\\/");
    result.resize(slash == std::wstring::npos ? 0 : slash);
    slash = result.find_last_of(L"\\/");
    result.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return result + name;
}

ChildProcess::~ChildProcess()
{
    Terminate();
    readEnd.Close();
    reader.Wait(INFINITE);
}

uint32_t ChildProcess::Start(const std::wstring& program, const std::wstring& arguments)
{
    outputEvent.Create(false, false);
    // A console control event reaches only processes attached to the
    // sender's console. Under Wine a test run by CTest has none that takes
    // one (error 12), so the test process makes its own, which the child
    // shares. It is made before the pipe, whose inheritable write end
    // would otherwise be inherited by the console host as well.
    static bool consoleMade = false;
    if (!consoleMade) {
        FreeConsole();
        consoleMade = AllocConsole() != FALSE;
    }
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE readHandle = nullptr;
    HANDLE writeHandle = nullptr;
    if (!CreatePipe(&readHandle, &writeHandle, &inheritable, 0))
        return GetLastError();
    readEnd.Attach(readHandle);
    WnHandle writeEnd(writeHandle);
    SetHandleInformation(readHandle, HANDLE_FLAG_INHERIT, 0);

    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeHandle;
    startup.hStdError = writeHandle;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
            &startup, &info))
        return GetLastError();
    CloseHandle(info.hThread);
    process.Attach(info.hProcess);
    processId = info.dwProcessId;
    // Only the child may hold the write end now, so the pipe ends with it.
    writeEnd.Close();
    readerBody.Bind(this, &ChildProcess::ReadOutput);
    return reader.Start(&readerBody, 0, 0);
}

uint32_t ChildProcess::ReadOutput()
{
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(readEnd.Get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        {
            WnLockGuard guard(lock);
            output.append(chunk, got);
        }
        outputEvent.Set();
    }
    {
        WnLockGuard guard(lock);
        outputEnded = true;
    }
    outputEvent.Set();
    return 0;
}

std::string ChildProcess::Output()
{
    WnLockGuard guard(lock);
    return output;
}

bool ChildProcess::WaitForOutput(const std::string& text, uint32_t timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        {
            WnLockGuard guard(lock);
            if (output.find(text) != std::string::npos)
                return true;
            if (outputEnded)
                return false;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        WaitForSingleObject(outputEvent.Get(), timeoutMs - elapsed);
    }
}

bool ChildProcess::WaitForExit(uint32_t timeoutMs, uint32_t& exitCode)
{
    if (!process.IsValid())
        return false;
    if (WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    exitCode = code;
    // The reader ends when the last write end (the child's) has gone.
    reader.Wait(timeoutMs);
    return true;
}

namespace {

// The test process shares its console with its children, so it receives
// its own Ctrl+C too: it ignores it.
BOOL WINAPI IgnoreControl(DWORD controlType)
{
    return controlType == CTRL_C_EVENT;
}

} // namespace

bool ChildProcess::SendCtrlC() const
{
    SetConsoleCtrlHandler(IgnoreControl, TRUE);
    return GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE;
}

void ChildProcess::Terminate()
{
    if (!process.IsValid())
        return;
    if (WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.Get(), 0xDEAD);
        WaitForSingleObject(process.Get(), 10000);
    }
}
