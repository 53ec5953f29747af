#pragma once
#include <stdint.h>

// Mixer gains are 1/100 dB in 16 bits; endpoint volumes are 1/65536 dB in 32.

// (g * 65536) / 100, truncated toward zero: -600 (-6 dB) gives -393216.
int32_t GainToVolume(int16_t gain);

// (v * 100) / 65536 in 64-bit arithmetic, truncated toward zero and held to
// -90.00..+90.00 dB; the most negative volume (silence) gives -9000.
int16_t VolumeToGain(int32_t volume);
