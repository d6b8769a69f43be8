// The places a snapshot walks, found on the running machine; shared with the snapshot benchmark,
// whose bare walk covers the same folders and keys.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace companion {

struct MachineFolders {
    std::string windows;
    std::string system;
    std::string temp;
    std::string profiles; // the folder that holds the user profiles
    std::string user;
};

struct FolderRoot {
    std::string path;
    bool recursive;
};

struct KeyRoot {
    HKEY root;
    std::string path; // below the root; empty for the root itself
    std::string text; // root name and path, as plan items spell keys
};

MachineFolders FindMachineFolders();

// Both program folders, the shared application data, every user profile (the profile folder's
// parent), the system folders (their top level, their drivers whole) and the Windows folder's top
// level. A folder beneath another one walked whole is not walked twice.
std::vector<FolderRoot> SnapshotFolderRoots(const MachineFolders& machine);

// HKLM\SOFTWARE (with WOW6432Node beneath it), the services key, HKCU\Software and the classes
// root.
std::vector<KeyRoot> SnapshotKeyRoots();

} // namespace companion
