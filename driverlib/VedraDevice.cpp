#include "VedraDevice.h"

#include <string.h>

void CopyBoundedText(wchar_t* target, uint32_t targetChars, const wchar_t* source, uint32_t count)
{
    if (targetChars == 0)
        return;
    uint32_t used = 0;
    while (used < count && used < targetChars - 1 && source[used] != L'\0') {
        target[used] = source[used];
        ++used;
    }
    target[used] = L'\0';
}

VedraDevice::VedraDevice()
{
    memset(&entry, 0, sizeof(entry));
    memset(driverName, 0, sizeof(driverName));
}

VedraDevice::~VedraDevice()
{
    Close();
}

VedraStatus VedraDevice::Attach(const wchar_t* name, const VedraDeviceEntry& unit)
{
    CopyBoundedText(driverName, 100, name, 99);
    entry = unit;
    VedraStatus status = Open(name);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    status = BindDevice(entry.id);
    if (status != VEDRA_STATUS_SUCCESS) {
        Close();
        return status;
    }
    status = OnAttached();
    if (status != VEDRA_STATUS_SUCCESS) {
        Close();
        return status;
    }
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus VedraDevice::BindDevice(const VedraDeviceId& id)
{
    return Request(VEDRA_IOCTL_BIND_DEVICE, &id, sizeof(id), nullptr, 0);
}

VedraStatus VedraDevice::OnAttached()
{
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus VedraDevice::GetSpdifInputStatus(uint32_t input, VedraSpdifStatus& status)
{
    VedraSpdifStatus record = {};
    record.input = input;
    VedraStatus result = Request(VEDRA_IOCTL_GET_SPDIF_INPUT_STATUS, &record, sizeof(record), &record, sizeof(record));
    if (result == VEDRA_STATUS_SUCCESS)
        status = record;
    return result;
}

VedraStatus VedraDevice::SetSpdifPassThrough(uint32_t input, uint32_t subIndex, bool on)
{
    VedraSpdifPassThrough record = {};
    record.input = input;
    record.subIndex = subIndex;
    record.on = on ? 1u : 0u;
    return Request(VEDRA_IOCTL_SET_SPDIF_PASS_THROUGH, &record, sizeof(record), nullptr, 0);
}

VedraStatus VedraDevice::GetSpdifPassThrough(uint32_t input, uint32_t subIndex, bool& on)
{
    VedraSpdifPassThrough record = {};
    record.input = input;
    record.subIndex = subIndex;
    VedraStatus result = Request(VEDRA_IOCTL_GET_SPDIF_PASS_THROUGH, &record, sizeof(record), &record, sizeof(record));
    if (result == VEDRA_STATUS_SUCCESS)
        on = record.on != 0;
    return result;
}

VedraStatus VedraDevice::SetBypassVolume(bool on)
{
    return SetFlagByte(VEDRA_IOCTL_SET_BYPASS_VOLUME, on);
}

VedraStatus VedraDevice::GetBypassVolume(uint8_t& on)
{
    return GetFlagByte(VEDRA_IOCTL_GET_BYPASS_VOLUME, on);
}

VedraStatus VedraDevice::SetBypassMute(bool on)
{
    return SetFlagByte(VEDRA_IOCTL_SET_BYPASS_MUTE, on);
}

VedraStatus VedraDevice::GetBypassMute(uint8_t& on)
{
    return GetFlagByte(VEDRA_IOCTL_GET_BYPASS_MUTE, on);
}

VedraStatus VedraDevice::SetFlagByte(uint32_t code, bool on)
{
    uint8_t value = on ? 1 : 0;
    return Request(code, &value, sizeof(value), nullptr, 0);
}

VedraStatus VedraDevice::GetFlagByte(uint32_t code, uint8_t& on)
{
    uint8_t value = 0;
    VedraStatus result = Request(code, nullptr, 0, &value, sizeof(value));
    if (result == VEDRA_STATUS_SUCCESS)
        on = value;
    return result;
}

VedraStatus VedraDevice::GetEndpointVolume(uint32_t kind, uint32_t index, VedraEndpointVolume& volume)
{
    memset(&volume, 0, sizeof(volume));
    volume.kind = kind;
    volume.index = index;
    return Request(VEDRA_IOCTL_GET_ENDPOINT_VOLUME, &volume, sizeof(volume), &volume, sizeof(volume));
}

VedraStatus VedraDevice::SetEndpointVolume(const VedraEndpointVolume& volume)
{
    return Request(VEDRA_IOCTL_SET_ENDPOINT_VOLUME, &volume, sizeof(volume), nullptr, 0);
}

VedraStatus VedraDevice::SetControlSwitch(uint32_t selector, uint32_t value)
{
    VedraControlSetting setting = {selector, value};
    return Request(VEDRA_IOCTL_SET_CONTROL_SWITCH, &setting, sizeof(setting), nullptr, 0);
}

VedraStatus VedraDevice::SetControlValue(uint32_t selector, uint32_t value)
{
    VedraControlSetting setting = {selector, value};
    return Request(VEDRA_IOCTL_SET_CONTROL_VALUE, &setting, sizeof(setting), nullptr, 0);
}

VedraStatus VedraDevice::GetChannelLayout(VedraChannelLayout& layout)
{
    VedraStatus result = Request(VEDRA_IOCTL_GET_CHANNEL_LAYOUT, nullptr, 0, &layout, sizeof(layout));
    if (layout.blockCount > VEDRA_LAYOUT_MAX_BLOCKS)
        layout.blockCount = VEDRA_LAYOUT_MAX_BLOCKS;
    return result;
}

VedraStatus VedraDevice::SetVirtualChannels(const VedraVirtualChannels& channels)
{
    return Request(VEDRA_IOCTL_SET_VIRTUAL_CHANNELS, &channels, sizeof(channels), nullptr, 0);
}

VedraStatus VedraDevice::SetWdmChannelNames(const VedraWdmChannelNames& names)
{
    return Request(VEDRA_IOCTL_SET_WDM_CHANNEL_NAMES, &names, sizeof(names), nullptr, 0);
}

VedraStatus VedraDevice::SetWdmPinNames(const VedraWdmPinNames& names)
{
    return Request(VEDRA_IOCTL_SET_WDM_PIN_NAMES, &names, sizeof(names), nullptr, 0);
}

// Byte size of n records, kept within what a request can name: a caller's
// count too large for 32 bits would otherwise wrap into a short buffer.
static uint32_t ArrayBytes(uint32_t n, uint32_t recordSize)
{
    uint32_t most = 0xFFFFFFFFu / recordSize;
    return (n > most ? most : n) * recordSize;
}

VedraStatus VedraDevice::GetMixerPins(uint32_t group, MixerPin* pins, uint32_t capacity, uint32_t& count)
{
    uint32_t bytes = 0;
    uint32_t size = ArrayBytes(capacity, sizeof(MixerPin));
    VedraStatus result = Request(VEDRA_IOCTL_GET_MIXER_PINS, &group, sizeof(group), pins, size, &bytes);
    if (bytes > size)
        bytes = size;
    count = bytes / sizeof(MixerPin);
    return result;
}

VedraStatus VedraDevice::ArrayRequest(uint32_t code, void* records, uint32_t n, uint32_t recordSize)
{
    uint32_t size = ArrayBytes(n, recordSize);
    return Request(code, records, size, records, size);
}

VedraStatus VedraDevice::GetSourceLevels(PinLevel* levels, uint32_t n)
{
    return ArrayRequest(VEDRA_IOCTL_GET_SOURCE_LEVELS, levels, n, sizeof(PinLevel));
}

VedraStatus VedraDevice::GetDestinationLevels(PinLevel* levels, uint32_t n)
{
    return ArrayRequest(VEDRA_IOCTL_GET_DESTINATION_LEVELS, levels, n, sizeof(PinLevel));
}

VedraStatus VedraDevice::GetPinGains(PinGain* gains, uint32_t n)
{
    return ArrayRequest(VEDRA_IOCTL_GET_PIN_GAINS, gains, n, sizeof(PinGain));
}

VedraStatus VedraDevice::SetPinGains(PinGain* gains, uint32_t n)
{
    return ArrayRequest(VEDRA_IOCTL_SET_PIN_GAINS, gains, n, sizeof(PinGain));
}

VedraStatus VedraDevice::GetCrosspoints(Crosspoint* crosspoints, uint32_t n)
{
    return ArrayRequest(VEDRA_IOCTL_GET_CROSSPOINTS, crosspoints, n, sizeof(Crosspoint));
}

VedraStatus VedraDevice::SetCrosspoints(Crosspoint* crosspoints, uint32_t n)
{
    return ArrayRequest(VEDRA_IOCTL_SET_CROSSPOINTS, crosspoints, n, sizeof(Crosspoint));
}

VedraStatus VedraDevice::SetEffectParameters(const EffectParameterBlock& block, uint32_t length)
{
    if (length > sizeof(block))
        length = sizeof(block);
    return Request(VEDRA_IOCTL_SET_EFFECT_PARAMETERS, &block, length, nullptr, 0);
}

VedraStatus VedraDevice::GetEffectParameters(EffectParameterBlock& block, uint32_t length)
{
    if (length > sizeof(block))
        length = sizeof(block);
    return Request(VEDRA_IOCTL_GET_EFFECT_PARAMETERS, &block, length, &block, length);
}
