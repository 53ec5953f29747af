#include "CustomServer.h"

#include "CustomDevice.h"
#include "VedraMessage.h"

CustomServer::CustomServer() = default;

CustomServer::~CustomServer() = default;

std::unique_ptr<VedraServer> CreateProductServer()
{
    return std::make_unique<CustomServer>();
}

std::unique_ptr<VedraDevice> CustomServer::CreateDevice()
{
    return std::make_unique<CustomDevice>(HKEY_LOCAL_MACHINE, RegistryPath());
}

VedraStatus CustomServer::OnRequest(const VedraMessage& request, VedraMessage& reply)
{
    switch (request.code) {
    case VEDRA_REQ_SET_SOUND_DEVICE_CONFIG:
        return SetSoundDeviceConfiguration(request);
    case VEDRA_REQ_GET_SOUND_DEVICE_CONFIG:
        return GetSoundDeviceConfiguration(request, reply);
    default:
        return VEDRA_STATUS_INVALID_COMMAND;
    }
}

VedraStatus CustomServer::SetSoundDeviceConfiguration(const VedraMessage& request)
{
    SoundDeviceConfigurationPayload payload = {};
    VedraStatus status = ReadPayloadExact(request, &payload, sizeof(payload));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    CustomDevice* device = dynamic_cast<CustomDevice*>(FindDevice(payload.id));
    if (device == nullptr)
        return VEDRA_STATUS_OBJECT_NOT_FOUND;
    // Only the default can be asked for; other layouts come from the registry.
    if (payload.renderConfiguration != 0 || payload.captureConfiguration != 0)
        return VEDRA_STATUS_INVALID_PARAMETER;

    VedraStreamingStatus streaming = {};
    status = GetStreamingStatus(streaming);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    if (streaming.inUseA != 0)
        return VEDRA_STATUS_SOUND_DEVICE_IN_USE;
    status = StopStreaming(0);
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    device->ApplyConfiguration(payload.renderConfiguration, payload.captureConfiguration);
    return StartStreaming(0);
}

VedraStatus CustomServer::GetSoundDeviceConfiguration(const VedraMessage& request, VedraMessage& reply)
{
    SoundDeviceConfigurationPayload payload = {};
    VedraStatus status = ReadPayloadExact(request, &payload, sizeof(payload));
    if (status != VEDRA_STATUS_SUCCESS)
        return status;
    const CustomDevice* device = dynamic_cast<const CustomDevice*>(FindDevice(payload.id));
    if (device == nullptr)
        return VEDRA_STATUS_OBJECT_NOT_FOUND;
    payload.renderConfiguration = device->RenderConfiguration();
    payload.captureConfiguration = device->CaptureConfiguration();
    reply.code = VEDRA_REPLY_SOUND_DEVICE_CONFIG;
    return WritePayload(reply, &payload, sizeof(payload));
}
