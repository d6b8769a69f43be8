// The places a removal plan never names and its folder walk never enters: drive roots, the
// Windows, system and program folders, the profile root and every profile folder, the special
// folders themselves. Internal to the engine.
#pragma once

#include "containers/TSet.h"

#include <windows.h>

#include <cstddef>
#include <set>
#include <string>
#include <vector>

// The macro table's folders as the folder-macro expansion finds them (folder_macros.cpp): the
// number of rows, and the folder of one row in a MAX_PATH buffer (false, empty, when the system
// names none).
size_t FolderMacroCount();
bool FolderMacroPath(size_t row, char* folder);
// The macro of one row ("%APPDATA%"), or null past the table.
const char* FolderMacroName(size_t row);

namespace protected_paths {

// The comparison form of a file path: normalised like a plan entry, '\\?\' and '\\.\' prefixes
// dropped, '.' components dropped and '..' applied, trailing dots and blanks of a component cut
// (Windows ignores them), short 8.3 components of existing folders replaced by their long names.
// False when the path is not fully qualified ('X:' or 'X:\...'): a path whose place depends on
// the current drive or folder cannot be judged.
bool CanonicalPath(const char* path, std::string* out);

// The protected folders of one machine, in comparison form.
class ProtectedFolders {
public:
    // Asks the platform: Windows and system directories, program and common files folders,
    // the macro table's folders and other special folders, the temporary folder, the profile
    // root (the parent of the user profile folders) and the per-user folders of every profile.
    void Compute();
    // Adds one folder; a folder of the current user's profile also protects the same folder in
    // every other profile.
    void Add(const char* path, const char* user);
    // True for a drive root, a protected folder, the profile root or a folder directly in it.
    bool Contains(const std::string& canonical) const;

private:
    std::set<std::string> m_exact;
    std::vector<std::string> m_profileRoots;
    // Per-user folders below a profile folder, e.g. 'APPLICATION DATA'.
    std::set<std::string> m_profileTails;
};

// Writes the refusal line "%04d ProtectedPath: %s\n" with 5 (ERROR_ACCESS_DENIED) and the
// refused text, and tells the plan's observer why.
void LogProtectedPath(const char* path, const char* reason = "protected location");

// The protected folders of one plan step, computed once when the step begins and handed to each
// folder walk and to the last filter of the plan (PopulateRemoveFileList owns it).
class RunScope {
public:
    RunScope();
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;
    const ProtectedFolders& Folders() const { return m_folders; }

private:
    ProtectedFolders m_folders;
};

// One call of the folder walk (AddFileTree), from its remove entry down, judged against the
// protected folders of the step that runs it.
class WalkScope {
public:
    explicit WalkScope(const ProtectedFolders& folders) : m_folders(folders) {}
    WalkScope(const WalkScope&) = delete;
    WalkScope& operator=(const WalkScope&) = delete;
    // True, with the refusal logged, when the (normalised, existing) path must be neither planned
    // nor entered: it is protected, cannot be judged, or, for the remove entry itself (the
    // first path the walk asks about), the way to it passes through a link.
    bool Refuses(const char* path);

private:
    const ProtectedFolders& m_folders;
    bool m_entryChecked = false; // the way to the remove entry has been looked at
};

// Drops every protected entry of a file plan, logging each; the last line of defence before the
// ignore entries are taken out. Every entry is judged in full on its comparison form.
void FilterPlan(TSet& plan, const ProtectedFolders& folders);

} // namespace protected_paths
