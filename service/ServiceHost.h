#pragma once
#include <windows.h>

#include <vector>

#include "ServiceBase.h"

// Runs the process's services: under the service control manager's
// dispatcher, or in console mode with one thread per service and Ctrl+C
// (or Ctrl+Break) stopping them all.
class ServiceHost {
public:
    ServiceHost() = default;
    ~ServiceHost();

    ServiceHost(const ServiceHost&) = delete;
    ServiceHost& operator=(const ServiceHost&) = delete;

    // The service is not owned; it must outlive every Run.
    bool Add(ServiceBase* service);

    // Service mode: false when the dispatcher could not start (the program was
    // not started by the service control manager). Console mode: false only
    // when the console control handler could not be installed.
    bool Run(bool console);

    const std::vector<ServiceBase*>& Services() const { return services; }

private:
    bool RunDispatcher();
    bool RunConsole();
    static BOOL WINAPI ConsoleControlHandler(DWORD controlType);

    // The host whose console run the control handler stops.
    static ServiceHost* consoleHost;

    std::vector<ServiceBase*> services;
};
