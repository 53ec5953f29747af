// tarvinesim: drives the simulated driver and prints its state in a stable
// text form ("name: value" lines, one entry per line) for people and tests.
#include <windows.h>

#include <dbt.h>
#include <stdio.h>

#include <cwchar>
#include <string>
#include <vector>

#include "SimClient.h"
#include "WnServiceCtrl.h"

namespace {

const char* const kScenarios[VSIM_SCENARIO_COUNT] = {"none", "one", "two", "eight", "usb11", "kind2"};
const char* const kStates[] = {"undefined", "down", "ready", "prepared", "running", "error", "usb11"};

struct FunctionName {
    uint32_t function;
    const char* name;
};

const FunctionName kFunctions[] = {
    {0x801, "GET_INTERFACE_VERSION"}, {0x810, "SEND_MESSAGE"}, {0x811, "RECEIVE_MESSAGE"},
    {0x812, "RECEIVE_NOTIFICATION"}, {0x816, "SET_NOTIFICATION_EVENTS"}, {0x819, "REGISTER_ROLE"},
    {0x820, "GET_DEVICE_LIST"}, {0x821, "BIND_DEVICE"}, {0x824, "GET_ASIO_INPUT_CHANNELS"},
    {0x825, "GET_ASIO_OUTPUT_CHANNELS"}, {0x826, "GET_CHANNEL_INFO"}, {0x830, "GET_SAMPLE_RATE_INFO"},
    {0x831, "GET_BUFFER_SETTINGS"}, {0x834, "GET_STREAMING_STATUS"}, {0x835, "GET_STATUS_COUNTERS"},
    {0x840, "STREAMING_COMMAND"}, {0x900, "SET_SAMPLE_RATE"}, {0x901, "SET_BUFFER_SETTINGS"},
    {0x902, "ANNOUNCE_SAMPLE_RATE"}, {0x903, "SET_POLICY"}, {0x904, "GET_POLICY"},
    {0x910, "SELECT_STREAMING_DEVICE"}, {0xB00, "GET_CHANNEL_LAYOUT"}, {0xB08, "SET_VIRTUAL_CHANNELS"},
    {0xB10, "SET_WDM_CHANNEL_NAMES"}, {0xB11, "SET_WDM_PIN_NAMES"}, {0xB20, "GET_SPDIF_INPUT_STATUS"},
    {0xB21, "SET_SPDIF_PASS_THROUGH"}, {0xB22, "GET_SPDIF_PASS_THROUGH"}, {0xB30, "GET_SOURCE_LEVELS"},
    {0xB31, "GET_DESTINATION_LEVELS"}, {0xB38, "GET_MIXER_PINS"}, {0xB40, "GET_PIN_GAINS"},
    {0xB41, "GET_CROSSPOINTS"}, {0xB44, "SET_PIN_GAINS"}, {0xB45, "SET_CROSSPOINTS"},
    {0xB46, "SET_BYPASS_VOLUME"}, {0xB47, "GET_BYPASS_VOLUME"}, {0xB48, "SET_BYPASS_MUTE"},
    {0xB49, "GET_BYPASS_MUTE"}, {0xB70, "GET_ENDPOINT_VOLUME"}, {0xB71, "SET_ENDPOINT_VOLUME"},
    {0xB90, "SET_EFFECT_PARAMETERS"}, {0xB91, "GET_EFFECT_PARAMETERS"}, {0xC20, "SET_CONTROL_VALUE"},
    {0xC22, "SET_CONTROL_SWITCH"},
};

const char* FunctionText(uint32_t code)
{
    if ((code & 0xFFFF0003u) != 0x80880000u)
        return "?";
    uint32_t function = (code >> 2) & 0xFFFu;
    for (const FunctionName& f : kFunctions)
        if (f.function == function)
            return f.name;
    return "?";
}

std::string StatusText(uint32_t status)
{
#define VEDRA_STATUS_NAME(name, value) \
    if (status == value)               \
        return "VEDRA_STATUS_" #name;
    VEDRA_STATUS_LIST(VEDRA_STATUS_NAME)
#undef VEDRA_STATUS_NAME
    char text[32];
    snprintf(text, sizeof(text), "0x%08X", (unsigned)status);
    return text;
}

std::string Utf8(const wchar_t* text, size_t capacity)
{
    size_t n = 0;
    while (n < capacity && text[n] != 0)
        ++n;
    if (n == 0)
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text, (int)n, nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, (int)n, &out[0], size, nullptr, nullptr);
    return out;
}

std::string Narrow(const wchar_t* text)
{
    return Utf8(text, wcslen(text));
}

