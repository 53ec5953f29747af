// Level arithmetic of the simulated mixer meters: levels in 1/100 dB,
// power-summed. The driver has no maths library, so exp and log are
// computed here by range reduction and short series (ample for meters).
#include "SimDriver.h"

namespace {

const double kLn2 = 0.69314718055994530942;
const double kLn10 = 2.30258509299404568402;

// e^y for y <= 0 (0 below -60).
double ExpNonPositive(double y)
{
    if (y < -60.0)
        return 0.0;
    int k = 0;
    while (y < -kLn2) {
        y += kLn2;
        --k;
    }
    double term = 1.0;
    double sum = 1.0;
    for (int i = 1; i < 16; ++i) {
        term *= y / i;
        sum += term;
    }
    while (k++ < 0)
        sum *= 0.5;
    return sum;
}

// ln(s) for s >= 1.
double LogAtLeastOne(double s)
{
    int k = 0;
    while (s >= 2.0) {
        s *= 0.5;
        ++k;
    }
    double z = (s - 1.0) / (s + 1.0);
    double z2 = z * z;
    double power = z;
    double sum = 0.0;
    for (int i = 1; i < 30; i += 2) {
        sum += power / i;
        power *= z2;
    }
    return k * kLn2 + 2.0 * sum;
}

} // namespace

int16_t SimPowerSumDb(const int32_t* levels, uint32_t count)
{
    int32_t top = levels[0];
    for (uint32_t i = 1; i < count; ++i)
        if (levels[i] > top)
            top = levels[i];
    // Relative to the loudest: sum of 10^((L - top) / 1000), which is >= 1.
    double sum = 0.0;
    for (uint32_t i = 0; i < count; ++i)
        sum += ExpNonPositive((levels[i] - top) / 1000.0 * kLn10);
    double extra = 1000.0 * LogAtLeastOne(sum) / kLn10;
    int32_t result = top + (int32_t)(extra + 0.5);
    if (result < -32000)
        result = -32000;
    if (result > 32000)
        result = 32000;
    return (int16_t)result;
}

int32_t SimSourceLevel(const SimUnit* unit, uint32_t source, uint64_t nowMs)
{
    int32_t level = unit->signalLevel[source];
    if (level <= VSIM_SILENCE)
        return VSIM_SILENCE;
    // A triangle swing of `wobble` below the peak, about once a second,
    // shifted per channel so the meters do not move in lockstep.
    uint32_t phase = (uint32_t)((nowMs + source * 137u) % 1000u);
    uint32_t triangle = phase < 500 ? phase : 1000 - phase;
    level -= (int32_t)(unit->signalWobble[source] * triangle / 500u);
    return level < VSIM_SILENCE ? VSIM_SILENCE : level;
}
