// The record protocol, driven line by line against a recording stand-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "errors/error_codes.h"
#include "fake_protocol_io.h"

namespace {

using Commands = std::vector<std::string>;

TEST(RecordLine, WorkedExamplesMatchTheWireBytes)
{
    EXPECT_EQ(RecordLine(0, "abc"), Bytes({0x00, 0x61, 0x62, 0x63, 0x26, 0x01, 0x0D}));
    EXPECT_EQ(RecordLine(1, "abc"), Bytes({0x01, 0x61, 0x62, 0x63, 0x27, 0x01, 0x0D}));
    EXPECT_EQ(RecordLine(0, "abJ"), Bytes({0x00, 0x61, 0x62, 0x4A, 0x0E, 0x01, 0x0D}));
}

TEST(TerminalAnswers, AckOpensTheOutputAndArmsTheReplyTimer)
{
    StartSession();
    EXPECT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(fake.events, Commands({"stop", "connected", "open", "status Receiving Data", "arm 1000"}));
    EXPECT_TRUE(fake.commands.empty()) << "the host never answers the terminal's ACK";
    EXPECT_EQ(sessionState.lineLength, 0);
    EXPECT_EQ(sessionState.retryCount, 0);
}

TEST(TerminalAnswers, AckInKeyboardEmulationOpensNothing)
{
    StartSession(KEYBOARD_EMULATION);
    EXPECT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(fake.openCalls, 0);
    EXPECT_EQ(fake.status, "Receiving Data");
}

TEST(TerminalAnswers, FailedOpenIsReturnedUnchangedAndNothingIsArmed)
{
    StartSession(APPEND);
    fake.openResult = ERR_FILE_OPEN;
    EXPECT_EQ(Line("ACK\r"), ERR_FILE_OPEN);
    EXPECT_EQ(fake.events, Commands({"stop", "connected", "open"}));
}

TEST(TerminalAnswers, SecondAckKeepsCountAndSequence)
{
    StartSession();
    Line("ACK\r");
    Line(RecordLine(0, "abc"));
    EXPECT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(sessionState.receivedCount, 1);
    EXPECT_EQ(sessionState.expectedSequence, 1);
    EXPECT_EQ(Line(RecordLine(1, "def")), 1);
    EXPECT_EQ(fake.delivered, "abcdef");
}

TEST(TerminalAnswers, NakOnlyRearmsTheTimer)
{
    StartSession();
    sessionState.retryCount = 2;
    EXPECT_EQ(Line("NAK\r"), 1);
    EXPECT_EQ(fake.events, Commands({"stop", "arm 1000"}));
    EXPECT_EQ(sessionState.retryCount, 2);
}

TEST(TerminalAnswers, OverCompletesAndLeavesTheTimerStopped)
{
    StartSession();
    EXPECT_EQ(Line("OVER\r"), 0);
    EXPECT_EQ(fake.events, Commands({"stop", "status Completed!!"}));
    EXPECT_EQ(fake.stopReceivingCalls, 1);
    EXPECT_EQ(sessionState.receivedCount, 0);
}

TEST(TerminalAnswers, ARecordWithSequenceZeroNeverMatchesAnAnswer)
{
    // The search stops at the zero byte: "\0ACK\r" is a (bad) record.
    StartSession();
    EXPECT_EQ(Line(std::string("\0ACK\r", 5)), 1);
    EXPECT_EQ(fake.openCalls, 0);
    EXPECT_EQ(fake.commands, Commands({"NAK\r"}));
}

TEST(Records, WorkedExampleIsAcceptedThenItsRepetitionOnlyAcknowledged)
{
    StartSession(OVERWRITE, true, true);
    Line("ACK\r");
    EXPECT_EQ(Line(RecordLine(0, "abc")), 1);
    EXPECT_EQ(fake.deliveries, Commands({Bytes({0x61, 0x62, 0x63, 0x0D, 0x0A})}));
    EXPECT_EQ(fake.shownCount, 1);
    EXPECT_EQ(Line(RecordLine(0, "abc")), 1);
    EXPECT_EQ(fake.deliveries.size(), 1u) << "a repetition is delivered once only";
    EXPECT_EQ(fake.commands, Commands({"ACK\r", "ACK\r"}));
    EXPECT_EQ(fake.commandElapses, std::vector<unsigned>({1000, 1000}));
    EXPECT_EQ(sessionState.receivedCount, 1);
    EXPECT_EQ(sessionState.expectedSequence, 1);
    EXPECT_EQ(Line(RecordLine(1, "abc")), 1);
    EXPECT_EQ(sessionState.receivedCount, 2);
}

TEST(Records, DeliveryComesBeforeTheAnswerAndTheAnswerBeforeTheNextLine)
{
    StartSession();
    Line(RecordLine(0, "x"));
    EXPECT_EQ(fake.events, Commands({"stop", "write", "send ACK\r", "arm 1000"}));
}

TEST(Records, LineEndsFollowTheFlags)
{
    const struct { bool cr, lf; std::string out; } cases[] = {
        {false, false, "abc"}, {true, false, "abc\r"}, {false, true, "abc\n"}, {true, true, "abc\r\n"}};
    for (const auto& c : cases) {
        StartSession(APPEND, c.cr, c.lf);
        Line(RecordLine(0, "abc"));
        EXPECT_EQ(fake.delivered, c.out) << c.cr << c.lf;
    }
}

TEST(Records, BadChecksumIsRefusedThenTheGoodOneAccepted)
{
    StartSession();
    EXPECT_EQ(Line(Bytes({0x00, 0x61, 0x62, 0x63, 0x27, 0x01, 0x0D})), 1);
    EXPECT_EQ(fake.commands, Commands({"NAK\r"}));
    EXPECT_EQ(sessionState.retryCount, 1);
    EXPECT_TRUE(fake.delivered.empty());
    EXPECT_EQ(Line(RecordLine(0, "abc")), 1);
    EXPECT_EQ(fake.commands, Commands({"NAK\r", "ACK\r"}));
    EXPECT_EQ(sessionState.retryCount, 0);
    EXPECT_EQ(fake.delivered, "abc");
}

TEST(Records, WrongSequenceIsRefusedEvenWithAGoodChecksum)
{
    StartSession();
    EXPECT_EQ(Line(RecordLine(1, "abc")), 1);
    EXPECT_EQ(fake.commands, Commands({"NAK\r"}));
    EXPECT_EQ(sessionState.expectedSequence, 0);
    EXPECT_EQ(sessionState.receivedCount, 0);
}

TEST(Records, ChecksumByteThirteenTravelsAsFourteen)
{
    StartSession();
    EXPECT_EQ(Line(Bytes({0x00, 0x61, 0x62, 0x4A, 0x0E, 0x01, 0x0D})), 1);
    EXPECT_EQ(fake.delivered, "abJ");
    // The same record with the raw 13 cannot arrive as one line: the CR ends
    // it early, and the short remainder is refused.
    StartSession();
    EXPECT_EQ(Line(Bytes({0x00, 0x61, 0x62, 0x4A, 0x0D})), 1);
    EXPECT_EQ(fake.commands, Commands({"NAK\r"}));
}

TEST(Records, HighChecksumByteThirteenTravelsAsFourteen)
{
    // 0x0D00 = 3328: thirteen bytes of 0xFF and one of 0x13 sum to 0x0D00.
    std::string data(13, '\xFF');
    data.push_back('\x13');
    StartSession();
    const std::string line = RecordLine(0, data);
    ASSERT_EQ(static_cast<unsigned char>(line[line.size() - 2]), 0x0E);
    EXPECT_EQ(Line(line), 1);
    EXPECT_EQ(fake.delivered, data);
}

TEST(Records, SequenceRunsToNineThenWrapsToZero)
{
    StartSession();
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(sessionState.expectedSequence, i % 10);
        ASSERT_EQ(Line(RecordLine(i % 10, "r" + std::to_string(i))), 1) << i;
    }
    EXPECT_EQ(sessionState.receivedCount, 13);
    EXPECT_EQ(fake.commands, Commands(13, "ACK\r"));
    EXPECT_EQ(fake.delivered, "r0r1r2r3r4r5r6r7r8r9r10r11r12");
}

