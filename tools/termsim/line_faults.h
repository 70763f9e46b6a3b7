// What can happen to one record line between the terminal and the host, and
// what the host's record step will make of the result. Pure functions: the
// simulator applies them and keeps the verdicts with its log, so a test can
// tell the faults the protocol catches from the few it cannot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace termsim {

// Bits flipped by the line: on the attempt-th send of a line (0 the first),
// the byte at position (modulo the line's length, its CR included) is XORed
// with mask.
struct BitFlip {
    int attempt = 0;
    size_t position = 0;
    uint8_t mask = 1;
};

// How the host's record step takes a line meant as one record.
enum class LineVerdict {
    INTACT,        // the line as encoded
    REFUSED,       // changed, and the checks catch it: the host asks again
    UNDETECTABLE,  // changed, yet it passes the checks: the host stores the changed data
    CUT,           // a CR before its end: the host sees (and answers) more than one line
    UNENDED,       // its CR is gone: it runs into whatever the terminal sends next
};

// The flips of this attempt applied to line; *applied counts them.
std::string ApplyNoise(std::string line, const std::vector<BitFlip>& flips, int attempt, int* applied);

// Whether a whole line (CR included) passes the host's checks as the record
// with this sequence value: long enough, no CR before its end, the sequence
// value, the 16-bit sum with a checksum byte 13 sent as 14.
bool PassesRecordChecks(std::string_view line, uint8_t sequence);

// The verdict on the line as sent, against the line as encoded.
LineVerdict JudgeLine(std::string_view sent, std::string_view encoded, uint8_t sequence);

// The data bytes of a record line (between the sequence byte and the checksum).
std::string DataOfLine(std::string_view line);

// Makes a line longer than the host's line buffer (1025 bytes): junk goes in
// before the checksum, so it still ends with its CR.
std::string MakeOverlong(const std::string& line);

// Keeps the first `keep` bytes of the line and its CR.
std::string MakeShort(const std::string& line, size_t keep);

// The record's line carrying other data bytes under the true data's
// checksum: a corruption that the checksum cannot reveal when the sums agree
// (or differ only by a checksum byte 13 sent as 14).
std::string DisguisedLine(uint8_t sequence, std::string_view trueData, std::string_view carriedData);

}  // namespace termsim
