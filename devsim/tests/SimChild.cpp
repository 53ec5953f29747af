// Helper process of the cross-process tests: plays the server or a client
// that dies with requests pending. Usage:
//   devsim_child server READY_EVENT      server until a request with code 9999;
//                                        a request with code 9998 is answered
//                                        with the codes of its queued notifications
//   devsim_child pending READY_EVENT     panel client with one request held
//                                        back by a delay fault; waits to be killed
// READY_EVENT names an event the parent created; the child sets it once it
// is in place.
#include <windows.h>

#include <cwchar>

#include "SimClient.h"

namespace {

constexpr uint32_t kQuitCode = 9999;
constexpr uint32_t kNotificationsCode = 9998;

void SignalReady(const wchar_t* name)
{
    WnHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, name));
    if (ready.IsValid())
        SetEvent(ready.Get());
}

// Answers every request with a reply carrying the request's first payload
// word as its status and the payload echoed back.
int Serve(const wchar_t* readyName)
{
    SimEventClient server;
    if (server.Connect(VEDRA_ROLE_SERVER) != 0)
        return 2;
    SignalReady(readyName);
    for (;;) {
        if (WaitForSingleObject(server.messageEvent.Get(), 30000) != WAIT_OBJECT_0)
            return 3;
        VedraMessage m;
        while (server.client.Read(VEDRA_IOCTL_RECEIVE_MESSAGE, m) == 0) {
            if (m.type != VEDRA_MSG_REQUEST)
                continue;
            VedraMessage reply = m;
            reply.type = VEDRA_MSG_REPLY;
            reply.code = VEDRA_REPLY_GENERIC;
            reply.status = 0;
            if (m.payloadLength >= 4)
                memcpy(&reply.status, m.payload, 4);
            if (m.code == kNotificationsCode) {
                reply.payloadLength = 0;
                VedraMessage n;
                while (reply.payloadLength + 4 <= VEDRA_MESSAGE_PAYLOAD_SIZE &&
                       server.client.Read(VEDRA_IOCTL_RECEIVE_NOTIFICATION, n) == 0) {
                    memcpy(reply.payload + reply.payloadLength, &n.code, 4);
                    reply.payloadLength += 4;
                }
            }
            server.Send(reply);
            if (m.code == kQuitCode)
                return 0;
        }
    }
}

int HoldPending(const wchar_t* readyName)
{
    SimEventClient panel;
    if (panel.Connect(VEDRA_ROLE_PANEL) != 0)
        return 2;
    WnEvent done;
    if (done.Create(true, false) != 0)
        return 2;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = done.Get();
    static uint32_t policy;
    DWORD bytes = 0;
    if (DeviceIoControl(panel.client.Handle(), VEDRA_IOCTL_GET_POLICY, nullptr, 0, &policy, 4, &bytes, &overlapped) ||
        GetLastError() != ERROR_IO_PENDING)
        return 4;
    SignalReady(readyName);
    Sleep(INFINITE);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 1;
    if (wcscmp(argv[1], L"server") == 0)
        return Serve(argv[2]);
    if (wcscmp(argv[1], L"pending") == 0)
        return HoldPending(argv[2]);
    return 1;
}
