#pragma once
#include <windows.h>
#include <stdint.h>

// The management operations of one service, as a command-line tool uses
// them: install, uninstall, start and stop. Each operation opens its own
// connection to the service control manager ("ServicesActive", all access)
// and releases every handle before it returns. Results are Win32 error
// codes, 0 on success.
//
// The strings are not copied: they must outlive the object.
class WnServiceAdmin {
public:
    // Status polls of StopInstalledService: 50 x 100 ms.
    static constexpr int kStopPolls = 50;
    static constexpr DWORD kStopPollIntervalMs = 100;

    // programPath is the service program; null means this program's own file.
    WnServiceAdmin(const wchar_t* serviceName, const wchar_t* displayName, const wchar_t* description,
        uint32_t serviceType = SERVICE_WIN32_OWN_PROCESS, const wchar_t* programPath = nullptr);

    // Creates the auto-start service "\"<program path>\" -service" in load order
    // group "PlugPlay", depending on "eventlog" and "PlugPlay", running as
    // LocalSystem; sets its description; and registers the event source of
    // the same name in the Application log with the program as its message
    // file. 1073 (ERROR_SERVICE_EXISTS) when the service exists: the event
    // source is then left as it is.
    uint32_t InstallService() const;

    // Marks the service for deletion (the manager removes it once it has
    // stopped and no handle to it is open) and removes its event source,
    // whose absence is not an error. Installing again in the same process works.
    uint32_t UninstallService() const;

    uint32_t StartInstalledService() const;

    // Sends the stop control and polls until the service has stopped.
    // 1062 when it is not running; 1460 (ERROR_TIMEOUT) when it has not
    // stopped after kStopPolls polls.
    uint32_t StopInstalledService() const;

private:
    uint32_t GetProgramPath(wchar_t (&path)[MAX_PATH]) const;

    const wchar_t* serviceName_;
    const wchar_t* displayName_;
    const wchar_t* description_;
    uint32_t serviceType_;
    const wchar_t* programPath_;
};
