// Line building: bytes in chunks of any size become lines ended by CR.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errors/error_codes.h"
#include "fake_protocol_io.h"
#include "session/line_builder.h"

namespace {

using Commands = std::vector<std::string>;

int Feed(const std::string& bytes)
{
    return FeedReceivedBytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<unsigned>(bytes.size()));
}

TEST(LineBuilder, EmptyReadFeedsNothing)
{
    StartSession();
    EXPECT_EQ(FeedReceivedBytes(nullptr, 0), 1);
    EXPECT_EQ(Feed(""), 1);
    EXPECT_TRUE(fake.events.empty());
}

TEST(LineBuilder, LineSpreadOverChunksIsHandledOnceWhole)
{
    StartSession();
    const std::string line = RecordLine(0, "hello");
    for (char c : line) ASSERT_EQ(Feed(std::string(1, c)), 1);
    EXPECT_EQ(fake.delivered, "hello");
    EXPECT_EQ(fake.commands, Commands({"ACK\r"}));
}

TEST(LineBuilder, PartialLineIsKeptZeroTerminated)
{
    StartSession();
    Feed("AC");
    EXPECT_EQ(sessionState.lineLength, 2);
    EXPECT_EQ(sessionState.lineBuffer[2], 0);
    EXPECT_TRUE(fake.events.empty()) << "nothing is handled before the CR";
    Feed("K\r");
    EXPECT_EQ(fake.openCalls, 1);
}

TEST(LineBuilder, AckAndTheStartOfARecordInOneRead)
{
    StartSession();
    const std::string record = RecordLine(0, "abc");
    EXPECT_EQ(Feed("ACK\r" + record.substr(0, 3)), 1);
    EXPECT_EQ(fake.openCalls, 1);
    EXPECT_EQ(sessionState.lineLength, 3);
    EXPECT_EQ(Feed(record.substr(3)), 1);
    EXPECT_EQ(fake.delivered, "abc");
}

TEST(LineBuilder, SeveralLinesInOneReadAreHandledInOrder)
{
    StartSession();
    EXPECT_EQ(Feed("ACK\r" + RecordLine(0, "one") + RecordLine(1, "two") + RecordLine(2, "three")), 1);
    EXPECT_EQ(fake.deliveries, Commands({"one", "two", "three"}));
    EXPECT_EQ(fake.events, Commands({"stop", "connected", "open", "status Receiving Data", "arm 1000",
                                     "stop", "write", "send ACK\r", "arm 1000",
                                     "stop", "write", "send ACK\r", "arm 1000",
                                     "stop", "write", "send ACK\r", "arm 1000"}));
}

TEST(LineBuilder, OverStopsTheChunkAndDropsWhatFollows)
{
    StartSession();
    EXPECT_EQ(Feed(RecordLine(0, "a") + "OVER\r" + RecordLine(1, "b") + "xy"), 0);
    EXPECT_EQ(fake.delivered, "a");
    EXPECT_EQ(fake.commands, Commands({"ACK\r"}));
}

TEST(LineBuilder, FailureStopsTheChunk)
{
    StartSession();
    const std::string bad = Bytes({0x00, 0x61, 0x00, 0x00, 0x0D});
    std::string chunk;
    for (int i = 0; i < 9; ++i) chunk += bad;
    EXPECT_EQ(Feed(chunk), ERR_TIMEOUT);
    EXPECT_EQ(fake.commands.size(), 6u);
}

TEST(LineBuilder, LongLineKeepsItsFirst1025BytesAndEndsAtTheCr)
{
    StartSession();
    std::string body(1030, 'x');
    body[0] = 0x00;
    EXPECT_EQ(Feed(body), 1);
    EXPECT_EQ(sessionState.lineLength, LINE_CAPACITY);
    EXPECT_EQ(sessionState.lineBuffer[LINE_CAPACITY], 0);
    EXPECT_EQ(Feed("\r"), 1);
    EXPECT_EQ(fake.commands, Commands({"NAK\r"})) << "refused by the checksum";
    EXPECT_EQ(sessionState.lineLength, 0);
}

TEST(LineBuilder, FullLineWithAGoodChecksumInItsLastBytesIsAccepted)
{
    // 1021 data bytes make a record of exactly 1025 bytes with its CR. When
    // the CR comes late, the bytes after the 1025th are dropped and the last
    // stored byte stands where the CR would be.
    StartSession();
    std::string data(1021, 'd');
    std::string line = RecordLine(0, data);
    ASSERT_EQ(line.size(), 1025u);
    EXPECT_EQ(Feed(line), 1);
    EXPECT_EQ(fake.deliveries, Commands({data}));

    StartSession();
    std::string stored = line.substr(0, 1024) + "z";   // the 1025th stored byte replaces the CR
    EXPECT_EQ(Feed(stored + "dropped" + "\r"), 1);
    EXPECT_EQ(fake.deliveries, Commands({data}));
}

TEST(LineBuilder, NextLineStartsCleanAfterALongOne)
{
    StartSession();
    EXPECT_EQ(Feed(std::string(2000, '\x05') + "\r" + RecordLine(0, "ok")), 1);
    EXPECT_EQ(fake.deliveries, Commands({"ok"}));
}

}  // namespace
