#include "VolumeConversion.h"

#include <gtest/gtest.h>

namespace {

TEST(VolumeConversion, GainToVolume)
{
    const struct {
        int16_t gain;
        int32_t volume;
    } cases[] = {
        {0, 0},
        {-600, -393216},   // -6 dB
        {1, 655},          // 655.36 truncated toward zero
        {-1, -655},
        {9000, 5898240},   // +90 dB
        {-32768, -21474836},
        {32767, 21474181},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gain);
        EXPECT_EQ(c.volume, GainToVolume(c.gain));
    }
}

TEST(VolumeConversion, VolumeToGainTruncatesAndLimits)
{
    const struct {
        int32_t volume;
        int16_t gain;
    } cases[] = {
        {0, 0},
        {-393216, -600},
        {655, 0},               // 0.9995 hundredths, truncated toward zero
        {-655, 0},
        {656, 1},
        {-656, -1},
        {INT32_MIN, -9000},     // silence
        {INT32_MIN + 1, -9000}, // overflows 32-bit arithmetic unless done in 64 bits
        {INT32_MAX, 9000},
        {655360000, 9000},      // +10000 dB
        {-655360000, -9000},
        {5898240, 9000},        // exactly +90 dB
        {5898240 + 65536, 9000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.volume);
        EXPECT_EQ(c.gain, VolumeToGain(c.volume));
    }
}

TEST(VolumeConversion, RoundTripKeepsHundredthsOfADecibel)
{
    for (int gain = -9000; gain <= 9000; gain += 7) {
        SCOPED_TRACE(gain);
        const int32_t volume = GainToVolume(static_cast<int16_t>(gain));
        const int16_t back = VolumeToGain(volume);
        // Truncating twice may lose one hundredth, never more.
        EXPECT_LE(std::abs(back - gain), 1);
    }
}

} // namespace