bool ParseNumber(const wchar_t* text, uint32_t& value)
{
    wchar_t* end = nullptr;
    unsigned long v = wcstoul(text, &end, 0);
    if (end == text || *end != 0)
        return false;
    value = (uint32_t)v;
    return true;
}

// Decibels with up to two decimals ("-6", "-6.5", "0.25") in 1/100 dB.
bool ParseCentiDb(const wchar_t* text, int32_t& value)
{
    wchar_t* end = nullptr;
    double v = wcstod(text, &end);
    if (end == text || *end != 0)
        return false;
    value = (int32_t)(v * 100.0 + (v < 0 ? -0.5 : 0.5));
    return true;
}

bool ParseStatus(const wchar_t* text, uint32_t& status)
{
    std::string name = Narrow(text);
#define VEDRA_STATUS_MATCH(n, value)                                  \
    if (name == "VEDRA_STATUS_" #n || name == #n) {                   \
        status = value;                                               \
        return true;                                                  \
    }
    VEDRA_STATUS_LIST(VEDRA_STATUS_MATCH)
#undef VEDRA_STATUS_MATCH
    return ParseNumber(text, status);
}

bool ParseFunction(const wchar_t* text, uint32_t& function)
{
    std::string name = Narrow(text);
    for (const FunctionName& f : kFunctions)
        if (name == f.name) {
            function = f.function;
            return true;
        }
    return ParseNumber(text, function);
}

// key=value argument; false when the argument has another key.
bool KeyValue(const wchar_t* arg, const wchar_t* key, const wchar_t*& value)
{
    size_t n = wcslen(key);
    if (wcsncmp(arg, key, n) != 0 || arg[n] != L'=')
        return false;
    value = arg + n + 1;
    return true;
}

int Fail(const char* what, uint32_t status)
{
    fprintf(stderr, "tarvinesim: %s failed: %s\n", what, StatusText(status).c_str());
    return 1;
}

int Usage()
{
    fprintf(stderr,
            "usage: tarvinesim COMMAND [ARGS]\n"
            "  status                         driver-wide state\n"
            "  units                          the device list as the driver keeps it\n"
            "  unit N                         one unit in detail\n"
            "  connections                    open connections\n"
            "  reset [none|one|two|eight|usb11|kind2]\n"
            "  plug [usb11] [effect] [kind2] [nospdif] [serial=S] [model=N] [variant=N]\n"
            "  unplug N | replug N\n"
            "  streams [demandA=N] [inUseA=N] [inUseB=N] [demandB=N] [demandC=N]\n"
            "  asio open|start|stop|close     an ASIO host (demandA, inUseA)\n"
            "  wdm open|close                 a WDM stream (inUseB, demandB)\n"
            "  midi open|close                a MIDI stream (demandC)\n"
            "  volume N ENDPOINT DB [mute]    the Windows mixer changes an endpoint volume\n"
            "  spdif N none|nosignal|sync|locked [pcm RATE|nonpcm|unknown]|notstreaming\n"
            "  counters STREAMING FIFO ASIO WDM MIDI   add to the error counters\n"
            "  topology N DESTINATIONS INPUTS PLAYBACK\n"
            "  signal N inputs|playback CHANNEL|all DB [WOBBLE_DB]\n"
            "  error                          streaming breaks down (state 5)\n"
            "  fault FUNCTION [fail=N] [status=S] [delay=MS]   FUNCTION: number or name\n"
            "  faults clear\n"
            "  malform [devcount] [rates] [layout] [channels] [text] [major3] | malform off\n"
            "  journal [FROM]                 product requests from sequence FROM on\n"
            "  record N virtual|channelnames|pinnames|endpoint I|effect|layout\n"
            "  meters N                       the unit's mixer pins with their levels now (dB)\n"
            "  announce                       the device interface arrives again\n"
            "  start                          start the driver service, then announce\n");
    return 2;
}

class Tool {
public:
    int Run(int argc, wchar_t** argv);

private:
    int Status();
    int Units();
    int Unit(uint32_t index);
    int Connections();
    int Reset(int argc, wchar_t** argv);
    int Plug(int argc, wchar_t** argv);
    int Unplug(uint32_t index, bool replug);
    int Streams(int argc, wchar_t** argv);
    int Player(const std::wstring& kind, const std::wstring& action);
    int Volume(int argc, wchar_t** argv);
    int Spdif(int argc, wchar_t** argv);
    int Counters(int argc, wchar_t** argv);
    int Topology(int argc, wchar_t** argv);
    int Signal(int argc, wchar_t** argv);
    int Fault(int argc, wchar_t** argv);
    int Malform(int argc, wchar_t** argv);
    int Journal(int argc, wchar_t** argv);
    int Record(int argc, wchar_t** argv);
    int Meters(uint32_t index);
    int Start();
    int Simple(uint32_t code, const char* what);

