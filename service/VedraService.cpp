#include "VedraService.h"

#include "CustomServer.h"
#include "ServiceVersion.h"
#include "WnEventLog.h"

#include <dbt.h>

#include <cstdio>
#include <cwchar>

namespace {

// Without the prefix the mutex lives in the creating session's namespace.
constexpr wchar_t kGlobalNamespace[] = L"Global\\";

// Appends source to the terminated text in name, at most limit characters of it.
template <size_t N>
void AppendLimited(wchar_t (&name)[N], const wchar_t* source, size_t limit)
{
    size_t length = std::wcslen(name);
    for (size_t i = 0; i < limit && length + 1 < N && source[i] != L'\0'; ++i)
        name[length++] = source[i];
    name[length] = L'\0';
}

} // namespace

VedraService* VedraService::processService = nullptr;

VedraService::VedraService() : VedraService(CreateProductServer()) {}

VedraService::VedraService(std::unique_ptr<VedraServer> server_) : server(std::move(server_))
{
    deviceArrivalEvent.Create(false, false);
    // The first service made is the process's: the one in the entry point.
    if (processService == nullptr)
        processService = this;
}

VedraService::~VedraService()
{
    if (processService == this)
        processService = nullptr;
    server.reset();
    deviceArrivalEvent.Close();
    instanceMutex.Close();
}

const wchar_t* VedraService::ServiceName() const
{
    return server->ServiceName();
}

const wchar_t* VedraService::DisplayName() const
{
    return server->DisplayName();
}

const wchar_t* VedraService::Description() const
{
    return server->Description();
}

LPSERVICE_MAIN_FUNCTIONW VedraService::ServiceMainFunction() const
{
    return &VedraService::StaticServiceMain;
}

void WINAPI VedraService::StaticServiceMain(DWORD argumentCount, wchar_t** arguments)
{
    if (processService != nullptr)
        processService->ServiceMain(argumentCount, arguments);
}

void VedraService::OnDeviceChange(uint32_t eventType, void*)
{
    if (eventType == DBT_DEVICEARRIVAL)
        deviceArrivalEvent.Set();
}

void VedraService::InstanceName(wchar_t (&name)[kInstanceNameChars + 1]) const
{
    name[0] = L'\0';
    AppendLimited(name, kGlobalNamespace, kInstanceNameChars);
    AppendLimited(name, ServiceName(), kInstanceNameChars);
    AppendLimited(name, L"-", kInstanceNameChars);
    AppendLimited(name, server->InterfaceGuidString(), kInstanceNameChars);
}

uint32_t VedraService::AcquireSingleInstance()
{
    wchar_t name[kInstanceNameChars + 1];
    InstanceName(name);
    instanceMutex.Close();
    const uint32_t result = instanceMutex.Create(nullptr, true, name);
    // A handle kept to the other instance's mutex would keep that name alive
    // after the other instance ended, and refuse every later start.
    if (result != ERROR_SUCCESS)
        instanceMutex.Close();
    return result;
}

void VedraService::ReleaseSingleInstance()
{
    instanceMutex.Close();
}

void VedraService::RunServer()
{
    if (server)
        server->Run(stopEvent.Get(), deviceArrivalEvent.Get());
}

void VedraService::StopWithError(WnEventLogWriter& eventLog, uint32_t error)
{
    ReleaseSingleInstance();
    eventLog.Close();
    SetStatus(SERVICE_STOPPED, 0, 0, error, error);
}

void VedraService::ServiceMain(DWORD, wchar_t**)
{
    if (!RegisterControlHandler())
        return;
    SetStatus(SERVICE_START_PENDING, 3000, 0, 0, 0);

    WnEventLogWriter eventLog;
    uint32_t error = eventLog.Open(ServiceName());
    if (error != ERROR_SUCCESS) {
        StopWithError(eventLog, error);
        return;
    }

    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        error = length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER;
        eventLog.ReportError(L"Failed to get module name.");
        StopWithError(eventLog, error);
        return;
    }
    eventLog.ReportInformation(L"%ls started\r\nExePath: %ls\r\nVersion %u.%u.%u\r\nInterface Version %u.%u",
        ServiceName(), path, kProgramVersionMajor, kProgramVersionMinor, kProgramVersionBuild,
        kInterfaceVersionMajor, kInterfaceVersionMinor);

    error = AcquireSingleInstance();
    if (error != ERROR_SUCCESS) {
        eventLog.ReportError(L"Unable to start because another instance is already running.");
        StopWithError(eventLog, error);
        return;
    }

    GUID interfaceGuid = {};
    server->InterfaceGuid(interfaceGuid);
    error = RegisterServiceDeviceNotification(interfaceGuid);
    if (error != ERROR_SUCCESS) {
        eventLog.ReportError(L"Unable to register for PnP notifications.");
        StopWithError(eventLog, error);
        return;
    }

    SetStatus(SERVICE_RUNNING, 0, 0, 0, 0);
    RunServer();
    // Stopped is reported last: once the last service of the process reports
    // it, the dispatcher returns and the process ends, taking with it whatever
    // this thread had not done yet (the end event, the mutex release).
    ReleaseSingleInstance();
    eventLog.ReportInformation(L"%ls terminating.", ServiceName());
    eventLog.Close();
    SetStatus(SERVICE_STOPPED, 0, 0, 0, 0);
}

uint32_t VedraService::RunConsole()
{
    if (AcquireSingleInstance() != ERROR_SUCCESS) {
        std::wprintf(L"Cannot start, another instance is already running.\n");
        std::fflush(stdout);
        return 1;
    }
    GUID interfaceGuid = {};
    server->InterfaceGuid(interfaceGuid);
    if (RegisterConsoleDeviceNotification(interfaceGuid) != ERROR_SUCCESS) {
        std::wprintf(L"Failed to register PnP notifications.\n");
        std::fflush(stdout);
        return 1;
    }
    RunServer();
    instanceMutex.Close();
    return 0;
}
