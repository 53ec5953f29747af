// The driver's device interface reaches windows registered with
// RegisterDeviceNotification as DBT_DEVICEARRIVAL, through Wine's own
// plug-and-play broadcast.
#include "SimTestSupport.h"

#include <dbt.h>

#include <string>

namespace {

const GUID kInterface = {0x3B7C5A10, 0x64E2, 0x4F0D, {0x9C, 0x1A, 0x52, 0xD8, 0xE6, 0xF4, 0x0A, 0x73}};

struct Seen {
    int arrivals = 0;
    std::wstring name;
};

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE && lParam != 0) {
        auto* seen = reinterpret_cast<Seen*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        auto* header = reinterpret_cast<DEV_BROADCAST_HDR*>(lParam);
        if (seen != nullptr && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
            auto* iface = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam);
            if (IsEqualGUID(iface->dbcc_classguid, kInterface)) {
                if (wParam == DBT_DEVICEARRIVAL) {
                    seen->arrivals++;
                    seen->name = iface->dbcc_name;
                }
            }
        }
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

struct Window {
    HWND handle = nullptr;
    HDEVNOTIFY notify = nullptr;
    ~Window()
    {
        if (notify != nullptr)
            UnregisterDeviceNotification(notify);
        if (handle != nullptr)
            DestroyWindow(handle);
    }
};

} // namespace

using DeviceArrivalTest = SimDriverTest;

TEST_F(DeviceArrivalTest, AnnouncingTheInterfaceReachesRegisteredWindows)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VedraSimArrivalTest";
    RegisterClassW(&wc);
    Window w;
    w.handle = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, w.handle);
    Seen seen;
    SetWindowLongPtrW(w.handle, GWLP_USERDATA, (LONG_PTR)&seen);
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kInterface;
    w.notify = RegisterDeviceNotificationW(w.handle, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    ASSERT_NE(nullptr, w.notify) << GetLastError();

    // Wine hands the registration to its plug-and-play service in the
    // background, so an announcement made at once can miss it: announce
    // again until one arrives (each announcement is one arrival).
    for (int attempt = 0; attempt < 20 && seen.arrivals == 0; ++attempt) {
        ASSERT_STATUS(0, control.Request(VSIM_IOCTL_ANNOUNCE, nullptr, 0, nullptr, 0));
        ULONGLONG deadline = GetTickCount64() + 250;
        while (seen.arrivals == 0 && GetTickCount64() < deadline) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
        }
    }
    EXPECT_GE(seen.arrivals, 1);
    EXPECT_FALSE(seen.name.empty()) << "the panel acts only on a named interface";
}