    SimClient c_;
};

int Tool::Run(int argc, wchar_t** argv)
{
    if (argc < 2)
        return Usage();
    std::wstring command = argv[1];
    if (command == L"start")
        return Start();
    uint32_t error = c_.Open();
    if (error != 0) {
        fprintf(stderr, "tarvinesim: the simulated driver is not running (error %u)\n", (unsigned)error);
        return 1;
    }
    int n = argc - 2;
    wchar_t** args = argv + 2;
    uint32_t index = 0;
    if (command == L"status")
        return Status();
    if (command == L"units")
        return Units();
    if (command == L"unit" && n == 1 && ParseNumber(args[0], index))
        return Unit(index);
    if (command == L"connections")
        return Connections();
    if (command == L"reset")
        return Reset(n, args);
    if (command == L"plug")
        return Plug(n, args);
    if ((command == L"unplug" || command == L"replug") && n == 1 && ParseNumber(args[0], index))
        return Unplug(index, command == L"replug");
    if (command == L"streams")
        return Streams(n, args);
    if ((command == L"asio" || command == L"wdm" || command == L"midi") && n == 1)
        return Player(command, args[0]);
    if (command == L"volume")
        return Volume(n, args);
    if (command == L"spdif")
        return Spdif(n, args);
    if (command == L"counters")
        return Counters(n, args);
    if (command == L"topology")
        return Topology(n, args);
    if (command == L"signal")
        return Signal(n, args);
    if (command == L"error")
        return Simple(VSIM_IOCTL_STREAM_ERROR, "error");
    if (command == L"fault")
        return Fault(n, args);
    if (command == L"faults" && n == 1 && std::wstring(args[0]) == L"clear")
        return Simple(VSIM_IOCTL_CLEAR_FAULTS, "faults clear");
    if (command == L"malform")
        return Malform(n, args);
    if (command == L"journal")
        return Journal(n, args);
    if (command == L"record")
        return Record(n, args);
    if (command == L"announce")
        return Simple(VSIM_IOCTL_ANNOUNCE, "announce");
    if (command == L"meters" && n == 1 && ParseNumber(args[0], index))
        return Meters(index);
    return Usage();
}

int Tool::Simple(uint32_t code, const char* what)
{
    uint32_t status = c_.Request(code, nullptr, 0, nullptr, 0);
    if (status != 0)
        return Fail(what, status);
    printf("ok\n");
    return 0;
}

int Tool::Status()
{
    VedraSimState s;
    uint32_t status = sim::GetState(c_, s);
    if (status != 0)
        return Fail("status", status);
    const VedraStreamingStatus& st = s.streaming;
    printf("scenario: %s\n", s.scenario < VSIM_SCENARIO_COUNT ? kScenarios[s.scenario] : "?");
    printf("units: %u\n", s.unitCount);
    printf("connections: %u\n", s.connectionCount);
    printf("server connection: %u\n", s.serverConnection);
    printf("state: %u (%s)\n", st.state, st.state <= 6 ? kStates[st.state] : "?");
    printf("selection mode: %u (%s)\n", st.selectionMode, st.selectionMode == 1 ? "all units" : "one unit");
    printf("selected unit: %08X:%08X\n", s.selected.low, s.selected.high);
    printf("sample rate: %u\n", st.sampleRate);
    printf("announced rate: %u\n", s.announcedRate);
    printf("streams: demandA=%u inUseA=%u inUseB=%u demandB=%u demandC=%u\n", st.demandA, st.inUseA, st.inUseB,
           st.demandB, st.demandC);
    printf("buffers: streaming=%u asio=%u reserved=0x%08X\n", s.streamingBufferSize, s.asioBufferSize,
           s.bufferReserved);
    printf("policy: 0x%08X\n", s.policy);
    printf("counters: streaming=%u fifo=%u asio=%u wdmAudio=%u wdmMidi=%u\n", s.counters.streamingErrors,
           s.counters.fifoErrors, s.counters.asioErrors, s.counters.wdmAudioErrors, s.counters.wdmMidiErrors);
    printf("journal next: %u\n", s.journalNext);
    printf("dropped replies: %u\n", s.droppedReplies);
    printf("lost notifications: %u\n", s.lostNotifications);
    printf("malformed: 0x%02X\n", s.malformed);
    printf("faults: %u\n", s.faultCount);
    printf("device interface: %s (0x%08X)\n", s.interfaceEnabled ? "announced" : "not announced", s.interfaceStatus);
    return 0;
}

