#include "TestHelperProcess.h"
#include "WnEventLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Wine stores no event-log records, so the tests watch the call itself: the
// test program's import of ReportEventW is pointed at a recorder, which
// notes the arguments and then calls the real function.
struct ReportedEvent {
    int calls = 0;
    HANDLE source = nullptr;
    WORD type = 0;
    WORD category = 0;
    DWORD eventId = 0;
    PSID user = nullptr;
    WORD stringCount = 0;
    DWORD dataSize = 0;
    std::wstring text;
    BOOL result = FALSE;
};

ReportedEvent lastReport;
using ReportEventFunction = BOOL(WINAPI*)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR*, LPVOID);
ReportEventFunction realReportEvent = nullptr;

BOOL WINAPI RecordReportEvent(HANDLE source, WORD type, WORD category, DWORD eventId, PSID user, WORD stringCount,
    DWORD dataSize, LPCWSTR* strings, LPVOID data)
{
    ++lastReport.calls;
    lastReport.source = source;
    lastReport.type = type;
    lastReport.category = category;
    lastReport.eventId = eventId;
    lastReport.user = user;
    lastReport.stringCount = stringCount;
    lastReport.dataSize = dataSize;
    lastReport.text = stringCount > 0 && strings != nullptr && strings[0] != nullptr ? strings[0] : L"";
    lastReport.result = realReportEvent(source, type, category, eventId, user, stringCount, dataSize, strings, data);
    return lastReport.result;
}

// Replaces this program's import of dll!function; returns the old address.
void* PatchImport(const char* dll, const char* function, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); import->Name != 0;
         ++import) {
        if (_stricmp(reinterpret_cast<const char*>(base + import->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            DWORD oldProtection = 0;
            VirtualProtect(&addresses->u1.Function, sizeof(void*), PAGE_READWRITE, &oldProtection);
            void* old = reinterpret_cast<void*>(addresses->u1.Function);
            addresses->u1.Function = reinterpret_cast<uintptr_t>(replacement);
            VirtualProtect(&addresses->u1.Function, sizeof(void*), oldProtection, &oldProtection);
            return old;
        }
    }
    return nullptr;
}

class WnEventLogWriterTest : public testing::Test {
protected:
    void SetUp() override
    {
        void* old = PatchImport("advapi32.dll", "ReportEventW", reinterpret_cast<void*>(&RecordReportEvent));
        ASSERT_NE(nullptr, old) << "ReportEventW is not imported by the test program";
        realReportEvent = reinterpret_cast<ReportEventFunction>(old);
        lastReport = ReportedEvent();
        ASSERT_EQ(0u, writer_.Open(L"WnEventLogTest"));
        ASSERT_TRUE(writer_.IsValid());
    }

    void TearDown() override
    {
        PatchImport("advapi32.dll", "ReportEventW", reinterpret_cast<void*>(realReportEvent));
    }

    WnEventLogWriter writer_;
};

TEST_F(WnEventLogWriterTest, InformationIsFormattedWithWideStrings)
{
    EXPECT_EQ(0u, writer_.ReportInformation(L"%s started\r\nExePath: %s\r\nVersion %u.%u.%u", L"wnsvc",
                      L"C:\\wnsvc.exe", 1u, 35u, 20u));
    ASSERT_EQ(1, lastReport.calls);
    EXPECT_EQ(writer_.Get(), lastReport.source);
    EXPECT_EQ(EVENTLOG_INFORMATION_TYPE, lastReport.type);
    EXPECT_EQ(0, lastReport.category);
    EXPECT_EQ(0x60070001u, lastReport.eventId);
    EXPECT_EQ(nullptr, lastReport.user);
    EXPECT_EQ(1, lastReport.stringCount);
    EXPECT_EQ(0u, lastReport.dataSize);
    EXPECT_EQ(std::wstring(L"wnsvc started\r\nExePath: C:\\wnsvc.exe\r\nVersion 1.35.20"), lastReport.text);
}

TEST_F(WnEventLogWriterTest, InformationIsCutAt4095Characters)
{
    struct Case {
        size_t length;
        size_t reported;
    };
    const Case cases[] = {{4094, 4094}, {4095, 4095}, {4096, 4095}, {10000, 4095}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::wstring text(c.length, L'x');
        text[0] = L'<';
        lastReport = ReportedEvent();
        EXPECT_EQ(0u, writer_.ReportInformation(L"%s", text.c_str()));
        ASSERT_EQ(1, lastReport.calls);
        EXPECT_EQ(c.reported, lastReport.text.size());
        EXPECT_EQ(text.substr(0, c.reported), lastReport.text);
    }
}

TEST_F(WnEventLogWriterTest, ErrorTextIsReportedAsIs)
{
    const wchar_t text[] = L"Unable to start because another instance is already running. 100%s";
    EXPECT_EQ(0u, writer_.ReportError(text));
    ASSERT_EQ(1, lastReport.calls);
    EXPECT_EQ(EVENTLOG_ERROR_TYPE, lastReport.type);
    EXPECT_EQ(0, lastReport.category);
    EXPECT_EQ(0xE0070003u, lastReport.eventId);
    EXPECT_EQ(1, lastReport.stringCount);
    EXPECT_EQ(0u, lastReport.dataSize);
    EXPECT_EQ(std::wstring(text), lastReport.text) << "no formatting";
}

TEST_F(WnEventLogWriterTest, CloseDeregistersOnce)
{
    EXPECT_EQ(0u, writer_.Close());
    EXPECT_FALSE(writer_.IsValid());
    EXPECT_EQ(0u, writer_.Close());
}

// The message table that a service program built with
// wn_add_event_messages() carries; the helper program is one.
TEST(WnEventMessages, TableShowsTheInsertedStringWithALineBreak)
{
    const std::wstring path = TestHelperPath();
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module) << "error " << GetLastError();
    EXPECT_NE(nullptr, FindResourceExW(module, RT_MESSAGETABLE, MAKEINTRESOURCEW(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    for (uint32_t id : {WnEventMessageId::kInformation, WnEventMessageId::kWarning, WnEventMessageId::kError}) {
        SCOPED_TRACE(id);
        wchar_t text[64] = {};
        DWORD_PTR inserts[1] = {reinterpret_cast<DWORD_PTR>(L"service text")};
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, id,
            1033, text, 64, reinterpret_cast<va_list*>(inserts));
        EXPECT_NE(0u, length) << "error " << GetLastError();
        EXPECT_STREQ(L"service text\r\n", text);
    }
    FreeLibrary(module);
}

} // namespace
