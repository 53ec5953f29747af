// Connections (one per open handle), their roles and events, and the
// message and notification queues with the routing between them.
//
// Routing words: a request reaching the server carries route1 = the sending
// connection's number and route2 = its process id; a reply is delivered to
// the connection with that number only while it still belongs to that
// process, so a reply can never reach a later connection by accident.
//
// Full queues: a request or reply to a full queue fails its sender with
// VEDRA_STATUS_NO_RESOURCES and nothing is queued; a notification from the
// server is queued wherever there is room and fails the sender with
// VEDRA_STATUS_NO_RESOURCES when at least one queue was full; the driver's
// own notifications to a full queue are dropped. Every refusal and drop is
// counted (per connection and driver-wide) and shown by the tool.
#include "SimDriver.h"

namespace {

void CloseEvent(HANDLE& handle)
{
    if (handle != nullptr) {
        ZwClose(handle);
        handle = nullptr;
    }
}

void FreeQueue(SimQueue& queue)
{
    if (queue.slots != nullptr)
        ExFreePoolWithTag(queue.slots, SIM_POOL_TAG);
    queue.slots = nullptr;
    queue.head = 0;
    queue.count = 0;
}

// Queues a copy of the message's used bytes; false when the queue is full
// or its storage cannot be had.
bool Enqueue(SimQueue& queue, const VedraMessage& header, const uint8_t* payload)
{
    if (queue.count >= VSIM_QUEUE_CAPACITY)
        return false;
    if (queue.slots == nullptr) {
        queue.slots = static_cast<VedraMessage*>(
            ExAllocatePoolWithTag(NonPagedPool, sizeof(VedraMessage) * VSIM_QUEUE_CAPACITY, SIM_POOL_TAG));
        if (queue.slots == nullptr)
            return false;
    }
    VedraMessage& slot = queue.slots[(queue.head + queue.count) % VSIM_QUEUE_CAPACITY];
    memcpy(&slot, &header, VEDRA_MESSAGE_HEADER_SIZE);
    memset(slot.payload, 0, sizeof(slot.payload));
    if (header.payloadLength > 0)
        memcpy(slot.payload, payload, header.payloadLength);
    queue.count++;
    return true;
}

void Signal(HANDLE event)
{
    if (event != nullptr)
        ZwSetEvent(event, nullptr);
}

bool DeliverMessage(SimConnection* target, const VedraMessage& header, const uint8_t* payload)
{
    if (!Enqueue(target->messages, header, payload)) {
        target->messages.refused++;
        return false;
    }
    Signal(target->messageEvent);
    return true;
}

bool DeliverNotification(SimConnection* target, const VedraMessage& header, const uint8_t* payload)
{
    if (!Enqueue(target->notifications, header, payload))
        return false;
    Signal(target->notificationEvent);
    return true;
}

// Duplicates a client's event handle into the driver's own process, so the
// driver can signal it later from any thread.
VedraStatus DuplicateClientEvent(uint32_t processId, uint64_t value, HANDLE* result)
{
    *result = nullptr;
    if (value == 0)
        return VEDRA_STATUS_SUCCESS;
    if (value > 0xFFFFFFFFull)
        return VEDRA_STATUS_INVALID_PARAMETER;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    CLIENT_ID client = {};
    client.UniqueProcess = (HANDLE)(ULONG_PTR)processId;
    HANDLE process = nullptr;
    NTSTATUS status = ZwOpenProcess(&process, PROCESS_DUP_HANDLE, &attributes, &client);
    if (!NT_SUCCESS(status))
        return VEDRA_STATUS_INVALID_PARAMETER;
    status = ZwDuplicateObject(process, (HANDLE)(ULONG_PTR)value, NtCurrentProcess(), result,
                               EVENT_MODIFY_STATE | SYNCHRONIZE, 0, 0);
    ZwClose(process);
    if (!NT_SUCCESS(status)) {
        *result = nullptr;
        return VEDRA_STATUS_INVALID_PARAMETER;
    }
    return VEDRA_STATUS_SUCCESS;
}

void InitNotification(VedraMessage& header, uint32_t code, uint32_t length)
{
    memset(&header, 0, VEDRA_MESSAGE_HEADER_SIZE);
    header.headerSize = VEDRA_MESSAGE_HEADER_SIZE;
    header.payloadLength = length;
    header.type = VEDRA_MSG_NOTIFICATION;
    header.code = code;
    header.sequence = ++g->notificationSequence;
}

} // namespace