void PrintEntry(uint32_t i, const VedraDeviceEntry& e)
{
    printf("unit %u: id=%08X:%08X model=0x%04X variant=%u serial=%s name=%s port=%s effect=%s streaming=%s\n", i,
           e.id.low, e.id.high, e.model, e.variant, Utf8(e.serialNumber, VEDRA_SERIAL_NUMBER_CHARS).c_str(),
           Utf8(e.name, VEDRA_DEVICE_NAME_CHARS).c_str(), (e.portFlags & VEDRA_PORT_HIGH_SPEED) ? "high-speed" : "usb1.1",
           (e.featureFlags & VEDRA_FEATURE_EFFECT) ? "yes" : "no", (e.streamFlags & VEDRA_STREAM_SELECTED) ? "yes" : "no");
}

int Tool::Units()
{
    VedraSimState s;
    uint32_t status = sim::GetState(c_, s);
    if (status != 0)
        return Fail("units", status);
    printf("units: %u\n", s.unitCount);
    for (uint32_t i = 0; i < s.unitCount && i < VEDRA_MAX_DEVICES; ++i) {
        VedraSimUnitState u;
        status = sim::GetUnit(c_, i, u);
        if (status != 0)
            return Fail("units", status);
        PrintEntry(i, u.entry);
    }
    return 0;
}

int Tool::Unit(uint32_t index)
{
    VedraSimUnitState u;
    uint32_t status = sim::GetUnit(c_, index, u);
    if (status != 0)
        return Fail("unit", status);
    PrintEntry(index, u.entry);
    if (u.flags & VSIM_UNIT_NO_SPDIF)
        printf("spdif: none\n");
    else
        printf("spdif: lock=%u format=%u rate=%u\n", u.spdif.lockState, u.spdif.format, u.spdif.sampleRate);
    printf("pass-through: %u\n", u.passThrough);
    printf("bypass volume: %u\n", u.bypassVolume);
    printf("bypass mute: %u\n", u.bypassMute);
    printf("channel layout kind 2: %s\n", (u.flags & VSIM_UNIT_KIND2) ? "yes" : "no");
    printf("mixer pins: destinations=%u inputs=%u playback=%u\n", u.destinations, u.inputSources, u.playbackSources);
    printf("control switches:");
    for (uint32_t v : u.controlSwitch)
        printf(" %u", v);
    printf("\ncontrol values:");
    for (uint32_t v : u.controlValue)
        printf(" %u", v);
    printf("\n");
    return 0;
}

int Tool::Connections()
{
    VedraSimConnectionList list;
    uint32_t status = sim::GetConnections(c_, list);
    if (status != 0)
        return Fail("connections", status);
    printf("connections: %u\n", list.total);
    for (uint32_t i = 0; i < list.count && i < VSIM_MAX_LISTED_CONNECTIONS; ++i) {
        const VedraSimConnection& k = list.connections[i];
        char role[16];
        if (k.role == VSIM_NO_ROLE)
            snprintf(role, sizeof(role), "none");
        else
            snprintf(role, sizeof(role), "%u", k.role);
        printf("connection %u: pid=%u role=%s events=%s%s bound=%08X:%08X messages=%u notifications=%u refused=%u "
               "lost=%u pending=%u\n",
               k.number, k.processId, role, (k.flags & VSIM_CONN_MESSAGE_EVENT) ? "M" : "-",
               (k.flags & VSIM_CONN_NOTIFICATION_EVENT) ? "N" : "-", k.bound.low, k.bound.high, k.messagesQueued,
               k.notificationsQueued, k.messagesRefused, k.notificationsLost, k.pendingRequests);
    }
    return 0;
}

int Tool::Reset(int argc, wchar_t** argv)
{
    uint32_t scenario = VSIM_SCENARIO_ONE;
    if (argc > 1)
        return Usage();
    if (argc == 1) {
        std::string name = Narrow(argv[0]);
        scenario = VSIM_SCENARIO_COUNT;
        for (uint32_t i = 0; i < VSIM_SCENARIO_COUNT; ++i)
            if (name == kScenarios[i])
                scenario = i;
        if (scenario == VSIM_SCENARIO_COUNT)
            return Usage();
    }
    uint32_t status = sim::Reset(c_, scenario);
    if (status != 0)
        return Fail("reset", status);
    printf("scenario: %s\n", kScenarios[scenario]);
    return 0;
}

