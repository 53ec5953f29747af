#include "ServiceHost.h"

#include "WnCallbacks.h"
#include "WnThread.h"

#include <memory>

ServiceHost* ServiceHost::consoleHost = nullptr;

ServiceHost::~ServiceHost()
{
    if (consoleHost == this) {
        SetConsoleCtrlHandler(&ServiceHost::ConsoleControlHandler, FALSE);
        consoleHost = nullptr;
    }
}

bool ServiceHost::Add(ServiceBase* service)
{
    services.push_back(service);
    return true;
}

bool ServiceHost::Run(bool console)
{
    return console ? RunConsole() : RunDispatcher();
}

bool ServiceHost::RunDispatcher()
{
    std::vector<SERVICE_TABLE_ENTRYW> table;
    table.reserve(services.size() + 1);
    for (ServiceBase* service : services)
        table.push_back({const_cast<wchar_t*>(service->ServiceName()), service->ServiceMainFunction()});
    table.push_back({nullptr, nullptr});
    // Blocks until every service of the table has stopped; meanwhile this
    // thread delivers their controls.
    return StartServiceCtrlDispatcherW(table.data()) != FALSE;
}

BOOL WINAPI ServiceHost::ConsoleControlHandler(DWORD controlType)
{
    if (controlType != CTRL_C_EVENT && controlType != CTRL_BREAK_EVENT)
        return FALSE; // close, logoff, shutdown: the system's default ends the process
    ServiceHost* host = consoleHost;
    if (host != nullptr) {
        for (ServiceBase* service : host->services)
            service->Stop();
    }
    return TRUE;
}

bool ServiceHost::RunConsole()
{
    consoleHost = this;
    if (!SetConsoleCtrlHandler(&ServiceHost::ConsoleControlHandler, TRUE)) {
        consoleHost = nullptr;
        return false;
    }

    struct ConsoleRun {
        WnThreadCallbackForwarderT<ServiceBase> body;
        WnThread thread;
    };
    std::vector<std::unique_ptr<ConsoleRun>> runs;
    for (ServiceBase* service : services) {
        auto run = std::make_unique<ConsoleRun>();
        run->body.Bind(service, &ServiceBase::RunConsole);
        if (run->thread.Start(&run->body, 0, 0) == ERROR_SUCCESS)
            runs.push_back(std::move(run));
    }
    for (auto& run : runs)
        run->thread.Wait(INFINITE);
    return true;
}
