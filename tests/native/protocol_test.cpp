// The record protocol, driven line by line against a recording stand-in.
#include <gtest/gtest.h>

#include <string>

#include "errors/error_codes.h"
#include "fake_protocol_io.h"

namespace {

const std::string ABC0("\0abc\x26\x01\r", 7);
const std::string ABC1("\x01" "abc\x27\x01\r", 7);
const std::string ABJ0("\0abJ\x0E\x01\r", 7);   // low checksum byte 13 sent as 14

TEST(Records, WorkedExamplesAndEmptyRecordsCarryTheChosenLineEnds)
{
    const struct { bool cr, lf; std::string end; } rows[] = {
        {false, false, ""}, {true, false, "\r"}, {false, true, "\n"}, {true, true, "\r\n"}};
    for (const auto& row : rows) {
        SCOPED_TRACE("line end \"" + row.end + "\"");
        StartSession(APPEND, row.cr, row.lf);
        EXPECT_EQ(Line(ABC0), 1);
        EXPECT_EQ(Line(ABC1), 1);
        EXPECT_EQ(fake.delivered, "abc" + row.end + "abc" + row.end);
        EXPECT_EQ(fake.commands, Texts(2, "ACK\r"));
        EXPECT_EQ(fake.shownCount, 2);
        // 00 00 00 0D equals the cleared previous record, yet the first one
        // of a session is new; the second is a repetition.
        StartSession(APPEND, row.cr, row.lf);
        EXPECT_EQ(Line(RecordLine(0, "")), 1);
        EXPECT_EQ(Line(RecordLine(0, "")), 1);
        EXPECT_EQ(fake.delivered, row.end);
        EXPECT_EQ(fake.session.receivedCount, 1);
    }
}

TEST(Records, OnlyTheWholeLastRecordAgainIsARepetition)
{
    StartSession();
    EXPECT_EQ(Line(ABJ0), 1);
    EXPECT_EQ(fake.events, Texts({"stop", "write", "send ACK\r", "arm 1000"})) << "delivered before answered";
    fake.session.retryCount = 3;
    EXPECT_EQ(Line(ABJ0), 1);
    EXPECT_EQ(fake.commands, Texts(2, "ACK\r"));
    EXPECT_EQ(fake.delivered, "abJ");
    EXPECT_EQ(fake.session.receivedCount, 1);
    EXPECT_EQ(fake.session.retryCount, 3);
    EXPECT_EQ(fake.session.expectedSequence, 1);
    // A line that only begins like the last record lost its tail: answering
    // "ACK\r" would tell the terminal a record arrived that did not.
    const struct { const char* name; std::string line; } rows[] = {
        {"CR alone", "\r"},
        {"sequence only", std::string("\0\r", 2)},
        {"sequence and first data byte", std::string("\0a\r", 3)},
        {"all but one checksum byte", std::string("\0abJ\x0E\r", 6)},
        {"the record and a byte more", std::string("\0abJ\x0E\x01\0\r", 8)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StartSession();
        ASSERT_EQ(Line(ABJ0), 1);
        EXPECT_EQ(Line(row.line), 1);
        EXPECT_EQ(fake.commands, Texts({"ACK\r", "NAK\r"}));
    }
}

TEST(Records, ARecordWhoseTailSpellsAnAnswerIsStillARecord)
{
    // Data and checksum bytes together spell the terminal's answers.
    const struct { const char* name; std::string line; const char* answer; } rows[] = {
        {"OVER", RecordLine(1, std::string(171, 'z') + "!OV"), "OVER\r"},
        {"ACK", RecordLine(1, std::string(157, 'z') + "/A"), "ACK\r"},
        {"NAK", RecordLine(2, std::string(157, 'z') + "\x1FN"), "NAK\r"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string tail = row.line.substr(row.line.size() - std::string(row.answer).size());
        ASSERT_EQ(tail, row.answer) << "the line must end like the answer";
        StartSession();
        for (int sequence = 0; sequence < row.line[0]; ++sequence) ASSERT_EQ(Line(RecordLine(sequence, "r")), 1);
        EXPECT_EQ(Line(row.line), 1);
        EXPECT_EQ(fake.session.receivedCount, row.line[0] + 1);
        EXPECT_EQ(fake.commands.back(), "ACK\r");
        EXPECT_EQ(fake.openCalls, 0) << "not taken for the terminal's ACK";
    }
}

TEST(Records, KeyboardEmulationAnswersARecordOnlyOnceItIsTyped)
{
    StartSession(KEYBOARD_EMULATION, true, false);
    EXPECT_EQ(Typed(), 1) << "nothing being typed: nothing to answer";
    EXPECT_TRUE(fake.commands.empty());
    EXPECT_EQ(Line(ABC0), 1);
    EXPECT_EQ(fake.typed, "abc\r");
    EXPECT_TRUE(fake.commands.empty()) << "not answered while typing";
    // Whatever the terminal sends meanwhile gets no answer of its own, and
    // no reply time-out runs out on the record being typed.
    EXPECT_EQ(Line(ABC0), 1);
    EXPECT_EQ(Line("OVER\r"), 1);
    EXPECT_EQ(Timeout(1000, false), 1);
    EXPECT_TRUE(fake.commands.empty());
    EXPECT_EQ(fake.session.receivedCount, 0);
    EXPECT_EQ(Typed(), 1);
    EXPECT_EQ(fake.commands, Texts({"ACK\r"}));
    EXPECT_EQ(fake.session.receivedCount, 1);
    EXPECT_EQ(Typed(), 1) << "one answer per record";
    EXPECT_EQ(Line(ABC1), 1);
    EXPECT_EQ(Typed(), 1);
    EXPECT_EQ(fake.typed, "abc\rabc\r");
    EXPECT_EQ(fake.commands, Texts(2, "ACK\r"));
    EXPECT_EQ(fake.delivered, "") << "nothing written in this mode";
    StartSession(KEYBOARD_EMULATION);
    fake.typingResult = ERR_THREAD_CREATE;
    EXPECT_EQ(Line(ABC0), ERR_THREAD_CREATE);
    EXPECT_TRUE(fake.commands.empty());
}

TEST(Records, RefusedLinesAreAnsweredWithNakAndTheGoodRecordThenTaken)
{
    const struct { const char* name; std::string line; } rows[] = {
        {"bad checksum", std::string("\0abc\x27\x01\r", 7)},
        {"wrong sequence, good checksum", RecordLine(1, "abc")},
        {"checksum 13 unreplaced ends the line early", std::string("\0abJ\r", 5)},
        {"two bytes", std::string("\0\r", 2)},
        {"three bytes", std::string("\0\0\r", 3)},
        {"sequence 0 hides the answer", std::string("\0ACK\r", 5)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StartSession();
        EXPECT_EQ(Line(row.line), 1);
        EXPECT_EQ(fake.commands, Texts({"NAK\r"}));
        EXPECT_EQ(fake.session.retryCount, 1);
        EXPECT_EQ(fake.openCalls, 0);
        EXPECT_EQ(Line(ABC0), 1);
        EXPECT_EQ(fake.delivered, "abc");
        EXPECT_EQ(fake.session.retryCount, 0);
    }
}

TEST(Records, SequenceWrapsAfterNineAndHighChecksumByteThirteenTravelsAsFourteen)
{
    StartSession();
    for (int i = 0; i < 13; ++i) ASSERT_EQ(Line(RecordLine(i % 10, "r" + std::to_string(i))), 1) << i;
    const std::string data = std::string(13, '\xFF') + '\x0A';   // 3 + 13 * 0xFF + 0x0A = 0x0D00
    const std::string line = RecordLine(3, data);
    ASSERT_EQ(line[line.size() - 2], '\x0E');
    EXPECT_EQ(Line(line), 1);
    EXPECT_EQ(fake.commands, Texts(14, "ACK\r"));
    EXPECT_EQ(fake.delivered, "r0r1r2r3r4r5r6r7r8r9r10r11r12" + data);
}

TEST(Records, FailedDeliveryOrAnswerEndsTheSession)
{
    StartSession(APPEND, true, false);
    fake.writeFails = true;
    EXPECT_EQ(Line(ABC0), ERR_FILE_WRITE);
    EXPECT_TRUE(fake.commands.empty()) << "neither answered";
    EXPECT_EQ(fake.session.receivedCount + fake.session.expectedSequence, 0) << "nor counted";
    EXPECT_EQ(fake.shownCount, -1);
    for (const std::string& line : {ABC0, ABC1}) {   // ACK, NAK
        StartSession();
        fake.sendFails = true;
        EXPECT_EQ(Line(line), ERR_PORT_WRITE);
        EXPECT_EQ(Timeout(1000, false), ERR_PORT_WRITE) << "READ";
        fake.lastCommand = "ACK\r";
        EXPECT_EQ(Timeout(1000, false), ERR_PORT_WRITE) << "NAK";
    }
}

TEST(TerminalAnswers, NakRearmsAckOpensAgainWithoutResetAndOverCompletes)
{
    RequestSession();
    fake.session.retryCount = 2;
    EXPECT_EQ(Line("NAK\r"), 1);
    EXPECT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(fake.events, Texts({"stop", "arm 1000", "stop", "connected", "open", "status Receiving Data", "arm 1000"}));
    EXPECT_EQ(fake.session.retryCount, 2);
    EXPECT_EQ(Line(ABC0), 1);
    EXPECT_EQ(Line(ABC1), 1);
    EXPECT_EQ(Line(RecordLine(2, "c")), 1);
    EXPECT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(Line(RecordLine(3, "d")), 1) << "a late ACK keeps count and sequence";
    EXPECT_EQ(fake.openCalls, 2);
    EXPECT_EQ(Line("OVER\r"), 0);
    EXPECT_EQ(Texts(fake.events.end() - 3, fake.events.end()), Texts({"stop", "stop receiving", "status Completed!!"}))
        << "the reply timer stays stopped";
    EXPECT_EQ(fake.commands, Texts(4, "ACK\r")) << "the terminal's answers are never answered";
    EXPECT_EQ(fake.delivered, "abcabccd");
    RequestSession(APPEND);
    fake.openResult = ERR_FILE_OPEN;
    EXPECT_EQ(Line("ACK\r"), ERR_FILE_OPEN);
    EXPECT_EQ(fake.events, Texts({"stop", "connected", "open"}));
}

// The terminal starts over on "READ\r". A line that comes before its
// "ACK\r" was written before it read that command (left over from a
// program that was killed, or its first record after an "ACK\r" spoiled by
// noise); answering it gave the terminal's first record of the new transfer
// that answer and every later record the answer of the line before, so that
// a refused record passed for acknowledged and was lost.
TEST(TerminalAnswers, ALineBeforeTheTerminalAnswersReadGetsNoAnswer)
{
    RequestSession();
    EXPECT_EQ(Line(RecordLine(4, "left over")), 1);
    EXPECT_EQ(Line(ABC0), 1) << "a good record 0 too";
    EXPECT_EQ(Line("AC\x4B\x01\r"), 1) << "an ACK that noise spoiled";
    EXPECT_TRUE(fake.commands.empty());
    EXPECT_EQ(fake.delivered, "");
    EXPECT_EQ(fake.events.back(), "arm 1000") << "READ goes again if nothing follows";
    EXPECT_EQ(fake.session.retryCount, 3) << "counted like refusals";
    EXPECT_EQ(Timeout(3000, false), 1);
    EXPECT_EQ(fake.commands, Texts({"READ\r"}));
    EXPECT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(Line(ABC0), 1);
    EXPECT_EQ(fake.commands, Texts({"READ\r", "ACK\r"}));
    EXPECT_EQ(fake.delivered, "abc");
    // A stream of them ends the session like refusals do.
    RequestSession();
    for (int i = 0; i < 6; ++i) ASSERT_EQ(Line(ABC0), 1) << i;
    EXPECT_EQ(Line(ABC0), ERR_TIMEOUT);
}

// "READ\r" went again, and the terminal's "ACK\r" came after it: a terminal
// that ignores a "READ\r" while it is sending never answers the second one,
// so its lines are answered without waiting for another "ACK\r".
TEST(TerminalAnswers, AfterARepeatedReadOneAckIsEnough)
{
    RequestSession();
    ASSERT_EQ(Timeout(1000, false), 1);
    ASSERT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(Line(ABC0), 1);
    ASSERT_EQ(Timeout(1000, false), 1) << "the terminal slow with its next line";
    EXPECT_EQ(Line(ABC1), 1);
    EXPECT_EQ(fake.commands, Texts({"READ\r", "ACK\r", "NAK\r", "ACK\r"}));
    EXPECT_EQ(fake.delivered, "abcabc");
    // Repeated after the terminal's ACK, before its first record.
    RequestSession();
    ASSERT_EQ(Line("ACK\r"), 1);
    ASSERT_EQ(Timeout(1000, false), 1);
    EXPECT_EQ(Line(ABC0), 1);
    EXPECT_EQ(fake.commands, Texts({"READ\r", "ACK\r"}));
    EXPECT_EQ(fake.delivered, "abc");
}

// A terminal that starts over on every "READ\r" reads all of ours before any
// answer that followed them, so it takes every answer we sent for the lines
// of its last start, in order: those lines have their answer already.
TEST(TerminalAnswers, AStartOverTakesTheAnswersAlreadySentForItsFirstLines)
{
    RequestSession();
    ASSERT_EQ(Timeout(1000, false), 1);
    ASSERT_EQ(Timeout(1000, false), 1);
    ASSERT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(Line(ABC0), 1);
    ASSERT_EQ(Timeout(1000, false), 1) << "NAK while the terminal is busy starting over";
    ASSERT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(Line(ABC0), 1) << "takes our ACK";
    EXPECT_EQ(Line(ABC1), 1) << "takes our NAK";
    EXPECT_EQ(fake.commands, Texts({"READ\r", "READ\r", "ACK\r", "NAK\r"}));
    EXPECT_EQ(fake.events.back(), "arm 1000") << "the next line is due";
    EXPECT_EQ(Line(ABC1), 1);
    EXPECT_EQ(fake.commands, Texts({"READ\r", "READ\r", "ACK\r", "NAK\r", "ACK\r"}));
    EXPECT_EQ(fake.delivered, "abcabc");
    // Once the terminal has written more than it can before reading us, it
    // has read every "READ\r": an "ACK\r" then is no start (noise made it).
    ASSERT_EQ(Line(RecordLine(2, "c")), 1);
    ASSERT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(Line(RecordLine(3, "d")), 1);
    EXPECT_EQ(fake.commands.size(), 7u);
    EXPECT_EQ(fake.delivered, "abcabccd");
}

// The terminal may hold a "READ\r" this session never sent: one that went
// out before the link was lost, or from a program that was killed. It starts
// over on it all the same, and reads the answers we sent to its earlier
// start for the lines of this one. Here our ACK to record 0 and the reply
// time-out's NAK cross its start-over, and it had lost that ACK and sends
// record 0 again after it: taking its "ACK\r" for noise answered its
// repetitions once more, and two answers ahead it counted two records
// acknowledged that were never stored.
TEST(TerminalAnswers, AStartOverOnAReadFromBeforeTheSessionTakesTheAnswersAlreadySent)
{
    RequestSession();
    ASSERT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(Line(ABC0), 1);
    ASSERT_EQ(Timeout(1000, false), 1);
    ASSERT_EQ(Line("ACK\r"), 1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Line(ABC0), 1) << i;
    EXPECT_EQ(fake.commands, Texts({"ACK\r", "NAK\r", "ACK\r"})) << "one answer for the third";
    EXPECT_EQ(Line(ABC1), 1);
    EXPECT_EQ(fake.commands.size(), 4u);
    EXPECT_EQ(fake.delivered, "abcabc");
    // Were that "ACK\r" noise, the terminal waits for the answer we took
    // for given, and the reply time-out's "NAK\r" brings its line again.
    RequestSession();
    ASSERT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(Line(ABC0), 1);
    ASSERT_EQ(Line("ACK\r"), 1);
    EXPECT_EQ(Line(ABC1), 1);
    ASSERT_EQ(Timeout(1000, false), 1);
    EXPECT_EQ(Line(ABC1), 1);
    EXPECT_EQ(fake.commands, Texts({"ACK\r", "NAK\r", "ACK\r"}));
    EXPECT_EQ(fake.delivered, "abcabc");
}

TEST(ReplyTimeout, ReadIsRepeatedSixTimesThenTheSessionTimesOutUnlessKeptOnline)
{
    RequestSession();
    for (int i = 0; i < 6; ++i) ASSERT_EQ(Timeout(1000, false), 1) << i;
    EXPECT_EQ(Timeout(1000, false), ERR_TIMEOUT);
    EXPECT_EQ(fake.commands, Texts(6, "READ\r")) << "seven in all with the first";
    RequestSession();
    for (int i = 0; i < 50; ++i) ASSERT_EQ(Timeout(5000, true), 1) << i;
    EXPECT_EQ(fake.commands, Texts(50, "READ\r"));
    EXPECT_EQ(fake.events.back(), "arm 5000");
    // Repetitions outside keep-online shorten the allowance for refusals.
    RequestSession();
    for (int i = 0; i < 3; ++i) Timeout(1000, false);
    ASSERT_EQ(Line("ACK\r"), 1);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Line(ABC1), 1);
    EXPECT_EQ(Line(ABC1), ERR_TIMEOUT);
}

TEST(ReplyTimeout, AfterAnAnswerThePartialLineIsDroppedAndNakSentEvenKeptOnline)
{
    StartSession();
    Line(ABC0);
    fake.session.lineBuffer[0] = 0x01;   // the start of the next line
    fake.session.lineLength = 1;
    EXPECT_EQ(Timeout(3000, true), 1);
    EXPECT_EQ(fake.events.back(), "arm 1000");
    EXPECT_EQ(fake.session.lineLength + fake.session.lineBuffer[0], 0);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(Timeout(3000, true), 1) << i;
    EXPECT_EQ(Timeout(3000, true), ERR_TIMEOUT);
    EXPECT_EQ(fake.commands, Texts({"ACK\r", "NAK\r", "NAK\r", "NAK\r", "NAK\r", "NAK\r", "NAK\r"}));
}

}  // namespace