int Tool::Plug(int argc, wchar_t** argv)
{
    VedraSimUnitSpec unitSpec = {};
    for (int i = 0; i < argc; ++i) {
        std::wstring a = argv[i];
        const wchar_t* value = nullptr;
        uint32_t number = 0;
        if (a == L"usb11")
            unitSpec.flags |= VSIM_UNIT_USB11;
        else if (a == L"effect")
            unitSpec.flags |= VSIM_UNIT_EFFECT;
        else if (a == L"kind2")
            unitSpec.flags |= VSIM_UNIT_KIND2;
        else if (a == L"nospdif")
            unitSpec.flags |= VSIM_UNIT_NO_SPDIF;
        else if (KeyValue(argv[i], L"serial", value))
            wcsncpy(unitSpec.serialNumber, value, VEDRA_SERIAL_NUMBER_CHARS - 1);
        else if (KeyValue(argv[i], L"model", value) && ParseNumber(value, number))
            unitSpec.model = (uint16_t)number;
        else if (KeyValue(argv[i], L"variant", value) && ParseNumber(value, number))
            unitSpec.variant = (uint16_t)number;
        else
            return Usage();
    }
    VedraDeviceId id = {};
    uint32_t status = c_.Request(VSIM_IOCTL_PLUG, &unitSpec, sizeof(unitSpec), &id, sizeof(id));
    if (status != 0)
        return Fail("plug", status);
    printf("plugged: %08X:%08X\n", id.low, id.high);
    return 0;
}

int Tool::Unplug(uint32_t index, bool replug)
{
    VedraSimUnitRef ref = {index};
    VedraDeviceId id = {};
    uint32_t status = c_.Request(replug ? VSIM_IOCTL_REPLUG : VSIM_IOCTL_UNPLUG, &ref, sizeof(ref), replug ? &id : nullptr,
                                 replug ? sizeof(id) : 0);
    if (status != 0)
        return Fail(replug ? "replug" : "unplug", status);
    if (replug)
        printf("replugged: %08X:%08X\n", id.low, id.high);
    else
        printf("unplugged: %u\n", index);
    return 0;
}

int Tool::Streams(int argc, wchar_t** argv)
{
    VedraSimState s;
    uint32_t status = sim::GetState(c_, s);
    if (status != 0)
        return Fail("streams", status);
    VedraSimStreams streams = {s.streaming.demandA, s.streaming.inUseA, s.streaming.inUseB, s.streaming.demandB,
                               s.streaming.demandC};
    struct {
        const wchar_t* key;
        uint32_t* field;
    } keys[] = {{L"demandA", &streams.demandA}, {L"inUseA", &streams.inUseA}, {L"inUseB", &streams.inUseB},
                {L"demandB", &streams.demandB}, {L"demandC", &streams.demandC}};
    for (int i = 0; i < argc; ++i) {
        bool matched = false;
        for (auto& k : keys) {
            const wchar_t* value = nullptr;
            if (KeyValue(argv[i], k.key, value) && ParseNumber(value, *k.field))
                matched = true;
        }
        if (!matched)
            return Usage();
    }
    status = sim::SetStreams(c_, streams);
    if (status != 0)
        return Fail("streams", status);
    printf("streams: demandA=%u inUseA=%u inUseB=%u demandB=%u demandC=%u\n", streams.demandA, streams.inUseA,
           streams.inUseB, streams.demandB, streams.demandC);
    return 0;
}

// An application opening and closing streams: ASIO hosts want streaming
// when they load (demandA) and use the device once started (inUseA); a WDM
// stream uses the device (inUseB) and wants streaming (demandB); MIDI wants
// streaming (demandC).
int Tool::Player(const std::wstring& kind, const std::wstring& action)
{
    VedraSimState s;
    uint32_t status = sim::GetState(c_, s);
    if (status != 0)
        return Fail(Narrow(kind.c_str()).c_str(), status);
    VedraSimStreams t = {s.streaming.demandA, s.streaming.inUseA, s.streaming.inUseB, s.streaming.demandB,
                         s.streaming.demandC};
    auto dec = [](uint32_t& v) { v = v > 0 ? v - 1 : 0; };
    if (kind == L"asio" && action == L"open") {
        t.demandA++;
    } else if (kind == L"asio" && action == L"start") {
        t.inUseA++;
    } else if (kind == L"asio" && action == L"stop") {
        dec(t.inUseA);
    } else if (kind == L"asio" && action == L"close") {
        dec(t.demandA);
    } else if (kind == L"wdm" && action == L"open") {
        t.inUseB++;
        t.demandB++;
    } else if (kind == L"wdm" && action == L"close") {
        dec(t.inUseB);
        dec(t.demandB);
    } else if (kind == L"midi" && action == L"open") {
        t.demandC++;
    } else if (kind == L"midi" && action == L"close") {
        dec(t.demandC);
    } else {
        return Usage();
    }
    status = sim::SetStreams(c_, t);
    if (status != 0)
        return Fail(Narrow(kind.c_str()).c_str(), status);
    printf("streams: demandA=%u inUseA=%u inUseB=%u demandB=%u demandC=%u\n", t.demandA, t.inUseA, t.inUseB,
           t.demandB, t.demandC);
    return 0;
}

