// The request journal and every fault injection.
#include "SimTestSupport.h"

#include <cstring>

using JournalTest = SimDriverTest;
using FaultTest = SimDriverTest;

TEST_F(JournalTest, RecordsEveryProductRequestInOrderWithItsDetails)
{
    uint32_t mark = JournalMark();
    ProductConnection panel;
    ASSERT_STATUS(0, panel.Connect(VEDRA_ROLE_PANEL));
    uint32_t rate = 12345;
    EXPECT_STATUS(VEDRA_STATUS_INVALID_SAMPLE_RATE, panel.client.Write(VEDRA_IOCTL_SET_SAMPLE_RATE, rate));
    VedraDeviceList list;
    ASSERT_STATUS(0, panel.client.Read(VEDRA_IOCTL_GET_DEVICE_LIST, list));
    VedraSimState ignored;
    ASSERT_STATUS(0, sim::GetState(control, ignored)); // simulation control is not journalled

    auto entries = JournalSince(mark);
    ASSERT_EQ(4u, entries.size());
    uint32_t expectedCodes[] = {VEDRA_IOCTL_SET_NOTIFICATION_EVENTS, VEDRA_IOCTL_REGISTER_ROLE,
                                VEDRA_IOCTL_SET_SAMPLE_RATE, VEDRA_IOCTL_GET_DEVICE_LIST};
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(mark + i, entries[i].sequence);
        EXPECT_EQ(expectedCodes[i], entries[i].code) << i;
        EXPECT_EQ(GetCurrentProcessId(), entries[i].processId);
        EXPECT_EQ(entries[0].connection, entries[i].connection);
    }
    EXPECT_EQ(VSIM_NO_ROLE, entries[1].role) << "the role before the request";
    EXPECT_EQ(2u, entries[2].role);
    EXPECT_EQ(4u, entries[2].inputLength);
    EXPECT_EQ(0, memcmp(&rate, entries[2].input, 4));
    EXPECT_STATUS(VEDRA_STATUS_INVALID_SAMPLE_RATE, entries[2].status);
    EXPECT_EQ(1124u, entries[3].outputLength);
    EXPECT_EQ(1124u, entries[3].bytesReturned);
    uint32_t role = 2;
    EXPECT_EQ(0, memcmp(&role, entries[1].input, 4));
}

TEST_F(JournalTest, KeepsTheNewestEntriesWhenItWraps)
{
    SimClient c;
    ASSERT_EQ(0u, c.Open());
    uint32_t policy;
    for (uint32_t i = 0; i < VSIM_JOURNAL_CAPACITY + 10; ++i)
        ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_POLICY, policy));
    auto entries = JournalSince(0);
    ASSERT_EQ(VSIM_JOURNAL_CAPACITY, entries.size());
    EXPECT_EQ(11u, entries.front().sequence);
    EXPECT_EQ(VSIM_JOURNAL_CAPACITY + 10, entries.back().sequence);
}

TEST_F(JournalTest, ResetEmptiesIt)
{
    SimClient c;
    ASSERT_EQ(0u, c.Open());
    uint32_t policy;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_POLICY, policy));
    ResetTo(VSIM_SCENARIO_ONE);
    EXPECT_TRUE(JournalSince(0).empty());
    EXPECT_EQ(1u, JournalMark());
}

TEST_F(FaultTest, FailsTheNextRequestsOfOneFunctionThenRecovers)
{
    SimClient c;
    ASSERT_EQ(0u, c.Open());
    ASSERT_STATUS(0, sim::SetFault(control, VEDRA_FN_GET_STREAMING_STATUS, 2, VEDRA_STATUS_TIMEOUT, 0));
    VedraStreamingStatus s;
    uint32_t policy;
    EXPECT_STATUS(0, c.Read(VEDRA_IOCTL_GET_POLICY, policy)) << "other functions are untouched";
    EXPECT_STATUS(VEDRA_STATUS_TIMEOUT, c.Read(VEDRA_IOCTL_GET_STREAMING_STATUS, s));
    EXPECT_STATUS(VEDRA_STATUS_TIMEOUT, c.Read(VEDRA_IOCTL_GET_STREAMING_STATUS, s));
    EXPECT_STATUS(0, c.Read(VEDRA_IOCTL_GET_STREAMING_STATUS, s));
}

