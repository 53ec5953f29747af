#include "SimHarness.h"

#include <stdio.h>

#include <string>

#include "VedraMessage.h"

VedraStatus SimControl::Open()
{
    if (!done.IsValid()) {
        uint32_t error = done.Create(true, false);
        if (error != ERROR_SUCCESS)
            return error;
    }
    wchar_t path[VEDRA_PATH_CHARS];
    FormatDevicePath(VEDRA_INTERFACE_GUID_STRING, path);
    device.Attach(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    return device.IsValid() ? VEDRA_STATUS_SUCCESS : static_cast<VedraStatus>(GetLastError());
}

VedraStatus SimControl::Call(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize)
{
    OVERLAPPED overlapped = {};
    overlapped.hEvent = done.Get();
    DWORD count = 0;
    if (DeviceIoControl(device.Get(), code, const_cast<void*>(in), inSize, out, outSize, &count, &overlapped))
        return VEDRA_STATUS_SUCCESS;
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING)
        return error;
    return GetOverlappedResult(device.Get(), &overlapped, &count, TRUE) ? VEDRA_STATUS_SUCCESS : GetLastError();
}

VedraStatus SimControl::Reset(uint32_t scenario)
{
    VedraStatus status = Call(VSIM_IOCTL_CLEAR_FAULTS, nullptr, 0, nullptr, 0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    VedraSimReset reset = {scenario};
    return Call(VSIM_IOCTL_RESET, &reset, sizeof(reset), nullptr, 0);
}

VedraStatus SimControl::Fault(uint32_t function, uint32_t failCount, uint32_t failStatus, uint32_t delayMs)
{
    VedraSimFault fault = {function, failCount, failStatus, delayMs};
    return Call(VSIM_IOCTL_SET_FAULT, &fault, sizeof(fault), nullptr, 0);
}

VedraStatus SimControl::Malformed(uint32_t flags)
{
    return Call(VSIM_IOCTL_SET_MALFORMED, &flags, sizeof(flags), nullptr, 0);
}

VedraStatus SimControl::Streams(uint32_t demandA, uint32_t inUseA, uint32_t inUseB, uint32_t demandB, uint32_t demandC)
{
    VedraSimStreams streams = {demandA, inUseA, inUseB, demandB, demandC};
    return Call(VSIM_IOCTL_SET_STREAMS, &streams, sizeof(streams), nullptr, 0);
}

VedraStatus SimControl::StreamError()
{
    return Call(VSIM_IOCTL_STREAM_ERROR, nullptr, 0, nullptr, 0);
}

VedraStatus SimControl::State(VedraSimState& state)
{
    state = {};
    return Call(VSIM_IOCTL_GET_STATE, nullptr, 0, &state, sizeof(state));
}

VedraStatus SimControl::Plug(const VedraSimUnitSpec& unitSpec, VedraDeviceId& id)
{
    id = {};
    return Call(VSIM_IOCTL_PLUG, &unitSpec, sizeof(unitSpec), &id, sizeof(id));
}

VedraStatus SimControl::Unplug(uint32_t index)
{
    VedraSimUnitRef ref = {index};
    return Call(VSIM_IOCTL_UNPLUG, &ref, sizeof(ref), nullptr, 0);
}

VedraStatus SimControl::Replug(uint32_t index, VedraDeviceId& id)
{
    VedraSimUnitRef ref = {index};
    id = {};
    return Call(VSIM_IOCTL_REPLUG, &ref, sizeof(ref), &id, sizeof(id));
}

VedraStatus SimControl::Topology(uint32_t index, uint32_t destinations, uint32_t inputSources,
                                 uint32_t playbackSources)
{
    VedraSimTopology topology = {index, destinations, inputSources, playbackSources};
    return Call(VSIM_IOCTL_SET_TOPOLOGY, &topology, sizeof(topology), nullptr, 0);
}

VedraStatus SimControl::Connections(VedraSimConnectionList& list)
{
    list = {};
    return Call(VSIM_IOCTL_GET_CONNECTIONS, nullptr, 0, &list, sizeof(list));
}

VedraStatus SimControl::EndpointVolume(uint32_t unitIndex, uint32_t index)
{
    VedraSimEndpointVolume change = {};
    change.unitIndex = unitIndex;
    change.volume.kind = VEDRA_ENDPOINT_KIND_OUTPUT;
    change.volume.index = index;
    return Call(VSIM_IOCTL_SET_ENDPOINT_VOLUME, &change, sizeof(change), nullptr, 0);
}

uint32_t SimControl::Mark()
{
    VedraSimState state;
    return State(state) == VEDRA_STATUS_SUCCESS ? state.journalNext : 0;
}

std::vector<VedraSimJournalEntry> SimControl::Since(uint32_t mark)
{
    std::vector<VedraSimJournalEntry> entries;
    VedraSimJournalQuery query = {mark};
    for (;;) {
        static VedraSimJournalPage page;
        page = {};
        if (Call(VSIM_IOCTL_READ_JOURNAL, &query, sizeof(query), &page, sizeof(page)) !=
            VEDRA_STATUS_SUCCESS)
            break;
        uint32_t count = page.count <= VSIM_JOURNAL_PAGE_ENTRIES ? page.count : VSIM_JOURNAL_PAGE_ENTRIES;
        if (count == 0)
            break;
        for (uint32_t i = 0; i < count; ++i)
            entries.push_back(page.entries[i]);
        query.fromSequence = page.entries[count - 1].sequence + 1;
        if (query.fromSequence >= page.nextSequence)
            break;
    }
    return entries;
}

std::vector<uint32_t> Functions(const std::vector<VedraSimJournalEntry>& entries,
                                const std::function<bool(const VedraSimJournalEntry&)>& keep)
{
    std::vector<uint32_t> functions;
    for (const VedraSimJournalEntry& entry : entries) {
        if (keep(entry))
            functions.push_back(VedraFunctionOf(entry.code));
    }
    return functions;
}

bool ByRole(const VedraSimJournalEntry& entry, uint32_t role)
{
    return entry.role == role;
}

std::string Hex(const std::vector<uint32_t>& functions)
{
    std::string text;
    for (uint32_t function : functions) {
        char item[16];
        snprintf(item, sizeof(item), "%s0x%X", text.empty() ? "" : " ", function);
        text += item;
    }
    return "[" + text + "]";
}

TestThread::TestThread(std::function<void()> body) : body_(std::move(body))
{
    thread_.Attach(CreateThread(nullptr, 0, &TestThread::Thunk, this, 0, nullptr));
}

TestThread::~TestThread()
{
    Join();
}

bool TestThread::Join(DWORD timeoutMs)
{
    if (!thread_.IsValid())
        return true;
    return WaitForSingleObject(thread_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI TestThread::Thunk(void* self)
{
    static_cast<TestThread*>(self)->body_();
    return 0;
}

