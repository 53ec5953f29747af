// Connection behaviour that needs no driver: path forming, refusals on a
// closed connection, and the Win32 errors of opening what is not there.
#include "VedraApiContext.h"
#include "VedraClient.h"
#include "VedraDevice.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FormatDevicePath, PrefixesTheName)
{
    wchar_t path[VEDRA_PATH_CHARS];
    FormatDevicePath(VEDRA_INTERFACE_GUID_STRING, path);
    EXPECT_EQ(std::wstring(L"\\\\.\\") + VEDRA_INTERFACE_GUID_STRING, std::wstring(path));
}

TEST(FormatDevicePath, CutsALongNameTo299Characters)
{
    std::wstring name(400, L'x');
    wchar_t path[VEDRA_PATH_CHARS];
    FormatDevicePath(name.c_str(), path);
    std::wstring result(path);
    EXPECT_EQ(299u, result.size());
    EXPECT_EQ(std::wstring(L"\\\\.\\") + std::wstring(295, L'x'), result);

    std::wstring exact(295, L'y');
    FormatDevicePath(exact.c_str(), path);
    EXPECT_EQ(299u, std::wstring(path).size());
}

TEST(CopyBoundedText, StopsAtTheFieldLengthWithoutATerminator)
{
    wchar_t field[4] = {L'a', L'b', L'c', L'd'};
    wchar_t target[10];
    CopyBoundedText(target, 10, field, 4);
    EXPECT_EQ(std::wstring(L"abcd"), std::wstring(target));
    CopyBoundedText(target, 3, field, 4);
    EXPECT_EQ(std::wstring(L"ab"), std::wstring(target));
}

TEST(VedraApiContext, RequestOnAClosedConnectionIsRefused)
{
    VedraApiContext context;
    EXPECT_FALSE(context.IsOpen());
    uint32_t bytes = 0xDEADBEEF;
    EXPECT_EQ(VEDRA_STATUS_NOT_OPENED, context.Request(VEDRA_IOCTL_GET_INTERFACE_VERSION, nullptr, 0, nullptr, 0, &bytes));
    EXPECT_EQ(0xDEADBEEFu, bytes) << "bytesReturned must not be written when nothing was sent";
    context.Close();
    context.Close();
    EXPECT_EQ(VEDRA_STATUS_NOT_OPENED, context.Request(VEDRA_IOCTL_GET_INTERFACE_VERSION, nullptr, 0, nullptr, 0));
}

TEST(VedraApiContext, OpenOfAMissingDeviceReturnsTheCreateFileError)
{
    VedraApiContext context;
    VedraStatus status = context.Open(L"{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(static_cast<VedraStatus>(ERROR_FILE_NOT_FOUND), status) << StatusName(status);
    EXPECT_FALSE(context.IsOpen());
}

TEST(VedraApiContext, OpenWithAPathBeyond299CharactersTriesTheCutPath)
{
    std::wstring name(400, L'q');
    std::wstring cut = std::wstring(L"\\\\.\\") + std::wstring(295, L'q');
    HANDLE direct = CreateFileW(cut.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    DWORD expected = GetLastError();
    ASSERT_EQ(INVALID_HANDLE_VALUE, direct);

    VedraApiContext context;
    VedraStatus status = context.Open(name.c_str());
    EXPECT_EQ(static_cast<VedraStatus>(expected), status) << "expected " << expected << ", got " << status;
    EXPECT_FALSE(context.IsOpen());
}

TEST(VedraApiContext, AHandshakeThatFailsClosesTheConnection)
{
    // NUL opens but answers no control request of ours.
    VedraApiContext context;
    VedraStatus status = context.Open(L"NUL");
    EXPECT_NE(VEDRA_STATUS_SUCCESS, status);
    EXPECT_FALSE(context.IsOpen());
    EXPECT_EQ(VEDRA_STATUS_NOT_OPENED, context.Request(VEDRA_IOCTL_GET_INTERFACE_VERSION, nullptr, 0, nullptr, 0));
}

TEST(VedraClient, TransactOnAClosedConnectionSendsNothingButTakesASequence)
{
    VedraClient client;
    VedraMessage request;
    Init(request, VEDRA_MSG_REQUEST, VEDRA_REQ_SET_SAMPLE_RATE);
    VedraMessage reply;
    Init(reply, VEDRA_MSG_NONE, 0);
    EXPECT_EQ(VEDRA_STATUS_NOT_OPENED, client.Transact(request, reply, 10));
    EXPECT_EQ(1u, request.sequence);
    EXPECT_EQ(VEDRA_STATUS_NOT_OPENED, client.SetSampleRate(44100, 10));
}

TEST(VedraDriver, UpdateDevicesOnAClosedConnectionReportsNotOpened)
{
    VedraDriver driver;
    bool changed = true;
    EXPECT_EQ(VEDRA_STATUS_NOT_OPENED, driver.UpdateDevices(changed));
    EXPECT_FALSE(changed);
    EXPECT_EQ(0u, driver.DeviceCount());
    EXPECT_EQ(nullptr, driver.DeviceAt(0));
}

} // namespace
