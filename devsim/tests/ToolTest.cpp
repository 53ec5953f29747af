// The tarvinesim tool: its text output and its exit codes.
#include "SimTestSupport.h"

#include <string>

namespace {

std::wstring ToolPath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path);
    p = p.substr(0, p.find_last_of(L"\\/"));
    return p.substr(0, p.find_last_of(L"\\/") + 1) + L"tarvinesim.exe";
}

struct Result {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
};

Result RunTool(const std::wstring& args)
{
    Result result;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0))
        return result;
    WnHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);
    std::wstring command = L"\"" + ToolPath() + L"\" " + args;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writer.Get();
    si.hStdError = writer.Get();
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return result;
    WnHandle process(pi.hProcess), thread(pi.hThread);
    writer.Close();
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(reader.Get(), buffer, sizeof(buffer), &n, nullptr) && n > 0)
        result.out.append(buffer, n);
    WaitForSingleObject(process.Get(), 10000);
    GetExitCodeProcess(process.Get(), &result.exitCode);
    return result;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

using ToolTest = SimDriverTest;

TEST_F(ToolTest, ResetAndUnitsPrintTheScenario)
{
    Result r = RunTool(L"reset two");
    ASSERT_EQ(0u, r.exitCode) << r.out;
    EXPECT_EQ("scenario: two\r\n", r.out);
    r = RunTool(L"units");
    ASSERT_EQ(0u, r.exitCode) << r.out;
    EXPECT_TRUE(Contains(r.out, "units: 2\r\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "unit 0: id=00000001:7A510000 model=0x0A21 variant=0 serial=TV100001 name=Tarvine "
                                "port=high-speed effect=no streaming=yes"))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "unit 1: id=00000002:7A510000")) << r.out;
    EXPECT_TRUE(Contains(r.out, "effect=yes streaming=no")) << r.out;
}

TEST_F(ToolTest, CommandsChangeTheDriverAndTheJournalShowsRequests)
{
    ASSERT_EQ(0u, RunTool(L"plug usb11 serial=QA-7").exitCode);
    ASSERT_EQ(0u, RunTool(L"asio open").exitCode);
    Result r = RunTool(L"fault GET_POLICY fail=1 status=NO_DEVICE");
    ASSERT_EQ(0u, r.exitCode) << r.out;
    EXPECT_EQ("fault: function=0x904 fail=1 status=VEDRA_STATUS_NO_DEVICE delay=0\r\n", r.out);

    VedraDeviceList list = DeviceList();
    ASSERT_EQ(2u, list.count);
    EXPECT_EQ(std::wstring(L"QA-7"), std::wstring(list.entries[1].serialNumber));
    VedraSimState state;
    ASSERT_STATUS(0, sim::GetState(control, state));
    EXPECT_EQ(1u, state.streaming.demandA);

    SimClient c;
    ASSERT_EQ(0u, c.Open());
    uint32_t policy;
    EXPECT_STATUS(VEDRA_STATUS_NO_DEVICE, c.Read(VEDRA_IOCTL_GET_POLICY, policy));
    r = RunTool(L"journal");
    ASSERT_EQ(0u, r.exitCode) << r.out;
    EXPECT_TRUE(Contains(r.out, "code=0x80882410 GET_POLICY in=0 out=4 status=VEDRA_STATUS_NO_DEVICE returned=0 input=\r\n"))
        << r.out;
}

TEST_F(ToolTest, BadCommandsPrintUsageAndFail)
{
    for (const wchar_t* args : {L"", L"bogus", L"reset nine", L"unplug x", L"spdif 0 locked pcm", L"malform loud"}) {
        Result r = RunTool(args);
        EXPECT_EQ(2u, r.exitCode) << "args: " << std::string(args, args + wcslen(args));
        EXPECT_TRUE(Contains(r.out, "usage: tarvinesim")) << r.out;
    }
    Result r = RunTool(L"unplug 7");
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_TRUE(Contains(r.out, "unplug failed: VEDRA_STATUS_NO_DEVICE")) << r.out;
}
