// The terminal simulator against a fake host on a pseudo-terminal pair: the
// simulator serves the master, the test plays the host on the slave.
#include "tools/termsim/record_encoding.h"
#include "tools/termsim/terminal_simulator.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

using namespace termsim;

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

TEST(RecordEncoding, WorkedExamples)
{
    EXPECT_EQ(EncodeRecordLine(0, "abc"), Bytes({0x00, 0x61, 0x62, 0x63, 0x26, 0x01, 0x0D}));
    EXPECT_EQ(EncodeRecordLine(1, "abc"), Bytes({0x01, 0x61, 0x62, 0x63, 0x27, 0x01, 0x0D}));
    // The low byte computes to 0x0D and goes out as 0x0E.
    EXPECT_EQ(RecordChecksum(0, "abJ"), 0x010D);
    EXPECT_EQ(EncodeRecordLine(0, "abJ"), Bytes({0x00, 0x61, 0x62, 0x4A, 0x0E, 0x01, 0x0D}));
}

TEST(RecordEncoding, EmptyRecordAndSixteenBitWrap)
{
    EXPECT_EQ(EncodeRecordLine(7, ""), Bytes({0x07, 0x07, 0x00, 0x0D}));
    // 300 bytes of 0xFF: 76500 + 2 wraps to 0x2AD6.
    const std::string data(300, '\xFF');
    EXPECT_EQ(RecordChecksum(2, data), static_cast<uint16_t>((2 + 300 * 255) & 0xFFFF));
    const std::string line = EncodeRecordLine(2, data);
    EXPECT_EQ(static_cast<uint8_t>(line[301]), 0xD6);
    EXPECT_EQ(static_cast<uint8_t>(line[302]), 0x2A);
    // A high byte of 13 goes out as 14 as well: 1 + 13 * 255 + 12 = 0x0D00.
    std::string high13(13, '\xFF');
    high13.push_back(12);
    ASSERT_EQ(RecordChecksum(1, high13), 0x0D00);
    const std::string wrapped = EncodeRecordLine(1, high13);
    EXPECT_EQ(static_cast<uint8_t>(wrapped[wrapped.size() - 3]), 0x00);
    EXPECT_EQ(static_cast<uint8_t>(wrapped[wrapped.size() - 2]), 0x0E);
}

TEST(RecordEncoding, CorruptChecksumIsAlwaysRefusableAndNeverEndsTheLine)
{
    for (int a = 0; a < 256; ++a) {
        const std::string data = Bytes({a, 0x41});
        const std::string good = EncodeRecordLine(3, data);
        const std::string bad = EncodeRecordLine(3, data, true);
        ASSERT_EQ(good.size(), bad.size());
        const uint8_t goodLow = static_cast<uint8_t>(good[3]);
        const uint8_t badLow = static_cast<uint8_t>(bad[3]);
        EXPECT_NE(badLow, goodLow) << a;
        EXPECT_NE(badLow, 0x0D) << a;
        // 13 and 14 are one value after substitution: a bad 14 against a good 14 would pass.
        EXPECT_FALSE(WireChecksumByte(badLow) == WireChecksumByte(goodLow)) << a;
        EXPECT_EQ(bad.substr(0, 3), good.substr(0, 3));
        EXPECT_EQ(bad.substr(4), good.substr(4));
    }
}

// The host side of a pty pair, with reads bounded by deadlines.
class FakeHost : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(OpenPtyPair(pty_), 0); }
    void TearDown() override
    {
        sim_.Stop();
        ClosePtyPair(pty_);
    }

    void Send(const std::string& text) { ASSERT_EQ(write(pty_.slave, text.data(), text.size()), static_cast<ssize_t>(text.size())); }

    // Reads exactly count bytes, or what came before the time-out.
    std::string Read(size_t count, int timeoutMs = 2000)
    {
        std::string out;
        const int64_t deadline = MonotonicRawNs() + timeoutMs * 1000000LL;
        while (out.size() < count) {
            const int64_t left = (deadline - MonotonicRawNs()) / 1000000;
            if (left <= 0)
                break;
            pollfd fd{pty_.slave, POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(left)) <= 0)
                break;
            char c;
            if (read(pty_.slave, &c, 1) == 1)
                out.push_back(c);
        }
        return out;
    }
    // Reads one line (through its CR).
    std::string ReadLine(int timeoutMs = 2000)
    {
        std::string out;
        while (out.empty() || out.back() != '\r') {
            const std::string c = Read(1, timeoutMs);
            if (c.empty())
                break;
            out += c;
        }
        return out;
    }
    // The simulator logs a write just after making it: wait for the log.
    std::vector<SentChunk> SentAtLeast(size_t count)
    {
        sim_.WaitFor([count](const TerminalSimulator& sim) { return sim.Sent().size() >= count; }, 2000);
        return sim_.Sent();
    }
    // True when nothing arrives within the window.
    bool Quiet(int windowMs) { return Read(1, windowMs).empty(); }

    PtyPair pty_;
    TerminalSimulator sim_;
};

