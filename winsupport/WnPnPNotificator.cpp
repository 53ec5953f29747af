#include "WnPnPNotificator.h"

#include <cwchar>

namespace {

constexpr DWORD kReadyTimeoutMs = 10000;
constexpr size_t kNameLength = 80;

} // namespace

WnPnPNotificator::~WnPnPNotificator()
{
    Stop(INFINITE);
}

uint32_t WnPnPNotificator::Start(WnPnPNotificatorCallbackInterface* callback, HINSTANCE instance)
{
    if (callback == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (instance == nullptr)
        instance = GetModuleHandleW(nullptr);

    WnLockGuard guard(lock_);
    if (running_)
        return ERROR_ALREADY_INITIALIZED;
    instance_ = instance;
    callback_ = callback;
    uint32_t error = readyEvent_.Create(true, false);
    if (error != ERROR_SUCCESS)
        return error;
    error = thread_.Start(this, 0, 0);
    if (error != ERROR_SUCCESS)
        return error;
    if (WaitForSingleObject(readyEvent_.Get(), kReadyTimeoutMs) != WAIT_OBJECT_0)
        return ERROR_TIMEOUT;
    if (windowResult_ != ERROR_SUCCESS) {
        thread_.Wait(INFINITE);
        return windowResult_;
    }
    running_ = true;
    return ERROR_SUCCESS;
}

uint32_t WnPnPNotificator::Register(const GUID& classGuid)
{
    WnLockGuard guard(lock_);
    const HWND window = window_.load();
    if (!running_ || window == nullptr)
        return ERROR_INVALID_DATA;
    return notifications_.Register(window, classGuid, WnDeviceNotificationList::kWindowHandle);
}

uint32_t WnPnPNotificator::Stop(uint32_t timeoutMs)
{
    WnLockGuard guard(lock_);
    uint32_t result = ERROR_SUCCESS;
    // A Start that timed out is not running but leaves its thread behind,
    // which would go on to use this object: it is ended here as well, once
    // its window exists.
    const bool strayThread = !running_ && thread_.IsValid();
    if (strayThread && WaitForSingleObject(readyEvent_.Get(), timeoutMs) != WAIT_OBJECT_0) {
        result = WAIT_TIMEOUT;
    } else if (running_ || strayThread) {
        const HWND window = window_.load();
        if (window != nullptr)
            PostMessageW(window, WM_CLOSE, 0, 0);
        result = thread_.Wait(timeoutMs);
        if (result == ERROR_SUCCESS) {
            running_ = false;
            instance_ = nullptr;
            callback_ = nullptr;
        }
    }
    notifications_.UnregisterAll();
    return result;
}

uint32_t WnPnPNotificator::CreateHiddenWindow(const wchar_t* className, const wchar_t* title)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = StaticWindowProc;
    windowClass.hInstance = instance_;
    windowClass.lpszClassName = className;
    if (RegisterClassW(&windowClass) == 0)
        return GetLastError();
    const HWND window = CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, nullptr);
    if (window == nullptr) {
        const uint32_t error = GetLastError();
        UnregisterClassW(className, instance_);
        return error;
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = window;
    return ERROR_SUCCESS;
}

uint32_t WnPnPNotificator::Run()
{
    // Process and thread id make the names unique: several notificators can
    // live in one process, and a window class name can be registered once.
    wchar_t className[kNameLength];
    wchar_t title[kNameLength];
    const unsigned processId = GetCurrentProcessId();
    const unsigned threadId = GetCurrentThreadId();
    swprintf(className, kNameLength, L"PnPNotificatorWndCls_%u_%u", processId, threadId);
    swprintf(title, kNameLength, L"PnPNotificator_HiddenWindow_%u_%u", processId, threadId);

    windowResult_ = CreateHiddenWindow(className, title);
    const bool created = windowResult_ == ERROR_SUCCESS;
    readyEvent_.Set();
    if (!created)
        return 0;

    MSG message;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    window_ = nullptr;
    UnregisterClassW(className, instance_);
    return 0;
}

LRESULT CALLBACK WnPnPNotificator::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Messages sent while the window is being created come before the
    // object is stored.
    auto* self = reinterpret_cast<WnPnPNotificator*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->WindowProc(window, message, wParam, lParam);
}

LRESULT WnPnPNotificator::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_DEVICECHANGE:
        return OnDeviceChange(wParam, lParam);
    default:
        // WM_CLOSE from Stop destroys the window, and WM_DESTROY ends the loop.
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT WnPnPNotificator::OnDeviceChange(WPARAM wParam, LPARAM lParam)
{
    if (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE)
        return 0;
    // Anyone can send this message; an arrival without its header is dropped.
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE || callback_ == nullptr)
        return 0;
    callback_->OnDeviceChange(static_cast<uint32_t>(wParam), reinterpret_cast<void*>(lParam));
    return 0;
}
