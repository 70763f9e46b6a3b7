#include "line_faults.h"

#include "record_encoding.h"

namespace termsim {

namespace {

constexpr size_t RECORD_OVERHEAD = 4;    // sequence, two checksum bytes, CR
constexpr size_t LINE_CAPACITY = 1025;   // what the host keeps of one line

}  // namespace

std::string ApplyNoise(std::string line, const std::vector<BitFlip>& flips, int attempt, int* applied)
{
    int count = 0;
    for (const BitFlip& flip : flips) {
        if (flip.attempt != attempt || line.empty() || flip.mask == 0)
            continue;
        char& byte = line[flip.position % line.size()];
        byte = static_cast<char>(static_cast<uint8_t>(byte) ^ flip.mask);
        ++count;
    }
    if (applied != nullptr)
        *applied = count;
    return line;
}

bool PassesRecordChecks(std::string_view line, uint8_t sequence)
{
    if (line.size() < RECORD_OVERHEAD || line.size() > LINE_CAPACITY || line.back() != LINE_END)
        return false;
    if (line.find(LINE_END) != line.size() - 1)
        return false;
    if (static_cast<uint8_t>(line[0]) != sequence)
        return false;
    const uint16_t sum = RecordChecksum(sequence, line.substr(1, line.size() - RECORD_OVERHEAD));
    return static_cast<uint8_t>(line[line.size() - 3]) == WireChecksumByte(static_cast<uint8_t>(sum & 0xFF)) &&
           static_cast<uint8_t>(line[line.size() - 2]) == WireChecksumByte(static_cast<uint8_t>(sum >> 8));
}

LineVerdict JudgeLine(std::string_view sent, std::string_view encoded, uint8_t sequence)
{
    if (sent == encoded)
        return LineVerdict::INTACT;
    if (sent.empty() || sent.back() != LINE_END)
        return LineVerdict::UNENDED;
    if (sent.find(LINE_END) != sent.size() - 1)
        return LineVerdict::CUT;
    return PassesRecordChecks(sent, sequence) ? LineVerdict::UNDETECTABLE : LineVerdict::REFUSED;
}

std::string DataOfLine(std::string_view line)
{
    if (line.size() < RECORD_OVERHEAD)
        return std::string();
    return std::string(line.substr(1, line.size() - RECORD_OVERHEAD));
}

std::string MakeOverlong(const std::string& line)
{
    if (line.size() < 3)
        return line;
    const size_t junk = LINE_CAPACITY + 75 > line.size() ? LINE_CAPACITY + 75 - line.size() : 1;
    std::string longer = line.substr(0, line.size() - 3);
    longer.append(junk, 'x');
    longer.append(line, line.size() - 3, 3);
    return longer;
}

std::string MakeShort(const std::string& line, size_t keep)
{
    if (line.empty() || keep + 1 >= line.size())
        return line;
    return line.substr(0, keep) + LINE_END;
}

std::string DisguisedLine(uint8_t sequence, std::string_view trueData, std::string_view carriedData)
{
    const std::string truth = EncodeRecordLine(sequence, trueData);
    std::string line(1, static_cast<char>(sequence));
    line.append(carriedData);
    line.append(truth, truth.size() - 3, 3);
    return line;
}

}  // namespace termsim
