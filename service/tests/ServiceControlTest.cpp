// tarvinesvc.exe installed, started and stopped through the service control
// manager, with its event-log reports read from Wine's eventlog channel.
#include "ServiceSimFixture.h"
#include "ServiceTestSupport.h"

#include "WnRegistryKey.h"
#include "WnServiceCtrl.h"

#include <cstring>

namespace {

constexpr wchar_t kServiceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\tarvinesvc";
constexpr wchar_t kEventSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\tarvinesvc";

// A text as Wine's debug channel prints a wide string: L"..." with
// backslashes, quotes and line breaks escaped.
std::string WineDebugString(const std::wstring& text)
{
    std::string out = "L\"";
    for (wchar_t c : text) {
        switch (c) {
        case L'\\': out += "\\\\"; break;
        case L'"': out += "\\\""; break;
        case L'\r': out += "\\r"; break;
        case L'\n': out += "\\n"; break;
        default: out += static_cast<char>(c); break;
        }
    }
    return out + "\"";
}

std::string InformationEvent(const std::wstring& text)
{
    return ":trace:eventlog:ReportEventW " + WineDebugString(text);
}

std::string ErrorEvent(const std::wstring& text)
{
    return ":err:eventlog:ReportEventW " + WineDebugString(text);
}

std::wstring StartText(const std::wstring& path)
{
    return L"tarvinesvc started\r\nExePath: " + path + L"\r\nVersion 1.35.20\r\nInterface Version 2.0";
}

class ServiceControl : public ServiceSimTest {
protected:
    void SetUp() override
    {
        ServiceSimTest::SetUp();
        RemoveInstalledService();
    }
    void TearDown() override
    {
        RemoveInstalledService();
        ServiceSimTest::TearDown();
    }
};

TEST_F(ServiceControl, StartAndStopReportTheManagersErrors)
{
    ProgramRun run = RunServiceProgram(L"-start");
    EXPECT_EQ(static_cast<uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST), run.exitCode);
    EXPECT_EQ("Error starting service.\r\n", run.output);
    run = RunServiceProgram(L"-stop");
    EXPECT_EQ(static_cast<uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST), run.exitCode);
    EXPECT_EQ("Error stopping service.\r\n", run.output);
    run = RunServiceProgram(L"-uninstall");
    EXPECT_EQ(static_cast<uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST), run.exitCode);
    EXPECT_EQ("Error uninstalling service.\r\n", run.output);

    ASSERT_EQ(0u, RunServiceProgram(L"-install").exitCode);
    run = RunServiceProgram(L"-stop");
    EXPECT_EQ(static_cast<uint32_t>(ERROR_SERVICE_NOT_ACTIVE), run.exitCode);
    EXPECT_EQ("Error stopping service.\r\n", run.output);
}

