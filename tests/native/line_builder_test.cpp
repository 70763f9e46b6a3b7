// Line building: bytes in chunks of any size become lines ended by CR.
#include <gtest/gtest.h>

#include <string>

#include "core/line_builder.h"
#include "errors/error_codes.h"
#include "fake_protocol_io.h"

namespace {

int Feed(const std::string& bytes)
{
    return FeedReceivedBytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<unsigned>(bytes.size()));
}

TEST(LineBuilder, LinesAreHandledInOrderWhateverTheChunks)
{
    ProcessSessionOnFake session;
    EXPECT_EQ(Feed(""), 1);
    const std::string two = RecordLine(2, "two");
    EXPECT_EQ(Feed("ACK\r" + RecordLine(0, "zero") + RecordLine(1, "one") + two.substr(0, 3)), 1);
    EXPECT_EQ(Feed(two.substr(3)), 1);
    for (char c : RecordLine(3, "three")) ASSERT_EQ(Feed(std::string(1, c)), 1);
    EXPECT_EQ(fake.delivered, "zeroonetwothree");
    Texts inOrder = {"stop", "connected", "open", "status Receiving Data", "arm 1000"};
    for (int i = 0; i < 4; ++i) inOrder.insert(inOrder.end(), {"stop", "write", "send ACK\r", "arm 1000"});
    EXPECT_EQ(fake.events, inOrder) << "each line answered before the next is looked at";
}

// The terminal writes one line for each of our answers. Noise that turns a
// data byte into a CR makes two lines of one; answering both left the
// terminal one answer behind for the rest of the session, so that it took
// the "ACK\r" of one line for the answer to the next, refused one, and
// dropped that record.
TEST(LineBuilder, TheRestOfALineWeAnsweredGetsNoAnswerOfItsOwn)
{
    ProcessSessionOnFake session;
    const std::string record = RecordLine(0, "abcdef");
    std::string cut = record;
    cut[3] = '\r';
    EXPECT_EQ(Feed("ACK\r"), 1);
    EXPECT_EQ(Feed(cut), 1);
    EXPECT_EQ(fake.commands, Texts({"NAK\r"})) << "one answer for the one line the terminal wrote";
    EXPECT_EQ(fake.events.back(), "arm 1000") << "the reply time still runs for the answer we wait for";
    // Lines that begin like records are a terminal that did not wait for our
    // answer: each gets its own, good or bad.
    EXPECT_EQ(Feed(record + RecordLine(2, "wrong") + RecordLine(1, "next")), 1);
    EXPECT_EQ(fake.commands, Texts({"NAK\r", "ACK\r", "NAK\r", "ACK\r"}));

    // The reply time ran out while the terminal was only slow: our "NAK\r"
    // is the answer to its line, so the rest of that line gets none, even
    // when it begins like a record.
    const std::string slow = RecordLine(2, std::string("ab\x05" "cd"));
    EXPECT_EQ(Feed(slow.substr(0, 3)), 1);
    EXPECT_EQ(HandleReplyTimeout(1000, false), 1);
    EXPECT_EQ(Feed(slow.substr(3)), 1);
    EXPECT_EQ(Feed(slow), 1);
    EXPECT_EQ(fake.commands, Texts({"NAK\r", "ACK\r", "NAK\r", "ACK\r", "NAK\r", "ACK\r"}));

    // A terminal that did not wait is still writing its next line when the
    // reply time runs out: the "NAK\r" answers its earlier line, so the rest
    // of this one gets its own answer.
    const std::string early = RecordLine(4, "early");
    EXPECT_EQ(Feed(RecordLine(3, "last") + early.substr(0, 3)), 1);
    EXPECT_EQ(HandleReplyTimeout(1000, false), 1);
    EXPECT_EQ(Feed(early.substr(3)), 1);
    EXPECT_EQ(fake.commands, Texts({"NAK\r", "ACK\r", "NAK\r", "ACK\r", "NAK\r", "ACK\r", "ACK\r", "NAK\r", "NAK\r"}));

    // The terminal's own lines are taken wherever they come: its "OVER\r"
    // in one write with its last record completes the session.
    EXPECT_EQ(Feed(RecordLine(4, "final") + "OVER\r"), 0);
    EXPECT_EQ(fake.delivered, "abcdefnextab\x05" "cdlastfinal");
}

TEST(LineBuilder, CompletionOrFailureDropsTheRestOfTheChunk)
{
    ProcessSessionOnFake session;
    EXPECT_EQ(Feed("ACK\r" + RecordLine(0, "a") + "OVER\r" + RecordLine(1, "b") + "xy"), 0);
    EXPECT_EQ(fake.delivered, "a");
    EXPECT_EQ(fake.commands, Texts({"ACK\r"}));
    session.Restart();
    ASSERT_EQ(Feed("ACK\r"), 1);
    for (int i = 0; i < 6; ++i) ASSERT_EQ(Feed(RecordLine(4, "bad")), 1);
    EXPECT_EQ(Feed(RecordLine(4, "bad") + RecordLine(0, "good")), ERR_TIMEOUT);
    EXPECT_EQ(fake.commands, Texts(6, "NAK\r")) << "six refusals answered, the seventh ends it";
}

// A record whose CR was lost leaves an unfinished line when the reply time
// runs out and "READ\r" goes again: the terminal's "ACK\r" must not be read
// as the end of that line (a bad record answered "NAK\r", which the
// terminal would take for the answer to its next send).
TEST(LineBuilder, ALineLeftUnfinishedIsDroppedWhenReadIsSentAgain)
{
    ProcessSessionOnFake session;
    const std::string record = RecordLine(0, "abc");
    EXPECT_EQ(Feed("ACK\r" + record.substr(0, record.size() - 1)), 1);
    EXPECT_EQ(HandleReplyTimeout(1000, false), 1);
    EXPECT_EQ(fake.commands, Texts({"READ\r"}));
    EXPECT_EQ(Feed("ACK\r" + record), 1);
    EXPECT_EQ(fake.commands, Texts({"READ\r", "ACK\r"})) << "the terminal's ACK opens, the record is taken";
    EXPECT_EQ(fake.delivered, "abc");
}

TEST(LineBuilder, LongLineIsHandledWithItsFirst1025Bytes)
{
    // A record of exactly 1025 bytes; when its CR comes late, the bytes after
    // the 1025th are dropped and the last stored byte stands for the CR.
    const std::string data(1021, 'd');
    const std::string line = RecordLine(0, data);
    ASSERT_EQ(line.size(), 1025u);
    const std::string tooLong = std::string(1, '\0') + std::string(1999, 'x') + '\r';
    ProcessSessionOnFake session;
    for (const std::string& chunk : {line, line.substr(0, 1024) + "z" + "dropped\r", tooLong}) {
        session.Restart();
        ASSERT_EQ(Feed("ACK\r"), 1);
        EXPECT_EQ(Feed(chunk), 1);
        EXPECT_EQ(Feed(RecordLine(chunk == tooLong ? 0 : 1, "ok")), 1) << "the next line starts clean";
        EXPECT_EQ(fake.delivered, (chunk == tooLong ? "" : data) + "ok");
    }
}

}  // namespace