TEST(Records, ZeroDataRecordDeliversOnlyTheLineEnds)
{
    StartSession(OVERWRITE, true, true);
    EXPECT_EQ(Line(RecordLine(0, "")), 1);
    EXPECT_EQ(fake.delivered, "\r\n");
    EXPECT_EQ(sessionState.receivedCount, 1);

    StartSession();
    EXPECT_EQ(Line(RecordLine(0, "")), 1);
    EXPECT_TRUE(fake.deliveries.empty());
    EXPECT_EQ(sessionState.receivedCount, 1);
    EXPECT_EQ(fake.commands, Commands({"ACK\r"}));
}

TEST(Records, FirstAllZeroRecordIsNotMistakenForARepetition)
{
    // 00 00 00 0D equals the cleared previous record; it is still record 0.
    StartSession(OVERWRITE, false, true);
    EXPECT_EQ(Line(Bytes({0x00, 0x00, 0x00, 0x0D})), 1);
    EXPECT_EQ(sessionState.receivedCount, 1);
    EXPECT_EQ(fake.delivered, "\n");
    EXPECT_EQ(Line(Bytes({0x00, 0x00, 0x00, 0x0D})), 1);
    EXPECT_EQ(sessionState.receivedCount, 1) << "now it is a repetition";
}

TEST(Records, CarriageReturnAloneIsAcknowledgedAndChangesNothing)
{
    StartSession();
    Line(RecordLine(0, "abc"));
    sessionState.retryCount = 3;
    EXPECT_EQ(Line("\r"), 1);
    EXPECT_EQ(fake.commands, Commands({"ACK\r", "ACK\r"}));
    EXPECT_EQ(sessionState.receivedCount, 1);
    EXPECT_EQ(sessionState.retryCount, 3);
    EXPECT_EQ(sessionState.expectedSequence, 1);
    EXPECT_EQ(fake.deliveries.size(), 1u);
}

