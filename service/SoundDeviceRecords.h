#pragma once
// The configuration records the service sends to a unit when it starts: its
// virtual inputs, the loop-back crosspoints that feed them, and the names and
// layout of the WDM channels and stereo endpoints the operating system shows.
#include "VedraContract.h"

constexpr uint32_t kLoopbackCrosspointCount = 4;

// Two virtual input channels.
void BuildVirtualChannelRecord(VedraVirtualChannels& record);

// Virtual input k <- playback channel k, 0 dB, connected, for k = 0..3.
void BuildLoopbackCrosspoints(Crosspoint (&crosspoints)[kLoopbackCrosspointCount]);

// Mono channel names. Units whose channel layout has a kind-2 element get
// only the virtual input names (withHardwareNames false).
void BuildChannelNameRecord(bool withHardwareNames, VedraWdmChannelNames& record);

// Stereo endpoints: the eight output pairs when renderConfiguration is 0, the
// eight analog input pairs when captureConfiguration is 0, and always the two
// virtual input pairs.
void BuildEndpointRecord(uint32_t renderConfiguration, uint32_t captureConfiguration,
                         VedraWdmPinNames& record);
