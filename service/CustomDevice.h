#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>

#include "VedraDeviceCtrl.h"
#include "WnCallbacks.h"
#include "WnRegistryKey.h"
#include "WnWaitableTimer.h"

// The service's object for one attached unit: sets up its virtual inputs
// and WDM endpoints when it starts, switches two of its controls around
// streaming, keeps endpoint volumes and mixer gains in step both ways and
// holds the unit's sound-device configuration.
class CustomDevice : public VedraDeviceCtrl {
public:
    static constexpr const wchar_t* kRenderValueName = L"WdmRenderSoundDeviceConfiguration";
    static constexpr const wchar_t* kCaptureValueName = L"WdmCaptureSoundDeviceConfiguration";
    static constexpr int32_t kTimerPeriodMs = 3000;

    // The unit's key is productPath\Devices\<serial number> under root.
    CustomDevice(HKEY root, const wchar_t* productPath);
    ~CustomDevice() override;

    VedraStatus OnStateChanging(uint32_t fromState, uint32_t toState, uint32_t sampleRate) override;
    void OnMixerChanged() override;
    void OnEndpointChangedKind2(uint32_t value) override;

    // Only the default (both 0) can be applied; the status is that of sending
    // the rebuilt endpoint record.
    VedraStatus ApplyConfiguration(uint32_t renderConfiguration, uint32_t captureConfiguration);

    uint32_t RenderConfiguration() const { return renderConfiguration; }
    uint32_t CaptureConfiguration() const { return captureConfiguration; }
    const VedraWdmPinNames& EndpointRecord() const { return endpointRecord; }

protected:
    VedraStatus OnAttached() override;
    // An expiry only lets the server loop's alertable wait return.
    virtual void OnTimer(uint32_t low, uint32_t high);

private:
    void ReadConfiguration();
    void WriteConfiguration() const;
    // The unit's registry key, opened (and created) for reading and writing;
    // false when it cannot be opened or the serial number names no key of its own.
    bool OpenConfigurationKey(WnRegistryKey& key) const;
    VedraStatus SendEndpointRecord();
    VedraStatus SwitchControls(uint32_t value);
    // The two gains of each pair of an endpoint entry; returns how many.
    static uint32_t PrepareGains(const VedraWdmPinEntry& entry, PinGain (&gains)[VEDRA_ENDPOINT_CHANNELS]);

    HKEY root;
    const wchar_t* productPath;
    uint32_t renderConfiguration = 0;
    uint32_t captureConfiguration = 0;
    VedraWdmPinNames endpointRecord = {};
    WnWaitableTimer timer;
    WnWaitableTimerCallbackForwarderT<CustomDevice> timerForwarder;
};