int Tool::Volume(int argc, wchar_t** argv)
{
    uint32_t index = 0, endpoint = 0;
    int32_t centiDb = 0;
    if (argc < 3 || argc > 4 || !ParseNumber(argv[0], index) || !ParseNumber(argv[1], endpoint) ||
        !ParseCentiDb(argv[2], centiDb) || (argc == 4 && std::wstring(argv[3]) != L"mute"))
        return Usage();
    VedraSimEndpointVolume change = {};
    change.unitIndex = index;
    change.volume.kind = VEDRA_ENDPOINT_KIND_OUTPUT;
    change.volume.index = endpoint;
    int32_t volume = (int32_t)((int64_t)centiDb * 65536 / 100);
    for (uint32_t ch = 0; ch < 2; ++ch) {
        change.volume.volume[ch] = volume;
        change.volume.mute[ch] = argc == 4 ? 1 : 0;
    }
    uint32_t status = c_.Write(VSIM_IOCTL_SET_ENDPOINT_VOLUME, change);
    if (status != 0)
        return Fail("volume", status);
    printf("volume: unit=%u endpoint=%u value=%d mute=%u\n", index, endpoint, volume, argc == 4 ? 1u : 0u);
    return 0;
}

int Tool::Spdif(int argc, wchar_t** argv)
{
    uint32_t index = 0;
    if (argc < 2 || !ParseNumber(argv[0], index))
        return Usage();
    VedraSimSpdif s = {index, 1, 1, 0, 0};
    std::wstring state = argv[1];
    if (state == L"none")
        s.present = 0;
    else if (state == L"notstreaming")
        s.lockState = 0;
    else if (state == L"nosignal")
        s.lockState = 1;
    else if (state == L"sync")
        s.lockState = 2;
    else if (state == L"locked")
        s.lockState = 3;
    else
        return Usage();
    if (argc > 2) {
        std::wstring format = argv[2];
        if (state != L"locked")
            return Usage();
        if (format == L"pcm" && argc == 4 && ParseNumber(argv[3], s.sampleRate))
            s.format = 1;
        else if (format == L"nonpcm" && argc == 3)
            s.format = 2;
        else if (format == L"unknown" && argc == 3)
            s.format = 0;
        else
            return Usage();
    }
    uint32_t status = c_.Write(VSIM_IOCTL_SET_SPDIF, s);
    if (status != 0)
        return Fail("spdif", status);
    printf("spdif: unit=%u present=%u lock=%u format=%u rate=%u\n", index, s.present, s.lockState, s.format,
           s.sampleRate);
    return 0;
}

int Tool::Counters(int argc, wchar_t** argv)
{
    VedraStatusCounters add = {};
    uint32_t* fields[] = {&add.streamingErrors, &add.fifoErrors, &add.asioErrors, &add.wdmAudioErrors,
                          &add.wdmMidiErrors};
    if (argc != 5)
        return Usage();
    for (int i = 0; i < 5; ++i)
        if (!ParseNumber(argv[i], *fields[i]))
            return Usage();
    uint32_t status = c_.Write(VSIM_IOCTL_BUMP_COUNTERS, add);
    if (status != 0)
        return Fail("counters", status);
    return Status();
}

int Tool::Topology(int argc, wchar_t** argv)
{
    VedraSimTopology t = {};
    if (argc != 4 || !ParseNumber(argv[0], t.unitIndex) || !ParseNumber(argv[1], t.destinations) ||
        !ParseNumber(argv[2], t.inputSources) || !ParseNumber(argv[3], t.playbackSources))
        return Usage();
    uint32_t status = c_.Write(VSIM_IOCTL_SET_TOPOLOGY, t);
    if (status != 0)
        return Fail("topology", status);
    printf("topology: unit=%u destinations=%u inputs=%u playback=%u\n", t.unitIndex, t.destinations, t.inputSources,
           t.playbackSources);
    return 0;
}

