// The companion's diff: what appeared, changed and disappeared between two snapshots, and a draft
// profile that removes what appeared.
#pragma once

#include "snapshot.h"

#include <cstdio>
#include <string>
#include <vector>

namespace companion {

struct Difference {
    std::vector<const Record*> appeared;
    std::vector<std::pair<const Record*, const Record*>> changed; // before, after
    std::vector<const Record*> disappeared;
};

// "file", "folder", "key", "value", "service" or "winsock".
const char* KindName(char kind);
// A record's state in words (size, type and data, start type ...).
std::string Describe(const Record& record);

Difference Compare(const Snapshot& before, const Snapshot& after);

void PrintDifference(const Difference& difference, FILE* out);

// Why the draft profile leaves an appeared record to a comment (the installer's cached package,
// the temporary folder, a Winsock entry, a name the format reads as a pattern); empty when an
// entry names it.
std::string CommentReason(const Snapshot& after, const Record& record);

// The draft profile's text for what appeared between `before` and `after`.
std::string DraftProfile(const Snapshot& before, const Snapshot& after,
                         const Difference& difference);

} // namespace companion
