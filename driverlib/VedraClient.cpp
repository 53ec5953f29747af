#include "VedraClient.h"

VedraClient::VedraClient() = default;

VedraClient::~VedraClient() = default;

VedraStatus VedraClient::ConnectClient(const wchar_t* name)
{
    return Connect(name, VEDRA_ROLE_PANEL);
}

VedraStatus VedraClient::Transact(VedraMessage& request, VedraMessage& reply, uint32_t timeoutMs)
{
    // The whole exchange is one request on this connection: nobody else may
    // take a reply off the queue while this one waits for it.
    WnLockGuard hold(lock);
    lastSequence = NextSequence(lastSequence);
    request.sequence = lastSequence;
    VedraStatus status = SendMessage(request);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;

    for (;;) {
        DWORD waited = WaitForSingleObject(messageEvent.Get(), timeoutMs);
        if (waited == WAIT_TIMEOUT)
            return VEDRA_STATUS_TIMEOUT;
        if (waited != WAIT_OBJECT_0)
            return VEDRA_STATUS_FAILED;
        // Drain what is queued: the event is auto-reset and signals once for
        // however many messages arrived since the last wait.
        for (;;) {
            status = ReceiveMessage(reply);
            if (status == VEDRA_STATUS_NO_MORE_ITEMS)
                break;
            if (status != VEDRA_STATUS_SUCCESS)
                return status;
            if (reply.type == VEDRA_MSG_REPLY && reply.sequence == request.sequence)
                return VEDRA_STATUS_SUCCESS;
            // Anything else, an answer to an abandoned earlier request
            // included, is dropped; the reply may already be queued behind
            // it with the event's one signal used up, so keep receiving.
        }
    }
}

VedraStatus VedraClient::NextNotification(VedraMessage& message)
{
    for (;;) {
        VedraStatus status = ReceiveNotification(message);
        if (status != VEDRA_STATUS_SUCCESS || message.type == VEDRA_MSG_NOTIFICATION)
            return status;
    }
}

VedraStatus VedraClient::StandardRequest(uint32_t code, const void* payload, uint32_t length, uint32_t timeoutMs)
{
    VedraMessage request;
    Init(request, VEDRA_MSG_REQUEST, code);
    VedraStatus status = WritePayload(request, payload, length);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    VedraMessage reply;
    Init(reply, VEDRA_MSG_NONE, 0);
    status = Transact(request, reply, timeoutMs);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    if (reply.code != VEDRA_REPLY_GENERIC)
        return VEDRA_STATUS_UNEXPECTED_MSG_CODE;
    return reply.status;
}

VedraStatus VedraClient::SetSampleRate(uint32_t rate, uint32_t timeoutMs)
{
    return StandardRequest(VEDRA_REQ_SET_SAMPLE_RATE, &rate, sizeof(rate), timeoutMs);
}

VedraStatus VedraClient::SetBufferSettings(const VedraBufferSettings& settings)
{
    return StandardRequest(VEDRA_REQ_SET_BUFFER_SETTINGS, &settings, VEDRA_BUFFER_SETTINGS_SET_SIZE,
                           VEDRA_REPLY_TIMEOUT_MS);
}

VedraStatus VedraClient::SelectStreamingDevice(const VedraDeviceId& id, bool allDevices)
{
    VedraStreamingDeviceSelection selection = {};
    selection.allDevices = allDevices ? 1u : 0u;
    selection.id = id;
    return StandardRequest(VEDRA_REQ_SELECT_STREAMING_DEVICE, &selection, sizeof(selection), VEDRA_REPLY_TIMEOUT_MS);
}

VedraStatus VedraClient::SetPolicy(uint32_t policy, uint32_t timeoutMs)
{
    return StandardRequest(VEDRA_REQ_SET_POLICY, &policy, sizeof(policy), timeoutMs);
}
