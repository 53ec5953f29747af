#include "VolumeConversion.h"

namespace {
constexpr int32_t kGainLimit = 9000; // +-90.00 dB
}

int32_t GainToVolume(int16_t gain)
{
    return static_cast<int32_t>(gain) * 65536 / 100;
}

int16_t VolumeToGain(int32_t volume)
{
    if (volume == INT32_MIN)
        return -kGainLimit;
    int64_t gain = static_cast<int64_t>(volume) * 100 / 65536;
    if (gain > kGainLimit)
        gain = kGainLimit;
    if (gain < -kGainLimit)
        gain = -kGainLimit;
    return static_cast<int16_t>(gain);
}
