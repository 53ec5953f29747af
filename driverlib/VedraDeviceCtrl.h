#pragma once
#include <stdint.h>

#include <string>

#include "VedraDevice.h"

// Whether any element of the layout's blocks is of kind 2; blocks beyond the
// record are never read, whatever blockCount claims.
bool LayoutHasChannelKind2(const VedraChannelLayout& layout);

// The server's object for one unit: the hooks through which the server
// tells the unit about streaming steps, driver notifications and fan-out
// requests. The hooks here do nothing; product code overrides them.
class VedraDeviceCtrl : public VedraDevice {
public:
    VedraDeviceCtrl();
    ~VedraDeviceCtrl() override;

    // The stored serial number, cut at its field's 20 characters.
    virtual std::wstring GetSerialNumber() const;

    // Before each streaming command; nonzero stops a start walk.
    virtual VedraStatus OnStateChanging(uint32_t fromState, uint32_t toState, uint32_t sampleRate);
    virtual void OnStateChanged(uint32_t fromState, uint32_t toState, uint32_t sampleRate);
    // After a failed command 4, 5 or 6.
    virtual void OnStateChangeFailed(uint32_t fromState, uint32_t toState, VedraStatus status);
    virtual void OnMixerChanged();
    virtual void OnEndpointChangedKind1(uint32_t value);
    virtual void OnEndpointChangedKind2(uint32_t value);
    virtual VedraStatus OnRequest1004(uint8_t value);
    virtual VedraStatus PrepareStart();

    // The switch, then the value 8 on the same selector if the switch took.
    VedraStatus SetControlSwitchThenValue(uint32_t selector, uint32_t value);
    // Whether any element of the unit's channel layout is of kind 2.
    bool HasChannelKind2();
};
