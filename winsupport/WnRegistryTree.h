#pragma once
#include "WnRegistryKey.h"

// The service's key tree: a product key (for example
// "Software\QUENDAL\tarvine" under HKEY_LOCAL_MACHINE), its "Devices" key,
// and one key per unit named by the unit's serial number. Every level is
// opened with read and write access and created when missing; each level's
// key is closed as soon as the next one is open.
//
// Each walk returns the first failure; on failure the output holds no key.
class WnRegistryTree {
public:
    WnRegistryTree(HKEY root, const wchar_t* productPath) : root_(root), productPath_(productPath) {}

    uint32_t OpenProductKey(WnRegistryKey& key) const;
    uint32_t OpenDevicesKey(WnRegistryKey& key) const;
    uint32_t OpenDeviceKey(const wchar_t* serialNumber, WnRegistryKey& key) const;

private:
    HKEY root_;
    const wchar_t* productPath_;
};
