// The snapshot's folders and keys on the running machine.
#include "snapshot_roots.h"

#include "text_forms.h"

#include <shlobj.h>

#include <cstring>

namespace companion {

namespace {

// CSIDL values the simulated SDK headers do not all name.
const int kProgramFilesX86 = 0x002A;
const int kCommonAppData = 0x0023;
const int kProfile = 0x0028;
const int kProgramFiles = 0x0026;

std::string ShellFolder(int id) {
    char path[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, path, id, FALSE))
        return "";
    path[MAX_PATH - 1] = '\0';
    return path;
}

std::string Trimmed(std::string path) {
    while (path.size() > 3 && path[path.size() - 1] == '\\')
        path.erase(path.size() - 1);
    return path;
}

std::string Parent(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos || slash < 2 ? "" : path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

MachineFolders FindMachineFolders() {
    MachineFolders machine;
    char text[MAX_PATH] = "";
    UINT length = GetWindowsDirectoryA(text, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        machine.windows = Trimmed(text);
    length = GetSystemDirectoryA(text, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        machine.system = Trimmed(text);
    DWORD size = GetTempPathA(MAX_PATH, text);
    if (size > 0 && size < MAX_PATH)
        machine.temp = Trimmed(text);
    machine.profiles = Parent(Trimmed(ShellFolder(kProfile)));
    DWORD userSize = sizeof(text);
    if (GetUserNameA(text, &userSize))
        machine.user = text;
    return machine;
}

std::vector<FolderRoot> SnapshotFolderRoots(const MachineFolders& machine) {
    std::vector<FolderRoot> wanted = {
        {Trimmed(ShellFolder(kProgramFiles)), true},
        {Trimmed(ShellFolder(kProgramFilesX86)), true},
        {Trimmed(ShellFolder(kCommonAppData)), true},
        {machine.profiles, true},
    };
    std::vector<std::string> systems = {machine.system};
    if (!machine.windows.empty())
        systems.push_back(machine.windows + "\\SysWOW64");
    for (const std::string& system : systems) {
        wanted.push_back({system, false});
        wanted.push_back({system + "\\drivers", true});
    }
    wanted.push_back({machine.windows, false});

    std::vector<FolderRoot> roots;
    for (const FolderRoot& root : wanted) {
        if (root.path.size() < 3 || !IsFolder(root.path))
            continue;
        bool covered = false;
        for (const FolderRoot& other : wanted)
            covered = covered ||
                      (other.recursive && other.path.size() >= 3 &&
                       Folded(other.path) != Folded(root.path) && IsUnder(root.path, other.path));
        for (const FolderRoot& kept : roots)
            covered = covered || Folded(kept.path) == Folded(root.path);
        if (!covered)
            roots.push_back(root);
    }
    return roots;
}

std::vector<KeyRoot> SnapshotKeyRoots() {
    return {
        {HKEY_LOCAL_MACHINE, "SOFTWARE", "HKEY_LOCAL_MACHINE\\SOFTWARE"},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services",
         "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services"},
        {HKEY_CURRENT_USER, "Software", "HKEY_CURRENT_USER\\Software"},
        {HKEY_CLASSES_ROOT, "", "HKEY_CLASSES_ROOT"},
    };
}

} // namespace companion