TEST_F(FakeHost, FullTransferFollowsStopAndWait)
{
    sim_.AddTransfer(PlainTransfer({"abc", "abc"}));
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    // Nothing is sent before the host asks.
    EXPECT_TRUE(Quiet(50));
    Send("READ\r");
    EXPECT_EQ(ReadLine(), "ACK\r");
    EXPECT_EQ(ReadLine(), EncodeRecordLine(0, "abc"));
    // The next record waits for the answer.
    EXPECT_TRUE(Quiet(50));
    Send("ACK\r");
    EXPECT_EQ(ReadLine(), EncodeRecordLine(1, "abc"));
    Send("ACK\r");
    EXPECT_EQ(ReadLine(), "OVER\r");
    ASSERT_TRUE(sim_.WaitForTransfers(1, 2000));
    EXPECT_EQ(sim_.RecordsAcknowledged(), 2);
    EXPECT_EQ(sim_.TransfersStarted(), 1);
    ASSERT_TRUE(sim_.WaitForCommands(3, 2000));
    const auto commands = sim_.Commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].text, "READ\r");
    EXPECT_EQ(commands[1].text, "ACK\r");
    EXPECT_EQ(commands[2].text, "ACK\r");
    EXPECT_EQ(sim_.ReceivedBytes(), "READ\rACK\rACK\r");
}

TEST_F(FakeHost, CommandTimesAreMonotonicRawAndOrdered)
{
    sim_.AddTransfer(PlainTransfer({"1"}));
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    const int64_t before = MonotonicRawNs();
    Send("READ\r");
    ASSERT_TRUE(sim_.WaitForCommands(1, 2000));
    const int64_t after = MonotonicRawNs();
    EXPECT_EQ(ReadLine(), "ACK\r");
    ReadLine();
    Send("ACK\r");
    ASSERT_TRUE(sim_.WaitForCommands(2, 2000));
    const auto commands = sim_.Commands();
    EXPECT_GE(commands[0].timeNs, before);
    EXPECT_LE(commands[0].timeNs, after);
    EXPECT_GE(commands[1].timeNs, commands[0].timeNs);
    // A sent chunk is stamped after the command that caused it.
    const auto sent = SentAtLeast(1);
    ASSERT_FALSE(sent.empty());
    EXPECT_GE(sent[0].timeNs, commands[0].timeNs);
}

TEST_F(FakeHost, NakResendsTheSameLineUntilAccepted)
{
    sim_.AddTransfer(PlainTransfer({"xyz"}));
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    Send("READ\r");
    EXPECT_EQ(ReadLine(), "ACK\r");
    const std::string first = ReadLine();
    EXPECT_EQ(first, EncodeRecordLine(0, "xyz"));
    Send("NAK\r");
    EXPECT_EQ(ReadLine(), first);
    Send("NAK\r");
    EXPECT_EQ(ReadLine(), first);
    Send("ACK\r");
    EXPECT_EQ(ReadLine(), "OVER\r");
    EXPECT_EQ(sim_.RecordsAcknowledged(), 1);
}

TEST_F(FakeHost, BadChecksumOnTheFirstAttemptsOnly)
{
    TransferPlan plan = PlainTransfer({"abJ"});
    plan.records[0].badChecksumAttempts = 2;
    sim_.AddTransfer(plan);
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    Send("READ\r");
    ReadLine();
    const std::string good = EncodeRecordLine(0, "abJ");
    const std::string bad = EncodeRecordLine(0, "abJ", true);
    EXPECT_EQ(ReadLine(), bad);
    Send("NAK\r");
    EXPECT_EQ(ReadLine(), bad);
    Send("NAK\r");
    EXPECT_EQ(ReadLine(), good);
}

