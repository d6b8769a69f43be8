// The simulated 64-bit Windows: IsWow64Process, per-thread file-system redirection of a 32-bit
// program, the 32-bit system folder, the two registry views, and the platform layer's native-view
// functions on top of them. A machine is a 32-bit one unless a test makes it a 64-bit one.
#include "core.h"
#include "folders_state.h"
#include "fs_store.h"
#include "registry_store.h"
#include "wow64_state.h"

#include "platform/os/wow64.h"
#include "sim/control_kernel.h"

#include <cstring>

namespace {

struct Wow64State {
    bool windows64 = false;
    bool program32 = false;
};

Wow64State& State() {
    static Wow64State state;
    return state;
}

void ResetWow64() {
    State() = Wow64State();
}

simcore::ResetHook hook(ResetWow64);

// Redirection is a property of each thread; a thread starts with it on.
thread_local bool t_redirectionOff = false;

const char kWow6432Node[] = "Wow6432Node";

// The subfolders of System32 that a 32-bit program reaches unredirected.
const char* const kExempt[] = {"catroot",      "catroot2", "driverstore",
                               "drivers\\etc", "logfiles", "spool"};

// Keys below a classes root that the 32-bit view redirects.
const char* const kRedirectedClasses[] = {"CLSID", "DirectShow", "Interface", "Media Type",
                                          "MediaFoundation"};

bool StartsWithFolder(const std::string& text, const std::string& folder) {
    return text.size() >= folder.size() &&
           simcore::EqualNoCase(text.substr(0, folder.size()), folder) &&
           (text.size() == folder.size() || text[folder.size()] == '\\');
}

std::string SystemFolder() {
    return simfolders::State().windows + "\\system32";
}

std::string Wow64Folder() {
    return simfolders::State().windows + "\\SysWOW64";
}

void MakeFolder(const std::string& path) {
    simfs::ParsedPath parsed = simfs::Parse(path.c_str());
    if (parsed.valid)
        simfs::MakeFolders(parsed, parsed.components.size());
}

void RedirectClasses(std::vector<std::string>* names, size_t at) {
    if (at >= names->size())
        return;
    for (const char* name : kRedirectedClasses)
        if (simcore::EqualNoCase((*names)[at], name)) {
            names->insert(names->begin() + static_cast<long>(at), kWow6432Node);
            return;
        }
}

void RedirectSoftware(std::vector<std::string>* names, size_t at) {
    if (at < names->size() && simcore::EqualNoCase((*names)[at], kWow6432Node))
        return;
    if (at < names->size() && simcore::EqualNoCase((*names)[at], "Classes")) {
        RedirectClasses(names, at + 1);
        return;
    }
    names->insert(names->begin() + static_cast<long>(at), kWow6432Node);
}

} // namespace

namespace simwow {

bool Windows64() {
    return State().windows64;
}

bool RedirectedProgram() {
    return State().windows64 && State().program32;
}

std::string FileView(const char* path) {
    std::string text = path ? path : "";
    if (!RedirectedProgram() || t_redirectionOff)
        return text;
    for (char& c : text)
        if (c == '/')
            c = '\\';
    const std::string system = SystemFolder();
    if (!StartsWithFolder(text, system))
        return text;
    std::string rest = text.size() > system.size() ? text.substr(system.size() + 1) : "";
    for (const char* exempt : kExempt)
        if (StartsWithFolder(rest, exempt))
            return text;
    return Wow64Folder() + text.substr(system.size());
}

bool RegistryView32(REGSAM access) {
    if (!State().windows64)
        return false;
    if (access & KEY_WOW64_32KEY)
        return true;
    return State().program32 && !(access & KEY_WOW64_64KEY);
}

void RedirectKeyNames(const std::string& base, std::vector<std::string>* names) {
    if (simcore::EqualNoCase(base, "HKEY_LOCAL_MACHINE")) {
        if (!names->empty() && simcore::EqualNoCase((*names)[0], "SOFTWARE"))
            RedirectSoftware(names, 1);
    } else if (simcore::EqualNoCase(base, "HKEY_LOCAL_MACHINE\\SOFTWARE")) {
        RedirectSoftware(names, 0);
    } else if (simcore::EqualNoCase(base, "HKEY_CLASSES_ROOT") ||
               simcore::EqualNoCase(base, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes")) {
        RedirectClasses(names, 0);
    }
}

} // namespace simwow

namespace sim {

void SetWindows64(bool on) {
    simcore::Guard guard(simcore::MachineLock());
    State().windows64 = on;
    if (!on)
        return;
    // What a 64-bit installation holds besides a 32-bit one's folders and keys.
    const simfolders::FolderState& folders = simfolders::State();
    const std::string programs32 = folders.programFiles + " (x86)";
    MakeFolder(Wow64Folder());
    MakeFolder(Wow64Folder() + "\\drivers");
    MakeFolder(programs32 + "\\Common Files");
    simreg::MakeKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node");
    simreg::MakeKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node");
    simreg::MakeKey("HKEY_CLASSES_ROOT\\Wow6432Node");
    simreg::KeyPtr version =
        simreg::MakeKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
    struct Row {
        const char* name;
        std::string folder;
    } rows[] = {
        {"ProgramFilesDir", folders.programFiles},
        {"ProgramFilesDir (x86)", programs32},
        {"CommonFilesDir", folders.programFiles + "\\Common Files"},
        {"CommonFilesDir (x86)", programs32 + "\\Common Files"},
    };
    for (const Row& row : rows)
        version->SetValue(row.name, REG_SZ, std::string(row.folder.c_str(), row.folder.size() + 1));
}

void SetProgram32Bit(bool on) {
    simcore::Guard guard(simcore::MachineLock());
    State().program32 = on;
}

} // namespace sim

BOOL WINAPI IsWow64Process(HANDLE process, PBOOL wow64) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    if (process != GetCurrentProcess() || !wow64) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *wow64 = simwow::RedirectedProgram() ? TRUE : FALSE;
    return TRUE;
}

