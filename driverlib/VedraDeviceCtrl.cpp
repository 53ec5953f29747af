#include "VedraDeviceCtrl.h"

#include <string.h>
#include <wchar.h>

VedraDeviceCtrl::VedraDeviceCtrl() = default;

VedraDeviceCtrl::~VedraDeviceCtrl() = default;

std::wstring VedraDeviceCtrl::GetSerialNumber() const
{
    return std::wstring(entry.serialNumber, wcsnlen(entry.serialNumber, VEDRA_SERIAL_NUMBER_CHARS));
}

VedraStatus VedraDeviceCtrl::OnStateChanging(uint32_t, uint32_t, uint32_t)
{
    return VEDRA_STATUS_SUCCESS;
}

void VedraDeviceCtrl::OnStateChanged(uint32_t, uint32_t, uint32_t) {}

void VedraDeviceCtrl::OnStateChangeFailed(uint32_t, uint32_t, VedraStatus) {}

void VedraDeviceCtrl::OnMixerChanged() {}

void VedraDeviceCtrl::OnEndpointChangedKind1(uint32_t) {}

void VedraDeviceCtrl::OnEndpointChangedKind2(uint32_t) {}

VedraStatus VedraDeviceCtrl::OnRequest1004(uint8_t)
{
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus VedraDeviceCtrl::PrepareStart()
{
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus VedraDeviceCtrl::SetControlSwitchThenValue(uint32_t selector, uint32_t value)
{
    VedraStatus status = SetControlSwitch(selector, value);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    return SetControlValue(selector, 8);
}

bool LayoutHasChannelKind2(const VedraChannelLayout& layout)
{
    uint32_t blocks = layout.blockCount <= VEDRA_LAYOUT_MAX_BLOCKS ? layout.blockCount : VEDRA_LAYOUT_MAX_BLOCKS;
    for (uint32_t b = 0; b < blocks; ++b) {
        const VedraLayoutBlock& block = layout.blocks[b];
        for (uint32_t j = 0; j < VEDRA_LAYOUT_ELEMENTS; ++j) {
            if (block.first[j].kind == 2 || block.second[j].kind == 2)
                return true;
        }
    }
    return false;
}

bool VedraDeviceCtrl::HasChannelKind2()
{
    VedraChannelLayout layout;
    memset(&layout, 0, sizeof(layout));
    if (GetChannelLayout(layout) != VEDRA_STATUS_SUCCESS)
        return false;
    return LayoutHasChannelKind2(layout);
}