TEST(Records, ShortLinesAreRefusedWithinTheLine)
{
    // Lines of two and three bytes, each in a buffer of exactly its length
    // and the terminating zero, so that the sanitizers see any access beyond
    // or before the line.
    for (int length = 2; length <= 3; ++length) {
        StartSession();
        std::vector<uint8_t> exact(static_cast<size_t>(length) + 1, 0x00);
        exact[static_cast<size_t>(length) - 1] = 0x0D;
        EXPECT_EQ(HandleLine(exact.data(), length), 1) << length;
        EXPECT_EQ(fake.commands, Commands({"NAK\r"})) << length;
        EXPECT_EQ(sessionState.receivedCount, 0);
        EXPECT_EQ(sessionState.retryCount, 1);
        EXPECT_TRUE(fake.deliveries.empty());
    }
    // Seven short lines in a row hit the same limit as bad records.
    StartSession();
    for (int i = 0; i < 6; ++i) ASSERT_EQ(Line(Bytes({0x00, 0x0D})), 1);
    EXPECT_EQ(Line(Bytes({0x00, 0x00, 0x0D})), ERR_TIMEOUT);
}

TEST(Records, ShortLineThatMatchesThePreviousRecordIsARepetition)
{
    StartSession();
    Line(RecordLine(0, "abc"));
    EXPECT_EQ(Line(Bytes({0x00, 0x61, 0x0D})), 1);
    EXPECT_EQ(fake.commands, Commands({"ACK\r", "ACK\r"}));
    EXPECT_EQ(sessionState.receivedCount, 1);
}

TEST(Records, SixRefusalsAreAnsweredAndTheSeventhEndsTheSession)
{
    StartSession();
    const std::string bad = Bytes({0x00, 0x61, 0x00, 0x00, 0x0D});
    for (int i = 0; i < 6; ++i) ASSERT_EQ(Line(bad), 1) << i;
    EXPECT_EQ(fake.commands, Commands(6, "NAK\r"));
    EXPECT_EQ(Line(bad), ERR_TIMEOUT);
    EXPECT_EQ(fake.commands.size(), 6u) << "nothing is sent with the time-out";
}

TEST(Records, UnwrittenAnswerFails)
{
    StartSession();
    fake.sendFails = true;
    EXPECT_EQ(Line(RecordLine(0, "abc")), ERR_PORT_WRITE);
    StartSession();
    fake.sendFails = true;
    EXPECT_EQ(Line(RecordLine(5, "abc")), ERR_PORT_WRITE);
    EXPECT_EQ(sessionState.retryCount, 0);
    StartSession();
    fake.sendFails = true;
    EXPECT_EQ(Line("\r"), ERR_PORT_WRITE);
}

TEST(Records, ShortWriteFailsWithoutAnswerOrCount)
{
    StartSession(APPEND, true, false);
    fake.writeShortBy = 1;
    EXPECT_EQ(Line(RecordLine(0, "abc")), ERR_FILE_WRITE);
    EXPECT_TRUE(fake.commands.empty());
    EXPECT_EQ(sessionState.receivedCount, 0);
    EXPECT_EQ(sessionState.expectedSequence, 0);
    EXPECT_EQ(fake.shownCount, -1);
}

TEST(Records, KeyboardEmulationTypesTheRecordWithItsLineEnds)
{
    StartSession(KEYBOARD_EMULATION, true, false);
    Line("ACK\r");
    EXPECT_EQ(Line(RecordLine(0, "12345")), 1);
    EXPECT_EQ(fake.deliveries, Commands({"12345\r"}));
    EXPECT_EQ(fake.events.back(), "arm 1000");
    EXPECT_NE(std::find(fake.events.begin(), fake.events.end(), "type"), fake.events.end());
    EXPECT_EQ(std::find(fake.events.begin(), fake.events.end(), "write"), fake.events.end());
}

