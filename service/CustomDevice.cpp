#include "CustomDevice.h"

#include "SoundDeviceRecords.h"
#include "VolumeConversion.h"
#include "WnRegistryTree.h"

namespace {

constexpr uint32_t kSwitchSelectorA = 0;
constexpr uint32_t kSwitchSelectorB = 2;
constexpr uint32_t kSkippedVolumeMapping = 2;
constexpr uint32_t kMaxListedPairs = 8;

// The first failure of two requests that are both always sent.
VedraStatus FirstFailure(VedraStatus first, VedraStatus second)
{
    return first != VEDRA_STATUS_SUCCESS ? first : second;
}

} // namespace

CustomDevice::CustomDevice(HKEY root_, const wchar_t* productPath_) : root(root_), productPath(productPath_)
{
    timerForwarder.Bind(this, &CustomDevice::OnTimer);
}

CustomDevice::~CustomDevice()
{
    // No expiry may reach an object that is half gone.
    timer.Cancel();
    timer.Close();
}

void CustomDevice::OnTimer(uint32_t, uint32_t) {}

bool CustomDevice::OpenConfigurationKey(WnRegistryKey& key) const
{
    const std::wstring serialNumber = GetSerialNumber();
    // An empty name would open the "Devices" key itself, a backslash a key
    // below another unit's: neither is this unit's key.
    if (serialNumber.empty() || serialNumber.find(L'\\') != std::wstring::npos)
        return false;
    return WnRegistryTree(root, productPath).OpenDeviceKey(serialNumber.c_str(), key) == ERROR_SUCCESS;
}

void CustomDevice::ReadConfiguration()
{
    WnRegistryKey key;
    if (!OpenConfigurationKey(key))
        return;
    // A missing or malformed value leaves the field as it was.
    key.ReadDword(kRenderValueName, renderConfiguration);
    key.ReadDword(kCaptureValueName, captureConfiguration);
}

void CustomDevice::WriteConfiguration() const
{
    WnRegistryKey key;
    if (!OpenConfigurationKey(key))
        return;
    key.WriteDword(kRenderValueName, renderConfiguration);
    key.WriteDword(kCaptureValueName, captureConfiguration);
}

VedraStatus CustomDevice::SendEndpointRecord()
{
    BuildEndpointRecord(renderConfiguration, captureConfiguration, endpointRecord);
    return SetWdmPinNames(endpointRecord);
}

VedraStatus CustomDevice::OnAttached()
{
    ReadConfiguration();

    VedraVirtualChannels channels = {};
    BuildVirtualChannelRecord(channels);
    VedraStatus status = SetVirtualChannels(channels);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    Crosspoint crosspoints[kLoopbackCrosspointCount] = {};
    BuildLoopbackCrosspoints(crosspoints);
    status = SetCrosspoints(crosspoints, kLoopbackCrosspointCount);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;

    VedraWdmChannelNames names = {};
    BuildChannelNameRecord(!HasChannelKind2(), names);
    status = SetWdmChannelNames(names);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;

    status = SendEndpointRecord();
    if (status != VEDRA_STATUS_SUCCESS)
        return status;

    const VedraStatus switchA = SetControlSwitchThenValue(kSwitchSelectorA, 0);
    const VedraStatus switchB = SetControlSwitchThenValue(kSwitchSelectorB, 0);
    status = FirstFailure(switchA, switchB);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;

    if (timer.Create(false, nullptr, nullptr) != ERROR_SUCCESS ||
        timer.Set(kTimerPeriodMs, &timerForwarder, false) != ERROR_SUCCESS)
        return VEDRA_STATUS_FAILED;
    return VEDRA_STATUS_SUCCESS;
}

VedraStatus CustomDevice::SwitchControls(uint32_t value)
{
    const VedraStatus first = SetControlSwitch(kSwitchSelectorA, value);
    const VedraStatus second = SetControlSwitch(kSwitchSelectorB, value);
    return FirstFailure(first, second);
}