TEST_F(FakeHost, WrongSequenceThenRightOne)
{
    TransferPlan plan = PlainTransfer({"abc"});
    plan.records[0].wrongSequenceAttempts = 1;
    sim_.AddTransfer(plan);
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    Send("READ\r");
    ReadLine();
    // Sequence 1 with its own correct checksum, where 0 is due.
    EXPECT_EQ(ReadLine(), EncodeRecordLine(1, "abc"));
    Send("NAK\r");
    EXPECT_EQ(ReadLine(), EncodeRecordLine(0, "abc"));
}

TEST_F(FakeHost, DuplicateAfterAckIsNotCountedTwice)
{
    TransferPlan plan = PlainTransfer({"abc", "def"});
    plan.records[0].repeatAfterAck = true;
    sim_.AddTransfer(plan);
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    Send("READ\r");
    ReadLine();
    const std::string zero = ReadLine();
    Send("ACK\r");
    EXPECT_EQ(ReadLine(), zero);
    Send("ACK\r");
    EXPECT_EQ(ReadLine(), EncodeRecordLine(1, "def"));
    Send("ACK\r");
    EXPECT_EQ(ReadLine(), "OVER\r");
    EXPECT_EQ(sim_.RecordsAcknowledged(), 2);
}

TEST_F(FakeHost, FirstReadAnsweredWithNak)
{
    TransferPlan plan = PlainTransfer({"a"});
    plan.nakReads = 1;
    sim_.AddTransfer(plan);
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    Send("READ\r");
    EXPECT_EQ(ReadLine(), "NAK\r");
    EXPECT_TRUE(Quiet(50));
    EXPECT_EQ(sim_.TransfersStarted(), 0);
    Send("READ\r");
    EXPECT_EQ(ReadLine(), "ACK\r");
    EXPECT_EQ(ReadLine(), EncodeRecordLine(0, "a"));
    EXPECT_EQ(sim_.TransfersStarted(), 1);
}

TEST_F(FakeHost, SilentTerminalNeverAnswers)
{
    TransferPlan plan = PlainTransfer({"a"});
    plan.answer = ReadAnswer::SILENT;
    sim_.AddTransfer(plan);
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    Send("READ\r");
    Send("READ\r");
    ASSERT_TRUE(sim_.WaitForCommand("READ\r", 2, 2000));
    EXPECT_TRUE(Quiet(100));
    EXPECT_TRUE(sim_.Sent().empty());
}

TEST_F(FakeHost, SilentAfterRecordsStopsAndReadRestarts)
{
    TransferPlan plan = PlainTransfer({"a", "b", "c"});
    plan.silentAfterRecords = 1;
    sim_.AddTransfer(plan);
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    Send("READ\r");
    ReadLine();
    EXPECT_EQ(ReadLine(), EncodeRecordLine(0, "a"));
    Send("ACK\r");
    EXPECT_TRUE(Quiet(100));
    Send("NAK\r");  // the host's time-out answer changes nothing
    EXPECT_TRUE(Quiet(100));
    // A new request starts the transfer again from sequence 0.
    Send("READ\r");
    EXPECT_EQ(ReadLine(), "ACK\r");
    EXPECT_EQ(ReadLine(), EncodeRecordLine(0, "a"));
    EXPECT_EQ(sim_.TransfersCompleted(), 0);
}

TEST_F(FakeHost, AckJoinedWithFirstRecordInOneWrite)
{
    TransferPlan plan = PlainTransfer({"abc"});
    plan.joinAckWithFirst = true;
    sim_.AddTransfer(plan);
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    Send("READ\r");
    EXPECT_EQ(Read(4 + 7), "ACK\r" + EncodeRecordLine(0, "abc"));
    const auto sent = SentAtLeast(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, "ACK\r" + EncodeRecordLine(0, "abc"));
    Send("ACK\r");
    EXPECT_EQ(ReadLine(), "OVER\r");
}

TEST_F(FakeHost, TwoRecordsInOneWriteAndLastWithOverAndTrailingBytes)
{
    TransferPlan plan = PlainTransfer({"a", "b", "c"});
    plan.records[0].joinWithNext = true;
    plan.records[2].joinWithNext = true;
    plan.afterOver = "junk";
    sim_.AddTransfer(plan);
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    Send("READ\r");
    ReadLine();
    const std::string pair = EncodeRecordLine(0, "a") + EncodeRecordLine(1, "b");
    EXPECT_EQ(Read(pair.size()), pair);
    Send("ACK\r");
    // Record 1 went out already: the first answer must not send it again.
    EXPECT_TRUE(Quiet(100));
    Send("ACK\r");
    const std::string tail = EncodeRecordLine(2, "c") + "OVER\rjunk";
    EXPECT_EQ(Read(tail.size()), tail);
    const auto sent = SentAtLeast(3);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1].bytes, pair);
    EXPECT_EQ(sent[2].bytes, tail);
    EXPECT_TRUE(sim_.WaitForTransfers(1, 2000));
}

