#include "WnPnPNotificator.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kTimeoutMs = 5000;

// {6E1D4A52-0B7C-4F39-8A51-2C9E7D3B1F04}: an interface class of the tests' own.
constexpr GUID kTestClass = {0x6e1d4a52, 0x0b7c, 0x4f39, {0x8a, 0x51, 0x2c, 0x9e, 0x7d, 0x3b, 0x1f, 0x04}};

struct Seen {
    uint32_t eventType;
    DWORD deviceType;
    GUID classGuid;
    DWORD threadId;
};

class Recorder {
public:
    Recorder() { forwarder.Bind(this, &Recorder::OnDeviceChange); }

    void OnDeviceChange(uint32_t eventType, void* eventData)
    {
        const auto* header = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(eventData);
        seen.push_back({eventType, header->dbcc_devicetype, header->dbcc_classguid, GetCurrentThreadId()});
    }

    WnPnPNotificatorCallbackForwarderT<Recorder> forwarder;
    // Written on the notificator's thread while the test thread is blocked in SendMessage.
    std::vector<Seen> seen;
};

std::wstring Formatted(const wchar_t* format, DWORD threadId)
{
    wchar_t text[80];
    swprintf(text, 80, format, static_cast<unsigned>(GetCurrentProcessId()), static_cast<unsigned>(threadId));
    return text;
}

// The hidden window of a running notificator, found as any other program would.
HWND HiddenWindow(const WnPnPNotificator& notificator)
{
    return FindWindowW(Formatted(L"PnPNotificatorWndCls_%u_%u", notificator.ThreadId()).c_str(),
        Formatted(L"PnPNotificator_HiddenWindow_%u_%u", notificator.ThreadId()).c_str());
}

// Delivers a WM_DEVICECHANGE to the window the way the system does (Wine
// sends none here: no device comes or goes). Returns the window's result.
LRESULT SendDeviceChange(HWND window, WPARAM eventType, const void* header)
{
    DWORD_PTR result = 0xBAD;
    if (!SendMessageTimeoutW(window, WM_DEVICECHANGE, eventType, reinterpret_cast<LPARAM>(header), SMTO_NORMAL,
            kTimeoutMs, &result))
        ADD_FAILURE() << "WM_DEVICECHANGE not handled, error " << GetLastError();
    return static_cast<LRESULT>(result);
}

DEV_BROADCAST_DEVICEINTERFACE_W InterfaceHeader(const GUID& classGuid)
{
    DEV_BROADCAST_DEVICEINTERFACE_W header = {};
    header.dbcc_size = sizeof(header);
    header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    header.dbcc_classguid = classGuid;
    return header;
}

TEST(WnPnPNotificator, StartStopAndRegisterFollowTheRunningState)
{
    Recorder recorder;
    WnPnPNotificator notificator;
    EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_PARAMETER), notificator.Start(nullptr, nullptr));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_DATA), notificator.Register(kTestClass)) << "before Start";
    EXPECT_EQ(0u, notificator.Stop(kTimeoutMs)) << "not running";

    ASSERT_EQ(0u, notificator.Start(&recorder.forwarder, nullptr));
    const DWORD threadId = notificator.ThreadId();
    const HWND window = HiddenWindow(notificator);
    ASSERT_NE(nullptr, window) << "hidden window of thread " << threadId;
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(threadId, GetWindowThreadProcessId(window, nullptr));

    EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_INITIALIZED), notificator.Start(&recorder.forwarder, nullptr));
    EXPECT_EQ(threadId, notificator.ThreadId()) << "the second Start changes nothing";
    EXPECT_TRUE(IsWindow(window));

    EXPECT_EQ(0u, notificator.Register(kTestClass));
    EXPECT_EQ(0u, notificator.Stop(kTimeoutMs));
    EXPECT_FALSE(IsWindow(window)) << "Stop closes the window";
    EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_DATA), notificator.Register(kTestClass)) << "after Stop";

    // It can be started again, on a new thread with a new window.
    ASSERT_EQ(0u, notificator.Start(&recorder.forwarder, nullptr));
    EXPECT_NE(nullptr, HiddenWindow(notificator));
    EXPECT_EQ(0u, notificator.Register(kTestClass));
}

TEST(WnPnPNotificator, DestructionEndsTheThreadAndTheWindow)
{
    Recorder recorder;
    HWND window = nullptr;
    {
        WnPnPNotificator notificator;
        ASSERT_EQ(0u, notificator.Start(&recorder.forwarder, nullptr));
        window = HiddenWindow(notificator);
        ASSERT_NE(nullptr, window);
    }
    EXPECT_FALSE(IsWindow(window));
}