VedraStatus CustomDevice::OnStateChanging(uint32_t fromState, uint32_t toState, uint32_t)
{
    if (toState == VEDRA_STATE_READY && (fromState == VEDRA_STATE_PREPARED || fromState == VEDRA_STATE_RUNNING))
        return SwitchControls(0);
    if (toState == VEDRA_STATE_RUNNING)
        return SwitchControls(1);
    return VEDRA_STATUS_SUCCESS;
}

uint32_t CustomDevice::PrepareGains(const VedraWdmPinEntry& entry, PinGain (&gains)[VEDRA_ENDPOINT_CHANNELS])
{
    const uint8_t pinKind = entry.kind == VEDRA_WDM_KIND_HARDWARE ? MIXER_PIN_ANALOG : MIXER_PIN_SPDIF;
    const uint32_t pairs = entry.pairCount < kMaxListedPairs ? entry.pairCount : kMaxListedPairs;
    for (uint32_t j = 0; j < pairs; ++j) {
        const uint32_t pair = entry.pairs[j];
        gains[2 * j] = PinGain{};
        gains[2 * j].pin.kind = pinKind;
        gains[2 * j].pin.channel = static_cast<uint8_t>(2 * pair);
        gains[2 * j + 1] = PinGain{};
        gains[2 * j + 1].pin.kind = pinKind;
        gains[2 * j + 1].pin.channel = static_cast<uint8_t>(2 * pair + 1);
    }
    return 2 * pairs;
}

void CustomDevice::OnMixerChanged()
{
    const VedraWdmPinSection& outputs = endpointRecord.outputs;
    const uint32_t count = outputs.count < VEDRA_WDM_SECTION_ENTRIES ? outputs.count : VEDRA_WDM_SECTION_ENTRIES;
    for (uint32_t i = 0; i < count; ++i) {
        const VedraWdmPinEntry& entry = outputs.entries[i];
        if (entry.volumeMapping == kSkippedVolumeMapping)
            continue;
        PinGain gains[VEDRA_ENDPOINT_CHANNELS] = {};
        const uint32_t n = PrepareGains(entry, gains);
        if (n == 0)
            continue;
        if (GetPinGains(gains, n) != VEDRA_STATUS_SUCCESS)
            return;
        VedraEndpointVolume volume = {};
        volume.kind = VEDRA_ENDPOINT_KIND_OUTPUT;
        volume.index = entry.position;
        for (uint32_t j = 0; j < n; ++j) {
            volume.volume[j] = GainToVolume(gains[j].gain);
            volume.mute[j] = gains[j].gainFlags & PIN_GAIN_MUTED;
        }
        if (SetEndpointVolume(volume) != VEDRA_STATUS_SUCCESS)
            return;
    }
}

void CustomDevice::OnEndpointChangedKind2(uint32_t index)
{
    const VedraWdmPinSection& outputs = endpointRecord.outputs;
    if (index >= outputs.count || index >= VEDRA_WDM_SECTION_ENTRIES)
        return;
    VedraEndpointVolume volume = {};
    if (GetEndpointVolume(VEDRA_ENDPOINT_KIND_OUTPUT, index, volume) != VEDRA_STATUS_SUCCESS)
        return;
    PinGain gains[VEDRA_ENDPOINT_CHANNELS] = {};
    const uint32_t n = PrepareGains(outputs.entries[index], gains);
    if (n == 0)
        return;
    for (uint32_t j = 0; j < n; ++j) {
        gains[j].gainFlags = volume.mute[j] & PIN_GAIN_MUTED;
        gains[j].gain = VolumeToGain(volume.volume[j]);
    }
    SetPinGains(gains, n);
}

VedraStatus CustomDevice::ApplyConfiguration(uint32_t renderConfiguration_, uint32_t captureConfiguration_)
{
    if (renderConfiguration_ != 0 || captureConfiguration_ != 0)
        return VEDRA_STATUS_INVALID_PARAMETER;
    renderConfiguration = 0;
    captureConfiguration = captureConfiguration_;
    WriteConfiguration();
    return SendEndpointRecord();
}
