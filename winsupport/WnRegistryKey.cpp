#include "WnRegistryKey.h"

#include <cwchar>

WnRegistryKey::~WnRegistryKey()
{
    Close();
}

uint32_t WnRegistryKey::Create(HKEY parent, const wchar_t* subKey, REGSAM access)
{
    Close();
    HKEY key = nullptr;
    const LONG result = RegCreateKeyExW(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return static_cast<uint32_t>(result);
    key_ = key;
    return ERROR_SUCCESS;
}

uint32_t WnRegistryKey::Open(HKEY parent, const wchar_t* subKey, REGSAM access)
{
    Close();
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExW(parent, subKey, 0, access, &key);
    if (result != ERROR_SUCCESS)
        return static_cast<uint32_t>(result);
    key_ = key;
    return ERROR_SUCCESS;
}

uint32_t WnRegistryKey::Close()
{
    if (key_ == nullptr)
        return ERROR_SUCCESS;
    HKEY key = key_;
    key_ = nullptr;
    return static_cast<uint32_t>(RegCloseKey(key));
}

uint32_t WnRegistryKey::ReadDword(const wchar_t* name, uint32_t& value) const
{
    DWORD type = REG_NONE;
    DWORD stored = 0;
    DWORD size = sizeof(stored);
    const LONG result = RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size);
    // A longer value does not fit the 4-byte buffer: that is a value of the
    // wrong size, not a registry failure.
    if (result == ERROR_MORE_DATA)
        return ERROR_BAD_FORMAT;
    if (result != ERROR_SUCCESS)
        return static_cast<uint32_t>(result);
    if (type != REG_DWORD || size != sizeof(stored))
        return ERROR_BAD_FORMAT;
    value = stored;
    return ERROR_SUCCESS;
}

uint32_t WnRegistryKey::WriteDword(const wchar_t* name, uint32_t value) const
{
    const DWORD data = value;
    return static_cast<uint32_t>(
        RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data)));
}

uint32_t WnRegistryKey::WriteString(const wchar_t* name, const wchar_t* text, uint32_t type) const
{
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return ERROR_BAD_FORMAT;
    if (text == nullptr)
        return ERROR_INVALID_PARAMETER;
    const size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    if (bytes > MAXDWORD)
        return ERROR_INVALID_PARAMETER;
    return static_cast<uint32_t>(
        RegSetValueExW(key_, name, 0, type, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(bytes)));
}

uint32_t WnRegistryKey::DeleteSubKey(const wchar_t* name) const
{
    return static_cast<uint32_t>(RegDeleteKeyW(key_, name));
}
