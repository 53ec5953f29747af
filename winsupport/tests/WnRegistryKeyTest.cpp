#include "WnRegistryKey.h"
#include "WnRegistryTree.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Each test works below a key of its own under HKEY_LOCAL_MACHINE (the root
// the service uses) in the build folder's prefix, removed again after.
class WnRegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = info->name();
        root_ = L"Software\\WnRegistryTest\\" + std::wstring(name.begin(), name.end());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, root_.c_str());
        ASSERT_EQ(0u, key_.Create(HKEY_LOCAL_MACHINE, root_.c_str(), WnRegistryKey::kReadWrite));
    }

    void TearDown() override
    {
        key_.Close();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, root_.c_str());
    }

    bool KeyExists(const std::wstring& path)
    {
        WnRegistryKey probe;
        return probe.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ) == ERROR_SUCCESS;
    }

    std::wstring root_;
    WnRegistryKey key_;
};

TEST_F(WnRegistryTest, DwordRoundTrip)
{
    ASSERT_EQ(0u, key_.WriteDword(L"Value", 0xDEADBEEF));
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key_.Get(), L"Value", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, size);
    uint32_t value = 0;
    EXPECT_EQ(0u, key_.ReadDword(L"Value", value));
    EXPECT_EQ(0xDEADBEEFu, value);
}

TEST_F(WnRegistryTest, ReadDwordRefusesOtherTypesAndSizes)
{
    const uint32_t dword = 7;
    const uint64_t qword = 7;
    const BYTE shortBinary[2] = {1, 2};
    const BYTE dwordSizedBinary[4] = {1, 2, 3, 4};
    struct Case {
        const wchar_t* name;
        DWORD type;
        const void* data;
        DWORD size;
    };
    const Case cases[] = {
        {L"ShortString", REG_SZ, L"a", 4}, // exactly 4 bytes, of the wrong type
        {L"LongString", REG_SZ, L"not a number", 26},
        {L"ExpandString", REG_EXPAND_SZ, L"%x%", 8},
        {L"DwordSizedBinary", REG_BINARY, dwordSizedBinary, 4},
        {L"ShortBinary", REG_BINARY, shortBinary, 2},
        {L"Qword", REG_QWORD, &qword, 8},
        {L"BigEndian", REG_DWORD_BIG_ENDIAN, &dword, 4},
        {L"ShortDword", REG_DWORD, &dword, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key_.Get(), c.name, 0, c.type, static_cast<const BYTE*>(c.data), c.size));
        uint32_t value = 0x5A5A5A5A;
        EXPECT_EQ(static_cast<uint32_t>(ERROR_BAD_FORMAT), key_.ReadDword(c.name, value));
        EXPECT_EQ(0x5A5A5A5Au, value) << "the output is left as it was";
    }

    uint32_t value = 0x5A5A5A5A;
    EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), key_.ReadDword(L"Missing", value));
    EXPECT_EQ(0x5A5A5A5Au, value);
}

TEST_F(WnRegistryTest, WriteStringStoresTheTerminatorAndRefusesOtherTypes)
{
    for (DWORD type : {static_cast<DWORD>(REG_SZ), static_cast<DWORD>(REG_EXPAND_SZ)}) {
        SCOPED_TRACE(type);
        ASSERT_EQ(0u, key_.WriteString(L"Text", L"C:\\x.exe", type));
        wchar_t stored[32] = {};
        DWORD storedType = 0;
        DWORD size = sizeof(stored);
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key_.Get(), L"Text", nullptr, &storedType,
                                     reinterpret_cast<BYTE*>(stored), &size));
        EXPECT_EQ(type, storedType);
        EXPECT_EQ((8u + 1u) * 2u, size) << "characters and terminator";
        EXPECT_STREQ(L"C:\\x.exe", stored);
    }

    for (DWORD type : {static_cast<DWORD>(REG_BINARY), static_cast<DWORD>(REG_MULTI_SZ),
             static_cast<DWORD>(REG_DWORD)}) {
        SCOPED_TRACE(type);
        EXPECT_EQ(static_cast<uint32_t>(ERROR_BAD_FORMAT), key_.WriteString(L"Refused", L"x", type));
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key_.Get(), L"Refused", nullptr, nullptr, nullptr, nullptr))
            << "nothing is written";
    }
}

TEST_F(WnRegistryTest, TreeWalkCreatesMissingLevels)
{
    const std::wstring product = root_ + L"\\Software\\Maker\\product";
    WnRegistryTree tree(HKEY_LOCAL_MACHINE, product.c_str());
    ASSERT_FALSE(KeyExists(product));

    WnRegistryKey device;
    ASSERT_EQ(0u, tree.OpenDeviceKey(L"SN0042", device));
    ASSERT_TRUE(device.IsValid());
    EXPECT_TRUE(KeyExists(product + L"\\Devices\\SN0042"));
    ASSERT_EQ(0u, device.WriteDword(L"Setting", 3));

    // Walking again opens the same keys.
    WnRegistryKey again;
    ASSERT_EQ(0u, tree.OpenDeviceKey(L"SN0042", again));
    uint32_t value = 0;
    EXPECT_EQ(0u, again.ReadDword(L"Setting", value));
    EXPECT_EQ(3u, value);

    WnRegistryKey devices;
    ASSERT_EQ(0u, tree.OpenDevicesKey(devices));
    WnRegistryKey productKey;
    ASSERT_EQ(0u, tree.OpenProductKey(productKey));
    EXPECT_NE(0u, productKey.DeleteSubKey(L"Devices")) << "a key with subkeys is not deleted";
    EXPECT_EQ(0u, devices.DeleteSubKey(L"SN0042"));
    EXPECT_FALSE(KeyExists(product + L"\\Devices\\SN0042"));
    devices.Close();
    EXPECT_EQ(0u, productKey.DeleteSubKey(L"Devices"));
}

TEST_F(WnRegistryTest, TreeWalkFailureLeavesNoKey)
{
    const std::wstring product = root_ + L"\\Product";
    struct Case {
        const char* what;
        HKEY root;
        const wchar_t* serial;
        uint32_t error;
    };
    const Case cases[] = {
        {"no root", nullptr, L"SN1", ERROR_INVALID_HANDLE},
        // An empty name would put the unit's values into the devices key.
        {"empty serial number", HKEY_LOCAL_MACHINE, L"", ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WnRegistryKey device;
        ASSERT_EQ(0u, device.Open(HKEY_LOCAL_MACHINE, root_.c_str(), KEY_READ));
        WnRegistryTree tree(c.root, product.c_str());
        EXPECT_EQ(c.error, tree.OpenDeviceKey(c.serial, device));
        EXPECT_FALSE(device.IsValid()) << "a key held before is not left behind";
    }
}

TEST_F(WnRegistryTest, CloseAndOpen)
{
    WnRegistryKey key;
    EXPECT_EQ(0u, key.Close());
    EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), key.Open(HKEY_LOCAL_MACHINE, (root_ + L"\\Nope").c_str(), KEY_READ));
    EXPECT_FALSE(key.IsValid());
    ASSERT_EQ(0u, key.Open(HKEY_LOCAL_MACHINE, root_.c_str(), KEY_READ));
    EXPECT_TRUE(key.IsValid());
    EXPECT_EQ(0u, key.Close());
    EXPECT_FALSE(key.IsValid());
}

} // namespace
