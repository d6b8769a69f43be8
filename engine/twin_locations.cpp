// The table of the locations that 64-bit Windows keeps twice, from the system's documented
// redirection lists (file-system redirector; registry keys affected by WOW64, Windows 7 and
// later), and the translation of an entry text into its twin.
#include "twin_locations.h"

#include "helpers/helper.h"
#include "helpers/owned.h"
#include "platform/os/wow64.h"

#include <windows.h>

#include <cstring>

namespace {

// Subfolders of System32 that are not redirected: the same folder for every program, no twin.
const char* const kSharedSystemFolders[] = {
    "CATROOT", "CATROOT2", "DRIVERSTORE", "DRIVERS\\ETC", "LOGFILES", "SPOOL",
};

// Keys below SOFTWARE that are shared between the views (one key for every program, no twin).
const char* const kSharedSoftwareKeys[] = {
    "CLIENTS",
    "MICROSOFT\\COM3",
    "MICROSOFT\\CRYPTOGRAPHY\\CALAIS\\CURRENT",
    "MICROSOFT\\CRYPTOGRAPHY\\CALAIS\\READERS",
    "MICROSOFT\\CRYPTOGRAPHY\\SERVICES",
    "MICROSOFT\\CTF\\SYSTEMSHARED",
    "MICROSOFT\\CTF\\TIP",
    "MICROSOFT\\DFS",
    "MICROSOFT\\DRIVER SIGNING",
    "MICROSOFT\\ENTERPRISECERTIFICATES",
    "MICROSOFT\\EVENTSYSTEM",
    "MICROSOFT\\MSMQ",
    "MICROSOFT\\NON-DRIVER SIGNING",
    "MICROSOFT\\NOTEPAD\\DEFAULTFONTS",
    "MICROSOFT\\OLE",
    "MICROSOFT\\RAS",
    "MICROSOFT\\RPC",
    "MICROSOFT\\SHARED TOOLS\\MSINFO",
    "MICROSOFT\\SYSTEMCERTIFICATES",
    "MICROSOFT\\TERMSERVLICENSING",
    "MICROSOFT\\TRANSACTION SERVER",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\CONTROL PANEL\\CURSORS\\SCHEMES",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\AUTOPLAYHANDLERS",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\DRIVEICONS",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\KINDMAP",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\GROUP POLICY",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\POLICIES",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\PREVIEWHANDLERS",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\SETUP",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\TELEPHONY\\LOCATIONS",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\CONSOLE",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTDPI",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTLINK",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTMAPPER",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTS",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTSUBSTITUTES",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\GRE_INITIALIZE",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\IMAGE FILE EXECUTION OPTIONS",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\LANGUAGEPACK",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\NETWORKCARDS",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PERFLIB",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PORTS",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PRINT",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PROFILELIST",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\TIME ZONES",
    "POLICIES",
    "REGISTEREDAPPLICATIONS",
};

// Keys directly below a classes root that are redirected; the rest of the classes is shared.
const char* const kRedirectedClasses[] = {
    "CLSID", "DIRECTSHOW", "INTERFACE", "MEDIA TYPE", "MEDIAFOUNDATION",
};

// One folder kept twice: the 64-bit programs' and the 32-bit programs' one.
struct FolderPair {
    std::string native;
    std::string wow;
    bool system; // System32: some of its subfolders are shared
};

// The folders the table pairs, read from the values Windows keeps them in (64-bit view).
const char* const kFolderValues[][2] = {
    {"ProgramFilesDir", "ProgramFilesDir (x86)"},
    {"CommonFilesDir", "CommonFilesDir (x86)"},
};
const char kFolderKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

const char kMachine[] = "HKEY_LOCAL_MACHINE\\";
const char kClassesRoot[] = "HKEY_CLASSES_ROOT\\";
const char kUser[] = "HKEY_CURRENT_USER\\";
const char kSoftware[] = "SOFTWARE\\";
const char kClasses[] = "CLASSES\\";
const char kNode[] = "WOW6432NODE\\";

// True when `text` begins with the location `place` (upper case): the place itself, anything
// below it, or the place as the first field of a quoted list.
bool InPlace(const char* text, const char* place, size_t length) {
    if (length == 0 || strncmp(text, place, length) != 0)
        return false;
    char next = text[length];
    return next == '\0' || next == '\\' || next == '"';
}

template <size_t N> bool InAny(const char* text, const char* const (&places)[N]) {
    for (const char* place : places)
        if (InPlace(text, place, strlen(place)))
            return true;
    return false;
}

bool StartsWith(const char* text, const char* prefix) {
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

// A folder as the entries spell it (normalised), or empty.
std::string Canonical(const char* folder) {
    std::string text(folder);
    if (text.empty())
        return text;
    NormalizeEntry(&text[0]);
    text.resize(strlen(text.c_str()));
    return text;
}

// The folder pairs of this machine: System32 and SysWOW64, then the program and common files.
std::vector<FolderPair> FolderPairs() {
    std::vector<FolderPair> pairs;
    char native[MAX_PATH] = "";
    char wow[MAX_PATH] = "";
    UINT length = GetSystemDirectoryA(native, MAX_PATH);
    if (length > 0 && length < MAX_PATH && wow64::SystemWow64Folder(wow, MAX_PATH))
        pairs.push_back({Canonical(native), Canonical(wow), true});

    OwnedKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFolderKey, 0, KEY_QUERY_VALUE | wow64::NativeKeyView(),
                      key.out()) != ERROR_SUCCESS)
        return pairs;
    for (const auto& names : kFolderValues) {
        std::string folders[2];
        for (int side = 0; side < 2; ++side) {
            char folder[MAX_PATH] = "";
            DWORD type = 0;
            DWORD size = sizeof(folder) - 1;
            if (RegQueryValueExA(key.get(), names[side], nullptr, &type,
                                 reinterpret_cast<BYTE*>(folder), &size) == ERROR_SUCCESS &&
                type == REG_SZ && size < sizeof(folder)) {
                folder[size] = '\0';
                folders[side] = Canonical(folder);
            }
        }
        if (!folders[0].empty() && !folders[1].empty() && folders[0] != folders[1])
            pairs.push_back({folders[0], folders[1], false});
    }
    return pairs;
}

