#pragma once
#include <stdint.h>

#include "VedraApiContext.h"

class VedraDriver;

// Copies at most count characters of a driver text field into target
// (targetChars wide characters), always terminating it: the driver's fields
// need not carry a terminator of their own.
void CopyBoundedText(wchar_t* target, uint32_t targetChars, const wchar_t* source, uint32_t count);

// The connection to one unit: its own handle and lock, bound to the unit's
// identifier, so that a slow request on one unit holds up no other.
class VedraDevice : public VedraApiContext {
public:
    VedraDevice();
    ~VedraDevice() override;

    // Opens name, binds the connection to entry's unit and lets the derived
    // class set it up; on any failure the connection ends closed.
    VedraStatus Attach(const wchar_t* name, const VedraDeviceEntry& entry);
    VedraStatus BindDevice(const VedraDeviceId& id);

    // The unit as the driver last reported it. Its texts may lack a terminator.
    const VedraDeviceEntry& Entry() const { return entry; }
    const wchar_t* DriverName() const { return driverName; }

    VedraStatus GetSpdifInputStatus(uint32_t input, VedraSpdifStatus& status);
    VedraStatus SetSpdifPassThrough(uint32_t input, uint32_t subIndex, bool on);
    VedraStatus GetSpdifPassThrough(uint32_t input, uint32_t subIndex, bool& on);
    VedraStatus SetBypassVolume(bool on);
    VedraStatus GetBypassVolume(uint8_t& on);
    VedraStatus SetBypassMute(bool on);
    VedraStatus GetBypassMute(uint8_t& on);
    VedraStatus GetEndpointVolume(uint32_t kind, uint32_t index, VedraEndpointVolume& volume);
    VedraStatus SetEndpointVolume(const VedraEndpointVolume& volume);
    VedraStatus SetControlSwitch(uint32_t selector, uint32_t value);
    VedraStatus SetControlValue(uint32_t selector, uint32_t value);
    // blockCount is cut to the blocks the record holds.
    VedraStatus GetChannelLayout(VedraChannelLayout& layout);
    VedraStatus SetVirtualChannels(const VedraVirtualChannels& channels);
    VedraStatus SetWdmChannelNames(const VedraWdmChannelNames& names);
    VedraStatus SetWdmPinNames(const VedraWdmPinNames& names);

    // Mixer array requests: n records go out and the driver answers in the
    // same array. The meter requests run every 20 ms per mixer window, so
    // they use the caller's array as it is, without copying.
    VedraStatus GetMixerPins(uint32_t group, MixerPin* pins, uint32_t capacity, uint32_t& count);
    VedraStatus GetSourceLevels(PinLevel* levels, uint32_t n);
    VedraStatus GetDestinationLevels(PinLevel* levels, uint32_t n);
    VedraStatus GetPinGains(PinGain* gains, uint32_t n);
    VedraStatus SetPinGains(PinGain* gains, uint32_t n);
    VedraStatus GetCrosspoints(Crosspoint* crosspoints, uint32_t n);
    VedraStatus SetCrosspoints(Crosspoint* crosspoints, uint32_t n);
    // length is cut to the block's 520 bytes.
    VedraStatus SetEffectParameters(const EffectParameterBlock& block, uint32_t length);
    VedraStatus GetEffectParameters(EffectParameterBlock& block, uint32_t length);

protected:
    // Last step of Attach; nonzero closes the connection and is returned.
    virtual VedraStatus OnAttached();

    VedraDeviceEntry entry;
    wchar_t driverName[100];

private:
    // The driver object refreshes entry when a unit comes back with a new id.
    friend class VedraDriver;

    VedraStatus ArrayRequest(uint32_t code, void* records, uint32_t n, uint32_t recordSize);
    // The bypass switches travel as one byte; a get writes on only on success.
    VedraStatus SetFlagByte(uint32_t code, bool on);
    VedraStatus GetFlagByte(uint32_t code, uint8_t& on);
};