SimConnection* SimCreateConnection(uint32_t processId)
{
    auto* conn = static_cast<SimConnection*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(SimConnection), SIM_POOL_TAG));
    if (conn == nullptr)
        return nullptr;
    memset(conn, 0, sizeof(SimConnection));
    conn->number = ++g->nextConnectionNumber;
    conn->processId = processId;
    conn->role = VSIM_NO_ROLE;
    InsertTailList(&g->connections, &conn->link);
    g->connectionCount++;
    return conn;
}

void SimReleaseConnection(SimConnection* conn)
{
    if (conn->released)
        return;
    conn->released = true;
    if (g->server == conn)
        g->server = nullptr;
    conn->role = VSIM_NO_ROLE;
    CloseEvent(conn->messageEvent);
    CloseEvent(conn->notificationEvent);
    FreeQueue(conn->messages);
    FreeQueue(conn->notifications);
    RemoveEntryList(&conn->link);
    g->connectionCount--;
}

void SimDestroyConnection(SimConnection* conn)
{
    SimReleaseConnection(conn);
    ExFreePoolWithTag(conn, SIM_POOL_TAG);
}

void SimClearQueues()
{
    for (LIST_ENTRY* e = g->connections.Flink; e != &g->connections; e = e->Flink) {
        SimConnection* conn = CONTAINING_RECORD(e, SimConnection, link);
        conn->messages.head = conn->messages.count = 0;
        conn->notifications.head = conn->notifications.count = 0;
        conn->messages.refused = conn->messages.lost = 0;
        conn->notifications.refused = conn->notifications.lost = 0;
    }
}