TEST_F(FakeHost, SplitLineArrivesInPiecesWithGaps)
{
    TransferPlan plan = PlainTransfer({"0123456789"});
    plan.records[0].splitChunk = 5;
    plan.records[0].splitGapMs = 40;
    sim_.AddTransfer(plan);
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    Send("READ\r");
    ReadLine();
    EXPECT_EQ(ReadLine(), EncodeRecordLine(0, "0123456789"));
    const auto sent = SentAtLeast(4);
    ASSERT_EQ(sent.size(), 4u);  // "ACK\r", then 5 + 5 + 4 bytes
    EXPECT_EQ(sent[1].bytes.size(), 5u);
    EXPECT_EQ(sent[3].bytes.size(), 4u);
    for (size_t i = 2; i < sent.size(); ++i)
        EXPECT_GE(sent[i].timeNs - sent[i - 1].timeNs, 40 * 1000000LL);
}

TEST_F(FakeHost, OverlongRawLineSentVerbatim)
{
    TransferPlan plan;
    RecordSpec spec;
    spec.rawLine = std::string(1100, 'x') + "\r";
    plan.records.push_back(spec);
    sim_.AddTransfer(plan);
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    Send("READ\r");
    ReadLine();
    EXPECT_EQ(ReadLine(), spec.rawLine);
}

TEST_F(FakeHost, KeepOnlineServesTransfersInTurnThenOverOrSilence)
{
    sim_.AddTransfer(PlainTransfer({"first"}));
    sim_.AddTransfer(PlainTransfer({"second"}));
    sim_.SetWhenExhausted(WhenExhausted::OVER);
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    for (const char* data : {"first", "second"}) {
        Send("READ\r");
        EXPECT_EQ(ReadLine(), "ACK\r");
        // Every transfer starts again at sequence 0.
        EXPECT_EQ(ReadLine(), EncodeRecordLine(0, data));
        Send("ACK\r");
        EXPECT_EQ(ReadLine(), "OVER\r");
    }
    Send("READ\r");
    EXPECT_EQ(ReadLine(), "OVER\r");
    EXPECT_TRUE(sim_.WaitForTransfers(3, 2000));
    sim_.SetWhenExhausted(WhenExhausted::SILENT);
    Send("READ\r");
    EXPECT_TRUE(Quiet(100));
}

TEST_F(FakeHost, SequenceWrapsAfterNine)
{
    std::vector<std::string> records;
    for (int i = 0; i < 12; ++i)
        records.push_back(std::string(1, static_cast<char>('a' + i)));
    sim_.AddTransfer(PlainTransfer(records));
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    Send("READ\r");
    ReadLine();
    for (int i = 0; i < 12; ++i) {
        const std::string line = ReadLine();
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line[0], static_cast<char>(i % 10)) << i;
        Send("ACK\r");
    }
    EXPECT_EQ(ReadLine(), "OVER\r");
}

TEST_F(FakeHost, LineSpeedSeenFromTheMaster)
{
    termios attributes{};
    ASSERT_EQ(tcgetattr(pty_.slave, &attributes), 0);
    cfsetspeed(&attributes, B57600);
    ASSERT_EQ(tcsetattr(pty_.slave, TCSANOW, &attributes), 0);
    EXPECT_EQ(LineSpeed(pty_.master), 57600);
    cfsetspeed(&attributes, B9600);
    ASSERT_EQ(tcsetattr(pty_.slave, TCSANOW, &attributes), 0);
    EXPECT_EQ(LineSpeed(pty_.master), 9600);
}

TEST_F(FakeHost, WaitForTimesOutWhenNothingHappens)
{
    ASSERT_EQ(sim_.Start(pty_.master), 0);
    const int64_t start = MonotonicRawNs();
    EXPECT_FALSE(sim_.WaitForCommands(1, 100));
    EXPECT_GE(MonotonicRawNs() - start, 95 * 1000000LL);
}

}  // namespace