TEST_F(FaultTest, AnyStatusPassesThroughUnchanged)
{
    SimClient c;
    ASSERT_EQ(0u, c.Open());
    struct {
        uint32_t injected;
        uint32_t seen;
    } cases[] = {{VEDRA_STATUS_FAILED, VEDRA_STATUS_FAILED},
                 {VEDRA_STATUS_PENDING, VEDRA_STATUS_PENDING},
                 {VEDRA_STATUS_NO_DEVICE, VEDRA_STATUS_NO_DEVICE},
                 {VEDRA_STATUS_SOUND_DEVICE_IN_USE, VEDRA_STATUS_SOUND_DEVICE_IN_USE},
                 {0xC0000022u /* STATUS_ACCESS_DENIED */, ERROR_ACCESS_DENIED}};
    for (auto& k : cases) {
        ASSERT_STATUS(0, sim::SetFault(control, VEDRA_FN_GET_POLICY, 1, k.injected, 0));
        uint32_t policy = 0;
        uint32_t bytes = 99;
        EXPECT_STATUS(k.seen, c.Read(VEDRA_IOCTL_GET_POLICY, policy, &bytes));
        EXPECT_EQ(0u, bytes);
    }
    EXPECT_STATUS(VEDRA_STATUS_INVALID_PARAMETER, sim::SetFault(control, VEDRA_FN_GET_POLICY, 1, 5, 0))
        << "a success code cannot fail a request";
}

TEST_F(FaultTest, DelayedAnswersPendAndOtherRequestsGoOn)
{
    SimClient slow, fast;
    ASSERT_EQ(0u, slow.Open());
    ASSERT_EQ(0u, fast.Open());
    ASSERT_STATUS(0, sim::SetFault(control, VEDRA_FN_GET_POLICY, 0, 0, 300));

    WnEvent done;
    ASSERT_EQ(0u, done.Create(true, false));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = done.Get();
    uint32_t policy = 0xFFFF;
    DWORD bytes = 0;
    ULONGLONG start = GetTickCount64();
    ASSERT_FALSE(DeviceIoControl(slow.Handle(), VEDRA_IOCTL_GET_POLICY, nullptr, 0, &policy, 4, &bytes, &overlapped));
    ASSERT_EQ((DWORD)ERROR_IO_PENDING, GetLastError());

    VedraStreamingStatus s;
    EXPECT_STATUS(0, fast.Read(VEDRA_IOCTL_GET_STREAMING_STATUS, s)) << "the driver is not blocked";
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(done.Get(), 0));

    ASSERT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(done.Get(), 5000));
    ASSERT_TRUE(GetOverlappedResult(slow.Handle(), &overlapped, &bytes, FALSE));
    EXPECT_GE(GetTickCount64() - start, 250u);
    EXPECT_EQ(4u, bytes);
    EXPECT_EQ(0u, policy);
}

TEST_F(FaultTest, DelayedRequestsCanBeCancelled)
{
    SimClient c;
    ASSERT_EQ(0u, c.Open());
    ASSERT_STATUS(0, sim::SetFault(control, VEDRA_FN_GET_POLICY, 0, 0, 30000));
    WnEvent done;
    ASSERT_EQ(0u, done.Create(true, false));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = done.Get();
    uint32_t policy;
    DWORD bytes;
    ASSERT_FALSE(DeviceIoControl(c.Handle(), VEDRA_IOCTL_GET_POLICY, nullptr, 0, &policy, 4, &bytes, &overlapped));
    ASSERT_EQ((DWORD)ERROR_IO_PENDING, GetLastError());
    ASSERT_TRUE(CancelIoEx(c.Handle(), &overlapped));
    ASSERT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(done.Get(), 5000));
    EXPECT_FALSE(GetOverlappedResult(c.Handle(), &overlapped, &bytes, FALSE));
    EXPECT_EQ((DWORD)ERROR_OPERATION_ABORTED, GetLastError());
}

