// An output file against the records it should hold: whether it holds them
// exactly, and if not, which were lost, which came twice, which out of order,
// and how many bytes belong to no record.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace termsim {

struct OutputCheck {
    bool exact = false;
    int lost = 0;           // expected records missing
    int duplicated = 0;     // records there more often than expected
    int reordered = 0;      // records there, but out of their order
    size_t extraBytes = 0;  // bytes that are part of no known record
    std::vector<std::string> lostRecords;   // the missing ones, for the report
};

// `expected`: the records as the output must hold them, in order, each as
// written (with its CR and LF). `known`: other records that may turn up
// (those of other transfers), so that a stray one counts as a duplicate or
// a reordering rather than as loose bytes. Records of no bytes are not looked for.
OutputCheck CheckOutput(const std::vector<std::string>& expected, const std::string& actual,
                        const std::vector<std::string>& known = {});

}  // namespace termsim
