#include "ServiceTestSupport.h"

#include "WnRegistryKey.h"
#include "WnServiceAdmin.h"
#include "WnServiceCtrl.h"

#include <vector>

namespace {

constexpr wchar_t kServiceName[] = L"tarvinesvc";

bool ReadWholeFile(const std::wstring& path, std::string& text)
{
    WnHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid())
        return false;
    text.clear();
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof(chunk), &got, nullptr) && got > 0)
        text.append(chunk, got);
    return true;
}

} // namespace

std::wstring ServiceProgramPath()
{
    return BuiltProgramPath(L"tarvinesvc.exe");
}

ProgramRun RunServiceProgram(const std::wstring& arguments, uint32_t timeoutMs)
{
    ProgramRun run;
    ChildProcess child;
    if (child.Start(ServiceProgramPath(), arguments) != 0)
        return run;
    run.ended = child.WaitForExit(timeoutMs, run.exitCode);
    if (!run.ended)
        child.Terminate();
    run.output = child.Output();
    return run;
}

uint32_t InstalledServiceState()
{
    WnServiceCtrlMgr manager;
    if (manager.Open(nullptr, SC_MANAGER_CONNECT) != 0)
        return 0;
    WnServiceCtrl service;
    if (service.Open(manager, kServiceName, SERVICE_QUERY_STATUS) != 0)
        return 0;
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service.Get(), &status))
        return 0;
    return status.dwCurrentState;
}

bool WaitForServiceState(uint32_t state, uint32_t timeoutMs, SERVICE_STATUS* last)
{
    WnServiceCtrlMgr manager;
    if (manager.Open(nullptr, SC_MANAGER_CONNECT) != 0)
        return false;
    WnServiceCtrl service;
    if (service.Open(manager, kServiceName, SERVICE_QUERY_STATUS) != 0)
        return false;
    // The manager offers no wait that Wine implements: poll its status.
    const DWORD start = GetTickCount();
    for (;;) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service.Get(), &status))
            return false;
        if (last != nullptr)
            *last = status;
        if (status.dwCurrentState == state)
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
}

void RemoveInstalledService()
{
    WnServiceAdmin admin(kServiceName, L"", L"");
    admin.StopInstalledService();
    admin.UninstallService();
    // Deletion completes once the service has stopped and no handle is open.
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000) {
        WnServiceCtrlMgr manager;
        WnServiceCtrl service;
        if (manager.Open(nullptr, SC_MANAGER_CONNECT) != 0 ||
            service.Open(manager, kServiceName, SERVICE_QUERY_STATUS) == ERROR_SERVICE_DOES_NOT_EXIST)
            break;
        Sleep(20);
    }
    WnRegistryKey log;
    if (log.Open(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application", KEY_WRITE) == 0)
        log.DeleteSubKey(kServiceName);
}

EventLogWatch::EventLogWatch()
{
    // The tests run in <build>\service\tests; the log is <build>\services.log.
    std::wstring program = BuiltProgramPath(L"");
    program.pop_back();
    const size_t slash = program.find_last_of(L"\\/");
    path = program.substr(0, slash + 1) + L"services.log";
    std::string text;
    available = ReadWholeFile(path, text);
    mark = text.size();
}

std::string EventLogWatch::Since() const
{
    std::string text;
    if (!ReadWholeFile(path, text) || text.size() < mark)
        return std::string();
    return text.substr(mark);
}