int Tool::Signal(int argc, wchar_t** argv)
{
    VedraSimSignal s = {};
    if (argc < 4 || argc > 5 || !ParseNumber(argv[0], s.unitIndex))
        return Usage();
    std::wstring group = argv[1];
    if (group == L"inputs")
        s.group = MIXER_GROUP_INPUT_SOURCES;
    else if (group == L"playback")
        s.group = MIXER_GROUP_PLAYBACK_SOURCES;
    else
        return Usage();
    if (std::wstring(argv[2]) == L"all")
        s.channel = VSIM_ALL_CHANNELS;
    else if (!ParseNumber(argv[2], s.channel))
        return Usage();
    int32_t wobble = 0;
    if (!ParseCentiDb(argv[3], s.level) || (argc == 5 && !ParseCentiDb(argv[4], wobble)) || wobble < 0)
        return Usage();
    s.wobble = (uint32_t)wobble;
    uint32_t status = c_.Write(VSIM_IOCTL_SET_SIGNAL, s);
    if (status != 0)
        return Fail("signal", status);
    printf("signal: unit=%u group=%u channel=%d level=%d wobble=%u\n", s.unitIndex, s.group, (int)s.channel, s.level,
           s.wobble);
    return 0;
}

int Tool::Fault(int argc, wchar_t** argv)
{
    VedraSimFault f = {};
    if (argc < 1 || !ParseFunction(argv[0], f.function))
        return Usage();
    f.failStatus = VEDRA_STATUS_FAILED;
    for (int i = 1; i < argc; ++i) {
        const wchar_t* value = nullptr;
        if (KeyValue(argv[i], L"fail", value) && ParseNumber(value, f.failCount))
            continue;
        if (KeyValue(argv[i], L"status", value) && ParseStatus(value, f.failStatus))
            continue;
        if (KeyValue(argv[i], L"delay", value) && ParseNumber(value, f.delayMs))
            continue;
        return Usage();
    }
    uint32_t status = c_.Write(VSIM_IOCTL_SET_FAULT, f);
    if (status != 0)
        return Fail("fault", status);
    printf("fault: function=0x%03X fail=%u status=%s delay=%u\n", f.function, f.failCount,
           StatusText(f.failStatus).c_str(), f.delayMs);
    return 0;
}

int Tool::Malform(int argc, wchar_t** argv)
{
    struct {
        const wchar_t* name;
        uint32_t flag;
    } names[] = {{L"devcount", VSIM_MALFORMED_DEVICE_COUNT}, {L"rates", VSIM_MALFORMED_RATE_COUNT},
                 {L"layout", VSIM_MALFORMED_LAYOUT_BLOCKS},  {L"channels", VSIM_MALFORMED_CHANNEL_COUNT},
                 {L"text", VSIM_MALFORMED_TEXT},             {L"major3", VSIM_MALFORMED_INTERFACE}};
    uint32_t flags = 0;
    for (int i = 0; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"off")
            continue;
        bool known = false;
        for (auto& n : names)
            if (std::wstring(argv[i]) == n.name) {
                flags |= n.flag;
                known = true;
            }
        if (!known)
            return Usage();
    }
    uint32_t status = c_.Write(VSIM_IOCTL_SET_MALFORMED, flags);
    if (status != 0)
        return Fail("malform", status);
    printf("malformed: 0x%02X\n", flags);
    return 0;
}

int Tool::Journal(int argc, wchar_t** argv)
{
    uint32_t from = 0;
    if (argc > 1 || (argc == 1 && !ParseNumber(argv[0], from)))
        return Usage();
    std::vector<VedraSimJournalEntry> entries;
    uint32_t status = sim::ReadJournal(c_, from, entries);
    if (status != 0)
        return Fail("journal", status);
    for (const VedraSimJournalEntry& e : entries) {
        char role[16];
        if (e.role == VSIM_NO_ROLE)
            snprintf(role, sizeof(role), "none");
        else
            snprintf(role, sizeof(role), "%u", e.role);
        printf("%u conn=%u role=%s pid=%u code=0x%08X %s in=%u out=%u status=%s returned=%u input=", e.sequence,
               e.connection, role, e.processId, e.code, FunctionText(e.code), e.inputLength, e.outputLength,
               StatusText(e.status).c_str(), e.bytesReturned);
        uint32_t shown = e.inputLength < VSIM_JOURNAL_INPUT_BYTES ? e.inputLength : VSIM_JOURNAL_INPUT_BYTES;
        for (uint32_t i = 0; i < shown; ++i)
            printf("%02X", e.input[i]);
        if (shown < e.inputLength)
            printf("...");
        printf("\n");
    }
    return 0;
}

