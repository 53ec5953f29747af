#include "WnServiceAdmin.h"

#include "WnRegistryKey.h"
#include "WnServiceCtrl.h"

#include <cwchar>

namespace {

// The path is quoted: unquoted, a path with spaces ("C:\Program Files\...")
// lets the system start C:\Program.exe instead. Two more units for the quotes.
constexpr size_t kCommandLineLength = 280 + 2;
constexpr wchar_t kServiceOption[] = L" -service";
constexpr wchar_t kLoadOrderGroup[] = L"PlugPlay";
// A list: each name terminated, the list closed by an extra zero.
constexpr wchar_t kDependencies[] = L"eventlog\0PlugPlay\0";
constexpr wchar_t kEventLogKeyFormat[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\%ls";
constexpr wchar_t kEventSourceKeyFormat[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\%ls\\%ls";
constexpr wchar_t kApplicationLog[] = L"Application";
constexpr uint32_t kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE; // 7

// Appends source to the terminated text in buffer, cut at the buffer's size.
template <size_t N>
void Append(wchar_t (&buffer)[N], const wchar_t* source)
{
    size_t length = std::wcslen(buffer);
    while (length + 1 < N && *source != L'\0')
        buffer[length++] = *source++;
    buffer[length] = L'\0';
}

} // namespace

WnServiceAdmin::WnServiceAdmin(const wchar_t* serviceName, const wchar_t* displayName, const wchar_t* description,
    uint32_t serviceType, const wchar_t* programPath)
    : serviceName_(serviceName)
    , displayName_(displayName)
    , description_(description)
    , serviceType_(serviceType)
    , programPath_(programPath)
{
}

uint32_t WnServiceAdmin::GetProgramPath(wchar_t (&path)[MAX_PATH]) const
{
    path[0] = L'\0';
    if (programPath_ != nullptr) {
        if (std::wcslen(programPath_) >= MAX_PATH)
            return ERROR_INSUFFICIENT_BUFFER;
        Append(path, programPath_);
        return ERROR_SUCCESS;
    }
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0)
        return GetLastError();
    // A cut path would install a service that cannot start.
    if (length >= MAX_PATH)
        return ERROR_INSUFFICIENT_BUFFER;
    return ERROR_SUCCESS;
}

uint32_t WnServiceAdmin::InstallService() const
{
    wchar_t path[MAX_PATH];
    uint32_t error = GetProgramPath(path);
    if (error != ERROR_SUCCESS)
        return error;

    WnServiceCtrlMgr manager;
    error = manager.Open(WnServiceCtrlMgr::kActiveDatabase, WnServiceCtrlMgr::kAllAccess);
    if (error != ERROR_SUCCESS)
        return error;

    wchar_t commandLine[kCommandLineLength] = {};
    Append(commandLine, L"\"");
    Append(commandLine, path);
    Append(commandLine, L"\"");
    Append(commandLine, kServiceOption);

    WnServiceCtrl service;
    error = service.Create(manager, serviceName_, displayName_, SERVICE_ALL_ACCESS, serviceType_, SERVICE_AUTO_START,
        SERVICE_ERROR_NORMAL, commandLine, kLoadOrderGroup, nullptr, kDependencies, nullptr, nullptr);
    if (error != ERROR_SUCCESS)
        return error;

    // The description is only shown to people: a failure does not undo the install.
    SERVICE_DESCRIPTIONW description = {const_cast<wchar_t*>(description_)};
    ChangeServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, &description);

    wchar_t keyPath[MAX_PATH];
    swprintf(keyPath, MAX_PATH, kEventSourceKeyFormat, kApplicationLog, serviceName_);
    keyPath[MAX_PATH - 1] = L'\0';
    WnRegistryKey source;
    error = source.Create(HKEY_LOCAL_MACHINE, keyPath, WnRegistryKey::kReadWrite);
    if (error != ERROR_SUCCESS)
        return error;
    error = source.WriteString(L"EventMessageFile", path, REG_EXPAND_SZ);
    if (error != ERROR_SUCCESS)
        return error;
    return source.WriteDword(L"TypesSupported", kTypesSupported);
}

uint32_t WnServiceAdmin::UninstallService() const
{
    WnServiceCtrlMgr manager;
    uint32_t error = manager.Open(WnServiceCtrlMgr::kActiveDatabase, WnServiceCtrlMgr::kAllAccess);
    if (error != ERROR_SUCCESS)
        return error;
    WnServiceCtrl service;
    error = service.Open(manager, serviceName_, DELETE);
    if (error != ERROR_SUCCESS)
        return error;
    if (!DeleteService(service.Get())) {
        error = GetLastError();
        if (error != ERROR_SUCCESS)
            return error;
    }
    // The manager removes the entry only once no handle to it is open.
    service.Close();

    wchar_t keyPath[MAX_PATH];
    swprintf(keyPath, MAX_PATH, kEventLogKeyFormat, kApplicationLog);
    keyPath[MAX_PATH - 1] = L'\0';
    WnRegistryKey log;
    if (log.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_WRITE) == ERROR_SUCCESS)
        log.DeleteSubKey(serviceName_);
    return ERROR_SUCCESS;
}

uint32_t WnServiceAdmin::StartInstalledService() const
{
    WnServiceCtrlMgr manager;
    uint32_t error = manager.Open(WnServiceCtrlMgr::kActiveDatabase, WnServiceCtrlMgr::kAllAccess);
    if (error != ERROR_SUCCESS)
        return error;
    WnServiceCtrl service;
    error = service.Open(manager, serviceName_, SERVICE_START);
    if (error != ERROR_SUCCESS)
        return error;
    if (!StartServiceW(service.Get(), 0, nullptr))
        return GetLastError();
    return ERROR_SUCCESS;
}

uint32_t WnServiceAdmin::StopInstalledService() const
{
    WnServiceCtrlMgr manager;
    uint32_t error = manager.Open(WnServiceCtrlMgr::kActiveDatabase, WnServiceCtrlMgr::kAllAccess);
    if (error != ERROR_SUCCESS)
        return error;
    WnServiceCtrl service;
    error = service.Open(manager, serviceName_, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (error != ERROR_SUCCESS)
        return error;
    SERVICE_STATUS status = {};
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
        error = GetLastError();
        if (error != ERROR_SUCCESS)
            return error;
    }
    for (int poll = 0; poll < kStopPolls; ++poll) {
        if (!QueryServiceStatus(service.Get(), &status)) {
            error = GetLastError();
            if (error != ERROR_SUCCESS)
                return error;
        }
        if (status.dwCurrentState == SERVICE_STOPPED)
            return ERROR_SUCCESS;
        Sleep(kStopPollIntervalMs);
    }
    return ERROR_TIMEOUT;
}
