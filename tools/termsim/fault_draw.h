// Transfers drawn at random from a seed, with the faults of a soak: records
// of text or of any byte value (some whose last bytes spell the terminal's
// own answers), and on them noise, refused and repeated lines, lost answers,
// pauses, lines split, joined, too long and too short, and changes that the
// checksum cannot see. The same seed gives the same transfers on every
// machine (the generator and its ranges are our own, not the library's).
#pragma once

#include "terminal_simulator.h"

#include <cstdint>
#include <string>

namespace termsim {

// splitmix64: small, fast and the same everywhere.
struct SoakRandom {
    uint64_t state = 0;

    uint64_t Next();
    int Below(int bound);                // 0 .. bound-1 (bound > 0)
    int Between(int low, int high);      // low .. high, both included
    bool Percent(int chance);            // true with this chance in 100
};

// A generator of its own for each part of a soak (a run, a transfer), so
// one part can be drawn again without drawing everything before it.
SoakRandom DeriveRandom(uint64_t seed, uint64_t part);

// The host's reply time: the soak keeps the terminal's own pauses and time-
// outs clear of its multiples, where an answer and a late line cross on the
// wire and the terminal cannot tell which line the answer is for.
constexpr int HOST_REPLY_MS = 1000;

struct DrawOptions {
    int maxRecords = 12;
    int faultPercent = 100;   // scales every fault's chance (0: plain transfers)
    bool longPauses = true;   // pauses past the reply time (and now and then past the retry limit)
};

// One transfer of the soak. Records are numbered in the plan from sequence 0;
// every plan resumes on "READ\r", as a terminal keeps what it was not told
// it delivered.
TransferPlan DrawTransfer(SoakRandom& random, const DrawOptions& options);

// Data bytes of one record (never a CR): text, any byte value, or data whose
// line ends in "ACK\r", "NAK\r" or "OVER\r" when sent with this sequence value
// (then *spellsAnswer is set).
std::string DrawRecordData(SoakRandom& random, uint8_t sequence, bool* spellsAnswer = nullptr);

// Data whose 16-bit sum with the sequence value is `sum`, ending in `tail`.
// Empty when the sum cannot be reached.
std::string DataWithSum(SoakRandom& random, uint8_t sequence, uint16_t sum, const std::string& tail);

// Other data bytes that the host's checks take for `data` (empty when none
// can be made): one byte up and another down, or, when a checksum byte of
// `data` is 13 or 14, one byte moved so that it becomes the other of the two.
std::string DrawDisguise(SoakRandom& random, uint8_t sequence, const std::string& data);

}  // namespace termsim
