// The resources tarvinesvc.exe carries: the event-log message table the
// event viewer reads through the registered message file, and the version.
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Resources, MessageTableShowsTheInsertedTextAndALineBreak)
{
    HMODULE program = LoadLibraryExW(ServiceProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, program) << GetLastError();
    const DWORD ids[] = {0x60070001, 0xA0070002, 0xE0070003};
    for (DWORD id : ids) {
        SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << id);
        DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(L"tarvinesvc terminating.")};
        wchar_t text[128] = {};
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, program, id,
            MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, 128, reinterpret_cast<va_list*>(inserts));
        ASSERT_NE(0u, length) << GetLastError();
        EXPECT_STREQ(L"tarvinesvc terminating.\r\n", text);
    }
    FreeLibrary(program);
}

TEST(Resources, VersionIs1_35_20_0)
{
    const std::wstring path = ServiceProgramPath();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_NE(0u, size) << GetLastError();
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(35, 1)), info->dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, 20)), info->dwFileVersionLS);
    EXPECT_EQ(info->dwFileVersionMS, info->dwProductVersionMS);
    EXPECT_EQ(info->dwFileVersionLS, info->dwProductVersionLS);
}

} // namespace