int Tool::Record(int argc, wchar_t** argv)
{
    uint32_t index = 0;
    uint32_t which = 0;
    if (argc < 2 || !ParseNumber(argv[0], index))
        return Usage();
    std::wstring kind = argv[1];
    uint32_t recordKind = 0;
    if (kind == L"virtual")
        recordKind = VSIM_RECORD_VIRTUAL_CHANNELS;
    else if (kind == L"channelnames")
        recordKind = VSIM_RECORD_WDM_CHANNEL_NAMES;
    else if (kind == L"pinnames")
        recordKind = VSIM_RECORD_WDM_PIN_NAMES;
    else if (kind == L"endpoint" && argc == 3 && ParseNumber(argv[2], which))
        recordKind = VSIM_RECORD_ENDPOINT_VOLUME;
    else if (kind == L"effect")
        recordKind = VSIM_RECORD_EFFECT;
    else if (kind == L"layout")
        recordKind = VSIM_RECORD_CHANNEL_LAYOUT;
    else
        return Usage();
    VedraSimRecordHeader header;
    std::vector<uint8_t> bytes;
    uint32_t status = sim::ReadRecord(c_, index, recordKind, which, header, bytes);
    if (status != 0)
        return Fail("record", status);
    printf("record: kind=%u writes=%u size=%u\n", header.kind, header.writes, header.size);
    for (size_t at = 0; at < bytes.size(); at += 16) {
        printf("%04X:", (unsigned)at);
        for (size_t i = at; i < at + 16 && i < bytes.size(); ++i)
            printf(" %02X", bytes[i]);
        printf("\n");
    }
    return 0;
}

// Reads the levels as the panel's mixer does: a connection bound to the
// unit, the pins of each group, then their levels (these are product
// requests, so they appear in the journal).
int Tool::Meters(uint32_t index)
{
    VedraSimUnitState u;
    uint32_t status = sim::GetUnit(c_, index, u);
    if (status != 0)
        return Fail("meters", status);
    SimClient unit;
    status = unit.Open();
    if (status == 0)
        status = unit.Write(VEDRA_IOCTL_BIND_DEVICE, u.entry.id);
    if (status != 0)
        return Fail("meters", status);
    const char* groups[3] = {"destination", "input", "playback"};
    const char* kinds[6] = {"analog", "spdif", "playback", "spdif-playback", "?", "virtual"};
    for (uint32_t group = 0; group < 3; ++group) {
        MixerPin pins[VSIM_MAX_DESTINATIONS] = {};
        uint32_t bytes = 0;
        status = unit.Request(VEDRA_IOCTL_GET_MIXER_PINS, &group, 4, pins, sizeof(pins), &bytes);
        if (status != 0)
            return Fail("meters", status);
        uint32_t count = bytes / sizeof(MixerPin);
        if (count > VSIM_MAX_DESTINATIONS)
            count = VSIM_MAX_DESTINATIONS;
        if (count == 0)
            continue;
        PinLevel levels[VSIM_MAX_DESTINATIONS] = {};
        for (uint32_t i = 0; i < count; ++i)
            levels[i].pin = pins[i];
        uint32_t code = group == 0 ? VEDRA_IOCTL_GET_DESTINATION_LEVELS : VEDRA_IOCTL_GET_SOURCE_LEVELS;
        uint32_t size = count * (uint32_t)sizeof(PinLevel);
        status = unit.Request(code, levels, size, levels, size);
        if (status != 0)
            return Fail("meters", status);
        for (uint32_t i = 0; i < count; ++i) {
            int level = levels[i].level;
            printf("%s %s %u: %s%d.%02d dB\n", groups[group], pins[i].kind < 6 ? kinds[pins[i].kind] : "?",
                   pins[i].channel + 1, level < 0 ? "-" : "", (level < 0 ? -level : level) / 100,
                   (level < 0 ? -level : level) % 100);
        }
    }
    return 0;
}

// Starts the driver service through the service control manager; the
// driver announces its interface itself when it starts.
int Tool::Start()
{
    WnServiceCtrlMgr manager;
    uint32_t error = manager.Open(nullptr, SC_MANAGER_CONNECT);
    if (error != 0) {
        fprintf(stderr, "tarvinesim: OpenSCManager failed: %u\n", error);
        return 1;
    }
    WnServiceCtrl service;
    error = service.Open(manager, L"vedrasim", SERVICE_START | SERVICE_QUERY_STATUS);
    if (error == 0 && !StartServiceW(service.Get(), 0, nullptr)) {
        error = GetLastError();
        if (error == ERROR_SERVICE_ALREADY_RUNNING)
            error = 0;
    }
    if (error != 0) {
        fprintf(stderr, "tarvinesim: starting the driver failed: %u\n", error);
        return 1;
    }
    for (int i = 0; i < 100 && c_.Open() != 0; ++i)
        Sleep(50);
    if (!c_.IsOpen()) {
        fprintf(stderr, "tarvinesim: the driver did not come up\n");
        return 1;
    }
    return Simple(VSIM_IOCTL_ANNOUNCE, "announce");
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Tool tool;
    return tool.Run(argc, argv);
}
