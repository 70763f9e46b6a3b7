// Encoding of one record line as the terminal sends it: a sequence byte
// (0 to 9, raw), the data bytes, the 16-bit sum of sequence and data sent low
// byte first, and a CR. A checksum byte that would be 13 (a CR) goes out as 14.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace termsim {

constexpr char LINE_END = '\r';

// The 16-bit sum of the sequence byte and every data byte.
uint16_t RecordChecksum(uint8_t sequence, std::string_view data);

// A checksum byte as it goes on the wire (13 becomes 14).
constexpr uint8_t WireChecksumByte(uint8_t value) { return value == 13 ? 14 : value; }

// The whole line, CR included. With corruptChecksum the low checksum byte is
// replaced by one that no host may accept (never 13 or 14 in place of the
// other, never a CR), to provoke a refusal.
std::string EncodeRecordLine(uint8_t sequence, std::string_view data, bool corruptChecksum = false);

}  // namespace termsim
