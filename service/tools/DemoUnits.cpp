// Development helper of scripts/run.sh: waits (up to 10 s) until the
// service has told a client the device list, then prints what the simulated
// driver received from it for each unit.
// Usage: tarvinesvc_demo_units show
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <vector>

#include "SimClient.h"
#include "VedraClient.h"
#include "VedraMessage.h"

namespace {

constexpr DWORD kWaitMs = 10000;

bool WaitForDeviceList(VedraClient& client)
{
    const DWORD start = GetTickCount();
    for (;;) {
        VedraMessage message;
        Init(message, VEDRA_MSG_NONE, 0);
        while (client.NextNotification(message) == VEDRA_STATUS_SUCCESS)
            if (message.code == VEDRA_NTF_DEVICE_LIST)
                return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kWaitMs)
            return false;
        WaitForSingleObject(client.NotificationEvent(), kWaitMs - elapsed);
    }
}

template <typename T>
bool ReadRecord(SimClient& control, uint32_t unit, uint32_t kind, T& record)
{
    VedraSimRecordHeader header = {};
    std::vector<uint8_t> bytes;
    if (sim::ReadRecord(control, unit, kind, 0, header, bytes) != 0 || bytes.size() != sizeof(T))
        return false;
    memcpy(&record, bytes.data(), sizeof(T));
    return true;
}

int Show(SimClient& control)
{
    VedraClient client;
    if (client.ConnectClient(VEDRA_INTERFACE_GUID_STRING) != VEDRA_STATUS_SUCCESS || !WaitForDeviceList(client)) {
        fprintf(stderr, "tarvinesvc did not answer within %lu ms\n", kWaitMs);
        return 1;
    }
    VedraSimState state = {};
    sim::GetState(control, state);
    printf("tarvinesvc serves the driver (streaming state %u, %u Hz); %u units:\n", state.streaming.state,
        state.streaming.sampleRate, state.unitCount);
    for (uint32_t i = 0; i < state.unitCount; ++i) {
        VedraSimUnitState unit = {};
        if (sim::GetUnit(control, i, unit) != 0)
            continue;
        wchar_t serial[VEDRA_SERIAL_NUMBER_CHARS + 1] = {};
        wmemcpy(serial, unit.entry.serialNumber, VEDRA_SERIAL_NUMBER_CHARS);
        VedraWdmChannelNames names = {};
        VedraWdmPinNames endpoints = {};
        const bool named = ReadRecord(control, i, VSIM_RECORD_WDM_CHANNEL_NAMES, names);
        const bool paired = ReadRecord(control, i, VSIM_RECORD_WDM_PIN_NAMES, endpoints);
        printf("  unit %u (serial %ls): ", i + 1, serial);
        if (named && paired)
            printf("%u output and %u input channel names, %u output and %u input stereo endpoints, "
                   "controls 0 and 2 switched %u and %u\n",
                names.outputs.count, names.inputs.count, endpoints.outputs.count, endpoints.inputs.count,
                unit.controlSwitch[0], unit.controlSwitch[2]);
        else
            printf("not configured\n");
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    SimClient control;
    uint32_t status = control.Open();
    if (status != 0) {
        fprintf(stderr, "the simulated driver is not running (error %u)\n", status);
        return 1;
    }
    if (argc > 1 && wcscmp(argv[1], L"show") == 0)
        return Show(control);
    fprintf(stderr, "usage: tarvinesvc_demo_units show\n");
    return 2;
}
