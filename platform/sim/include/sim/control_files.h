// Controls of the simulated disks, special folders and user: build them, read the outcome back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sim {

// Creates a file (and any missing folders above it) with the given content and attributes.
void AddFile(const char* path, const std::string& content = "", DWORD attributes = 0);
// Creates a folder and any missing folders above it.
void AddFolder(const char* path, DWORD attributes = 0);
bool Exists(const char* path);
bool IsFolder(const char* path);
// Content of a file; empty when it does not exist.
std::string FileContent(const char* path);
DWORD Attributes(const char* path);
// Names of a folder's direct entries, in the order the directory search returns them.
std::vector<std::string> ListFolder(const char* path);

// A folder link (junction) at `link` that leads to `target`: it shows the target's entries, and
// what is deleted through it is deleted in the target; removing the link leaves the target alone.
void AddJunction(const char* link, const char* target);
// A file (or folder) held open by another program: it cannot be deleted now
// (ERROR_SHARING_VIOLATION); a restart releases it.
void LockFile(const char* path, bool locked = true);
// Full paths removed since the last reset, in order: deleted now or at a restart.
std::vector<std::string> DeletedPaths();

// Paths registered for deletion at the next restart (MoveFileExA with
// MOVEFILE_DELAY_UNTIL_REBOOT and no new name), in order. The registrations live where Windows
// keeps them: PendingFileRenameOperations under
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager.
std::vector<std::string> PendingDeletes();
// Restarts the machine: carries out the registrations in order (a file is deleted whatever its
// attributes, a folder only when it is empty by then, a rename when its new name is free), clears
// them and releases every locked file.
void Restart();

// The current user (GetUserNameA). The user's special folders move with the name; they exist on
// the disk once the profile is added.
void SetUserName(const char* user);
// Creates a user's profile folder with its per-user folders (Application Data, Desktop, ...).
// The default machine has the profiles Administrator (the current user), All Users and Default
// User below C:\Documents and Settings.
void AddUserProfile(const char* user);
// Places a special folder (CSIDL_*) at `path`, creating it on the disk; null makes the machine
// have no such folder (the query fails with an empty buffer).
void SetSpecialFolder(int csidl, const char* path);
// Where a special folder is on this machine; empty when it has none.
std::string SpecialFolderPath(int csidl);
// The Windows folder (the system folder is its system32); created on the disk.
void SetWindowsDirectory(const char* path);
// The temporary folder GetTempPathA reports; empty for the user's own Local Settings\Temp.
void SetTempPath(const char* path);

} // namespace sim
