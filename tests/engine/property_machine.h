// Random machines and profiles for the property test, and snapshots of a machine to compare.
#pragma once

#include "sim/sim.h"

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace property {

// A reproducible source of choices: std::mt19937 is specified to the bit, and every choice is
// a plain modulo of its output, so a seed gives the same case with any standard library.
class Random {
public:
    explicit Random(uint32_t seed) : m_engine(seed) {}
    size_t Below(size_t n) { return n ? static_cast<size_t>(m_engine() % n) : 0; }
    bool Chance(unsigned percent) { return Below(100) < percent; }
    template <class T> const T& Pick(const std::vector<T>& items) {
        return items[Below(items.size())];
    }

private:
    std::mt19937 m_engine;
};

inline std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// True when `path` lies beneath `folder` (both in the same case).
inline bool IsBeneath(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '\\';
}

// ---------------------------------------------------------------------------------------------
// The machine: a product's folders, files, links, keys, values and services beside things that
// belong to the user or to other programs.

struct RegistryValue {
    std::string key;
    std::string name; // "" is the key's default value
    DWORD type;
    std::string data; // raw bytes, a string's terminator included
};

struct Machine {
    std::vector<std::string> folders;  // every folder the generator made (outside the links)
    std::vector<std::string> files;    // every file the generator made (outside the links)
    std::vector<std::string> links;    // junctions inside the product
    std::vector<std::string> targets;  // where each of them leads
    std::vector<std::string> userData; // folders the links lead to: never the product's
    std::vector<std::string> locked;   // files another program holds open
    std::vector<std::string> keys;     // every key the generator made
    std::vector<RegistryValue> values;
    std::vector<std::string> services;
    std::vector<std::string> processes;
};

const char kProduct[] = "C:\\Program Files\\Example Suite";
const char kProductKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite";
const char kRunKey[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kUninstallKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace detail {

inline const std::vector<std::string>& FolderNames() {
    static const std::vector<std::string> names = {"Bin", "Data",   "Keep",  "Logs",
                                                   "Sub", "KeepMe", "data2", "Plugins"};
    return names;
}
inline const std::vector<std::string>& FileNames() {
    static const std::vector<std::string> names = {"app.exe",   "core.dll",   "readme.txt",
                                                   "cache.dat", "keep.ini",   "Data.bin",
                                                   "x1",        "setup32.exe"};
    return names;
}
inline const std::vector<std::string>& KeyNames() {
    static const std::vector<std::string> names = {"Settings", "Keep", "Components",
                                                   "Cache",    "Sub",  "KeepMe"};
    return names;
}
inline const std::vector<std::string>& ValueNames() {
    static const std::vector<std::string> names = {"", "Path", "Version", "Keep", "Mode", "Name"};
    return names;
}

inline DWORD FileAttributes(Random& random) {
    DWORD attributes = 0;
    if (random.Chance(20))
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (random.Chance(15))
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (random.Chance(5))
        attributes |= FILE_ATTRIBUTE_SYSTEM;
    return attributes;
}

inline void AddFile(Machine& machine, Random& random, const std::string& path) {
    sim::AddFile(path.c_str(), "content of " + path, FileAttributes(random));
    machine.files.push_back(path);
    if (random.Chance(4)) {
        sim::LockFile(path.c_str());
        machine.locked.push_back(path);
    }
}

inline void AddFolder(Machine& machine, Random& random, const std::string& path) {
    DWORD attributes = random.Chance(10) ? FILE_ATTRIBUTE_READONLY : 0;
    if (random.Chance(10))
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    sim::AddFolder(path.c_str(), attributes);
    machine.folders.push_back(path);
}

// A random tree of folders and files below `folder` (which exists).
inline void AddTree(Machine& machine, Random& random, const std::string& folder, int depth) {
    size_t children = 1 + random.Below(4);
    for (size_t i = 0; i < children; ++i) {
        if (depth > 0 && random.Chance(40)) {
            std::string sub = folder + "\\" + random.Pick(FolderNames());
            if (!sim::Exists(sub.c_str())) {
                AddFolder(machine, random, sub);
                AddTree(machine, random, sub, depth - 1);
            }
        } else {
            std::string file = folder + "\\" + random.Pick(FileNames());
            if (!sim::Exists(file.c_str()))
                AddFile(machine, random, file);
        }
    }
}

inline void SetValue(Machine& machine, const RegistryValue& value) {
    sim::SetValue(value.key.c_str(), value.name.c_str(), value.type, value.data);
    machine.values.push_back(value);
}

inline std::string StringData(const std::string& text) {
    return std::string(text.c_str(), text.size() + 1);
}

inline void AddKeyTree(Machine& machine, Random& random, const std::string& key, int depth,
                       bool stringsOnly) {
    sim::AddKey(key.c_str());
    machine.keys.push_back(key);
    static const std::vector<std::string> texts = {kProduct, "Example Suite 4.0", "keep me", ""};
    size_t values = random.Below(4);
    for (size_t i = 0; i < values; ++i) {
        RegistryValue value{key, random.Pick(ValueNames()), REG_SZ, ""};
        unsigned kind = static_cast<unsigned>(random.Below(10));
        if (stringsOnly || kind < 7) {
            value.data = StringData(random.Pick(texts));
        } else if (kind < 9) {
            value.type = REG_DWORD;
            value.data = std::string("\x07\x00\x00\x00", 4);
        } else {
            value.type = REG_BINARY;
            value.data = std::string("\x01\x02\x03", 3);
        }
        SetValue(machine, value);
    }
    if (depth == 0)
        return;
    size_t children = random.Below(3);
    for (size_t i = 0; i < children; ++i) {
        std::string sub = key + "\\" + random.Pick(KeyNames());
        if (!sim::KeyExists(sub.c_str()))
            AddKeyTree(machine, random, sub, depth - 1, stringsOnly);
    }
}

} // namespace detail

// Builds a random machine on the (freshly reset) simulation.
inline Machine BuildMachine(Random& random) {
    using namespace detail;
    Machine machine;

    // The product, with a sibling whose name shares its beginning.
    AddFolder(machine, random, kProduct);
    AddTree(machine, random, kProduct, 3);
    // Now and then a chain of long folder names that passes the 259 characters a path may have:
    // what lies beyond must be left out of the plan, never cut short to a path that fits.
    if (random.Chance(15)) {
        std::string folder = std::string(kProduct) + "\\Deep";
        AddFolder(machine, random, folder);
        for (char level = 'A'; level < 'F'; ++level) {
            folder += "\\" + std::string(38 + random.Below(30), level);
            AddFolder(machine, random, folder);
            AddFile(machine, random, folder + "\\" + std::string(1 + random.Below(40), 'f'));
        }
    }
    AddFolder(machine, random, "C:\\Program Files\\Example Suite Tools");
    AddTree(machine, random, "C:\\Program Files\\Example Suite Tools", 1);
    AddFolder(machine, random, "C:\\Program Files\\Other");
    AddTree(machine, random, "C:\\Program Files\\Other", 1);

    // The user's own data, reachable from inside the product only through links.
    const std::vector<std::string> userRoots = {
        "C:\\Documents and Settings\\Administrator\\My Documents\\Letters", "C:\\Shared\\Photos"};
    for (const std::string& root : userRoots) {
        AddFolder(machine, random, root);
        AddTree(machine, random, root, 1);
        machine.userData.push_back(root);
    }
    size_t links = random.Below(3);
    for (size_t i = 0; i < links; ++i) {
        std::vector<std::string> productFolders;
        for (const std::string& folder : machine.folders)
            if (folder == kProduct || IsBeneath(folder, kProduct))
                productFolders.push_back(folder);
        std::string link = random.Pick(productFolders) + (i == 0 ? "\\Documents" : "\\Shared");
        if (sim::Exists(link.c_str()))
            continue;
        std::string target = random.Pick(userRoots);
        sim::AddJunction(link.c_str(), target.c_str());
        machine.links.push_back(link);
        machine.targets.push_back(target);
    }

    // Per-user data for the folder macros.
    for (const char* user : {"Administrator", "Default User"}) {
        std::string folder = std::string("C:\\Documents and Settings\\") + user +
                             "\\Application Data\\Example Suite";
        AddFolder(machine, random, folder);
        AddTree(machine, random, folder, 1);
    }

    // Registry: the product's key, its uninstall entry, its Run entry, and their neighbours.
    AddKeyTree(machine, random, kProductKey, 2, false);
    SetValue(machine, {kProductKey, "InstallPath", REG_SZ, StringData(kProduct)});
    AddKeyTree(machine, random, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite Tools", 1, false);
    AddKeyTree(machine, random, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Unrelated", 1, false);
    SetValue(machine, {std::string(kUninstallKey) + "\\ExampleSuite", "DisplayName", REG_SZ,
                       StringData("Example Suite 4.0")});
    SetValue(machine, {std::string(kUninstallKey) + "\\Other", "DisplayName", REG_SZ,
                       StringData("Other Program")});
    machine.keys.push_back(std::string(kUninstallKey) + "\\ExampleSuite");
    machine.keys.push_back(std::string(kUninstallKey) + "\\Other");
    SetValue(machine,
             {kRunKey, "ExampleTray", REG_SZ, StringData("C:\\PROGRA~1\\EXAMPLE~1\\app.exe")});
    SetValue(machine, {kRunKey, "OtherTray", REG_SZ, StringData("other.exe")});
    if (random.Chance(30))
        SetValue(machine, {kRunKey, "ExampleFlags", REG_DWORD, std::string("\x01\x00\x00\x00", 4)});

    // Services and running programs.
    machine.services = {"ExampleSvc", "ExampleDrv", "OtherSvc"};
    sim::AddService({"ExampleSvc", "Example Service", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING});
    sim::AddService({"ExampleDrv", "Example Driver", SERVICE_KERNEL_DRIVER, SERVICE_RUNNING});
    sim::AddService({"OtherSvc", "Other Service", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING});
    machine.processes = {"C:\\PROGRA~1\\EXAMPLE~1\\APP.EXE", "other.exe"};
    for (const std::string& process : machine.processes)
        sim::AddProcess(process.c_str());
    return machine;
}

// ---------------------------------------------------------------------------------------------
// Snapshots.

struct FileState {
    std::string path; // as the disk spells it
    DWORD attributes;
    std::string content;
};

struct Snapshot {
    std::map<std::string, FileState> files;      // by upper-case path; links not entered
    std::map<std::string, std::string> keys;     // upper-case key text -> key text
    std::map<std::string, RegistryValue> values; // upper-case value item -> value
};

// Attributes as compared: FILE_ATTRIBUTE_NORMAL only stands for "none".
inline DWORD Comparable(DWORD attributes) {
    return attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
}

namespace detail {

inline void SnapshotFolder(Snapshot& snapshot, const std::string& folder) {
    for (const std::string& name : sim::ListFolder(folder.c_str())) {
        std::string path = folder + "\\" + name;
        DWORD attributes = sim::Attributes(path.c_str());
        snapshot.files[Upper(path)] = {path, Comparable(attributes),
                                       sim::FileContent(path.c_str())};
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            SnapshotFolder(snapshot, path);
    }
}

inline void SnapshotKey(Snapshot& snapshot, const std::string& key) {
    for (const std::string& name : sim::ValueNames(key.c_str()))
        snapshot.values[Upper(key + "\\" + name)] = {key, name,
                                                     sim::ValueType(key.c_str(), name.c_str()),
                                                     sim::ValueData(key.c_str(), name.c_str())};
    for (const std::string& name : sim::SubKeys(key.c_str())) {
        std::string sub = key + "\\" + name;
        snapshot.keys[Upper(sub)] = sub;
        SnapshotKey(snapshot, sub);
    }
}

} // namespace detail

inline Snapshot TakeSnapshot() {
    Snapshot snapshot;
    detail::SnapshotFolder(snapshot, "C:");
    for (const char* root : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                             "HKEY_USERS", "HKEY_CURRENT_CONFIG"})
        detail::SnapshotKey(snapshot, root);
    return snapshot;
}

// ---------------------------------------------------------------------------------------------
// Profiles: random remove and ignore entries of every supported type and mode, spelled in the
// ways the reader must accept (quotes, '/', doubled and trailing separators, any case).

class ProfileWriter {
public:
    ProfileWriter(const Machine& machine, Random& random) : m_machine(machine), m_random(random) {}

    std::string Write() {
        const char* sections[] = {"service", "registry value", "registry key", "file"};
        std::vector<int> order = {0, 1, 2, 3};
        for (size_t i = order.size(); i > 1; --i)
            std::swap(order[i - 1], order[m_random.Below(i)]);
        m_lineEnd = m_random.Chance(30) ? "\r\n" : "\n";
        std::string text = "; generated profile" + m_lineEnd;
        for (int section : order) {
            std::string header = std::string("[") + sections[section] + " 1]";
            text += (m_random.Chance(20) ? Upper(header) : header) + m_lineEnd;
            size_t entries = m_random.Below(5);
            for (size_t i = 0; i < entries; ++i) {
                bool ignore = m_random.Chance(35);
                std::string data;
                switch (section) {
                case 0:
                    data = ServiceEntry();
                    break;
                case 1:
                    data = ValueEntry(ignore);
                    break;
                case 2:
                    data = KeyEntry(ignore);
                    break;
                default:
                    data = FileEntry(ignore);
                    break;
                }
                text += (ignore ? "ignore=" : "remove=") + data + m_lineEnd;
                if (m_random.Chance(10))
                    text += "notes=anything" + m_lineEnd;
            }
        }
        return text;
    }

private:
    // Spells a path the way a profile author might: any case, '/' or doubled separators, a
    // trailing separator, enclosing quotes. All of it normalises to the same text.
    std::string Spell(std::string path) {
        std::string out;
        for (size_t i = 0; i < path.size(); ++i) {
            char c = path[i];
            if (c == '\\' && i > 2) {
                unsigned form = static_cast<unsigned>(m_random.Below(10));
                out += form < 2 ? "/" : form < 3 ? "\\\\" : "\\";
            } else {
                out += c;
            }
        }
        if (m_random.Chance(20))
            out = Upper(out);
        if (m_random.Chance(15))
            out += "\\";
        if (m_random.Chance(15))
            out = "\"" + out + "\"";
        return out;
    }

    // A name pattern for one of `names`: the name itself, a prefix with '*', '?' for a letter.
    std::string Pattern(const std::string& name) {
        switch (m_random.Below(4)) {
        case 0:
            return name.substr(0, 1 + m_random.Below(name.size())) + "*";
        case 1:
            return "*";
        case 2:
            return "?" + name.substr(1);
        default:
            return name;
        }
    }

    std::string Token(const std::vector<std::string>& tokens) { return m_random.Pick(tokens); }

    std::string ProductPath() {
        std::vector<std::string> paths = {kProduct};
        for (const std::string& path : m_machine.folders)
            if (IsBeneath(path, kProduct))
                paths.push_back(path);
        for (const std::string& path : m_machine.files)
            if (IsBeneath(path, kProduct))
                paths.push_back(path);
        for (const std::string& path : m_machine.links)
            paths.push_back(path);
        return m_random.Pick(paths);
    }

    std::string FileEntry(bool ignore) {
        if (ignore) {
            switch (m_random.Below(4)) {
            case 0:
                return "FILE_NAME,BY_VALUE," + Spell(ProductPath());
            case 1:
                return "FILE_NAME,BY_VALUE," + Token({"KEEP", "DATA", ".DLL", "\\SUB", "LETTER"});
            case 2:
                return "FILE_NAME_EXPAND,BY_VALUE,%APPDATA%\\Example Suite\\" +
                       Token({"Keep", "Data", "keep.ini"});
            default:
                return m_random.Chance(5) ? "FILE_NAME,BY_VALUE,"
                                          : "FILE_NAME,BY_VALUE,C:\\NOWHERE";
            }
        }
        std::string path = ProductPath();
        size_t cut = path.rfind('\\');
        switch (m_random.Below(8)) {
        case 0:
        case 1:
            return "FILE_NAME,BY_VALUE," + Spell(path);
        case 2:
            return "FILE_NAME,BY_VALUE," + Spell(path.substr(0, cut)) + "\\" +
                   Pattern(path.substr(cut + 1));
        case 3:
            // Into a link: what lies behind it is the user's, however the profile names it.
            if (!m_machine.links.empty())
                return "FILE_NAME,BY_VALUE," + Spell(m_random.Pick(m_machine.links)) + "\\" +
                       Token({"*", "*.txt", "readme.txt", "Data", "Bin\\app.exe"});
            return "FILE_NAME,BY_VALUE," + Spell(kProduct) + "\\*";
        case 4:
            return "FILE_NAME,BY_DATA_MATCH,\"" + path.substr(0, cut) + "\\*\",\"" +
                   Pattern(m_random.Pick(detail::FileNames())) + "\"" +
                   (m_random.Chance(50)
                        ? ",\"" + Pattern(m_random.Pick(detail::FolderNames())) + "\""
                        : "");
        case 5:
            return "FILE_NAME_EXPAND,BY_VALUE,%APPDATA%\\Example Suite";
        case 6:
            return "FILE_NAME_EXPAND,BY_DATA_MATCH,\"%APPDATA%\\*\",\"" +
                   Pattern(m_random.Pick(detail::FileNames())) + "\"";
        default:
            return "REG_VALUE,BY_REFERENCE," + std::string(kProductKey) + "\\InstallPath";
        }
    }

    std::string AnyKey(const std::string& under) {
        std::vector<std::string> keys;
        for (const std::string& key : m_machine.keys)
            if (key == under || IsBeneath(key, under))
                keys.push_back(key);
        return keys.empty() ? under : m_random.Pick(keys);
    }

    std::string KeyEntry(bool ignore) {
        std::string key =
            AnyKey(m_random.Chance(80) ? kProductKey
                                       : "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite Tools");
        size_t cut = key.rfind('\\');
        if (ignore)
            return m_random.Chance(50) ? "REG_KEY,BY_VALUE," + Spell(key)
                                       : "REG_KEY,BY_VALUE," + Token({"KEEP", "\\SUB", "CACHE"});
        switch (m_random.Below(4)) {
        case 0:
        case 1:
            return "REG_KEY,BY_VALUE," + Spell(key);
        case 2:
            return "REG_KEY,BY_VALUE," + Spell(key.substr(0, cut)) + "\\" +
                   Pattern(key.substr(cut + 1));
        default:
            return "REG_KEY,BY_DATA_MATCH,\"" + std::string(kUninstallKey) +
                   "\\*\",\"DisplayName\",\"" + Token({"Example*", "*4.0", "Other*"}) + "\"";
        }
    }

    std::string ValueEntry(bool ignore) {
        const RegistryValue& value = m_random.Pick(m_machine.values);
        if (ignore)
            return m_random.Chance(50)
                       ? "REG_VALUE,BY_VALUE," + Spell(value.key) + "\\" + value.name
                       : "REG_VALUE,BY_VALUE," + Token({"\\VERSION", "KEEP", "\\MODE"});
        switch (m_random.Below(4)) {
        case 0:
            return "REG_VALUE,BY_VALUE," + Spell(value.key) + "\\" + value.name;
        case 1:
            return "REG_VALUE,BY_VALUE," + Spell(value.key) + "\\" +
                   (value.name.empty() ? std::string("*") : Pattern(value.name));
        case 2:
            return "REG_VALUE,BY_DATA_MATCH,\"" + std::string(kRunKey) + "\\Example*\",\"" +
                   Token({"*app.exe", "C:\\PROGRA~1*", "nothing"}) + "\"";
        default:
            return "REG_VALUE,BY_VALUE," + Spell(kRunKey) + "\\" +
                   Token({"ExampleTray", "Example*"});
        }
    }

    std::string ServiceEntry() {
        return "SERVICE_NAME,BY_VALUE," +
               Token({"ExampleSvc", "Example*", "APP.EXE", "Ex?mpleDrv", "nothing"});
    }

    const Machine& m_machine;
    Random& m_random;
    std::string m_lineEnd;
};

} // namespace property
