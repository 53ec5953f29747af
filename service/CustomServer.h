#pragma once
#include <memory>

#include "VedraServer.h"

// The product's server: its units are CustomDevices, and it answers the two
// sound-device configuration requests of the control panel.
class CustomServer : public VedraServer {
public:
    CustomServer();
    ~CustomServer() override;

protected:
    std::unique_ptr<VedraDevice> CreateDevice() override;
    VedraStatus OnRequest(const VedraMessage& request, VedraMessage& reply) override;

private:
    VedraStatus SetSoundDeviceConfiguration(const VedraMessage& request);
    VedraStatus GetSoundDeviceConfiguration(const VedraMessage& request, VedraMessage& reply);
};

// Payload of requests 11001 and 11002 and of the reply 12001.
struct SoundDeviceConfigurationPayload {
    VedraDeviceId id;
    uint32_t renderConfiguration;
    uint32_t captureConfiguration;
};
static_assert(sizeof(SoundDeviceConfigurationPayload) == 16, "SoundDeviceConfigurationPayload");

// The server the service runs.
std::unique_ptr<VedraServer> CreateProductServer();
