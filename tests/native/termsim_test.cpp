// The terminal simulator against a fake host on a pseudo-terminal pair: the
// simulator serves the master, the test plays the host on the slave.
#include "tools/termsim/record_encoding.h"
#include "tools/termsim/terminal_simulator.h"
#include "termsim_host.h"

#include <gtest/gtest.h>

using namespace termsim;

namespace {

TEST(RecordEncoding, LinesOfWorkedExamplesAndEdges)
{
    const struct {
        uint8_t sequence;
        std::string data, tail;   // tail: checksum low, high, CR
    } rows[] = {
        {0, "abc", "\x26\x01\r"},
        {1, "abc", "\x27\x01\r"},
        {0, "abJ", "\x0E\x01\r"},                                // low byte 0x0D goes out as 0x0E
        {7, "", std::string("\x07\0\r", 3)},
        {2, std::string(300, '\xFF'), "\xD6\x2A\r"},               // 76502 wraps to 0x2AD6
        {1, std::string(13, '\xFF') + "\x0C", std::string("\0\x0E\r", 3)},   // so does a high 0x0D
    };
    for (const auto& row : rows)
        EXPECT_EQ(EncodeRecordLine(row.sequence, row.data), static_cast<char>(row.sequence) + row.data + row.tail);
}

// One exchange: what the host sends (nothing when empty), then what it must
// receive (nothing at all within 100 ms when empty).
struct Step {
    std::string send, expect;
};
struct Dialogue {
    const char* what;
    std::vector<TransferPlan> plans;
    std::vector<Step> steps;
    std::vector<std::string> writes = {};   // the simulator's first writes, when given
};

TEST(TerminalSimulator, EachPlanProducesItsIntendedBytes)
{
    const auto E = [](int sequence, const char* data) { return EncodeRecordLine(sequence, data); };
    std::vector<TransferPlan> p(12, PlainTransfer({"abc"}));
    p[0] = p[4] = p[7] = PlainTransfer({"abc", "def"});
    p[2].records[0].badChecksumAttempts = 2;
    p[3].records[0].wrongSequenceAttempts = 1;
    p[4].records[0].repeatAfterAck = true;
    p[5].nakReads = 1;
    p[6].answer = ReadAnswer::SILENT;
    p[7].silentAfterRecords = 1;
    p[8].joinAckWithFirst = true;
    p[9] = PlainTransfer({"a", "b", "c"});
    p[9].records[0].joinWithNext = p[9].records[2].joinWithNext = true;
    p[9].afterOver = "junk";
    p[10].records[0].splitChunk = 3;
    p[10].records[0].splitGapMs = 40;
    p[11].records[0].rawLine = std::string(1100, 'x') + "\r";
    TransferPlan over = p[1], wrap = PlainTransfer({"abc", "abc", "abc"});
    over.answer = ReadAnswer::OVER;
    wrap.firstSequence = 8;
    const std::string line = E(0, "abc"), bad = EncodeRecordLine(0, "abc", true), two = E(0, "a") + E(1, "b");
    const Dialogue dialogues[] = {
        {"stop and wait", {p[0]},
         {{"", ""}, {"READ\r", "ACK\r" + line}, {"", ""}, {"ACK\r", E(1, "def")}, {"ACK\r", "OVER\r"}}},
        {"NAK resends", {p[1]}, {{"READ\r", "ACK\r" + line}, {"NAK\r", line}, {"NAK\r", line}, {"ACK\r", "OVER\r"}}},
        {"bad checksum twice", {p[2]}, {{"READ\r", "ACK\r" + bad}, {"NAK\r", bad}, {"NAK\r", line}}},
        {"wrong sequence once", {p[3]}, {{"READ\r", "ACK\r" + E(1, "abc")}, {"NAK\r", line}}},
        {"repeat after ACK", {p[4]}, {{"READ\r", "ACK\r" + line}, {"ACK\r", line}, {"ACK\r", E(1, "def")}}},
        {"first READ refused", {p[5]}, {{"READ\r", "NAK\r"}, {"", ""}, {"READ\r", "ACK\r" + line}}},
        {"silent", {p[6]}, {{"READ\r", ""}, {"READ\r", ""}}},
        {"silent after a record", {p[7]}, {{"READ\r", "ACK\r" + line}, {"ACK\r", ""}, {"READ\r", "ACK\r" + line}}},
        {"ACK joined with record 0", {p[8]}, {{"READ\r", "ACK\r" + line}}, {"ACK\r" + line}},
        {"joined records, bytes after OVER", {p[9]},
         {{"READ\r", "ACK\r" + two}, {"ACK\r", ""}, {"ACK\r", E(2, "c") + "OVER\rjunk"}},
         {"ACK\r", two, E(2, "c") + "OVER\rjunk"}},
        {"line split", {p[10]}, {{"READ\r", "ACK\r" + line}}, {"ACK\r", line.substr(0, 3), line.substr(3, 3), "\r"}},
        {"raw line", {p[11]}, {{"READ\r", "ACK\r" + p[11].records[0].rawLine}}},
        {"OVER at once", {over}, {{"READ\r", "OVER\r"}}},
        {"sequence from 8 wraps after 9", {wrap},
         {{"READ\r", "ACK\r" + E(8, "abc")}, {"ACK\r", E(9, "abc")}, {"ACK\r", line}}},
        {"transfers in turn, then OVER", {PlainTransfer({"first"}), PlainTransfer({"second"})},
         {{"READ\r", "ACK\r" + E(0, "first")}, {"ACK\r", "OVER\r"}, {"READ\r", "ACK\r" + E(0, "second")},
          {"ACK\r", "OVER\r"}, {"READ\r", "OVER\r"}}},
    };
    for (const Dialogue& d : dialogues) {
        SCOPED_TRACE(d.what);
        FakeHost host;
        ASSERT_TRUE(host.ok);
        for (const TransferPlan& plan : d.plans) host.sim.AddTransfer(plan);
        host.sim.SetWhenExhausted(WhenExhausted::OVER);
        ASSERT_EQ(host.sim.Start(host.pty.master), 0);
        for (const Step& step : d.steps) {
            EXPECT_TRUE(step.send.empty() || host.Send(step.send));
            size_t size = step.expect.empty() ? 1 : step.expect.size();
            EXPECT_EQ(host.Read(size, step.expect.empty() ? 100 : 2000), step.expect) << "after " << step.send;
        }
        // The simulator logs a write just after making it.
        host.sim.WaitFor([&](const TerminalSimulator& sim) { return sim.Sent().size() >= d.writes.size(); }, 2000);
        const auto sent = host.sim.Sent();
        for (size_t i = 0; i < d.writes.size() && i < sent.size(); ++i) EXPECT_EQ(sent[i].bytes, d.writes[i]) << i;
        for (size_t i = 2; i < sent.size() && d.plans[0].records[0].splitGapMs; ++i)
            EXPECT_GE(sent[i].timeNs - sent[i - 1].timeNs, 40 * 1000000LL) << i;
    }
}

}  // namespace
