#include "ServiceCommandLine.h"

#include "ServiceVersion.h"

#include <cstdio>
#include <cwchar>

namespace {

constexpr int kUsageError = 1;
constexpr int kHostFailed = -1;

void Print(const wchar_t* text)
{
    std::wprintf(L"%ls", text);
    std::fflush(stdout);
}

int Report(uint32_t result, const wchar_t* success, const wchar_t* failure)
{
    Print(result == 0 ? success : failure);
    return static_cast<int>(result);
}

void PrintHelp(const ServiceBase& service)
{
    std::wprintf(L"\n%ls V%d.%02d\n%ls Service\n\n"
                 L"Supported command line options:\n"
                 L" -install    Install the service.\n"
                 L" -uninstall  Uninstall the service.\n"
                 L" -start      Start the service.\n"
                 L" -stop       Stop the service.\n"
                 L" -console    Start service in console mode.\n"
                 L" -h, -?      Print this help message.\n\n",
        service.ServiceName(), static_cast<int>(kProgramVersionMajor), static_cast<int>(kProgramVersionMinor),
        service.DisplayName());
    std::fflush(stdout);
}

} // namespace

int RunServiceCommandLine(int argc, wchar_t** argv, ServiceHost& host, bool& consoleMode, ServiceBase& service)
{
    if (argc < 2 || argv[1] == nullptr) {
        Print(L"No arguments given, use -h.\n");
        return kUsageError;
    }
    const wchar_t* option = argv[1];
    if (std::wcscmp(option, L"-install") == 0) {
        // An installed (perhaps running) service is replaced, not refused.
        service.StopInstalledService();
        service.UninstallService();
        return Report(service.InstallService(), L"Service installed successfully.\n", L"Error installing service.\n");
    }
    if (std::wcscmp(option, L"-uninstall") == 0) {
        service.StopInstalledService();
        return Report(
            service.UninstallService(), L"Service uninstalled successfully.\n", L"Error uninstalling service.\n");
    }
    if (std::wcscmp(option, L"-start") == 0)
        return Report(service.StartInstalledService(), L"Service started successfully.\n", L"Error starting service.\n");
    if (std::wcscmp(option, L"-stop") == 0)
        return Report(service.StopInstalledService(), L"Service stopped successfully.\n", L"Error stopping service.\n");
    if (std::wcscmp(option, L"-h") == 0 || std::wcscmp(option, L"-?") == 0) {
        PrintHelp(service);
        return 0;
    }
    if (std::wcscmp(option, L"-console") == 0)
        consoleMode = true;
    if (consoleMode || std::wcscmp(option, L"-service") == 0) {
        host.Add(&service);
        return host.Run(consoleMode) ? 0 : kHostFailed;
    }
    std::wprintf(L"Unknown argument %ls, use -h.\n", option);
    std::fflush(stdout);
    return kUsageError;
}
