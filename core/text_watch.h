// Looks for a text in what arrives in reads of any size: what one read
// leaves at its end that could be the start of the text is kept for the
// next, so a text cut by the reads is still found.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

struct TextWatch {
    std::string kept;   // the end of the reads so far that could begin the text
};

// Where `text` begins in `bytes`: 0 when it began in an earlier read, -1
// when it has not come (yet). A find forgets what was kept.
inline int FindInReads(TextWatch& watch, std::string_view text, std::string_view bytes)
{
    std::string joined = watch.kept;
    joined.append(bytes);
    const size_t keptSize = watch.kept.size();
    const size_t at = joined.find(text);
    if (at != std::string::npos) {
        watch.kept.clear();
        return at < keptSize ? 0 : static_cast<int>(at - keptSize);
    }
    const size_t keep = std::min(joined.size(), text.size() - 1);
    watch.kept = joined.substr(joined.size() - keep);
    return -1;
}

inline void ForgetReads(TextWatch& watch)
{
    watch.kept.clear();
}
