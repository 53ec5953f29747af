#include "TestHelperProcess.h"
#include "WnRegistryKey.h"
#include "WnServiceAdmin.h"
#include "WnServiceCtrl.h"

#include <gtest/gtest.h>

#include <cstring>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD kTimeoutMs = 10000;
const wchar_t kEventLogApplication[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";

// Installs wn_test_helper as a service of the test's own name (never the
// product's), and removes what a test leaves behind, before and after.
class WnServiceAdminTest : public testing::Test {
protected:
    void Use(const wchar_t* name)
    {
        name_ = name;
        helper_ = TestHelperPath();
        // The helper service stops by itself when this is signalled.
        release_.Attach(CreateEventW(nullptr, TRUE, FALSE, (name_ + L"-release").c_str()));
        admin_ = std::make_unique<WnServiceAdmin>(name_.c_str(), L"Wn test service", L"Runs for the Wn tests",
            SERVICE_WIN32_OWN_PROCESS, helper_.c_str());
        RemoveService();
    }

    void TearDown() override
    {
        if (admin_ != nullptr)
            RemoveService();
    }

    // Stops and deletes the service and its event source.
    void RemoveService()
    {
        WnServiceCtrlMgr manager;
        ASSERT_EQ(0u, manager.Open(nullptr, SC_MANAGER_ALL_ACCESS));
        WnServiceCtrl service;
        if (service.Open(manager, name_.c_str(), SERVICE_ALL_ACCESS) == ERROR_SUCCESS) {
            SetEvent(release_.Get());
            SERVICE_STATUS status = {};
            ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
            WaitForState(SERVICE_STOPPED);
            DeleteService(service.Get());
        }
        WnRegistryKey log;
        if (log.Open(HKEY_LOCAL_MACHINE, kEventLogApplication, KEY_WRITE) == ERROR_SUCCESS)
            log.DeleteSubKey(name_.c_str());
    }

    // Polls the service's state until it is the wanted one or time is up.
    bool WaitForState(DWORD state)
    {
        const DWORD started = GetTickCount();
        for (;;) {
            const DWORD current = CurrentState();
            if (current == state || current == 0)
                return current == state;
            if (GetTickCount() - started > kTimeoutMs)
                return false;
            Sleep(20);
        }
    }

    bool ServiceExists()
    {
        WnServiceCtrlMgr manager;
        manager.Open(nullptr, SC_MANAGER_CONNECT);
        WnServiceCtrl service;
        return service.Open(manager, name_.c_str(), SERVICE_QUERY_STATUS) == ERROR_SUCCESS;
    }

    DWORD CurrentState()
    {
        WnServiceCtrlMgr manager;
        manager.Open(nullptr, SC_MANAGER_CONNECT);
        WnServiceCtrl service;
        SERVICE_STATUS status = {};
        if (service.Open(manager, name_.c_str(), SERVICE_QUERY_STATUS) != ERROR_SUCCESS ||
            !QueryServiceStatus(service.Get(), &status))
            return 0;
        return status.dwCurrentState;
    }

    bool EventSourceExists()
    {
        WnRegistryKey key;
        return key.Open(HKEY_LOCAL_MACHINE, (std::wstring(kEventLogApplication) + L"\\" + name_).c_str(), KEY_READ) ==
            ERROR_SUCCESS;
    }

    // Starts the installed service and waits until it says it runs.
    void StartAndWaitRunning()
    {
        WnHandle running(CreateEventW(nullptr, FALSE, FALSE, (name_ + L"-running").c_str()));
        ASSERT_TRUE(running.IsValid());
        ASSERT_EQ(0u, admin_->StartInstalledService());
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(running.Get(), kTimeoutMs)) << "the service never ran";
    }

    std::wstring name_;
    std::wstring helper_;
    WnHandle release_;
    std::unique_ptr<WnServiceAdmin> admin_;
};

