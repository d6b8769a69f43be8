// The companion's snapshot: what an installation can touch on this machine, as a line-based text
// file (the format is described in docs/companion.md), and the reading of such a file.
#pragma once

#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace companion {

// One record of a snapshot. `kind`: 'F' file, 'D' folder, 'K' key, 'V' value, 'S' service, 'W'
// Winsock entry. `fields` are the record's fields after the kind, unescaped; `id` is the
// case-folded identity that the diff compares (files and folders share one name space).
struct Record {
    char kind = 0;
    std::vector<std::string> fields;
    std::string id;
};

struct Snapshot {
    // Facts about the machine: "windows", "system", "temp", "profiles", "user" and one
    // "macro %NAME%" per folder macro of the profile format.
    std::map<std::string, std::string> facts;
    std::map<std::string, Record> records;
};

// Walks this machine and writes the snapshot to `path` (through the runtime's file services).
// Progress goes to `progress` when it is set. 0, or the Win32 error that stopped it.
DWORD TakeSnapshot(const char* path, FILE* progress);

// Reads a snapshot file; false with `problem` set when it is not one.
bool LoadSnapshot(const char* path, Snapshot* snapshot, std::string* problem);

// The identity of a record (its kind's name space and its folded name).
std::string RecordId(char kind, const std::vector<std::string>& fields);

// The path, key, value, service or Winsock entry a record names, for people.
std::string RecordName(const Record& record);

} // namespace companion
