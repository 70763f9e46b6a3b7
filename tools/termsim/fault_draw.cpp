#include "fault_draw.h"

#include "record_encoding.h"

#include <algorithm>
#include <numeric>

namespace termsim {

namespace {

constexpr uint8_t CR = 13;
constexpr int SPLIT_LINE_MS = 600;   // the most a split line may take, well within the reply time

bool Chance(SoakRandom& random, int percent, const DrawOptions& options)
{
    return random.Below(100) < percent * options.faultPercent / 100;
}

uint16_t SumOf(uint8_t sequence, const std::string& data)
{
    return RecordChecksum(sequence, data);
}

// A byte that may take one more (or one less) without becoming a CR.
bool CanRaise(uint8_t byte) { return byte < 255 && byte + 1 != CR; }
bool CanLower(uint8_t byte) { return byte > 0 && byte - 1 != CR; }

std::string TextData(SoakRandom& random)
{
    std::string data(static_cast<size_t>(random.Between(1, 60)), ' ');
    for (char& c : data) c = static_cast<char>(random.Between(0x20, 0x7E));
    return data;
}

std::string BinaryData(SoakRandom& random)
{
    std::string data(static_cast<size_t>(random.Between(1, 200)), '\0');
    for (char& c : data) {
        int value = random.Below(255);
        c = static_cast<char>(value >= CR ? value + 1 : value);   // every value but 13
    }
    return data;
}

std::string EveryByteValue(SoakRandom& random)
{
    std::string data;
    for (int value = 0; value < 256; ++value)
        if (value != CR) data.push_back(static_cast<char>(value));
    for (size_t i = data.size() - 1; i > 0; --i)
        std::swap(data[i], data[static_cast<size_t>(random.Below(static_cast<int>(i + 1)))]);
    return data;
}

// A pause of the terminal: within the reply time, past one or two reply
// times, or (rarely) past the host's patience altogether.
int DrawPause(SoakRandom& random, const DrawOptions& options)
{
    const int kind = random.Below(100);
    if (!options.longPauses || kind < 60) return random.Between(30, 800);
    if (kind < 80) return random.Between(1200, 1800);
    if (kind < 96) return random.Between(2250, 2750);
    return 9000;
}

std::vector<BitFlip> DrawNoise(SoakRandom& random, size_t lineLength, bool aimAtSequence)
{
    std::vector<BitFlip> flips;
    const int count = random.Between(1, 2);
    for (int i = 0; i < count; ++i) {
        BitFlip flip;
        flip.attempt = random.Percent(80) ? 0 : 1;
        flip.position = aimAtSequence && i == 0 ? 0 : static_cast<size_t>(random.Below(static_cast<int>(lineLength)));
        flip.mask = static_cast<uint8_t>(1u << random.Below(8));
        flips.push_back(flip);
    }
    return flips;
}

// Moves the data's sum so that its low byte is 13 or 14: the checksum byte
// the wire cannot tell from the other.
void AimLowSumAtCr(SoakRandom& random, uint8_t sequence, std::string& data)
{
    const int target = random.Percent(50) ? 13 : 14;
    for (int tries = 0; tries < 4 && !data.empty(); ++tries) {
        const int low = SumOf(sequence, data) & 0xFF;
        int delta = target - low;
        size_t at = static_cast<size_t>(random.Below(static_cast<int>(data.size())));
        const int value = static_cast<uint8_t>(data[at]) + delta;
        if (value >= 0 && value <= 255 && value != CR) {
            data[at] = static_cast<char>(value);
            return;
        }
    }
}

}  // namespace

uint64_t SoakRandom::Next()
{
    state += 0x9E3779B97F4A7C15ULL;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

int SoakRandom::Below(int bound)
{
    return bound <= 1 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(bound));
}

int SoakRandom::Between(int low, int high)
{
    return low + Below(high - low + 1);
}

bool SoakRandom::Percent(int chance)
{
    return Below(100) < chance;
}

SoakRandom DeriveRandom(uint64_t seed, uint64_t part)
{
    SoakRandom mixer{seed ^ (part * 0xD1B54A32D192ED03ULL)};
    return SoakRandom{mixer.Next()};
}

std::string DataWithSum(SoakRandom& random, uint8_t sequence, uint16_t sum, const std::string& tail)
{
    const long fixed = sequence + std::accumulate(tail.begin(), tail.end(), 0L,
                                                  [](long total, char c) { return total + static_cast<uint8_t>(c); });
    const long remaining = static_cast<long>(sum) - fixed;
    if (remaining < 0) return std::string();
    // Evenly spread first, then shuffled about by moving amounts between bytes.
    const long count = remaining / 200 + 1 + random.Below(3);
    std::string body(static_cast<size_t>(count), '\0');
    for (long i = 0; i < count; ++i)
        body[static_cast<size_t>(i)] = static_cast<char>(remaining / count + (i < remaining % count ? 1 : 0));
    for (long step = 0; step < count * 2; ++step) {
        const size_t from = static_cast<size_t>(random.Below(static_cast<int>(count)));
        const size_t to = static_cast<size_t>(random.Below(static_cast<int>(count)));
        const int amount = random.Between(1, 40);
        const int a = static_cast<uint8_t>(body[from]) - amount, b = static_cast<uint8_t>(body[to]) + amount;
        if (from != to && a >= 0 && b <= 255 && a != CR && b != CR) {
            body[from] = static_cast<char>(a);
            body[to] = static_cast<char>(b);
        }
    }
    // A CR left over from the even spread moves one down, its neighbour one up.
    for (size_t i = 0; i < body.size(); ++i) {
        if (static_cast<uint8_t>(body[i]) != CR) continue;
        for (size_t j = 0; j < body.size(); ++j) {
            if (j != i && CanRaise(static_cast<uint8_t>(body[j]))) {
                body[i] = static_cast<char>(CR - 1);
                body[j] = static_cast<char>(static_cast<uint8_t>(body[j]) + 1);
                break;
            }
        }
    }
    std::string data = body + tail;
    return SumOf(sequence, data) == sum && data.find(static_cast<char>(CR)) == std::string::npos ? data : std::string();
}

std::string DrawRecordData(SoakRandom& random, uint8_t sequence, bool* spellsAnswer)
{
    if (spellsAnswer != nullptr) *spellsAnswer = false;
    const int kind = random.Below(100);
    if (kind < 45) return TextData(random);
    if (kind < 80) return BinaryData(random);
    if (kind < 88) return EveryByteValue(random);
    // The line's last bytes spell one of the terminal's own answers.
    const int answer = random.Below(3);
    const char* tail = answer == 0 ? "A" : answer == 1 ? "N" : "OV";
    const uint16_t sum = answer == 0 ? 0x4B43 : answer == 1 ? 0x4B41 : 0x5245;   // "CK", "AK", "ER" low byte first
    std::string data = DataWithSum(random, sequence, sum, tail);
    if (data.empty()) return TextData(random);
    if (spellsAnswer != nullptr) *spellsAnswer = true;
    return data;
}

std::string DrawDisguise(SoakRandom& random, uint8_t sequence, const std::string& data)
{
    const int n = static_cast<int>(data.size());
    std::string changed = data;
    const int low = SumOf(sequence, data) & 0xFF;
    if (low == 13 || low == 14) {
        // 13 and 14 are one checksum byte on the wire: one byte up or down
        // turns one into the other.
        const int start = random.Below(n);
        for (int k = 0; k < n; ++k) {
            const size_t at = static_cast<size_t>((start + k) % n);
            const uint8_t byte = static_cast<uint8_t>(data[at]);
            if (low == 13 ? CanRaise(byte) : CanLower(byte)) {
                changed[at] = static_cast<char>(low == 13 ? byte + 1 : byte - 1);
                return changed;
            }
        }
        return std::string();
    }
    if (n < 2) return std::string();
    const int start = random.Below(n);
    for (int k = 0; k < n; ++k) {
        const size_t up = static_cast<size_t>((start + k) % n);
        if (!CanRaise(static_cast<uint8_t>(data[up]))) continue;
        for (int m = 1; m < n; ++m) {
            const size_t down = (up + static_cast<size_t>(m)) % static_cast<size_t>(n);
            if (!CanLower(static_cast<uint8_t>(data[down]))) continue;
            changed[up] = static_cast<char>(static_cast<uint8_t>(data[up]) + 1);
            changed[down] = static_cast<char>(static_cast<uint8_t>(data[down]) - 1);
            return changed;
        }
    }
    return std::string();
}

TransferPlan DrawTransfer(SoakRandom& random, const DrawOptions& options)
{
    TransferPlan plan;
    plan.resumeOnRead = true;
    const int count = random.Percent(5) ? 0 : random.Between(1, options.maxRecords);
    for (int i = 0; i < count; ++i) {
        const uint8_t sequence = static_cast<uint8_t>(i % 10);
        RecordSpec spec;
        bool spellsAnswer = false;
        spec.data = DrawRecordData(random, sequence, &spellsAnswer);
        const size_t lineLength = spec.data.size() + 4;
        if (Chance(random, 3, options)) {
            if (random.Percent(40)) AimLowSumAtCr(random, sequence, spec.data);
            spec.disguisedData = DrawDisguise(random, sequence, spec.data);
        }
        const bool disguised = !spec.disguisedData.empty();
        if (Chance(random, 12, options)) spec.noise = DrawNoise(random, lineLength, spellsAnswer && random.Percent(30));
        if (!disguised && Chance(random, 5, options)) spec.badChecksumAttempts = random.Between(1, 2);
        if (!disguised && Chance(random, 5, options)) {
            spec.wrongSequenceAttempts = 1;
            spec.wrongSequenceOffset = random.Between(1, 9);
            // Sequence value and data of the record before: the very line the
            // host took last, which it must take for a repetition. And after
            // a record written in one go with this one, the sequence value of
            // that record is the one the host expects while it refuses that
            // record: this line would be a good record to it.
            if (spec.wrongSequenceOffset == 9 && i > 0 &&
                (plan.records.back().data == spec.data || plan.records.back().joinWithNext))
                spec.wrongSequenceOffset = 1;
        }
        if (Chance(random, 5, options)) spec.repeatAfterAck = true;
        if (Chance(random, 6, options)) {
            spec.droppedAcks = random.Between(1, 2);
            spec.resendAfterMs = random.Percent(50) ? 0 : random.Between(100, 700);
        }
        if (Chance(random, 8, options)) {
            spec.splitChunk = static_cast<size_t>(random.Between(1, static_cast<int>(std::max<size_t>(1, lineLength - 1))));
            // Every send is split so: the whole line must still come within
            // the reply time, or it never would.
            const int gaps = static_cast<int>((lineLength - 1) / spec.splitChunk);
            spec.splitGapMs = std::min(random.Below(41), gaps > 0 ? SPLIT_LINE_MS / gaps : 0);
        }
        // A terminal that writes its next line before the answer to this one
        // arrived, and then loses that answer, pairs every later answer with
        // the wrong line: no host can undo that (the answers carry no
        // sequence value), so a joined write never loses its first answer.
        if (i + 1 < count && Chance(random, 5, options) && spec.droppedAcks == 0) spec.joinWithNext = true;
        // Sent again after the next record is out, a record is no repetition
        // of the last one to any host: it is refused until the session ends.
        if (spec.joinWithNext) spec.repeatAfterAck = false;
        if (Chance(random, 4, options)) spec.pauseBeforeMs = DrawPause(random, options);
        if (Chance(random, 3, options)) {
            spec.pauseInsideMs = DrawPause(random, options);
            spec.pauseInsideAt = static_cast<size_t>(random.Between(1, static_cast<int>(lineLength - 1)));
        }
        if (Chance(random, 3, options)) spec.overlongAttempts = 1;
        if (Chance(random, 3, options)) {
            spec.shortAttempts = 1;
            spec.shortKeep = static_cast<size_t>(random.Below(4));
        }
        plan.records.push_back(spec);
    }
    if (Chance(random, 10, options)) plan.joinAckWithFirst = true;
    if (Chance(random, 5, options)) plan.nakReads = 1;
    if (Chance(random, 2, options))
        plan.startNoise = {{0, static_cast<size_t>(random.Below(4)), static_cast<uint8_t>(1u << random.Below(8))}};
    if (Chance(random, 2, options))
        plan.endNoise = {{0, static_cast<size_t>(random.Below(5)), static_cast<uint8_t>(1u << random.Below(8))}};
    // A terminal busy past our reply time when "READ\r" comes: it reads our
    // repeated "READ\r" only after answering the first, and either starts
    // over on it (late again) or, still sending, ignores it.
    if (Chance(random, 8, options)) {
        plan.readDelayMs = random.Between(700, 1700);
        plan.ignoreReadWhileSending = random.Percent(50);
        // Starting over, the terminal sends its first write again and takes
        // our answers to the first one for it: a record changed past the
        // checks there would be stored changed while the terminal names the
        // true line acknowledged, which the check cannot tell from a fault.
        if (!plan.ignoreReadWhileSending)
            for (size_t i = 0; i < plan.records.size() && i < 2; ++i) plan.records[i].disguisedData.clear();
    }
    if (Chance(random, 4, options)) {
        plan.afterOver.resize(static_cast<size_t>(random.Between(1, 8)));
        for (char& c : plan.afterOver) c = static_cast<char>(random.Below(256));
    }
    return plan;
}

}  // namespace termsim