TEST_F(FaultTest, MalformedAnswersExceedTheRecordsButStayInsideThem)
{
    ResetTo(VSIM_SCENARIO_TWO);
    SimClient c;
    ASSERT_EQ(0u, c.Open());
    ASSERT_STATUS(0, c.Write(VEDRA_IOCTL_BIND_DEVICE, DeviceList().entries[0].id));
    uint32_t all = VSIM_MALFORMED_DEVICE_COUNT | VSIM_MALFORMED_RATE_COUNT | VSIM_MALFORMED_LAYOUT_BLOCKS |
                   VSIM_MALFORMED_CHANNEL_COUNT | VSIM_MALFORMED_TEXT | VSIM_MALFORMED_INTERFACE;
    ASSERT_STATUS(0, control.Write(VSIM_IOCTL_SET_MALFORMED, all));

    VedraDeviceList list;
    uint32_t bytes = 0;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_DEVICE_LIST, list, &bytes));
    EXPECT_EQ(200u, list.count);
    EXPECT_EQ(1124u, bytes);
    for (wchar_t ch : list.entries[0].serialNumber)
        EXPECT_NE(0, ch) << "serial number without terminator";
    for (wchar_t ch : list.entries[1].name)
        EXPECT_NE(0, ch) << "name without terminator";

    VedraSampleRateInfo rates;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_SAMPLE_RATE_INFO, rates, &bytes));
    EXPECT_EQ(50u, rates.rateCount);
    EXPECT_EQ(48u, bytes);
    VedraChannelLayout layout;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_CHANNEL_LAYOUT, layout, &bytes));
    EXPECT_EQ(30u, layout.blockCount);
    EXPECT_EQ(4056u, bytes);
    VedraChannelList channels;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_ASIO_INPUT_CHANNELS, channels, &bytes));
    EXPECT_EQ(500u, channels.count);
    EXPECT_EQ(772u, bytes);
    VedraChannelInfo info;
    ASSERT_STATUS(0, c.Request(VEDRA_IOCTL_GET_CHANNEL_INFO, &channels.keys[0], 8, &info, sizeof(info)));
    for (wchar_t ch : info.channelName)
        EXPECT_NE(0, ch) << "channel name without terminator";
    VedraInterfaceVersion v;
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_INTERFACE_VERSION, v));
    EXPECT_EQ(3u, v.interfaceMajor);

    ASSERT_STATUS(0, control.Request(VSIM_IOCTL_CLEAR_FAULTS, nullptr, 0, nullptr, 0));
    ASSERT_STATUS(0, c.Read(VEDRA_IOCTL_GET_INTERFACE_VERSION, v));
    EXPECT_EQ(2u, v.interfaceMajor);
}

TEST_F(FaultTest, ResetClearsFaults)
{
    ASSERT_STATUS(0, sim::SetFault(control, VEDRA_FN_GET_POLICY, 5, VEDRA_STATUS_FAILED, 0));
    ResetTo(VSIM_SCENARIO_ONE);
    SimClient c;
    ASSERT_EQ(0u, c.Open());
    uint32_t policy;
    EXPECT_STATUS(0, c.Read(VEDRA_IOCTL_GET_POLICY, policy));
}

TEST_F(FaultTest, ClosingAHandleEndsItsDelayedRequestsAndTheConnection)
{
    ASSERT_STATUS(0, sim::SetFault(control, VEDRA_FN_GET_POLICY, 0, 0, 30000));
    VedraSimConnectionList before;
    ASSERT_STATUS(0, sim::GetConnections(control, before));
    HANDLE raw = CreateFileW(L"\\\\.\\" VEDRA_INTERFACE_GUID_STRING, GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, raw);
    WnHandle handle(raw);
    WnEvent done;
    ASSERT_EQ(0u, done.Create(true, false));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = done.Get();
    static uint32_t policy; // outlives the handle: the request may end after it
    DWORD bytes;
    ASSERT_FALSE(DeviceIoControl(raw, VEDRA_IOCTL_GET_POLICY, nullptr, 0, &policy, 4, &bytes, &overlapped));
    ASSERT_EQ((DWORD)ERROR_IO_PENDING, GetLastError());
    handle.Close();
    ASSERT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(done.Get(), 5000)) << "the request ends with its handle";
    VedraSimConnectionList after;
    WnEvent never;
    ASSERT_EQ(0u, never.Create(true, false));
    for (int i = 0; i < 100; ++i) {
        ASSERT_STATUS(0, sim::GetConnections(control, after));
        if (after.total == before.total)
            break;
        WaitForSingleObject(never.Get(), 20); // Wine closes asynchronously: poll briefly
    }
    EXPECT_EQ(before.total, after.total);
}