TEST(Records, ResetStartsOverAtSequenceZero)
{
    StartSession();
    Line(RecordLine(0, "abc"));
    Line(RecordLine(1, "abc"));
    sessionState.retryCount = 4;
    fake.lastCommand = "ACK\r";
    ResetSession();
    EXPECT_EQ(sessionState.receivedCount, 0);
    EXPECT_EQ(sessionState.retryCount, 0);
    EXPECT_EQ(sessionState.expectedSequence, 0);
    EXPECT_EQ(sessionState.lineLength, 0);
    EXPECT_EQ(fake.lastCommand, "");
    for (uint8_t b : sessionState.previousRecord) ASSERT_EQ(b, 0);
    // The record that was the previous one is new again.
    EXPECT_EQ(Line(RecordLine(1, "abc")), 1);
    EXPECT_EQ(fake.commands.back(), "NAK\r");
}

TEST(ReplyTimeout, SilentTerminalGetsSevenReadsThenTimesOut)
{
    StartSession();
    fake.commands.push_back("READ\r");   // the first request, sent by the window
    for (int i = 0; i < 6; ++i) ASSERT_EQ(HandleReplyTimeout(1000, false), 1) << i;
    EXPECT_EQ(fake.commands, Commands(7, "READ\r"));
    EXPECT_EQ(fake.commandElapses, std::vector<unsigned>(6, 1000));
    EXPECT_EQ(HandleReplyTimeout(1000, false), ERR_TIMEOUT);
    EXPECT_EQ(fake.commands.size(), 7u);
}

TEST(ReplyTimeout, KeepOnlineRepeatsReadWithoutEnd)
{
    StartSession();
    for (int i = 0; i < 50; ++i) ASSERT_EQ(HandleReplyTimeout(5000, true), 1) << i;
    EXPECT_EQ(fake.commands, Commands(50, "READ\r"));
    EXPECT_EQ(fake.commandElapses, std::vector<unsigned>(50, 5000));
    EXPECT_EQ(sessionState.retryCount, 0);
}

TEST(ReplyTimeout, AfterAnAnswerTheLineIsDroppedAndNakSent)
{
    StartSession();
    Line(RecordLine(0, "abc"));
    sessionState.lineBuffer[0] = 0x01;   // part of the next line
    sessionState.lineLength = 1;
    EXPECT_EQ(HandleReplyTimeout(3000, true), 1);
    EXPECT_EQ(fake.commands, Commands({"ACK\r", "NAK\r"}));
    EXPECT_EQ(fake.commandElapses.back(), 1000u);
    EXPECT_EQ(sessionState.lineLength, 0);
    EXPECT_EQ(sessionState.lineBuffer[0], 0);
    EXPECT_EQ(sessionState.retryCount, 1) << "counted in keep-online too";
}

TEST(ReplyTimeout, SharesTheRetryLimitWithRefusals)
{
    StartSession();
    fake.commands.push_back("READ\r");
    for (int i = 0; i < 3; ++i) HandleReplyTimeout(1000, false);
    Line("ACK\r");
    const std::string bad = Bytes({0x00, 0x61, 0x00, 0x00, 0x0D});
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Line(bad), 1);
    EXPECT_EQ(Line(bad), ERR_TIMEOUT);
    // ... and a time-out after a NAK draws on it as well.
    StartSession();
    Line(RecordLine(0, "a"));
    for (int i = 0; i < 6; ++i) ASSERT_EQ(HandleReplyTimeout(1000, false), 1);
    EXPECT_EQ(HandleReplyTimeout(1000, false), ERR_TIMEOUT);
    EXPECT_EQ(fake.commands, Commands({"ACK\r", "NAK\r", "NAK\r", "NAK\r", "NAK\r", "NAK\r", "NAK\r"}));
}

TEST(ReplyTimeout, UnwrittenRepetitionFails)
{
    StartSession();
    fake.sendFails = true;
    EXPECT_EQ(HandleReplyTimeout(1000, false), ERR_PORT_WRITE);
    EXPECT_EQ(sessionState.retryCount, 0);
    StartSession();
    fake.lastCommand = "NAK\r";
    fake.sendFails = true;
    EXPECT_EQ(HandleReplyTimeout(1000, false), ERR_PORT_WRITE);
    EXPECT_EQ(sessionState.retryCount, 0);
}

// Taken before any test installs its stand-in (the table is constant-initialised).
const ProtocolIo builtInIo = protocolIo;

TEST(DefaultIo, WithoutAPlatformNothingCountsAsDelivered)
{
    StartSession();
    protocolIo = builtInIo;
    EXPECT_EQ(Line("ACK\r"), ERR_FILE_CREATE);
    EXPECT_EQ(Line(RecordLine(0, "abc")), ERR_FILE_WRITE);
    EXPECT_EQ(Line(RecordLine(0, "")), ERR_PORT_WRITE);
    EXPECT_EQ(sessionState.receivedCount, 1) << "the empty record was taken, only its answer failed";
    EXPECT_EQ(HandleReplyTimeout(1000, false), ERR_PORT_WRITE) << "no last command: a NAK is tried";
}

}  // namespace
