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
