#pragma once
// Helpers on the plain VedraMessage record of the driver contract. A message
// coming from the driver or another process is untrusted: payloadLength is
// checked against the record before anything is copied.
#include <stdint.h>

#include "VedraContract.h"

// Empty message of the given type and code: header size 32, everything else 0.
void Init(VedraMessage& message, uint32_t type, uint32_t code);

// Reply (type 2, code 2001) to request carrying status, with the request's
// sequence and routing words, no payload.
void InitReply(VedraMessage& reply, const VedraMessage& request, VedraStatus status);

// VEDRA_STATUS_INVALID_LENGTH above 512 bytes, leaving the message unchanged.
VedraStatus WritePayload(VedraMessage& message, const void* source, uint32_t length);

// Copies the payload into target; capacity is the room there on entry and
// the bytes copied on success. VEDRA_STATUS_INVALID_LENGTH when the payload
// does not fit, or claims more than the record holds.
VedraStatus ReadPayload(const VedraMessage& message, void* target, uint32_t& capacity);

// ReadPayload of at most size bytes, then VEDRA_STATUS_INVALID_MSG_SIZE unless
// exactly size bytes came (the shorter payload has been copied by then).
VedraStatus ReadPayloadExact(const VedraMessage& message, void* target, uint32_t size);

// The sequence number after previous: 0 is never used, 0xFFFFFFFF is followed by 1.
uint32_t NextSequence(uint32_t previous);
