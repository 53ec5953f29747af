#include "VedraMessage.h"

#include <gtest/gtest.h>
#include <string.h>

namespace {

VedraMessage Filled(uint8_t byte)
{
    VedraMessage message;
    memset(&message, byte, sizeof(message));
    return message;
}

TEST(VedraMessage, InitClearsEverythingButTheHeader)
{
    VedraMessage message = Filled(0xAB);
    Init(message, VEDRA_MSG_REQUEST, VEDRA_REQ_SET_POLICY);
    EXPECT_EQ(32u, message.headerSize);
    EXPECT_EQ(1u, message.type);
    EXPECT_EQ(1005u, message.code);
    EXPECT_EQ(0u, message.payloadLength);
    EXPECT_EQ(0u, message.sequence);
    EXPECT_EQ(0u, message.route1);
    EXPECT_EQ(0u, message.route2);
    EXPECT_EQ(0u, message.status);
    for (uint8_t byte : message.payload)
        ASSERT_EQ(0u, byte);
}

TEST(VedraMessage, InitReplyCopiesSequenceAndRoutesOnly)
{
    VedraMessage request = Filled(0xCD);
    Init(request, VEDRA_MSG_REQUEST, VEDRA_REQ_SET_SAMPLE_RATE);
    request.sequence = 77;
    request.route1 = 0x1111;
    request.route2 = 0x2222;
    uint32_t rate = 48000;
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, WritePayload(request, &rate, sizeof(rate)));

    VedraMessage reply = Filled(0xEF);
    InitReply(reply, request, VEDRA_STATUS_INVALID_COMMAND);
    EXPECT_EQ(32u, reply.headerSize);
    EXPECT_EQ(0u, reply.payloadLength);
    EXPECT_EQ(2u, reply.type);
    EXPECT_EQ(2001u, reply.code);
    EXPECT_EQ(77u, reply.sequence);
    EXPECT_EQ(0x1111u, reply.route1);
    EXPECT_EQ(0x2222u, reply.route2);
    EXPECT_EQ(VEDRA_STATUS_INVALID_COMMAND, reply.status);
    for (uint8_t byte : reply.payload)
        ASSERT_EQ(0u, byte);
}

TEST(VedraMessage, WritePayloadOf513BytesLeavesTheMessageUnchanged)
{
    uint8_t source[513];
    memset(source, 0x5A, sizeof(source));
    VedraMessage message;
    Init(message, VEDRA_MSG_REQUEST, 1001);
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, WritePayload(message, source, 3));
    VedraMessage before = message;

    EXPECT_EQ(VEDRA_STATUS_INVALID_LENGTH, WritePayload(message, source, 513));
    EXPECT_EQ(0, memcmp(&before, &message, sizeof(message)));

    EXPECT_EQ(VEDRA_STATUS_SUCCESS, WritePayload(message, source, 512));
    EXPECT_EQ(512u, message.payloadLength);
    EXPECT_EQ(0x5A, message.payload[511]);
}

struct ReadCase {
    const char* what;
    uint32_t payloadLength;
    uint32_t size;
    VedraStatus expected;
    uint32_t bytesCopied;
};

TEST(VedraMessage, ReadPayloadExactChecksTheLength)
{
    const ReadCase cases[] = {
        {"8 bytes into 4", 8, 4, VEDRA_STATUS_INVALID_LENGTH, 0},
        {"2 bytes into 4", 2, 4, VEDRA_STATUS_INVALID_MSG_SIZE, 2},
        {"4 bytes into 4", 4, 4, VEDRA_STATUS_SUCCESS, 4},
        {"0 bytes into 1", 0, 1, VEDRA_STATUS_INVALID_MSG_SIZE, 0},
        // A length from the wire beyond the record must not be copied even
        // when the target had room for it.
        {"600 bytes into 600", 600, 600, VEDRA_STATUS_INVALID_LENGTH, 0},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        VedraMessage message;
        Init(message, VEDRA_MSG_NOTIFICATION, 3015);
        for (uint32_t i = 0; i < VEDRA_MESSAGE_PAYLOAD_SIZE; ++i)
            message.payload[i] = static_cast<uint8_t>(i + 1);
        message.payloadLength = c.payloadLength;
        uint8_t target[600];
        memset(target, 0xEE, sizeof(target));
        EXPECT_EQ(c.expected, ReadPayloadExact(message, target, c.size)) << StatusName(ReadPayloadExact(message, target, c.size));
        for (uint32_t i = 0; i < c.bytesCopied; ++i)
            EXPECT_EQ(i + 1, target[i]);
        EXPECT_EQ(0xEE, target[c.bytesCopied]);
    }
}

TEST(VedraMessage, ReadPayloadReportsTheLengthCopied)
{
    VedraMessage message;
    Init(message, VEDRA_MSG_REPLY, 12001);
    const char text[] = "abcdef";
    ASSERT_EQ(VEDRA_STATUS_SUCCESS, WritePayload(message, text, 6));
    char target[16] = {};
    uint32_t capacity = sizeof(target);
    EXPECT_EQ(VEDRA_STATUS_SUCCESS, ReadPayload(message, target, capacity));
    EXPECT_EQ(6u, capacity);
    EXPECT_STREQ("abcdef", target);

    uint32_t small = 5;
    EXPECT_EQ(VEDRA_STATUS_INVALID_LENGTH, ReadPayload(message, target, small));
    EXPECT_EQ(5u, small);
}

TEST(VedraMessage, SequenceSkipsZeroWhenItWraps)
{
    EXPECT_EQ(1u, NextSequence(0));
    EXPECT_EQ(2u, NextSequence(1));
    EXPECT_EQ(1u, NextSequence(0xFFFFFFFFu));
    EXPECT_EQ(0xFFFFFFFFu, NextSequence(0xFFFFFFFEu));
}

} // namespace
