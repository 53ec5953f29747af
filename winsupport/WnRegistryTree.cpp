#include "WnRegistryTree.h"

namespace {
const wchar_t kDevicesKeyName[] = L"Devices";
}

uint32_t WnRegistryTree::OpenProductKey(WnRegistryKey& key) const
{
    return key.Create(root_, productPath_, WnRegistryKey::kReadWrite);
}

uint32_t WnRegistryTree::OpenDevicesKey(WnRegistryKey& key) const
{
    key.Close();
    WnRegistryKey product;
    const uint32_t error = OpenProductKey(product);
    if (error != ERROR_SUCCESS)
        return error;
    return key.Create(product.Get(), kDevicesKeyName, WnRegistryKey::kReadWrite);
}

uint32_t WnRegistryTree::OpenDeviceKey(const wchar_t* serialNumber, WnRegistryKey& key) const
{
    key.Close();
    // An empty name would open the devices key itself.
    if (serialNumber == nullptr || serialNumber[0] == L'\0')
        return ERROR_INVALID_PARAMETER;
    WnRegistryKey devices;
    const uint32_t error = OpenDevicesKey(devices);
    if (error != ERROR_SUCCESS)
        return error;
    return key.Create(devices.Get(), serialNumber, WnRegistryKey::kReadWrite);
}
