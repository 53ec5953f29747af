#pragma once
#include <stdint.h>

#include "VedraDriver.h"

// How long the standard requests without a caller-given wait wait for the
// server's reply.
constexpr uint32_t VEDRA_REPLY_TIMEOUT_MS = 30000;

// A driver connection that asks the server to change system-wide settings:
// it sends request messages through the driver and waits for the replies.
// Its setting operations hide the driver requests of the same names on
// purpose: a client never sends those to the driver itself.
class VedraClient : public VedraDriver {
public:
    VedraClient();
    ~VedraClient() override;

    // Connects as the control panel (role 2, both events).
    VedraStatus ConnectClient(const wchar_t* name);

    // Sends request and waits for the reply carrying its sequence number,
    // holding the connection's lock for the whole exchange.
    VedraStatus Transact(VedraMessage& request, VedraMessage& reply, uint32_t timeoutMs);

    // The next notification (type 3), dropping messages of other types.
    VedraStatus NextNotification(VedraMessage& message);

    VedraStatus SetSampleRate(uint32_t rate, uint32_t timeoutMs);
    VedraStatus SetBufferSettings(const VedraBufferSettings& settings);
    VedraStatus SelectStreamingDevice(const VedraDeviceId& id, bool allDevices);
    VedraStatus SetPolicy(uint32_t policy, uint32_t timeoutMs);

protected:
    uint32_t lastSequence = 0;

private:
    VedraStatus StandardRequest(uint32_t code, const void* payload, uint32_t length, uint32_t timeoutMs);
};
