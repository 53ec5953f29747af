#include "SoundDeviceRecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Reads the record as the driver does: by byte offset, not through our structs.
template <typename Record>
uint32_t U32At(const Record& record, size_t offset)
{
    uint32_t value = 0;
    std::memcpy(&value, reinterpret_cast<const uint8_t*>(&record) + offset, sizeof(value));
    return value;
}

template <typename Record>
std::wstring TextAt(const Record& record, size_t offset, size_t bytes)
{
    const auto* text = reinterpret_cast<const wchar_t*>(reinterpret_cast<const uint8_t*>(&record) + offset);
    return std::wstring(text, wcsnlen(text, bytes / 2));
}

template <typename Record>
bool ZeroFrom(const Record& record, size_t offset, size_t end)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    for (size_t i = offset; i < end; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

constexpr size_t kPinInputs = 0;
constexpr size_t kPinOutputs = 4740;
constexpr size_t kPinEntry = 148;

TEST(EndpointRecord, SectionsFollowTheConfiguration)
{
    const struct {
        uint32_t render, capture;
        uint32_t outputs, inputs;
        const wchar_t* firstInput;
    } cases[] = {
        {0, 0, 8, 10, L"Tarvine Analog In 1/2"},
        {1, 0, 0, 10, L"Tarvine Analog In 1/2"},
        {0, 7, 8, 2, L"Tarvine Virtual In 1/2"},
        {1, 1, 0, 2, L"Tarvine Virtual In 1/2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "render " << c.render << " capture " << c.capture);
        VedraWdmPinNames record;
        std::memset(&record, 0xCC, sizeof(record)); // must be cleared, not merely overwritten
        BuildEndpointRecord(c.render, c.capture, record);
        EXPECT_EQ(c.inputs, U32At(record, kPinInputs));
        EXPECT_EQ(c.outputs, U32At(record, kPinOutputs));
        EXPECT_EQ(c.firstInput, TextAt(record, kPinInputs + 4 + 48, 88));
        // Everything behind the last entry of each section is zero.
        EXPECT_TRUE(ZeroFrom(record, kPinInputs + 4 + c.inputs * kPinEntry, kPinOutputs));
        EXPECT_TRUE(ZeroFrom(record, kPinOutputs + 4 + c.outputs * kPinEntry, sizeof(record)));
    }
}

TEST(EndpointRecord, EntriesAreByteExact)
{
    VedraWdmPinNames record;
    BuildEndpointRecord(0, 0, record);

    // Output pair 7 ("Tarvine Out 15/16"): a hardware pair.
    const size_t out7 = kPinOutputs + 4 + 7 * kPinEntry;
    EXPECT_EQ(1u, U32At(record, out7 + 0));           // kind
    EXPECT_EQ(1u, U32At(record, out7 + 4));           // one pair listed
    EXPECT_EQ(7u, U32At(record, out7 + 8));           // its index
    EXPECT_TRUE(ZeroFrom(record, out7 + 12, out7 + 40));
    EXPECT_EQ(0u, U32At(record, out7 + 40));          // volume mapping
    EXPECT_EQ(3u, U32At(record, out7 + 44));          // control flags
    EXPECT_EQ(L"Tarvine Out 15/16", TextAt(record, out7 + 48, 88));
    EXPECT_EQ(7u, U32At(record, out7 + 136));         // position
    EXPECT_EQ(0xFF800000u, U32At(record, out7 + 140)); // -128 dB
    EXPECT_EQ(0u, U32At(record, out7 + 144));

    // Input entry 9: the second virtual pair, after the eight analog pairs.
    const size_t in9 = kPinInputs + 4 + 9 * kPinEntry;
    EXPECT_EQ(40u, U32At(record, in9 + 0));
    EXPECT_EQ(1u, U32At(record, in9 + 4));
    EXPECT_EQ(1u, U32At(record, in9 + 8));
    EXPECT_EQ(0u, U32At(record, in9 + 44));
    EXPECT_EQ(L"Tarvine Virtual In 3/4", TextAt(record, in9 + 48, 88));
    EXPECT_EQ(9u, U32At(record, in9 + 136));
    EXPECT_EQ(0u, U32At(record, in9 + 140));
    // The name is zero-filled behind its text.
    EXPECT_TRUE(ZeroFrom(record, in9 + 48 + 2 * 22, in9 + 136));
}

constexpr size_t kChannelInputs = 0;
constexpr size_t kChannelOutputs = 3076;
constexpr size_t kChannelEntry = 96;

TEST(ChannelNameRecord, HardwareNamesOnlyWhenTheLayoutAllows)
{
    const struct {
        bool withHardware;
        uint32_t outputs, inputs;
        const wchar_t* lastInput;
    } cases[] = {
        {true, 16, 20, L"Tarvine Virtual In 4"},
        {false, 0, 4, L"Tarvine Virtual In 4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.withHardware);
        VedraWdmChannelNames record;
        std::memset(&record, 0xCC, sizeof(record));
        BuildChannelNameRecord(c.withHardware, record);
        EXPECT_EQ(c.inputs, U32At(record, kChannelInputs));
        EXPECT_EQ(c.outputs, U32At(record, kChannelOutputs));
        const size_t last = kChannelInputs + 4 + (c.inputs - 1) * kChannelEntry;
        EXPECT_EQ(40u, U32At(record, last));
        EXPECT_EQ(1u, U32At(record, last + 4)); // channel 3: pair 1
        EXPECT_EQ(1u, U32At(record, last + 8)); // second of the pair
        EXPECT_EQ(c.lastInput, TextAt(record, last + 12, 84));
        EXPECT_TRUE(ZeroFrom(record, kChannelInputs + 4 + c.inputs * kChannelEntry, kChannelOutputs));
        EXPECT_TRUE(ZeroFrom(record, kChannelOutputs + 4 + c.outputs * kChannelEntry, sizeof(record)));
    }
}

TEST(ChannelNameRecord, HardwareEntries)
{
    VedraWdmChannelNames record;
    BuildChannelNameRecord(true, record);
    const size_t out14 = kChannelOutputs + 4 + 14 * kChannelEntry;
    EXPECT_EQ(1u, U32At(record, out14));
    EXPECT_EQ(7u, U32At(record, out14 + 4));
    EXPECT_EQ(0u, U32At(record, out14 + 8));
    EXPECT_EQ(L"Tarvine Out 15", TextAt(record, out14 + 12, 84));
    const size_t in15 = kChannelInputs + 4 + 15 * kChannelEntry;
    EXPECT_EQ(L"Tarvine Analog In 16", TextAt(record, in15 + 12, 84));
    EXPECT_EQ(1u, U32At(record, in15 + 8));
    const size_t in16 = kChannelInputs + 4 + 16 * kChannelEntry;
    EXPECT_EQ(L"Tarvine Virtual In 1", TextAt(record, in16 + 12, 84));
    EXPECT_EQ(0u, U32At(record, in16 + 4));
}

TEST(ConfigurationRecords, VirtualChannelsAndLoopbackCrosspoints)
{
    VedraVirtualChannels channels;
    std::memset(&channels, 0xCC, sizeof(channels));
    BuildVirtualChannelRecord(channels);
    EXPECT_EQ(2u, U32At(channels, 0));
    EXPECT_EQ(40u, U32At(channels, 4));
    EXPECT_EQ(0u, U32At(channels, 8));
    EXPECT_EQ(40u, U32At(channels, 12));
    EXPECT_EQ(0u, U32At(channels, 16));
    EXPECT_TRUE(ZeroFrom(channels, 20, sizeof(channels)));

    Crosspoint crosspoints[kLoopbackCrosspointCount];
    std::memset(crosspoints, 0xCC, sizeof(crosspoints));
    BuildLoopbackCrosspoints(crosspoints);
    const auto* bytes = reinterpret_cast<const uint8_t*>(crosspoints);
    for (uint8_t k = 0; k < kLoopbackCrosspointCount; ++k) {
        SCOPED_TRACE(static_cast<int>(k));
        const uint8_t expected[12] = {5, k, 0, 0, 2, k, 0, 0, 0, 0, 1, 0};
        EXPECT_EQ(0, std::memcmp(expected, bytes + 12 * k, 12));
    }
}

} // namespace