bool FileTwin(const char* text, std::string* twin) {
    const std::vector<FolderPair> pairs = FolderPairs();
    // The longest folder that holds the text decides (Common Files inside Program Files).
    const std::string* from = nullptr;
    const std::string* to = nullptr;
    bool system = false;
    for (const FolderPair& pair : pairs) {
        const std::string* sides[2] = {&pair.native, &pair.wow};
        for (int side = 0; side < 2; ++side) {
            if (InPlace(text, sides[side]->c_str(), sides[side]->size()) &&
                (!from || sides[side]->size() > from->size())) {
                from = sides[side];
                to = sides[1 - side];
                system = pair.system;
            }
        }
    }
    if (!from)
        return false;
    const char* rest = text + from->size();
    if (system && *rest == '\\' && InAny(rest + 1, kSharedSystemFolders))
        return false;
    *twin = *to + rest;
    return true;
}

// `names` follow a classes root; the twin of the redirected keys only.
bool ClassesTwin(const char* names, std::string* twin) {
    if (StartsWith(names, kNode)) {
        if (!InAny(names + strlen(kNode), kRedirectedClasses))
            return false;
        *twin = names + strlen(kNode);
        return true;
    }
    if (!InAny(names, kRedirectedClasses))
        return false;
    *twin = std::string(kNode) + names;
    return true;
}

// `names` follow HKEY_LOCAL_MACHINE\SOFTWARE\.
bool SoftwareTwin(const char* names, std::string* twin) {
    if (StartsWith(names, kClasses)) {
        std::string classes;
        if (!ClassesTwin(names + strlen(kClasses), &classes))
            return false;
        *twin = kClasses + classes;
        return true;
    }
    if (StartsWith(names, kNode)) {
        const char* below = names + strlen(kNode);
        // WOW6432Node\Classes is the 32-bit classes, reached through SOFTWARE\Classes above.
        if (StartsWith(below, kClasses) || InAny(below, kSharedSoftwareKeys))
            return false;
        *twin = below;
        return true;
    }
    if (InAny(names, kSharedSoftwareKeys))
        return false;
    *twin = kNode + std::string(names);
    return true;
}

bool KeyTwin(const char* text, std::string* twin) {
    std::string names;
    if (StartsWith(text, kMachine) && StartsWith(text + strlen(kMachine), kSoftware)) {
        size_t at = strlen(kMachine) + strlen(kSoftware);
        if (!SoftwareTwin(text + at, &names))
            return false;
        *twin = std::string(text, at) + names;
        return true;
    }
    size_t at = 0;
    if (StartsWith(text, kClassesRoot))
        at = strlen(kClassesRoot);
    else if (StartsWith(text, kUser) && StartsWith(text + strlen(kUser), kSoftware) &&
             StartsWith(text + strlen(kUser) + strlen(kSoftware), kClasses))
        at = strlen(kUser) + strlen(kSoftware) + strlen(kClasses);
    if (at == 0 || !ClassesTwin(text + at, &names))
        return false;
    *twin = std::string(text, at) + names;
    return true;
}

} // namespace

namespace twin_locations {

bool TwinOf(const char* text, std::string* twin) {
    if (!text || !twin || !wow64::IsWindows64())
        return false;
    return StartsWith(text, "HKEY_") ? KeyTwin(text, twin) : FileTwin(text, twin);
}

std::vector<std::string> TwinFolders() {
    std::vector<std::string> folders;
    if (!wow64::IsWindows64())
        return folders;
    for (const FolderPair& pair : FolderPairs()) {
        folders.push_back(pair.native);
        folders.push_back(pair.wow);
    }
    return folders;
}

} // namespace twin_locations
