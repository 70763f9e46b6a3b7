#include "output_check.h"

#include <algorithm>
#include <map>

namespace termsim {

namespace {

// Length of the longest increasing run that may skip elements.
size_t LongestIncreasing(const std::vector<size_t>& values)
{
    std::vector<size_t> tails;
    for (size_t value : values) {
        auto at = std::lower_bound(tails.begin(), tails.end(), value);
        if (at == tails.end()) tails.push_back(value);
        else *at = value;
    }
    return tails.size();
}

}  // namespace

OutputCheck CheckOutput(const std::vector<std::string>& expected, const std::string& actual,
                        const std::vector<std::string>& known)
{
    OutputCheck check;
    std::string whole;
    for (const std::string& record : expected) whole += record;
    check.exact = whole == actual;
    if (check.exact) return check;

    std::vector<std::string> candidates;
    for (const std::string& record : expected) if (!record.empty()) candidates.push_back(record);
    for (const std::string& record : known) if (!record.empty()) candidates.push_back(record);
    std::sort(candidates.begin(), candidates.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });

    // Cut the output into records, trying the one due next first.
    std::vector<std::string> found;
    size_t due = 0;
    for (size_t at = 0; at < actual.size();) {
        while (due < expected.size() && expected[due].empty()) ++due;
        const std::string* match = nullptr;
        if (due < expected.size() && actual.compare(at, expected[due].size(), expected[due]) == 0)
            match = &expected[due];
        for (size_t i = 0; match == nullptr && i < candidates.size(); ++i)
            if (actual.compare(at, candidates[i].size(), candidates[i]) == 0) match = &candidates[i];
        if (match == nullptr) {
            ++check.extraBytes;
            ++at;
            continue;
        }
        found.push_back(*match);
        at += match->size();
        for (size_t i = due; i < expected.size(); ++i) {
            if (expected[i] == *match) {
                due = i + 1;
                break;
            }
        }
    }

    std::map<std::string, int> balance;
    for (const std::string& record : expected) if (!record.empty()) ++balance[record];
    for (const std::string& record : found) --balance[record];
    for (const auto& [record, surplus] : balance) {
        if (surplus > 0) {
            check.lost += surplus;
            for (int i = 0; i < surplus; ++i) check.lostRecords.push_back(record);
        }
        if (surplus < 0) check.duplicated -= surplus;
    }

    // Each found record stands for its next unused place in the expected order.
    std::map<std::string, std::vector<size_t>> places;
    for (size_t i = expected.size(); i-- > 0;) places[expected[i]].push_back(i);
    std::vector<size_t> order;
    for (const std::string& record : found) {
        auto it = places.find(record);
        if (it == places.end() || it->second.empty()) continue;
        order.push_back(it->second.back());
        it->second.pop_back();
    }
    check.reordered = static_cast<int>(order.size() - LongestIncreasing(order));
    return check;
}

}  // namespace termsim
