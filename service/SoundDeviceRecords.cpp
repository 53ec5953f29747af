#include "SoundDeviceRecords.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

constexpr size_t kNameLimit = 41; // characters; the driver's names hold 41 and a terminator
constexpr uint32_t kHardwarePairs = 8;
constexpr uint32_t kVirtualPairs = 2;
constexpr uint32_t kHardwareEndpointFlags = 3;
constexpr int32_t kHardwareLowerBound = -8388608; // -128 dB in 1/65536 dB

// Formats into a zero-filled name field, cut at kNameLimit characters.
template <size_t N>
void FormatName(wchar_t (&field)[N], const wchar_t* format, ...)
{
    static_assert(N > kNameLimit, "name field holds the limit and a terminator");
    wchar_t text[kNameLimit + 1] = {};
    va_list args;
    va_start(args, format);
    _vsnwprintf(text, kNameLimit, format, args);
    va_end(args);
    std::memset(field, 0, sizeof(field));
    std::wmemcpy(field, text, kNameLimit);
}

void AddChannel(VedraWdmChannelSection& section, uint32_t kind, uint32_t channel,
                const wchar_t* format)
{
    if (section.count >= VEDRA_WDM_SECTION_ENTRIES)
        return;
    VedraWdmChannelEntry& entry = section.entries[section.count++];
    entry.kind = kind;
    entry.pairIndex = channel / 2;
    entry.side = channel % 2;
    FormatName(entry.name, format, channel + 1);
}

void AddEndpoint(VedraWdmPinSection& section, bool hardware, uint32_t pair,
                 const wchar_t* format)
{
    if (section.count >= VEDRA_WDM_SECTION_ENTRIES)
        return;
    VedraWdmPinEntry& entry = section.entries[section.count];
    entry.kind = hardware ? VEDRA_WDM_KIND_HARDWARE : VEDRA_WDM_KIND_VIRTUAL;
    entry.pairCount = 1;
    entry.pairs[0] = pair;
    entry.volumeMapping = 0;
    entry.controlFlags = hardware ? kHardwareEndpointFlags : 0;
    FormatName(entry.name, format, 2 * pair + 1, 2 * pair + 2);
    entry.position = section.count;
    entry.lowerBound = hardware ? kHardwareLowerBound : 0;
    entry.upperBound = 0;
    ++section.count;
}

} // namespace

void BuildVirtualChannelRecord(VedraVirtualChannels& record)
{
    std::memset(&record, 0, sizeof(record));
    record.count = 2;
    record.entries[0] = {VEDRA_WDM_KIND_VIRTUAL, 0};
    record.entries[1] = {VEDRA_WDM_KIND_VIRTUAL, 0};
}

void BuildLoopbackCrosspoints(Crosspoint (&crosspoints)[kLoopbackCrosspointCount])
{
    std::memset(crosspoints, 0, sizeof(crosspoints));
    for (uint8_t k = 0; k < kLoopbackCrosspointCount; ++k) {
        crosspoints[k].destination.kind = MIXER_PIN_VIRTUAL_INPUT;
        crosspoints[k].destination.channel = k;
        crosspoints[k].source.kind = MIXER_PIN_PLAYBACK;
        crosspoints[k].source.channel = k;
        crosspoints[k].weight = 0;
        crosspoints[k].crosspointFlags = CROSSPOINT_CONNECTED;
    }
}

void BuildChannelNameRecord(bool withHardwareNames, VedraWdmChannelNames& record)
{
    std::memset(&record, 0, sizeof(record));
    if (withHardwareNames) {
        for (uint32_t c = 0; c < 2 * kHardwarePairs; ++c)
            AddChannel(record.outputs, VEDRA_WDM_KIND_HARDWARE, c, L"Tarvine Out %u");
        for (uint32_t c = 0; c < 2 * kHardwarePairs; ++c)
            AddChannel(record.inputs, VEDRA_WDM_KIND_HARDWARE, c, L"Tarvine Analog In %u");
    }
    for (uint32_t c = 0; c < 2 * kVirtualPairs; ++c)
        AddChannel(record.inputs, VEDRA_WDM_KIND_VIRTUAL, c, L"Tarvine Virtual In %u");
}

void BuildEndpointRecord(uint32_t renderConfiguration, uint32_t captureConfiguration,
                         VedraWdmPinNames& record)
{
    std::memset(&record, 0, sizeof(record));
    if (renderConfiguration == 0) {
        for (uint32_t p = 0; p < kHardwarePairs; ++p)
            AddEndpoint(record.outputs, true, p, L"Tarvine Out %u/%u");
    }
    if (captureConfiguration == 0) {
        for (uint32_t p = 0; p < kHardwarePairs; ++p)
            AddEndpoint(record.inputs, true, p, L"Tarvine Analog In %u/%u");
    }
    for (uint32_t p = 0; p < kVirtualPairs; ++p)
        AddEndpoint(record.inputs, false, p, L"Tarvine Virtual In %u/%u");
}
