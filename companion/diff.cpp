// Two snapshots compared record by record: what appeared, what changed, what disappeared.
#include "diff.h"

namespace companion {

namespace {

// The fields that say whether a record changed (its name aside, which the identity already
// compares without regard to case).
std::vector<std::string> State(const Record& record) {
    const std::vector<std::string>& f = record.fields;
    switch (record.kind) {
    case 'F':
        return {"F", f[0], f[1], f[2]};
    case 'D':
        return {"D", f[0]};
    case 'V':
        return {f[2], f[3], f[4]};
    case 'S':
        return {f[1], f[2], f[3]};
    case 'W':
        return {f[1], f[3]};
    default:
        return {};
    }
}

} // namespace

const char* KindName(char kind) {
    switch (kind) {
    case 'F':
        return "file";
    case 'D':
        return "folder";
    case 'K':
        return "key";
    case 'V':
        return "value";
    case 'S':
        return "service";
    case 'W':
        return "winsock";
    default:
        return "record";
    }
}

std::string Describe(const Record& record) {
    const std::vector<std::string>& f = record.fields;
    switch (record.kind) {
    case 'V':
        return "type " + f[2] + ", " + f[3] + " bytes, \"" + f[5] + "\"";
    case 'S':
        return "start " + f[1] + ", state " + f[2] + ", image \"" + f[3] + "\"";
    case 'F':
        return f[0] + " bytes, written " + f[1];
    case 'W':
        return "\"" + f[3] + "\"";
    default:
        return "";
    }
}

Difference Compare(const Snapshot& before, const Snapshot& after) {
    Difference difference;
    auto old = before.records.begin();
    auto now = after.records.begin();
    while (old != before.records.end() || now != after.records.end()) {
        if (now == after.records.end() ||
            (old != before.records.end() && old->first < now->first)) {
            difference.disappeared.push_back(&old->second);
            ++old;
        } else if (old == before.records.end() || now->first < old->first) {
            difference.appeared.push_back(&now->second);
            ++now;
        } else {
            if (State(old->second) != State(now->second))
                difference.changed.push_back({&old->second, &now->second});
            ++old;
            ++now;
        }
    }
    return difference;
}

void PrintDifference(const Difference& difference, FILE* out) {
    fprintf(out, "appeared: %u, changed: %u, disappeared: %u\n",
            static_cast<unsigned>(difference.appeared.size()),
            static_cast<unsigned>(difference.changed.size()),
            static_cast<unsigned>(difference.disappeared.size()));
    for (const Record* record : difference.appeared)
        fprintf(out, "+ %-7s %s\n", KindName(record->kind), RecordName(*record).c_str());
    for (const auto& change : difference.changed)
        fprintf(out, "~ %-7s %s: %s -> %s\n", KindName(change.second->kind),
                RecordName(*change.second).c_str(), Describe(*change.first).c_str(),
                Describe(*change.second).c_str());
    for (const Record* record : difference.disappeared)
        fprintf(out, "- %-7s %s\n", KindName(record->kind), RecordName(*record).c_str());
}

} // namespace companion
