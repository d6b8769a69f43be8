// Protected registry keys: the roots, hive-level keys and containers every program shares, judged
// on a canonical form of the key text so that no spelling gets past them; and registry links,
// which a plan never enters.
#include "platform/os/wow64.h"
#include "protected_keys.h"

#include "path_pieces.h"

#include "helpers/helper.h"
#include "helpers/owned.h"
#include "refusal_observer.h"
#include "trace/trace.h"

#include <cstring>
#include <string>
#include <vector>

namespace protected_keys {

using path_pieces::Join;

namespace {

// Short root names and their full names; only the full names open keys, but a text that uses a
// short one must not escape the judgement.
const char* const kShortRoots[][2] = {
    {"HKCR", "HKEY_CLASSES_ROOT"},  {"HKCC", "HKEY_CURRENT_CONFIG"},
    {"HKCU", "HKEY_CURRENT_USER"},  {"HKDD", "HKEY_DYN_DATA"},
    {"HKLM", "HKEY_LOCAL_MACHINE"}, {"HKPD", "HKEY_PERFORMANCE_DATA"},
    {"HKU", "HKEY_USERS"},
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The canonical key names of a text, root first.
std::vector<std::string> CanonicalNames(const char* keyText) {
    std::vector<char> text(keyText, keyText + strlen(keyText) + 1);
    UpperCase(text.data());
    std::vector<std::string> names;
    std::string name;
    auto finish = [&] {
        size_t first = 0;
        while (first < name.size() && (IsBlank(name[first]) || name[first] == '"'))
            ++first;
        size_t last = name.size();
        while (last > first && (IsBlank(name[last - 1]) || name[last - 1] == '"'))
            --last;
        if (last > first)
            names.push_back(name.substr(first, last - first));
        name.clear();
    };
    for (const char* p = text.data(); *p;) {
        const char* separator = FindChar(p, '\\');
        const char* slash = FindChar(p, '/');
        if (slash && (!separator || slash < separator))
            separator = slash;
        if (!separator) {
            name.append(p);
            break;
        }
        name.append(p, static_cast<size_t>(separator - p));
        finish();
        p = separator + 1;
    }
    finish();
    if (!names.empty())
        for (const auto& row : kShortRoots)
            if (names[0] == row[0])
                names[0] = row[1];
    return names;
}

enum HiveKind { CLASSES_HIVE, USER_HIVE, MACHINE_HIVE, USERS_HIVE, OTHER_HIVE };

struct RootName {
    const char* name;
    HiveKind kind;
};

const RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", CLASSES_HIVE},  {"HKEY_CURRENT_CONFIG", OTHER_HIVE},
    {"HKEY_CURRENT_USER", USER_HIVE},     {"HKEY_DYN_DATA", OTHER_HIVE},
    {"HKEY_LOCAL_MACHINE", MACHINE_HIVE}, {"HKEY_PERFORMANCE_DATA", OTHER_HIVE},
    {"HKEY_USERS", USERS_HIVE},
};

// Keys directly below a classes root that every program shares: the class, interface and type
// library registrations, the shell's file-system classes and the program file types.
const char* const kSharedClasses[] = {
    "CLSID",
    "INTERFACE",
    "TYPELIB",
    "APPID",
    "MIME",
    "*",
    "DIRECTORY",
    "FOLDER",
    "DRIVE",
    "ALLFILESYSTEMOBJECTS",
    "PROTOCOLS",
    "INSTALLER",
    "COMPONENT CATEGORIES",
    "SYSTEMFILEASSOCIATIONS",
    "EXEFILE",
    "DLLFILE",
    "LNKFILE",
    "BATFILE",
    "CMDFILE",
    ".EXE",
    ".DLL",
    ".LNK",
    ".BAT",
    ".CMD",
    ".COM",
};

// The installer's lists of every product's registrations, below Classes\Installer and below each
// account's Installer\UserData key.
const char* const kInstallerLists[] = {"PRODUCTS", "FEATURES", "COMPONENTS", "UPGRADECODES",
                                       "PATCHES"};

// Keys below SOFTWARE that every program shares.
const char* const kSharedSoftware[] = {
    "MICROSOFT",
    "POLICIES",
    "MICROSOFT\\WINDOWS",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNONCE",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNSERVICES",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNSERVICESONCE",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\POLICIES",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\SHELL EXTENSIONS",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\SHAREDDLLS",
    "MICROSOFT\\WINDOWS\\CURRENTVERSION\\INSTALLER",
    "MICROSOFT\\WINDOWS NT",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION",
    "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\WINLOGON",
    "MICROSOFT\\ACTIVE SETUP",
    "MICROSOFT\\INTERNET EXPLORER",
};

// Keys below a control set that hold every service's and device's settings.
const char* const kSharedControlSet[] = {"SERVICES", "CONTROL", "ENUM", "HARDWARE PROFILES"};

bool InList(const std::string& text, const char* const* list, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (text == list[i])
            return true;
    return false;
}

template <size_t N> bool InList(const std::string& text, const char* const (&list)[N]) {
    return InList(text, list, N);
}

// `keys` are the names below a classes root (HKEY_CLASSES_ROOT or a SOFTWARE\CLASSES key).
bool IsSharedClassesKey(const std::vector<std::string>& keys, size_t from) {
    size_t count = keys.size() - from;
    if (count == 0)
        return true;
    if (keys[from] == "WOW6432NODE")
        return IsSharedClassesKey(keys, from + 1);
    if (count == 1)
        return InList(keys[from], kSharedClasses);
    if (count == 2)
        return (keys[from] == "MIME" && keys[from + 1] == "DATABASE") ||
               (keys[from] == "PROTOCOLS" &&
                (keys[from + 1] == "HANDLER" || keys[from + 1] == "FILTER")) ||
               (keys[from] == "INSTALLER" && InList(keys[from + 1], kInstallerLists));
    return false;
}

// `keys` are the names below SOFTWARE.
bool IsSharedSoftwareKey(const std::vector<std::string>& keys, size_t from) {
    if (keys.size() == from)
        return true;
    if (keys[from] == "CLASSES")
        return IsSharedClassesKey(keys, from + 1);
    if (keys[from] == "WOW6432NODE")
        return IsSharedSoftwareKey(keys, from + 1);
    std::string path = Join(keys, from, keys.size());
    if (InList(path, kSharedSoftware))
        return true;
    // The installer's registrations of every product, per account: UserData\<account> and its
    // lists hold all products, never one.
    static const std::string kUserData = "MICROSOFT\\WINDOWS\\CURRENTVERSION\\INSTALLER\\USERDATA";
    size_t below = keys.size() - from;
    if (path.compare(0, kUserData.size(), kUserData) == 0 && below <= 7 &&
        (path.size() == kUserData.size() || path[kUserData.size()] == '\\'))
        return below <= 6 || InList(keys.back(), kInstallerLists);
    return false;
}

// `keys` are the names below a hive (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, one user's hive).
bool IsSharedHiveKey(const std::vector<std::string>& keys, size_t from) {
    size_t count = keys.size() - from;
    if (count <= 1)
        return true;
    if (keys[from] == "SOFTWARE")
        return IsSharedSoftwareKey(keys, from + 1);
    if (keys[from] == "SYSTEM") {
        const std::string& set = keys[from + 1];
        bool controlSet = set == "CURRENTCONTROLSET" || MatchWildcard(set.c_str(), "CONTROLSET*");
        return controlSet &&
               (count == 2 || (count == 3 && InList(keys[from + 2], kSharedControlSet)));
    }
    return false;
}

} // namespace

std::string CanonicalKey(const char* keyText) {
    if (!keyText)
        return std::string();
    std::vector<std::string> names = CanonicalNames(keyText);
    return Join(names, 0, names.size());
}

bool IsProtectedKey(const char* keyText) {
    if (!keyText)
        return false;
    std::vector<std::string> keys = CanonicalNames(keyText);
    if (keys.empty())
        return true; // nothing but separators and blanks: no key of a product
    const RootName* root = nullptr;
    for (const RootName& row : kRootNames)
        if (keys[0] == row.name)
            root = &row;
    if (!root)
        return false;
    if (keys.size() == 1)
        return true;
    switch (root->kind) {
    case CLASSES_HIVE:
        return IsSharedClassesKey(keys, 1);
    case USERS_HIVE: {
        // Each key below HKEY_USERS is one user's hive, or that user's classes.
        if (keys.size() == 2)
            return true;
        const std::string& hive = keys[1];
        bool classes = hive.size() > 8 && hive.compare(hive.size() - 8, 8, "_CLASSES") == 0;
        return classes ? IsSharedClassesKey(keys, 2) : IsSharedHiveKey(keys, 2);
    }
    case USER_HIVE:
    case MACHINE_HIVE:
        return IsSharedHiveKey(keys, 1);
    case OTHER_HIVE:
        return keys.size() == 2;
    }
    return false;
}

bool IsLink(HKEY parent, const char* subKey) {
    OwnedKey key;
    if (RegOpenKeyExA(parent, subKey, REG_OPTION_OPEN_LINK,
                      KEY_QUERY_VALUE | wow64::NativeKeyView(), key.out()) != ERROR_SUCCESS)
        return false;
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key.get(), "SymbolicLinkValue", nullptr, &type, nullptr, &size);
    return (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) && type == REG_LINK;
}

bool PassesThroughLink(HKEY root, const char* rootName, const char* keyPath) {
    if (!keyPath || !rootName)
        return false;
    std::string prefix;
    for (const char* p = keyPath; *p;) {
        const char* separator = FindChar(p, '\\');
        size_t length = separator ? static_cast<size_t>(separator - p) : strlen(p);
        if (!prefix.empty())
            prefix += '\\';
        prefix.append(p, length);
        // The system's own aliases (CurrentControlSet, a user's Classes) are protected keys: a
        // way through them is the usual way to a product's key. Any other link leads elsewhere.
        if (IsLink(root, prefix.c_str()) &&
            !IsProtectedKey((std::string(rootName) + '\\' + prefix).c_str()))
            return true;
        if (!separator)
            break;
        p = separator + 1;
    }
    return false;
}

void LogProtectedKey(const char* keyText, const char* reason) {
    LogStepLine("%04d ProtectedKey: %s\n", static_cast<int>(ERROR_ACCESS_DENIED), keyText);
    refusal_observer::Report("key", keyText, reason);
}

} // namespace protected_keys
