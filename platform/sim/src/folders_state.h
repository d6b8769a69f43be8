// Internals of the machine's identity and folders, shared by the folder, disk and registry code.
#pragma once

#include <map>
#include <set>
#include <string>

namespace simfolders {

struct FolderState {
    std::string windows = "C:\\WINDOWS";
    std::string programFiles = "C:\\Program Files";
    std::string profileRoot = "C:\\Documents and Settings";
    std::string allUsers = "All Users";
    std::string user = "Administrator";
    std::string temp;                     // empty: the user's own temporary folder
    std::map<int, std::string> overrides; // special folders set by a test
    std::set<int> unavailable;            // special folders the machine does not have
};

// The current state; callers hold the machine lock.
FolderState& State();

// The path of a special folder (CSIDL without flags) on this machine; false when the machine
// has no such folder.
bool SpecialFolder(int csidl, std::string* path);
// The user's profile folder, "C:\Documents and Settings\<User>".
std::string ProfileOf(const std::string& user);

// Lays out the folders of a fresh installation: Windows, system, program and profile folders.
// The disks call it each time a reset empties them; it also resets the state above.
void BuildDefaultFolders();
// Replaces each %NAME% of the machine's environment (SystemRoot, windir, ProgramFiles,
// USERPROFILE, APPDATA, TEMP, ...; names without regard to case); unknown names stay as written.
std::string ExpandEnvironment(const std::string& text);

} // namespace simfolders
