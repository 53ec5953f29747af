#include "ServiceSimFixture.h"

#include "ServiceTestSupport.h"
#include "VedraMessage.h"
#include "VedraStatus.h"

#include <cstdio>

namespace {

constexpr wchar_t kDevicesKey[] = L"Software\\QUENDAL\\tarvine\\Devices";

} // namespace

void ServiceSimTest::SetUp()
{
    ASSERT_EQ(0u, control.Open()) << "the simulated driver is not running (scripts/devsim.sh install)";
    ResetTo(VSIM_SCENARIO_TWO);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kDevicesKey);
}

void ServiceSimTest::TearDown()
{
    client.Close();
    service.Terminate();
}

void ServiceSimTest::ResetTo(uint32_t scenario)
{
    ASSERT_EQ(0u, sim::Reset(control, scenario));
}

void ServiceSimTest::StartConsoleService()
{
    ASSERT_EQ(0u, client.ConnectClient(VEDRA_INTERFACE_GUID_STRING));
    ASSERT_EQ(0u, service.Start(ServiceProgramPath(), L"-console"));
    ASSERT_TRUE(WaitForNotification(client, VEDRA_NTF_DEVICE_LIST)) << "no 3030 from the service; output:\n"
                                                                   << service.Output();
}

void ServiceSimTest::StopConsoleService()
{
    ASSERT_TRUE(service.SendCtrlC()) << "GenerateConsoleCtrlEvent failed: " << GetLastError();
    uint32_t exitCode = 0;
    ASSERT_TRUE(service.WaitForExit(kWaitMs, exitCode)) << "the service did not end on Ctrl+Break";
    EXPECT_EQ(0u, exitCode);
}

void ServiceSimTest::WaitUntilServerIdle()
{
    VedraClient probe;
    ASSERT_EQ(0u, probe.ConnectClient(VEDRA_INTERFACE_GUID_STRING));
    ASSERT_TRUE(WaitForNotification(probe, VEDRA_NTF_DEVICE_LIST)) << "the server did not answer a new client";
}

uint32_t ServiceSimTest::Mark()
{
    uint32_t next = 0;
    EXPECT_EQ(0u, sim::JournalMark(control, next));
    return next;
}

std::vector<VedraSimJournalEntry> ServiceSimTest::ServiceRequestsSince(uint32_t mark)
{
    std::vector<VedraSimJournalEntry> entries;
    EXPECT_EQ(0u, sim::ReadJournal(control, mark, entries));
    const uint32_t pid = service.ProcessId();
    return Filter(entries, [pid](const VedraSimJournalEntry& e) { return e.processId == pid; });
}

VedraSimUnitState ServiceSimTest::Unit(uint32_t index)
{
    VedraSimUnitState unit = {};
    EXPECT_EQ(0u, sim::GetUnit(control, index, unit));
    return unit;
}

std::vector<uint8_t> ServiceSimTest::Record(uint32_t unitIndex, uint32_t kind, uint32_t index)
{
    VedraSimRecordHeader header = {};
    std::vector<uint8_t> bytes;
    EXPECT_EQ(0u, sim::ReadRecord(control, unitIndex, kind, index, header, bytes));
    return bytes;
}

std::wstring ServiceSimTest::DeviceKeyPath(uint32_t unitIndex)
{
    VedraSimUnitState unit = Unit(unitIndex);
    std::wstring serial(unit.entry.serialNumber, wcsnlen(unit.entry.serialNumber, VEDRA_SERIAL_NUMBER_CHARS));
    return std::wstring(kDevicesKey) + L"\\" + serial;
}

VedraStatus ServiceSimTest::Request(uint32_t code, const void* payload, uint32_t length, VedraMessage* reply)
{
    VedraMessage request;
    Init(request, VEDRA_MSG_REQUEST, code);
    VedraStatus status = WritePayload(request, payload, length);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    VedraMessage answer;
    Init(answer, VEDRA_MSG_NONE, 0);
    status = client.Transact(request, answer, kWaitMs);
    if (reply != nullptr)
        *reply = answer;
    return status != VEDRA_STATUS_SUCCESS ? status : answer.status;
}

uint32_t FunctionOf(const VedraSimJournalEntry& entry)
{
    return VedraFunctionOf(entry.code);
}

bool IsBoundTo(const VedraSimJournalEntry& entry, const VedraDeviceId& id)
{
    return entry.bound.low == id.low && entry.bound.high == id.high;
}

std::vector<VedraSimJournalEntry> Filter(
    const std::vector<VedraSimJournalEntry>& entries, const std::function<bool(const VedraSimJournalEntry&)>& keep)
{
    std::vector<VedraSimJournalEntry> kept;
    for (const VedraSimJournalEntry& entry : entries)
        if (keep(entry))
            kept.push_back(entry);
    return kept;
}

std::string Describe(const std::vector<VedraSimJournalEntry>& entries)
{
    std::string text;
    char line[96];
    for (const VedraSimJournalEntry& e : entries) {
        snprintf(line, sizeof(line), "  fn 0x%03X in %u: %08X %08X -> %08X\n", static_cast<unsigned>(FunctionOf(e)),
            static_cast<unsigned>(e.inputLength), static_cast<unsigned>(InputWord(e, 0)),
            static_cast<unsigned>(InputWord(e, 1)), static_cast<unsigned>(e.status));
        text += line;
    }
    return text;
}