VedraStatus SimSetEvents(SimRequest& r)
{
    if (r.inLength != sizeof(VedraNotificationEvents))
        return VEDRA_STATUS_INVALID_INBUFFER_SIZE;
    if (r.outLength != 0)
        return VEDRA_STATUS_INVALID_OUTBUFFER_SIZE;
    auto events = SimRead<VedraNotificationEvents>(r.buffer);
    HANDLE message = nullptr;
    HANDLE notification = nullptr;
    VedraStatus status = DuplicateClientEvent(r.processId, events.messageEvent, &message);
    if (status == VEDRA_STATUS_SUCCESS)
        status = DuplicateClientEvent(r.processId, events.notificationEvent, &notification);
    if (status != VEDRA_STATUS_SUCCESS) {
        CloseEvent(message);
        return status;
    }
    CloseEvent(r.conn->messageEvent);
    CloseEvent(r.conn->notificationEvent);
    r.conn->messageEvent = message;
    r.conn->notificationEvent = notification;
    // Messages that arrived before the events must not go unnoticed.
    if (r.conn->messages.count > 0)
        Signal(message);
    if (r.conn->notifications.count > 0)
        Signal(notification);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus SimRegisterRole(SimRequest& r)
{
    if (r.inLength != sizeof(uint32_t))
        return VEDRA_STATUS_INVALID_INBUFFER_SIZE;
    if (r.outLength != 0)
        return VEDRA_STATUS_INVALID_OUTBUFFER_SIZE;
    uint32_t role = SimRead<uint32_t>(r.buffer);
    if (role != VEDRA_ROLE_SERVER && role != VEDRA_ROLE_PANEL && role != VEDRA_ROLE_PANEL_VISIBLE &&
        role != VEDRA_ROLE_PANEL_MIXER)
        return VEDRA_STATUS_INVALID_PARAMETER;
    if (role == VEDRA_ROLE_SERVER) {
        if (g->server != nullptr && g->server != r.conn)
            return VEDRA_STATUS_ALREADY_DONE;
        g->server = r.conn;
    } else if (g->server == r.conn) {
        g->server = nullptr;
    }
    r.conn->role = role;
    // The server answers with the device list for the newcomer (3030).
    if (role == VEDRA_ROLE_PANEL)
        SimNotifyServer(VEDRA_NTF_CLIENT_REGISTERED, nullptr, 0);
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus SimSendMessage(SimRequest& r)
{
    if (r.inLength < VEDRA_MESSAGE_HEADER_SIZE || r.inLength > sizeof(VedraMessage))
        return VEDRA_STATUS_INVALID_INBUFFER_SIZE;
    if (r.outLength != 0)
        return VEDRA_STATUS_INVALID_OUTBUFFER_SIZE;
    VedraMessage header;
    memcpy(&header, r.buffer, VEDRA_MESSAGE_HEADER_SIZE);
    if (header.headerSize != VEDRA_MESSAGE_HEADER_SIZE)
        return VEDRA_STATUS_INVALID_HD_SIZE;
    if (header.payloadLength > VEDRA_MESSAGE_PAYLOAD_SIZE ||
        r.inLength < VEDRA_MESSAGE_HEADER_SIZE + header.payloadLength)
        return VEDRA_STATUS_INVALID_MSG_SIZE;
    const uint8_t* payload = r.buffer + VEDRA_MESSAGE_HEADER_SIZE;
    bool fromServer = g->server == r.conn;

    switch (header.type) {
    case VEDRA_MSG_REQUEST: {
        if (fromServer)
            return VEDRA_STATUS_INVALID_MSG_TYPE;
        if (g->server == nullptr)
            return VEDRA_STATUS_NO_SERVER;
        header.route1 = r.conn->number;
        header.route2 = r.conn->processId;
        return DeliverMessage(g->server, header, payload) ? VEDRA_STATUS_SUCCESS : VEDRA_STATUS_NO_RESOURCES;
    }
    case VEDRA_MSG_REPLY: {
        if (!fromServer)
            return VEDRA_STATUS_INVALID_MSG_TYPE;
        for (LIST_ENTRY* e = g->connections.Flink; e != &g->connections; e = e->Flink) {
            SimConnection* target = CONTAINING_RECORD(e, SimConnection, link);
            if (target->number == header.route1 && target->processId == header.route2)
                return DeliverMessage(target, header, payload) ? VEDRA_STATUS_SUCCESS : VEDRA_STATUS_NO_RESOURCES;
        }
        g->droppedReplies++; // the requester has gone: nobody waits for it
        return VEDRA_STATUS_SUCCESS;
    }
    case VEDRA_MSG_NOTIFICATION: {
        if (!fromServer)
            return VEDRA_STATUS_INVALID_MSG_TYPE;
        bool full = false;
        for (LIST_ENTRY* e = g->connections.Flink; e != &g->connections; e = e->Flink) {
            SimConnection* target = CONTAINING_RECORD(e, SimConnection, link);
            if (target == r.conn || target->notificationEvent == nullptr)
                continue;
            if (!DeliverNotification(target, header, payload)) {
                target->notifications.refused++;
                full = true;
            }
        }
        return full ? VEDRA_STATUS_NO_RESOURCES : VEDRA_STATUS_SUCCESS;
    }
    default:
        return VEDRA_STATUS_INVALID_MSG_TYPE;
    }
}

VedraStatus SimReceive(SimRequest& r, bool notification)
{
    if (r.inLength != 0)
        return VEDRA_STATUS_INVALID_INBUFFER_SIZE;
    if (r.outLength != sizeof(VedraMessage))
        return VEDRA_STATUS_INVALID_OUTBUFFER_SIZE;
    SimQueue& queue = notification ? r.conn->notifications : r.conn->messages;
    if (queue.count == 0)
        return VEDRA_STATUS_NO_MORE_ITEMS;
    memcpy(r.buffer, &queue.slots[queue.head], sizeof(VedraMessage));
    queue.head = (queue.head + 1) % VSIM_QUEUE_CAPACITY;
    queue.count--;
    r.bytesReturned = sizeof(VedraMessage);
    return VEDRA_STATUS_SUCCESS;
}

void SimNotifyServer(uint32_t code, const void* payload, uint32_t length)
{
    if (g->server == nullptr)
        return;
    VedraMessage header;
    InitNotification(header, code, length);
    if (!DeliverNotification(g->server, header, static_cast<const uint8_t*>(payload))) {
        g->server->notifications.lost++;
        g->lostNotifications++;
    }
}

void SimNotifyClients(uint32_t code, const void* payload, uint32_t length)
{
    VedraMessage header;
    InitNotification(header, code, length);
    for (LIST_ENTRY* e = g->connections.Flink; e != &g->connections; e = e->Flink) {
        SimConnection* target = CONTAINING_RECORD(e, SimConnection, link);
        if (target == g->server || target->notificationEvent == nullptr)
            continue;
        if (!DeliverNotification(target, header, static_cast<const uint8_t*>(payload))) {
            target->notifications.lost++;
            g->lostNotifications++;
        }
    }
}