TEST_F(WnServiceAdminTest, InstallWritesTheServiceAndItsEventSource)
{
    Use(L"wntestsvc-config");
    ASSERT_EQ(0u, admin_->InstallService());

    WnServiceCtrlMgr manager;
    ASSERT_EQ(0u, manager.Open(nullptr, SC_MANAGER_CONNECT));
    WnServiceCtrl service;
    ASSERT_EQ(0u, service.Open(manager, name_.c_str(), SERVICE_QUERY_CONFIG));
    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceConfigW(service.Get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
        static_cast<DWORD>(buffer.size()), &needed));
    const auto* config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config->dwServiceType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config->dwStartType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), config->dwErrorControl);
    EXPECT_EQ(L"\"" + helper_ + L"\" -service", config->lpBinaryPathName) << "the path is quoted";
    EXPECT_STREQ(L"PlugPlay", config->lpLoadOrderGroup);
    EXPECT_STREQ(L"Wn test service", config->lpDisplayName);
    // Wine's QueryServiceConfigW leaves the dependencies out; the manager's
    // own record of them is the service key's DependOnService list.
    WnRegistryKey serviceKey;
    ASSERT_EQ(0u, serviceKey.Open(HKEY_LOCAL_MACHINE, (L"SYSTEM\\CurrentControlSet\\Services\\" + name_).c_str(), KEY_READ));
    BYTE dependencies[256] = {};
    DWORD type = 0;
    DWORD size = sizeof(dependencies);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(serviceKey.Get(), L"DependOnService", nullptr, &type, dependencies, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    const wchar_t expected[] = L"eventlog\0PlugPlay\0";
    EXPECT_EQ(sizeof(expected), size) << "two names and the closing zero";
    EXPECT_EQ(0, memcmp(expected, dependencies, sizeof(expected)));
    EXPECT_STREQ(L"LocalSystem", config->lpServiceStartName);

    ASSERT_TRUE(QueryServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, buffer.data(),
        static_cast<DWORD>(buffer.size()), &needed));
    EXPECT_STREQ(L"Runs for the Wn tests", reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data())->lpDescription);

    WnRegistryKey source;
    ASSERT_EQ(0u, source.Open(HKEY_LOCAL_MACHINE, (std::wstring(kEventLogApplication) + L"\\" + name_).c_str(), KEY_READ));
    wchar_t messageFile[MAX_PATH] = {};
    size = sizeof(messageFile);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(source.Get(), L"EventMessageFile", nullptr, &type,
                                 reinterpret_cast<BYTE*>(messageFile), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
    EXPECT_EQ(helper_, messageFile);
    uint32_t typesSupported = 0;
    EXPECT_EQ(0u, source.ReadDword(L"TypesSupported", typesSupported));
    EXPECT_EQ(7u, typesSupported);
}

TEST_F(WnServiceAdminTest, InstallStartStopUninstallAndInstallAgain)
{
    Use(L"wntestsvc-cycle");
    ASSERT_EQ(0u, admin_->InstallService());
    StartAndWaitRunning();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), CurrentState());
    EXPECT_EQ(0u, admin_->StopInstalledService());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), CurrentState());
    EXPECT_EQ(static_cast<uint32_t>(ERROR_SERVICE_NOT_ACTIVE), admin_->StopInstalledService()) << "already stopped";

    EXPECT_EQ(0u, admin_->UninstallService());
    EXPECT_FALSE(ServiceExists());
    EXPECT_FALSE(EventSourceExists());
    EXPECT_EQ(static_cast<uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST), admin_->StartInstalledService());

    ASSERT_EQ(0u, admin_->InstallService()) << "install again in the same process";
    EXPECT_TRUE(EventSourceExists());
    StartAndWaitRunning();
    EXPECT_EQ(0u, admin_->StopInstalledService());
    EXPECT_EQ(0u, admin_->UninstallService());
}

TEST_F(WnServiceAdminTest, InstallOverAnExistingServiceLeavesTheEventSourceAlone)
{
    Use(L"wntestsvc-exists");
    ASSERT_EQ(0u, admin_->InstallService());
    // Without its event source, a second install shows whether it went on.
    WnRegistryKey log;
    ASSERT_EQ(0u, log.Open(HKEY_LOCAL_MACHINE, kEventLogApplication, KEY_WRITE));
    ASSERT_EQ(0u, log.DeleteSubKey(name_.c_str()));

    EXPECT_EQ(static_cast<uint32_t>(ERROR_SERVICE_EXISTS), admin_->InstallService());
    EXPECT_FALSE(EventSourceExists());

    EXPECT_EQ(0u, admin_->UninstallService()) << "a missing event source is no error";
    EXPECT_FALSE(ServiceExists());
    EXPECT_EQ(static_cast<uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST), admin_->UninstallService());
}

TEST_F(WnServiceAdminTest, StopGivesUpAfterFiveSeconds)
{
    // This service ignores stop controls.
    Use(L"wntestsvc-stubborn");
    ASSERT_EQ(0u, admin_->InstallService());
    StartAndWaitRunning();
    const DWORD started = GetTickCount();
    EXPECT_EQ(static_cast<uint32_t>(ERROR_TIMEOUT), admin_->StopInstalledService());
    const DWORD elapsed = GetTickCount() - started;
    EXPECT_GE(elapsed, 4500u) << "50 polls, 100 ms apart";
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), CurrentState());
    // Wine refuses every further control once a stop was sent: the test
    // lets the service go by itself.
    SetEvent(release_.Get());
    EXPECT_TRUE(WaitForState(SERVICE_STOPPED)) << "state " << CurrentState();
    EXPECT_EQ(0u, admin_->UninstallService());
}

} // namespace
