// The soak's seeded draws and its check of an output: a seed replays the
// same transfers, the records reach every byte value but CR and spell the
// terminal's answers where meant to, a disguise always passes the host's
// checks, and the check names each kind of mismatch.
#include "tools/termsim/fault_draw.h"
#include "tools/termsim/line_faults.h"
#include "tools/termsim/output_check.h"
#include "tools/termsim/record_encoding.h"

#include <gtest/gtest.h>

#include <bitset>

using namespace termsim;

namespace {

std::string Describe(const TransferPlan& plan)
{
    std::string text = std::to_string(plan.joinAckWithFirst) + std::to_string(plan.nakReads) + plan.afterOver;
    for (const RecordSpec& r : plan.records) {
        text += "|" + r.data + r.disguisedData + std::to_string(r.badChecksumAttempts) +
                std::to_string(r.wrongSequenceOffset) + std::to_string(r.droppedAcks) +
                std::to_string(r.resendAfterMs) + std::to_string(r.pauseBeforeMs) + std::to_string(r.pauseInsideMs) +
                std::to_string(r.splitChunk) + std::to_string(r.noise.size());
        for (const BitFlip& flip : r.noise) text += std::to_string(flip.position) + ":" + std::to_string(flip.mask);
    }
    return text;
}

TEST(SoakDraw, ASeedAndPartReplayTheSameTransfers)
{
    SoakRandom a = DeriveRandom(42, 7), b = DeriveRandom(42, 7), other = DeriveRandom(42, 8);
    for (int i = 0; i < 20; ++i) {
        const std::string first = Describe(DrawTransfer(a, DrawOptions{}));
        EXPECT_EQ(first, Describe(DrawTransfer(b, DrawOptions{}))) << i;
        EXPECT_NE(first, Describe(DrawTransfer(other, DrawOptions{}))) << i;
    }
    // The generator is our own: these values hold on every machine.
    SoakRandom fixed{0};
    EXPECT_EQ(fixed.Next(), 0xE220A8397B1DCDAFULL);
}

TEST(SoakDraw, RecordsCoverEveryByteValueButCrAndSpellAnswersWhenTheySaySo)
{
    SoakRandom random = DeriveRandom(1, 1);
    std::bitset<256> seen;
    int spelled = 0;
    for (int i = 0; i < 400; ++i) {
        const uint8_t sequence = static_cast<uint8_t>(i % 10);
        bool spells = false;
        const std::string data = DrawRecordData(random, sequence, &spells);
        for (unsigned char c : data) seen.set(c);
        if (!spells) continue;
        ++spelled;
        const std::string line = EncodeRecordLine(sequence, data);
        const bool endsInAnswer = line.ends_with("ACK\r") || line.ends_with("NAK\r") || line.ends_with("OVER\r");
        EXPECT_TRUE(endsInAnswer) << i;
    }
    EXPECT_FALSE(seen.test(13));
    EXPECT_EQ(seen.count(), 255u);
    EXPECT_GT(spelled, 20);
}

// A terminal that writes a record together with the next one cannot lose
// the first one's answer or send it again after the next (no host could
// pair the answers right, or take it for a repetition), and the next one's
// wrong sequence value is never the first one's own (a host refusing the
// first must take that line for its record).
TEST(SoakDraw, AJoinedWriteIsNeverDrawnWithAFaultNoHostCanServe)
{
    SoakRandom random = DeriveRandom(7, 3);
    const DrawOptions faultsEverywhere{.maxRecords = 12, .faultPercent = 500};
    int joined = 0;
    for (int i = 0; i < 500; ++i) {
        const TransferPlan plan = DrawTransfer(random, faultsEverywhere);
        for (size_t r = 0; r + 1 < plan.records.size(); ++r) {
            const RecordSpec& first = plan.records[r];
            if (!first.joinWithNext) continue;
            ++joined;
            EXPECT_EQ(first.droppedAcks, 0) << i << " " << r;
            EXPECT_FALSE(first.repeatAfterAck) << i << " " << r;
            const RecordSpec& next = plan.records[r + 1];
            if (next.wrongSequenceAttempts > 0) {
                EXPECT_NE(next.wrongSequenceOffset, 9) << i << " " << r;
            }
        }
    }
    EXPECT_GT(joined, 100);
}

TEST(SoakDraw, ADisguiseAlwaysPassesTheHostsChecks)
{
    const struct {
        const char* what;
        std::string data;
    } rows[] = {
        {"sum kept", "abc"},
        {"low checksum byte 13 sent as 14", std::string("\x05\x08", 2)},
        {"low checksum byte 14", std::string("\x05\x09", 2)},
        {"bytes at the ends of their range", std::string("\x00\xFF\x0E\x0C", 4)},
    };
    SoakRandom random = DeriveRandom(3, 3);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        for (int i = 0; i < 20; ++i) {
            const std::string disguise = DrawDisguise(random, 0, row.data);
            ASSERT_FALSE(disguise.empty());
            EXPECT_EQ(disguise.find('\r'), std::string::npos);
            EXPECT_EQ(JudgeLine(DisguisedLine(0, row.data, disguise), EncodeRecordLine(0, row.data), 0),
                      LineVerdict::UNDETECTABLE);
        }
    }
    EXPECT_TRUE(DrawDisguise(random, 0, "a").empty()) << "one byte with no 13/14 checksum has no disguise";
}

TEST(OutputCheckTest, EachKindOfMismatchIsNamed)
{
    const std::vector<std::string> abc = {"a\r\n", "b\r\n", "c\r\n"};
    const struct {
        const char* what;
        std::string actual;
        bool exact;
        int lost, duplicated, reordered;
        size_t extraBytes;
    } rows[] = {
        {"exact", "a\r\nb\r\nc\r\n", true, 0, 0, 0, 0},
        {"one lost", "a\r\nc\r\n", false, 1, 0, 0, 0},
        {"one twice", "a\r\nb\r\nb\r\nc\r\n", false, 0, 1, 0, 0},
        {"two swapped", "a\r\nc\r\nb\r\n", false, 0, 0, 1, 0},
        {"loose bytes", "a\r\nb\r\nxyc\r\n", false, 0, 0, 0, 2},
        {"a record of another transfer", "a\r\nb\r\nc\r\nz\r\n", false, 0, 1, 0, 0},
        {"cut short", "a\r\nb\r\nc", false, 1, 0, 0, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const OutputCheck check = CheckOutput(abc, row.actual, {"z\r\n"});
        EXPECT_EQ(check.exact, row.exact);
        EXPECT_EQ(check.lost, row.lost);
        EXPECT_EQ(check.duplicated, row.duplicated);
        EXPECT_EQ(check.reordered, row.reordered);
        EXPECT_EQ(check.extraBytes, row.extraBytes);
    }
}

}  // namespace