TEST_F(ServiceControl, InstallRecordsTheServiceAndItsEventSource)
{
    ProgramRun run = RunServiceProgram(L"-install");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("Service installed successfully.\r\n", run.output);

    WnServiceCtrlMgr manager;
    ASSERT_EQ(0u, manager.Open(nullptr, SC_MANAGER_CONNECT));
    WnServiceCtrl service;
    ASSERT_EQ(0u, service.Open(manager, L"tarvinesvc", SERVICE_QUERY_CONFIG));
    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceConfigW(service.Get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
        static_cast<DWORD>(buffer.size()), &needed));
    const auto* config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data());
    const std::wstring path = ServiceProgramPath();
    EXPECT_EQ(L"\"" + path + L"\" -service", std::wstring(config->lpBinaryPathName));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config->dwServiceType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config->dwStartType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), config->dwErrorControl);
    EXPECT_STREQ(L"PlugPlay", config->lpLoadOrderGroup);
    EXPECT_STREQ(L"Tarvine control", config->lpDisplayName);
    ASSERT_TRUE(QueryServiceConfig2W(
        service.Get(), SERVICE_CONFIG_DESCRIPTION, buffer.data(), static_cast<DWORD>(buffer.size()), &needed));
    EXPECT_STREQ(L"Tarvine control service",
        reinterpret_cast<const SERVICE_DESCRIPTIONW*>(buffer.data())->lpDescription);

    // Wine's QueryServiceConfigW leaves dependencies out: read the manager's record.
    WnRegistryKey serviceKey;
    ASSERT_EQ(0u, serviceKey.Open(HKEY_LOCAL_MACHINE, kServiceKey, KEY_READ));
    wchar_t dependencies[64] = {};
    DWORD size = sizeof(dependencies);
    DWORD type = 0;
    ASSERT_EQ(0, RegQueryValueExW(serviceKey.Get(), L"DependOnService", nullptr, &type,
                     reinterpret_cast<BYTE*>(dependencies), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_EQ(std::wstring(L"eventlog\0PlugPlay\0", 18), std::wstring(dependencies, 18));

    WnRegistryKey source;
    ASSERT_EQ(0u, source.Open(HKEY_LOCAL_MACHINE, kEventSourceKey, KEY_READ));
    wchar_t messageFile[MAX_PATH] = {};
    size = sizeof(messageFile);
    ASSERT_EQ(0, RegQueryValueExW(source.Get(), L"EventMessageFile", nullptr, &type,
                     reinterpret_cast<BYTE*>(messageFile), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
    EXPECT_EQ(path, std::wstring(messageFile));
    uint32_t types = 0;
    EXPECT_EQ(0u, source.ReadDword(L"TypesSupported", types));
    EXPECT_EQ(7u, types);

    // The manager removes the service once no handle to it is open.
    service.Close();
    run = RunServiceProgram(L"-uninstall");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("Service uninstalled successfully.\r\n", run.output);
    EXPECT_EQ(0u, InstalledServiceState());
    EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), source.Open(HKEY_LOCAL_MACHINE, kEventSourceKey, KEY_READ));
}

TEST_F(ServiceControl, ServiceServesAClientAndRecordsItsLife)
{
    EventLogWatch log;
    ASSERT_TRUE(log.Available()) << "no services log at " << std::string(log.Path().begin(), log.Path().end())
                                 << " (the test bed of scripts/test.sh writes it)";
    ASSERT_EQ(0u, client.ConnectClient(VEDRA_INTERFACE_GUID_STRING));
    ProgramRun run = RunServiceProgram(L"-install");
    ASSERT_EQ(0u, run.exitCode) << run.output;
    run = RunServiceProgram(L"-start");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("Service started successfully.\r\n", run.output);
    ASSERT_TRUE(WaitForServiceState(SERVICE_RUNNING, kWaitMs));
    ASSERT_TRUE(WaitForNotification(client, VEDRA_NTF_DEVICE_LIST)) << "the service did not serve the client";
    VedraSimState state = {};
    ASSERT_EQ(0u, sim::GetState(control, state));
    const uint32_t rate = state.streaming.sampleRate;
    EXPECT_EQ(0u, Request(VEDRA_REQ_SET_SAMPLE_RATE, &rate, sizeof(rate)));

    // Installing again stops the running service, removes it and installs it anew.
    run = RunServiceProgram(L"-install");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("Service installed successfully.\r\n", run.output);
    SERVICE_STATUS status = {};
    EXPECT_TRUE(WaitForServiceState(SERVICE_STOPPED, kWaitMs, &status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NEVER_STARTED), status.dwWin32ExitCode) << "not a new installation";

    const std::string events = log.Since();
    const std::string started = InformationEvent(StartText(ServiceProgramPath()));
    const std::string ended = InformationEvent(L"tarvinesvc terminating.");
    EXPECT_NE(std::string::npos, events.find(started)) << "expected " << started << "\nlogged:\n" << events;
    EXPECT_NE(std::string::npos, events.find(ended)) << "expected " << ended << "\nlogged:\n" << events;
    EXPECT_LT(events.find(started), events.find(ended));
}

TEST_F(ServiceControl, ServiceRefusesToStartBesideAConsoleInstance)
{
    EventLogWatch log;
    ASSERT_TRUE(log.Available());
    StartConsoleService();
    ASSERT_EQ(0u, RunServiceProgram(L"-install").exitCode);
    ASSERT_EQ(0u, RunServiceProgram(L"-start").exitCode);
    SERVICE_STATUS status = {};
    ASSERT_TRUE(WaitForServiceState(SERVICE_STOPPED, kWaitMs, &status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), status.dwWin32ExitCode);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), status.dwServiceSpecificExitCode);
    const std::string refused = ErrorEvent(L"Unable to start because another instance is already running.");
    const std::string events = log.Since();
    EXPECT_NE(std::string::npos, events.find(refused)) << "expected " << refused << "\nlogged:\n" << events;
    EXPECT_EQ(std::string::npos, events.find("terminating")) << events;
    // The console instance goes on serving.
    WaitUntilServerIdle();
    StopConsoleService();
}

TEST_F(ServiceControl, ServiceStartsFromAPathWithSpaces)
{
    EventLogWatch log;
    ASSERT_TRUE(log.Available());
    wchar_t drive[MAX_PATH] = {};
    ASSERT_NE(0u, GetEnvironmentVariableW(L"ProgramFiles", drive, MAX_PATH));
    const std::wstring folder = std::wstring(drive) + L"\\Tarvine Test";
    const std::wstring copy = folder + L"\\tarvinesvc.exe";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(ServiceProgramPath().c_str(), copy.c_str(), FALSE)) << GetLastError();

    ChildProcess installer;
    ASSERT_EQ(0u, installer.Start(copy, L"-install"));
    uint32_t exitCode = 1;
    ASSERT_TRUE(installer.WaitForExit(kWaitMs, exitCode));
    ASSERT_EQ(0u, exitCode) << installer.Output();
    ASSERT_EQ(0u, RunServiceProgram(L"-start").exitCode);
    EXPECT_TRUE(WaitForServiceState(SERVICE_RUNNING, kWaitMs));
    EXPECT_EQ(0u, RunServiceProgram(L"-stop").exitCode);
    EXPECT_TRUE(WaitForServiceState(SERVICE_STOPPED, kWaitMs));
    const std::string events = log.Since();
    EXPECT_NE(std::string::npos, events.find(InformationEvent(StartText(copy)))) << events;
    RemoveInstalledService();
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(folder.c_str());
}

} // namespace
