#include "SimClient.h"

uint32_t SimClient::Open()
{
    Close();
    if (!done_.IsValid()) {
        uint32_t error = done_.Create(true, false);
        if (error != 0)
            return error;
    }
    HANDLE h = CreateFileW(L"\\\\.\\" VEDRA_INTERFACE_GUID_STRING, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError();
    handle_.Attach(h);
    return 0;
}

void SimClient::Close()
{
    handle_.Close();
}

uint32_t SimClient::Request(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                            uint32_t* bytesReturned, uint32_t timeoutMs)
{
    DWORD count = 0;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = done_.Get();
    uint32_t status = 0;
    if (!DeviceIoControl(handle_.Get(), code, const_cast<void*>(in), inSize, out, outSize, &count, &overlapped)) {
        status = GetLastError();
        if (status == ERROR_IO_PENDING) {
            DWORD wait = WaitForSingleObject(done_.Get(), timeoutMs);
            if (wait != WAIT_OBJECT_0) {
                CancelIoEx(handle_.Get(), &overlapped);
                GetOverlappedResult(handle_.Get(), &overlapped, &count, TRUE);
                status = WAIT_TIMEOUT;
            } else if (GetOverlappedResult(handle_.Get(), &overlapped, &count, FALSE)) {
                status = 0;
            } else {
                status = GetLastError();
            }
        }
    }
    if (bytesReturned != nullptr)
        *bytesReturned = count;
    return status;
}

uint32_t SimEventClient::Connect(uint32_t role)
{
    uint32_t status = client.Open();
    if (status == 0)
        status = messageEvent.Create(false, false);
    if (status == 0)
        status = notificationEvent.Create(false, false);
    VedraNotificationEvents events = {(uint64_t)(uintptr_t)messageEvent.Get(),
                                      (uint64_t)(uintptr_t)notificationEvent.Get()};
    if (status == 0)
        status = client.Write(VEDRA_IOCTL_SET_NOTIFICATION_EVENTS, events);
    if (status == 0)
        status = client.Write(VEDRA_IOCTL_REGISTER_ROLE, role);
    return status;
}

uint32_t SimEventClient::Send(const VedraMessage& message)
{
    return client.Request(VEDRA_IOCTL_SEND_MESSAGE, &message, VEDRA_MESSAGE_HEADER_SIZE + message.payloadLength,
                          nullptr, 0);
}

namespace sim {

uint32_t Reset(SimClient& c, uint32_t scenario)
{
    VedraSimReset reset = {scenario};
    return c.Write(VSIM_IOCTL_RESET, reset);
}

uint32_t GetState(SimClient& c, VedraSimState& state)
{
    return c.Read(VSIM_IOCTL_GET_STATE, state);
}

uint32_t GetConnections(SimClient& c, VedraSimConnectionList& list)
{
    return c.Read(VSIM_IOCTL_GET_CONNECTIONS, list);
}

uint32_t GetUnit(SimClient& c, uint32_t index, VedraSimUnitState& unit)
{
    VedraSimUnitRef ref = {index};
    unit = VedraSimUnitState{};
    return c.Request(VSIM_IOCTL_GET_UNIT, &ref, sizeof(ref), &unit, sizeof(unit));
}

uint32_t ReadJournal(SimClient& c, uint32_t fromSequence, std::vector<VedraSimJournalEntry>& entries)
{
    entries.clear();
    for (;;) {
        VedraSimJournalQuery query = {fromSequence};
        VedraSimJournalPage page = {};
        uint32_t status = c.Request(VSIM_IOCTL_READ_JOURNAL, &query, sizeof(query), &page, sizeof(page));
        if (status != 0)
            return status;
        uint32_t count = page.count < VSIM_JOURNAL_PAGE_ENTRIES ? page.count : VSIM_JOURNAL_PAGE_ENTRIES;
        for (uint32_t i = 0; i < count; ++i)
            entries.push_back(page.entries[i]);
        if (count == 0 || page.entries[count - 1].sequence + 1 >= page.nextSequence)
            return 0;
        fromSequence = page.entries[count - 1].sequence + 1;
    }
}

uint32_t JournalMark(SimClient& c, uint32_t& next)
{
    VedraSimState state;
    uint32_t status = GetState(c, state);
    next = state.journalNext;
    return status;
}

uint32_t ReadRecord(SimClient& c, uint32_t unitIndex, uint32_t kind, uint32_t index, VedraSimRecordHeader& header,
                    std::vector<uint8_t>& bytes)
{
    VedraSimRecordQuery query = {unitIndex, kind, index};
    // The largest record is the 9480-byte pin-name record.
    std::vector<uint8_t> buffer(sizeof(VedraSimRecordHeader) + sizeof(VedraWdmPinNames));
    uint32_t size = 0;
    switch (kind) {
    case VSIM_RECORD_VIRTUAL_CHANNELS: size = sizeof(VedraVirtualChannels); break;
    case VSIM_RECORD_WDM_CHANNEL_NAMES: size = sizeof(VedraWdmChannelNames); break;
    case VSIM_RECORD_WDM_PIN_NAMES: size = sizeof(VedraWdmPinNames); break;
    case VSIM_RECORD_ENDPOINT_VOLUME: size = sizeof(VedraEndpointVolume); break;
    case VSIM_RECORD_EFFECT: size = sizeof(VedraSimEffectState); break;
    case VSIM_RECORD_CHANNEL_LAYOUT: size = sizeof(VedraChannelLayout); break;
    default: size = 0; break;
    }
    uint32_t returned = 0;
    uint32_t status = c.Request(VSIM_IOCTL_READ_RECORD, &query, sizeof(query), buffer.data(),
                                (uint32_t)sizeof(VedraSimRecordHeader) + size, &returned);
    header = VedraSimRecordHeader{};
    bytes.clear();
    if (status != 0)
        return status;
    if (returned < sizeof(VedraSimRecordHeader))
        return ERROR_INVALID_DATA;
    memcpy(&header, buffer.data(), sizeof(header));
    if (header.size != size || returned != sizeof(header) + size)
        return ERROR_INVALID_DATA;
    bytes.assign(buffer.begin() + sizeof(header), buffer.begin() + sizeof(header) + size);
    return 0;
}

uint32_t SetFault(SimClient& c, uint32_t function, uint32_t failCount, uint32_t failStatus, uint32_t delayMs)
{
    VedraSimFault fault = {function, failCount, failStatus, delayMs};
    return c.Write(VSIM_IOCTL_SET_FAULT, fault);
}

uint32_t SetStreams(SimClient& c, const VedraSimStreams& streams)
{
    return c.Write(VSIM_IOCTL_SET_STREAMS, streams);
}

} // namespace sim