TEST(WnPnPNotificator, OnlyInterfaceArrivalsAndRemovalsReachTheCallback)
{
    Recorder recorder;
    WnPnPNotificator notificator;
    ASSERT_EQ(0u, notificator.Start(&recorder.forwarder, nullptr));
    ASSERT_EQ(0u, notificator.Register(kTestClass));
    const HWND window = HiddenWindow(notificator);
    ASSERT_NE(nullptr, window);

    const DEV_BROADCAST_DEVICEINTERFACE_W deviceInterface = InterfaceHeader(kTestClass);
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << 4;

    struct Case {
        const char* what;
        WPARAM eventType;
        const void* header;
        bool reaches;
    };
    const Case cases[] = {
        {"interface arrival", DBT_DEVICEARRIVAL, &deviceInterface, true},
        {"interface removal", DBT_DEVICEREMOVECOMPLETE, &deviceInterface, true},
        {"volume arrival", DBT_DEVICEARRIVAL, &volume, false},
        {"volume removal", DBT_DEVICEREMOVECOMPLETE, &volume, false},
        {"interface query-remove", DBT_DEVICEQUERYREMOVE, &deviceInterface, false},
        {"device nodes changed", DBT_DEVNODES_CHANGED, nullptr, false},
        {"arrival without a header", DBT_DEVICEARRIVAL, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        recorder.seen.clear();
        EXPECT_EQ(0, SendDeviceChange(window, c.eventType, c.header));
        ASSERT_EQ(c.reaches ? 1u : 0u, recorder.seen.size());
        if (c.reaches) {
            EXPECT_EQ(static_cast<uint32_t>(c.eventType), recorder.seen[0].eventType);
            EXPECT_EQ(static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE), recorder.seen[0].deviceType);
            EXPECT_TRUE(IsEqualGUID(kTestClass, recorder.seen[0].classGuid));
            EXPECT_EQ(notificator.ThreadId(), recorder.seen[0].threadId) << "called on the notificator's thread";
        }
    }
}

TEST(WnPnPNotificator, TwoInOneProcessKeepTheirOwnWindowsAndCallbacks)
{
    Recorder first;
    Recorder second;
    WnPnPNotificator one;
    WnPnPNotificator two;
    ASSERT_EQ(0u, one.Start(&first.forwarder, nullptr));
    ASSERT_EQ(0u, two.Start(&second.forwarder, nullptr)) << "a second window class name is free";
    EXPECT_NE(one.ThreadId(), two.ThreadId());
    const HWND firstWindow = HiddenWindow(one);
    const HWND secondWindow = HiddenWindow(two);
    ASSERT_NE(nullptr, firstWindow);
    ASSERT_NE(nullptr, secondWindow);
    EXPECT_NE(firstWindow, secondWindow);

    const DEV_BROADCAST_DEVICEINTERFACE_W deviceInterface = InterfaceHeader(kTestClass);
    SendDeviceChange(secondWindow, DBT_DEVICEARRIVAL, &deviceInterface);
    EXPECT_EQ(0u, first.seen.size());
    EXPECT_EQ(1u, second.seen.size());

    EXPECT_EQ(0u, one.Stop(kTimeoutMs));
    EXPECT_TRUE(IsWindow(secondWindow)) << "stopping one leaves the other running";
    SendDeviceChange(secondWindow, DBT_DEVICEREMOVECOMPLETE, &deviceInterface);
    EXPECT_EQ(2u, second.seen.size());
}

TEST(WnDeviceNotificationList, KeepsOnlyRegistrationsTheSystemAccepted)
{
    const HWND window = CreateWindowExW(0, L"STATIC", L"WnDeviceNotificationListTest", 0, 0, 0, 0, 0, HWND_MESSAGE,
        nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    WnDeviceNotificationList list;
    EXPECT_EQ(0u, list.Register(window, kTestClass, WnDeviceNotificationList::kWindowHandle));
    EXPECT_EQ(0u, list.Register(window, kTestClass, WnDeviceNotificationList::kWindowHandle));
    EXPECT_EQ(2u, list.Count());

    // Not a window: refused, nothing kept.
    const uint32_t refused = list.Register(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7FFC)), kTestClass,
        WnDeviceNotificationList::kWindowHandle);
    EXPECT_NE(0u, refused);
    EXPECT_EQ(2u, list.Count());

    list.UnregisterAll();
    EXPECT_EQ(0u, list.Count());
    list.UnregisterAll();
    DestroyWindow(window);
}

} // namespace
