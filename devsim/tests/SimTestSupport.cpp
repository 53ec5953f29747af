#include "SimTestSupport.h"

#include <cstring>

uint32_t ProductConnection::SetEvents()
{
    uint32_t error = messageEvent.IsValid() ? 0 : messageEvent.Create(false, false);
    if (error == 0 && !notificationEvent.IsValid())
        error = notificationEvent.Create(false, false);
    if (error != 0)
        return error;
    VedraNotificationEvents events = {(uint64_t)(uintptr_t)messageEvent.Get(),
                                      (uint64_t)(uintptr_t)notificationEvent.Get()};
    return client.Write(VEDRA_IOCTL_SET_NOTIFICATION_EVENTS, events);
}

uint32_t ProductConnection::RegisterRole(uint32_t role)
{
    return client.Write(VEDRA_IOCTL_REGISTER_ROLE, role);
}

uint32_t ProductConnection::Connect(uint32_t role)
{
    uint32_t status = Open();
    if (status == 0 && (role == VEDRA_ROLE_SERVER || role == VEDRA_ROLE_PANEL))
        status = SetEvents();
    if (status == 0)
        status = RegisterRole(role);
    return status;
}

uint32_t ProductConnection::Send(const VedraMessage& message)
{
    return client.Request(VEDRA_IOCTL_SEND_MESSAGE, &message, VEDRA_MESSAGE_HEADER_SIZE + message.payloadLength,
                          nullptr, 0);
}

uint32_t ProductConnection::Receive(VedraMessage& message)
{
    return client.Read(VEDRA_IOCTL_RECEIVE_MESSAGE, message);
}

uint32_t ProductConnection::ReceiveNotification(VedraMessage& message)
{
    return client.Read(VEDRA_IOCTL_RECEIVE_NOTIFICATION, message);
}

uint32_t ProductConnection::WaitMessage(VedraMessage& message, uint32_t timeoutMs)
{
    if (WaitForSingleObject(messageEvent.Get(), timeoutMs) != WAIT_OBJECT_0)
        return WAIT_TIMEOUT;
    return Receive(message);
}

uint32_t ProductConnection::WaitNotification(VedraMessage& message, uint32_t timeoutMs)
{
    if (WaitForSingleObject(notificationEvent.Get(), timeoutMs) != WAIT_OBJECT_0)
        return WAIT_TIMEOUT;
    return ReceiveNotification(message);
}

std::vector<uint32_t> ProductConnection::DrainNotifications()
{
    std::vector<uint32_t> codes;
    VedraMessage message;
    while (ReceiveNotification(message) == 0)
        codes.push_back(message.code);
    return codes;
}

VedraMessage MakeMessage(uint32_t type, uint32_t code, uint32_t payloadLength)
{
    VedraMessage m = {};
    m.headerSize = VEDRA_MESSAGE_HEADER_SIZE;
    m.type = type;
    m.code = code;
    m.payloadLength = payloadLength;
    for (uint32_t i = 0; i < payloadLength && i < VEDRA_MESSAGE_PAYLOAD_SIZE; ++i)
        m.payload[i] = (uint8_t)(i * 7 + 1);
    return m;
}

uint32_t Control(uint32_t function)
{
    return VedraControlCode(function);
}

const char* Name(uint32_t status)
{
#define VEDRA_STATUS_NAME(name, value) \
    if (status == value)               \
        return "VEDRA_STATUS_" #name;
    VEDRA_STATUS_LIST(VEDRA_STATUS_NAME)
#undef VEDRA_STATUS_NAME
    if (status == WAIT_TIMEOUT)
        return "WAIT_TIMEOUT";
    return "(Win32 error)";
}

void SimDriverTest::ResetTo(uint32_t scenario)
{
    if (!control.IsOpen()) {
        ASSERT_EQ(0u, control.Open()) << "the simulated driver is not running";
    }
    ASSERT_STATUS(0, sim::Reset(control, scenario));
}

VedraDeviceList SimDriverTest::DeviceList()
{
    SimClient c;
    VedraDeviceList list = {};
    EXPECT_EQ(0u, c.Open());
    EXPECT_STATUS(0, c.Read(VEDRA_IOCTL_GET_DEVICE_LIST, list));
    return list;
}

std::vector<VedraSimJournalEntry> SimDriverTest::JournalSince(uint32_t mark)
{
    std::vector<VedraSimJournalEntry> entries;
    EXPECT_STATUS(0, sim::ReadJournal(control, mark, entries));
    return entries;
}

uint32_t SimDriverTest::JournalMark()
{
    uint32_t mark = 0;
    EXPECT_STATUS(0, sim::JournalMark(control, mark));
    return mark;
}
