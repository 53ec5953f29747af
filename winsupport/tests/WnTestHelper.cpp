// Helper process for the winsupport tests.
//
//   wn_test_helper -holdmutex NAME
//       Creates mutex NAME owned, signals event "NAME-ready", then waits (up
//       to 60 s) for event "NAME-release" before it exits.
//   wn_test_helper -service
//       Runs as a service. Its name comes from the manager; once running it
//       signals event "<name>-running" when the test created one. A service
//       whose name contains "stubborn" ignores stop controls; it stops when
//       the test signals event "<name>-release".
#include "WnCallbacks.h"
#include "WnEvent.h"
#include "WnMutex.h"
#include "WnService.h"

#include <cwchar>
#include <string>

namespace {

constexpr DWORD kHelperLifetimeMs = 60000;

int HoldMutex(const wchar_t* name)
{
    WnMutex mutex;
    const uint32_t created = mutex.Create(nullptr, true, name);
    if (!mutex.IsValid())
        return static_cast<int>(created);
    const std::wstring ready = std::wstring(name) + L"-ready";
    const std::wstring release = std::wstring(name) + L"-release";
    WnHandle readyEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, ready.c_str()));
    WnHandle releaseEvent(OpenEventW(SYNCHRONIZE, FALSE, release.c_str()));
    if (!readyEvent.IsValid() || !releaseEvent.IsValid())
        return 2;
    SetEvent(readyEvent.Get());
    WaitForSingleObject(releaseEvent.Get(), kHelperLifetimeMs);
    return 0;
}

class TestService {
public:
    TestService() { handler_.Bind(this, &TestService::HandleControl); }

    void Main(const wchar_t* name)
    {
        stubborn_ = std::wcsstr(name, L"stubborn") != nullptr;
        if (stopEvent_.Create(false, false) != ERROR_SUCCESS)
            return;
        if (service_.RegisterControlHandler(name, &handler_) != ERROR_SUCCESS)
            return;
        Report(SERVICE_START_PENDING, 0);
        Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP);
        const std::wstring running = std::wstring(name) + L"-running";
        WnHandle runningEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, running.c_str()));
        if (runningEvent.IsValid())
            SetEvent(runningEvent.Get());
        const std::wstring release = std::wstring(name) + L"-release";
        WnHandle releaseEvent(OpenEventW(SYNCHRONIZE, FALSE, release.c_str()));
        const HANDLE handles[2] = {stopEvent_.Get(), releaseEvent.IsValid() ? releaseEvent.Get() : stopEvent_.Get()};
        WaitForMultipleObjects(2, handles, FALSE, kHelperLifetimeMs);
        Report(SERVICE_STOPPED, 0);
    }

private:
    uint32_t HandleControl(uint32_t control, uint32_t, void*)
    {
        if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
            if (!stubborn_)
                stopEvent_.Set();
        }
        return NO_ERROR;
    }

    void Report(DWORD state, DWORD accepted)
    {
        SERVICE_STATUS status = {};
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        status.dwControlsAccepted = accepted;
        status.dwWaitHint = state == SERVICE_START_PENDING ? 3000 : 0;
        service_.SetStatus(status);
    }

    WnService service_;
    WnServiceCallbackForwarderT<TestService> handler_;
    WnEvent stopEvent_;
    bool stubborn_ = false;
};

TestService theService;

void WINAPI ServiceMain(DWORD argc, wchar_t** argv)
{
    theService.Main(argc > 0 ? argv[0] : L"");
}

int RunService()
{
    // An own-process service: the manager starts this one entry whatever its name.
    wchar_t name[] = L"wn_test_helper";
    const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table))
        return static_cast<int>(GetLastError());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wcscmp(argv[1], L"-holdmutex") == 0)
        return HoldMutex(argv[2]);
    if (argc == 2 && std::wcscmp(argv[1], L"-service") == 0)
        return RunService();
    std::fwprintf(stderr, L"usage: wn_test_helper -holdmutex NAME | -service\n");
    return 1;
}
