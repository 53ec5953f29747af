#include "VedraMessage.h"

#include <string.h>

void Init(VedraMessage& message, uint32_t type, uint32_t code)
{
    memset(&message, 0, sizeof(message));
    message.headerSize = VEDRA_MESSAGE_HEADER_SIZE;
    message.type = type;
    message.code = code;
}

void InitReply(VedraMessage& reply, const VedraMessage& request, VedraStatus status)
{
    // The request may be the reply record itself; read it before clearing.
    uint32_t sequence = request.sequence;
    uint32_t route1 = request.route1;
    uint32_t route2 = request.route2;
    Init(reply, VEDRA_MSG_REPLY, VEDRA_REPLY_GENERIC);
    reply.sequence = sequence;
    reply.route1 = route1;
    reply.route2 = route2;
    reply.status = status;
}

VedraStatus WritePayload(VedraMessage& message, const void* source, uint32_t length)
{
    if (length > VEDRA_MESSAGE_PAYLOAD_SIZE)
        return VEDRA_STATUS_INVALID_LENGTH;
    if (length > 0)
        memcpy(message.payload, source, length);
    message.payloadLength = length;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus ReadPayload(const VedraMessage& message, void* target, uint32_t& capacity)
{
    uint32_t length = message.payloadLength;
    if (length > capacity || length > VEDRA_MESSAGE_PAYLOAD_SIZE)
        return VEDRA_STATUS_INVALID_LENGTH;
    if (length > 0)
        memcpy(target, message.payload, length);
    capacity = length;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus ReadPayloadExact(const VedraMessage& message, void* target, uint32_t size)
{
    uint32_t length = size;
    VedraStatus status = ReadPayload(message, target, length);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    return length == size ? VEDRA_STATUS_SUCCESS : VEDRA_STATUS_INVALID_MSG_SIZE;
}

uint32_t NextSequence(uint32_t previous)
{
    uint32_t next = previous + 1;
    return next == 0 ? 1 : next;
}