BOOL WINAPI Wow64DisableWow64FsRedirection(PVOID* previous) {
    simcore::Guard guard(simcore::MachineLock());
    // Only a program under WOW64 has a redirector to turn off.
    if (!simwow::RedirectedProgram() || !previous) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    *previous = reinterpret_cast<PVOID>(static_cast<uintptr_t>(t_redirectionOff ? 1 : 0));
    t_redirectionOff = true;
    return TRUE;
}

BOOL WINAPI Wow64RevertWow64FsRedirection(PVOID previous) {
    simcore::Guard guard(simcore::MachineLock());
    if (!simwow::RedirectedProgram()) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    t_redirectionOff = reinterpret_cast<uintptr_t>(previous) != 0;
    return TRUE;
}

UINT WINAPI GetSystemWow64DirectoryA(LPSTR buffer, UINT size) {
    simcore::Guard guard(simcore::MachineLock());
    if (!simwow::Windows64()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    const std::string folder = Wow64Folder();
    if (!buffer || size <= folder.size())
        return static_cast<UINT>(folder.size() + 1);
    memcpy(buffer, folder.c_str(), folder.size() + 1);
    return static_cast<UINT>(folder.size());
}

// The platform layer's side on the simulated machine: the same decisions as the Windows
// builds', made from the simulated calls (there is nothing to look up at run time here).
namespace wow64 {

bool IsWindows64() {
    return simwow::Windows64();
}

bool IsRedirectedProgram() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

REGSAM NativeKeyView() {
    return IsWindows64() ? KEY_WOW64_64KEY : 0;
}

LONG DeleteKey(HKEY root, const char* subKey) {
    return IsWindows64() ? RegDeleteKeyExA(root, subKey, KEY_WOW64_64KEY, 0)
                         : RegDeleteKeyA(root, subKey);
}

bool SystemWow64Folder(char* folder, UINT size) {
    if (!folder || size == 0)
        return false;
    folder[0] = '\0';
    UINT length = GetSystemWow64DirectoryA(folder, size);
    if (length == 0 || length >= size) {
        folder[0] = '\0';
        return false;
    }
    return true;
}

NativeFileView::NativeFileView() : m_previous(nullptr), m_off(false) {
    if (IsRedirectedProgram())
        m_off = Wow64DisableWow64FsRedirection(&m_previous) != FALSE;
}

NativeFileView::~NativeFileView() {
    if (m_off)
        Wow64RevertWow64FsRedirection(m_previous);
}

bool HasSecondCatalog() {
    return IsWindows64() && !IsRedirectedProgram();
}

int WINAPI EnumProtocols32(LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD length,
                           LPINT error) {
    return WSCEnumProtocols32(protocols, buffer, length, error);
}

int WINAPI DeinstallProvider32(LPGUID provider, LPINT error) {
    return WSCDeinstallProvider32(provider, error);
}

} // namespace wow64
