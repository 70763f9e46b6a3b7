// The terminal simulator against a fake host on a pseudo-terminal pair. Only
// what an end-to-end test could not notice itself is checked here: a record
// meant to arrive in pieces must really be cut, or the test of reads across
// the read windows would pass on whole lines. (The other faults the
// simulator injects show in the exact commands those tests expect.)
#include "tools/termsim/record_encoding.h"
#include "tools/termsim/terminal_simulator.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

using namespace termsim;

TEST(TerminalSimulator, ASplitLineGoesOutInItsPiecesWithTheGapsBetween)
{
    PtyPair pty;
    ASSERT_EQ(OpenPtyPair(pty), 0);
    TransferPlan plan = PlainTransfer({"abcdefg"});
    plan.records[0].splitChunk = 3;
    plan.records[0].splitGapMs = 40;
    TerminalSimulator sim;
    sim.AddTransfer(plan);
    ASSERT_EQ(sim.Start(pty.master), 0);
    ASSERT_EQ(write(pty.slave, "READ\r", 5), 5);
    const std::string line = EncodeRecordLine(0, "abcdefg");   // 11 bytes: 3, 3, 3 and 2
    ASSERT_TRUE(sim.WaitFor([](const TerminalSimulator& s) { return s.Sent().size() >= 5; }, 3000));
    const auto sent = sim.Sent();
    const std::vector<std::string> expected = {"ACK\r", line.substr(0, 3), line.substr(3, 3), line.substr(6, 3),
                                               line.substr(9)};
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(sent[i].bytes, expected[i]) << i;
    for (size_t i = 2; i < expected.size(); ++i) EXPECT_GE(sent[i].timeNs - sent[i - 1].timeNs, 40 * 1000000LL) << i;
    sim.Stop();
    ClosePtyPair(pty);
}

// The soak's terminal writes two lines in one write, in pieces; the host's
// answer to the first comes while the second is still going out. The
// terminal has written that first line whole, so the answer is its own (taken
// only once the whole write was out, it went to the wrong line). A line the
// terminal writes meanwhile (here the first record once more) follows the
// second whole: written at once, it went out between the second's bytes.
TEST(TerminalSimulator, ALineOfAJoinedWriteIsOwedItsAnswerFromItsCrOn)
{
    PtyPair pty;
    ASSERT_EQ(OpenPtyPair(pty), 0);
    TransferPlan plan = PlainTransfer({"abc", "def"});
    const std::string first = EncodeRecordLine(0, "abc");
    plan.records[0].joinWithNext = true;
    plan.records[0].repeatAfterAck = true;
    plan.records[0].splitChunk = first.size();   // the first line, then the second
    plan.records[0].splitGapMs = 300;
    TerminalSimulator sim;
    sim.AddTransfer(plan);
    ASSERT_EQ(sim.Start(pty.master), 0);
    ASSERT_EQ(write(pty.slave, "READ\r", 5), 5);
    ASSERT_TRUE(sim.WaitFor([&](const TerminalSimulator& s) { return s.Sent().size() >= 2; }, 3000));
    ASSERT_EQ(sim.Sent()[1].bytes, first);
    ASSERT_EQ(write(pty.slave, "ACK\r", 4), 4);
    ASSERT_TRUE(sim.WaitFor([](const TerminalSimulator& s) { return s.Sent().size() >= 4; }, 3000));
    EXPECT_EQ(sim.Sent()[2].bytes, EncodeRecordLine(1, "def"));
    EXPECT_EQ(sim.Sent()[3].bytes, first);
    ASSERT_EQ(write(pty.slave, "ACK\rACK\r", 8), 8);
    ASSERT_TRUE(sim.WaitForTransfers(1, 3000)) << "both lines and the repetition answered, \"OVER\\r\" follows";
    const auto acknowledged = sim.Acknowledged();
    ASSERT_EQ(acknowledged.size(), 2u);
    EXPECT_EQ(acknowledged[0].data, "abc");
    EXPECT_EQ(acknowledged[1].data, "def");
    EXPECT_LT(acknowledged[0].timeNs, sim.Sent()[2].timeNs) << "the first line's answer taken while the second went out";
    sim.Stop();
    ClosePtyPair(pty);
}

// A terminal busy when "READ\r" comes reads our repeated "READ\r" only after
// answering the first: the kind that starts over answers it too (late
// again), the kind that ignores it while sending answers once, and gives
// the transfer up when no answer comes, so that a later "READ\r" starts anew.
TEST(TerminalSimulator, ABusyTerminalReadsTheRepeatedReadAfterAnsweringTheFirst)
{
    constexpr int DELAY_MS = 300;
    const std::string r0 = EncodeRecordLine(0, "abc");
    for (const bool ignoring : {false, true}) {
        SCOPED_TRACE(ignoring ? "ignoring" : "starting over");
        PtyPair pty;
        ASSERT_EQ(OpenPtyPair(pty), 0);
        TransferPlan plan = PlainTransfer({"abc"});
        plan.readDelayMs = DELAY_MS;
        plan.ignoreReadWhileSending = ignoring;
        plan.joinAckWithFirst = ignoring;   // its wait for an answer starts with that write too
        TerminalSimulator sim;
        sim.AddTransfer(plan);
        ASSERT_EQ(sim.Start(pty.master), 0);
        const int64_t askedNs = MonotonicRawNs();
        ASSERT_EQ(write(pty.slave, "READ\rREAD\r", 10), 10);
        const size_t writes = ignoring ? 1 : 4;
        ASSERT_TRUE(sim.WaitFor([&](const TerminalSimulator& s) { return s.Sent().size() >= writes; }, 3000));
        auto sent = sim.Sent();
        EXPECT_GE(sent[0].timeNs - askedNs, DELAY_MS * 1000000LL);
        EXPECT_EQ(ignoring ? sent[0].bytes : sent[0].bytes + sent[1].bytes, "ACK\r" + r0);
        if (!ignoring) {
            EXPECT_EQ(sent[2].bytes + sent[3].bytes, "ACK\r" + r0);
            EXPECT_GE(sent[2].timeNs - sent[1].timeNs, DELAY_MS * 1000000LL);
        } else {
            const auto gaveUp = [](const TerminalSimulator& s) {
                for (const InjectedFault& fault : s.Injected())
                    if (fault.kind == FaultKind::GAVE_UP) return true;
                return false;
            };
            ASSERT_TRUE(sim.WaitFor(gaveUp, GIVE_UP_MS + 1500));
            EXPECT_GE(MonotonicRawNs() - sent[0].timeNs, GIVE_UP_MS * 1000000LL);
            ASSERT_EQ(sim.Sent().size(), 1u) << "the second READ was ignored";
            ASSERT_EQ(write(pty.slave, "READ\r", 5), 5);
            ASSERT_TRUE(sim.WaitFor([](const TerminalSimulator& s) { return s.Sent().size() >= 2; }, 3000));
            EXPECT_EQ(sim.Sent()[1].bytes, "ACK\r" + r0);
        }
        sim.Stop();
        ClosePtyPair(pty);
    }
}
