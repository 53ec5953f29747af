#pragma once
#include <windows.h>
#include <stdint.h>

// One owned registry key (HKEY); null when none is held.
// Results are the registry's Win32 error codes, 0 meaning success.
class WnRegistryKey {
public:
    // Read and write access, as the service's key tree is opened with.
    static constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE; // 0x2001F

    WnRegistryKey() = default;
    ~WnRegistryKey();

    WnRegistryKey(const WnRegistryKey&) = delete;
    WnRegistryKey& operator=(const WnRegistryKey&) = delete;

    HKEY Get() const { return key_; }
    bool IsValid() const { return key_ != nullptr; }

    // Creates subKey under parent, or opens it when it exists, with default
    // (non-volatile) options. A held key is closed first.
    uint32_t Create(HKEY parent, const wchar_t* subKey, REGSAM access);
    // Opens an existing subKey. A held key is closed first.
    uint32_t Open(HKEY parent, const wchar_t* subKey, REGSAM access);
    // 0 when nothing was held.
    uint32_t Close();

    // Reads a REG_DWORD of exactly 4 bytes into value. 11 (ERROR_BAD_FORMAT)
    // for a value of another type or size, leaving value untouched; 2 for a
    // missing value.
    uint32_t ReadDword(const wchar_t* name, uint32_t& value) const;
    uint32_t WriteDword(const wchar_t* name, uint32_t value) const;
    // Writes text with its terminator. type must be REG_SZ or REG_EXPAND_SZ,
    // otherwise 11 is returned and nothing is written.
    uint32_t WriteString(const wchar_t* name, const wchar_t* text, uint32_t type) const;
    // Deletes a subkey that has no subkeys of its own.
    uint32_t DeleteSubKey(const wchar_t* name) const;

private:
    HKEY key_ = nullptr;
};
