// One run of the soak: the program started with one set of options for one
// transfer (or, keeping online, several), the drawn faults of those
// transfers on the line, and the program killed or its port pulled out at
// drawn moments (then started again). At every "READ\r", when the session
// before has closed its file, and at the end, the output is checked against
// the records the terminal was told were delivered.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "soak_support.h"
#include "tools/termsim/terminal_simulator.h"

namespace soak {

enum class Interruption { NONE, KILL, VANISH };

struct TransferDraw {
    termsim::TransferPlan plan;
    Interruption interruption = Interruption::NONE;
    int atMs = 0;            // after the transfer's first "READ\r"
    int vanishForMs = 0;     // how long the port stays away
    int restartAfterMs = 0;  // the program is started again this long after it ended
};

struct RunDraw {
    int index = 0;
    bool keepOnline = false;
    int saveMode = 0;        // 0 OVERWRITE, 1 APPEND, 3 AUTO_FILE_NAME, 4 AUTO_APPEND
    int addReturn = 1;
    int addLineFeed = 1;
    int baudIndex = 0;
    std::vector<TransferDraw> transfers;
};

// Run `index` of the soak with this seed: the same on every machine, and
// drawn without drawing the runs before it.
RunDraw DrawRun(uint64_t seed, int index, int maxTransfers);
std::string DescribeRun(const RunDraw& run);

// What the soak counts.
struct Tally {
    int runs = 0, transfers = 0, launches = 0, kills = 0, vanishes = 0, checks = 0;
    long records = 0;                        // records the terminal was told were delivered
    long bytes = 0;                          // their data bytes
    std::map<std::string, int> faults;       // injected, by kind
    std::map<std::string, int> sessionEnds;  // error logs of the program, by message
    // Mismatches the protocol cannot avoid, each tied to what was injected:
    int changedUndetectable = 0;  // stored with the changed data of a fault the checks cannot see
    int changedThenSentAgain = 0; // so stored, its "ACK\r" lost: the true record follows in a later session
    int repeatAfterKill = 0;      // written, then killed before its "ACK\r": sent again next session
    int repeatAfterVanish = 0;    // written, then the port gone under its "ACK\r"
    // Everything else, which must stay 0:
    int lostAfterCutLine = 0;     // lost after noise cut a line in two (counted apart to tell why)
    int lost = 0, duplicated = 0, reordered = 0, changedOther = 0, boxes = 0, stalls = 0;
    long extraBytes = 0;
    std::vector<std::string> failures;
};

// Carries the run out on this COM port number and adds to the tally.
void ExecuteRun(const RunDraw& run, const Workspace& workspace, int com, bool verbose, Tally& tally);

}  // namespace soak
