#include "record_encoding.h"

namespace termsim {

uint16_t RecordChecksum(uint8_t sequence, std::string_view data)
{
    uint16_t sum = sequence;
    for (unsigned char byte : data)
        sum = static_cast<uint16_t>(sum + byte);
    return sum;
}

std::string EncodeRecordLine(uint8_t sequence, std::string_view data, bool corruptChecksum)
{
    const uint16_t sum = RecordChecksum(sequence, data);
    uint8_t low = WireChecksumByte(static_cast<uint8_t>(sum & 0xFF));
    const uint8_t high = WireChecksumByte(static_cast<uint8_t>(sum >> 8));
    if (corruptChecksum) {
        // 13 would end the line early, and 13/14 are one value on the wire.
        uint8_t wrong = static_cast<uint8_t>(low + 1);
        while (wrong == 13 || wrong == 14 || wrong == low)
            wrong = static_cast<uint8_t>(wrong + 1);
        low = wrong;
    }
    std::string line;
    line.reserve(data.size() + 4);
    line.push_back(static_cast<char>(sequence));
    line.append(data.data(), data.size());
    line.push_back(static_cast<char>(low));
    line.push_back(static_cast<char>(high));
    line.push_back(LINE_END);
    return line;
}

}  // namespace termsim
