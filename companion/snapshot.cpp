// The snapshot: files under the places installers write to, the registry below the keys they
// write to, the services and the Winsock catalog, written one record a line; and its reading.
#include "snapshot.h"

#include "engine/protected_paths.h"
#include "platform/os/crt.h"
#include "snapshot_roots.h"
#include "text_forms.h"

#include <shlobj.h>
#include <winsvc.h>
#include <ws2spi.h>

#include <cstring>
#include <memory>

namespace companion {

namespace {

const char kHeader[] = "KVSNAPSHOT\t1";
// Deeper folders or keys than this are not walked (a loop through a link stops here too).
const int kMaxDepth = 64;
// The service types the engine lists: drivers and Win32 services.
const DWORD kServiceTypes = 0x3B;
// Registry value data beyond this is hashed in pieces it never holds whole.
const DWORD kMaxValueData = 16u * 1024u * 1024u;
const size_t kPreviewBytes = 100;

// FNV-1a, 64 bits: enough to tell a changed value from an unchanged one.
unsigned long long Hash(const unsigned char* data, size_t size) {
    unsigned long long hash = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string Hex(unsigned long long value, int digits) {
    char text[24];
    snprintf(text, sizeof(text), "%0*llx", digits, value);
    return text;
}

// A short readable form of registry data: strings as text, numbers in hex, other data as the hex
// of its first bytes.
std::string Preview(DWORD type, const unsigned char* data, DWORD size) {
    std::string text;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ || type == REG_LINK) {
        for (DWORD i = 0; i < size && text.size() < kPreviewBytes; ++i) {
            if (data[i] == 0) {
                if (type != REG_MULTI_SZ || i + 1 >= size || data[i + 1] == 0)
                    break;
                text += '|';
            } else {
                text += static_cast<char>(data[i]);
            }
        }
        return text;
    }
    if (type == REG_DWORD && size == 4)
        return "0x" + Hex(static_cast<unsigned long long>(data[0]) | (data[1] << 8) |
                              (data[2] << 16) | (static_cast<unsigned long long>(data[3]) << 24),
                          8);
    for (DWORD i = 0; i < size && i < 32; ++i)
        text += Hex(data[i], 2);
    return text;
}

// Writes records through the runtime's buffered stream and reports progress now and then.
class Writer {
public:
    Writer(FILE* out, FILE* progress) : m_out(out), m_progress(progress) {}

    void Record(char kind, std::initializer_list<const std::string*> fields) {
        m_line.assign(1, kind);
        for (const std::string* field : fields) {
            m_line += '\t';
            m_line += EscapeField(*field);
        }
        m_line += '\n';
        if (fwrite(m_line.data(), 1, m_line.size(), m_out) != m_line.size())
            m_failed = true;
        if ((++m_count & 0xFFF) == 0)
            Progress();
    }
    void Area(const std::string& area) {
        m_area = area;
        if (m_progress)
            fprintf(m_progress, "snapshot: %s\n", area.c_str());
    }
    bool Failed() const { return m_failed; }
    unsigned long Count() const { return m_count; }

private:
    void Progress() {
        DWORD now = GetTickCount();
        if (!m_progress || now - m_lastReport < 1000)
            return;
        m_lastReport = now;
        fprintf(m_progress, "snapshot: %lu records (%s)\n", m_count, m_area.c_str());
    }

    FILE* m_out;
    FILE* m_progress;
    std::string m_line;
    std::string m_area;
    unsigned long m_count = 0;
    DWORD m_lastReport = GetTickCount();
    bool m_failed = false;
};

class Search {
public:
    explicit Search(HANDLE handle) : m_handle(handle) {}
    ~Search() {
        if (m_handle != INVALID_HANDLE_VALUE)
            FindClose(m_handle);
    }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

class Key {
public:
    Key() = default;
    ~Key() {
        if (m_key)
            RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

void WalkFolder(Writer& writer, const std::string& folder, bool recursive, int depth) {
    WIN32_FIND_DATAA found;
    memset(&found, 0, sizeof(found));
    std::string pattern = folder + "\\*";
    if (pattern.size() >= MAX_PATH)
        return;
    Search search(FindFirstFileA(pattern.c_str(), &found));
    if (search.get() == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::string> folders;
    do {
        found.cFileName[sizeof(found.cFileName) - 1] = '\0';
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0)
            continue;
        std::string path = folder + "\\" + found.cFileName;
        std::string attributes = Hex(found.dwFileAttributes, 8);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            writer.Record('D', {&attributes, &path});
            // A link is recorded, never entered: what it leads to belongs elsewhere.
            if (recursive && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                folders.push_back(path);
        } else {
            std::string size = Hex((static_cast<unsigned long long>(found.nFileSizeHigh) << 32) |
                                       found.nFileSizeLow,
                                   1);
            std::string time =
                Hex((static_cast<unsigned long long>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                        found.ftLastWriteTime.dwLowDateTime,
                    16);
            writer.Record('F', {&size, &time, &attributes, &path});
        }
    } while (FindNextFileA(search.get(), &found));
    if (depth < kMaxDepth)
        for (const std::string& path : folders)
            WalkFolder(writer, path, true, depth + 1);
}

// Buffers the key walk shares at every depth: a value's data, and a name (up to the registry's
// 16383 characters), kept off the stack of the recursion.
struct KeyScratch {
    std::vector<unsigned char> data = std::vector<unsigned char>(64 * 1024);
    std::vector<char> name = std::vector<char>(16384);
};

void WalkKey(Writer& writer, HKEY root, const std::string& text, const std::string& path,
             KeyScratch& scratch, int depth) {
    Key key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.out()) !=
        ERROR_SUCCESS)
        return;
    writer.Record('K', {&text});

    std::vector<unsigned char>& data = scratch.data;
    char* name = scratch.name.data();
    const DWORD nameRoom = static_cast<DWORD>(scratch.name.size());
    for (DWORD index = 0;;) {
        DWORD nameSize = nameRoom;
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        LONG result =
            RegEnumValueA(key.get(), index, name, &nameSize, nullptr, &type, data.data(), &size);
        if (result == ERROR_MORE_DATA && size > data.size() && size <= kMaxValueData) {
            data.resize(size);
            continue;
        }
        if (result != ERROR_SUCCESS)
            break;
        name[nameRoom - 1] = '\0';
        if (size > data.size())
            size = static_cast<DWORD>(data.size());
        std::string valueName = name;
        std::string typeText = Hex(type, 1);
        std::string sizeText = Hex(size, 1);
        std::string hash = Hex(Hash(data.data(), size), 16);
        std::string preview = Preview(type, data.data(), size);
        writer.Record('V', {&text, &valueName, &typeText, &sizeText, &hash, &preview});
        ++index;
    }

    std::vector<std::string> subkeys;
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = 256;
        if (RegEnumKeyExA(key.get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        name[255] = '\0';
        subkeys.push_back(name);
    }
    if (depth >= kMaxDepth)
        return;
    for (const std::string& subkey : subkeys)
        WalkKey(writer, root, text + "\\" + subkey, path.empty() ? subkey : path + "\\" + subkey,
                scratch, depth + 1);
}

std::string ServiceText(HKEY key, const char* name, DWORD* number) {
    char text[MAX_PATH * 2];
    DWORD type = 0;
    DWORD size = sizeof(text) - 1;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
        ERROR_SUCCESS)
        return "";
    if (type == REG_DWORD && size == 4 && number) {
        memcpy(number, text, 4);
        return "";
    }
    text[size < sizeof(text) ? size : sizeof(text) - 1] = '\0';
    return type == REG_SZ || type == REG_EXPAND_SZ ? text : "";
}

void WalkServices(Writer& writer) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, GENERIC_READ);
    if (!manager)
        return;
    DWORD needed = 0, count = 0, resume = 0;
    EnumServicesStatusA(manager, kServiceTypes, SERVICE_STATE_ALL, nullptr, 0, &needed, &count,
                        &resume);
    std::vector<unsigned char> buffer(needed + 4096);
    resume = 0;
    for (;;) {
        count = 0;
        BOOL done =
            EnumServicesStatusA(manager, kServiceTypes, SERVICE_STATE_ALL,
                                reinterpret_cast<LPENUM_SERVICE_STATUSA>(buffer.data()),
                                static_cast<DWORD>(buffer.size()), &needed, &count, &resume);
        bool more = !done && GetLastError() == ERROR_MORE_DATA;
        const ENUM_SERVICE_STATUSA* records =
            reinterpret_cast<const ENUM_SERVICE_STATUSA*>(buffer.data());
        for (DWORD i = 0; i < count && (i + 1) * sizeof(*records) <= buffer.size(); ++i) {
            std::string name = records[i].lpServiceName ? records[i].lpServiceName : "";
            std::string state = Hex(records[i].ServiceStatus.dwCurrentState, 1);
            DWORD start = 0xFFFFFFFF;
            std::string image;
            Key key;
            std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + name;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                              key.out()) == ERROR_SUCCESS) {
                ServiceText(key.get(), "Start", &start);
                image = ServiceText(key.get(), "ImagePath", nullptr);
            }
            std::string startText = Hex(start, 1);
            writer.Record('S', {&name, &startText, &state, &image});
        }
        if (!more || count == 0)
            break;
    }
    CloseServiceHandle(manager);
}

std::string Narrow(const WCHAR* text, size_t limit) {
    std::string out;
    for (size_t i = 0; i < limit && text[i]; ++i)
        out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
}

std::string GuidText(const GUID& id) {
    char text[40];
    snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1],
             id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
    return text;
}

void WalkCatalog(Writer& writer) {
    DWORD length = 0;
    int error = 0;
    WSCEnumProtocols(nullptr, nullptr, &length, &error);
    if (length == 0)
        return;
    std::vector<unsigned char> buffer(length);
    int count = WSCEnumProtocols(nullptr, reinterpret_cast<LPWSAPROTOCOL_INFOW>(buffer.data()),
                                 &length, &error);
    if (count <= 0)
        return;
    const WSAPROTOCOL_INFOW* entries = reinterpret_cast<const WSAPROTOCOL_INFOW*>(buffer.data());
    size_t fits = buffer.size() / sizeof(WSAPROTOCOL_INFOW);
    for (size_t i = 0; i < static_cast<size_t>(count) && i < fits; ++i) {
        GUID id = entries[i].ProviderId;
        WCHAR path[MAX_PATH] = {0};
        int pathLength = MAX_PATH;
        std::string dll;
        if (WSCGetProviderPath(&id, path, &pathLength, &error) == 0)
            dll = Narrow(path, MAX_PATH);
        std::string guid = GuidText(id);
        std::string chain = Hex(static_cast<unsigned>(entries[i].ProtocolChain.ChainLen), 1);
        std::string name = Narrow(entries[i].szProtocol, WSAPROTOCOL_LEN);
        writer.Record('W', {&guid, &chain, &name, &dll});
    }
}

void WriteFacts(Writer& writer, const MachineFolders& machine) {
    const std::pair<const char*, const std::string*> facts[] = {{"windows", &machine.windows},
                                                                {"system", &machine.system},
                                                                {"temp", &machine.temp},
                                                                {"profiles", &machine.profiles},
                                                                {"user", &machine.user}};
    for (const auto& fact : facts) {
        std::string name = fact.first;
        writer.Record('X', {&name, fact.second});
    }
    for (size_t row = 0; row < FolderMacroCount(); ++row) {
        char folder[MAX_PATH];
        if (!FolderMacroPath(row, folder))
            continue;
        std::string name = std::string("macro ") + FolderMacroName(row);
        std::string path = folder;
        writer.Record('X', {&name, &path});
    }
}

} // namespace

DWORD TakeSnapshot(const char* path, FILE* progress) {
    FILE* out = CrtOpen(path, "w");
    if (!out)
        return GetLastError() ? GetLastError() : ERROR_CANNOT_MAKE;
    std::unique_ptr<FILE, int (*)(FILE*)> closer(out, fclose);
    fprintf(out, "%s\n", kHeader);
    Writer writer(out, progress);
    MachineFolders machine = FindMachineFolders();
    WriteFacts(writer, machine);

    for (const FolderRoot& root : SnapshotFolderRoots(machine)) {
        std::string recursive = root.recursive ? "1" : "0";
        writer.Record('R', {&root.path, &recursive});
    }
    for (const FolderRoot& root : SnapshotFolderRoots(machine)) {
        writer.Area(root.path);
        WalkFolder(writer, root.path, root.recursive, 0);
    }
    KeyScratch scratch;
    for (const KeyRoot& root : SnapshotKeyRoots()) {
        writer.Area(root.text);
        WalkKey(writer, root.root, root.text, root.path, scratch, 0);
    }
    writer.Area("services");
    WalkServices(writer);
    writer.Area("Winsock catalog");
    WalkCatalog(writer);
    if (progress)
        fprintf(progress, "snapshot: %lu records written to %s\n", writer.Count(), path);
    if (writer.Failed())
        return ERROR_WRITE_FAULT;
    return fclose(closer.release()) == 0 ? 0 : ERROR_WRITE_FAULT;
}

std::string RecordId(char kind, const std::vector<std::string>& fields) {
    switch (kind) {
    case 'F':
        return fields.size() >= 4 ? "F" + Folded(fields[3]) : "";
    case 'D':
        return fields.size() >= 2 ? "F" + Folded(fields[1]) : "";
    case 'K':
        return fields.size() >= 1 ? "K" + Folded(fields[0]) : "";
    case 'V':
        return fields.size() >= 6 ? "V" + Folded(fields[0]) + "\t" + Folded(fields[1]) : "";
    case 'S':
        return fields.size() >= 4 ? "S" + Folded(fields[0]) : "";
    case 'W':
        return fields.size() >= 4 ? "W" + fields[0] + "\t" + fields[2] : "";
    default:
        return "";
    }
}

std::string RecordName(const Record& record) {
    switch (record.kind) {
    case 'F':
        return record.fields[3];
    case 'D':
        return record.fields[1];
    case 'V':
        return record.fields[0] + "\\" + record.fields[1];
    case 'W':
        return record.fields[0] + " " + record.fields[2];
    default:
        return record.fields[0];
    }
}

bool LoadSnapshot(const char* path, Snapshot* snapshot, std::string* problem) {
    FILE* in = CrtOpen(path, "r");
    if (!in) {
        *problem = std::string("cannot read ") + path;
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> closer(in, fclose);
    std::string line;
    char piece[4096];
    bool first = true;
    while (fgets(piece, sizeof(piece), in)) {
        line += piece;
        if (line.empty() || line[line.size() - 1] != '\n') {
            if (!feof(in))
                continue;
        } else {
            line.erase(line.size() - 1);
        }
        if (!line.empty() && line[line.size() - 1] == '\r')
            line.erase(line.size() - 1);
        if (first) {
            first = false;
            if (line != kHeader) {
                *problem = std::string(path) + " is not a kvprofile snapshot";
                return false;
            }
            line.clear();
            continue;
        }
        std::vector<std::string> fields = SplitFields(line);
        line.clear();
        if (fields[0].size() != 1)
            continue;
        char kind = fields[0][0];
        fields.erase(fields.begin());
        for (std::string& field : fields)
            field = UnescapeField(field);
        if (kind == 'X' && fields.size() == 2) {
            snapshot->facts[fields[0]] = fields[1];
        } else if (kind == 'R' && fields.size() == 2) {
            snapshot->facts["root " + fields[0]] = fields[1];
        } else {
            Record record;
            record.kind = kind;
            record.id = RecordId(kind, fields);
            record.fields = fields;
            if (!record.id.empty())
                snapshot->records[record.id] = record;
        }
    }
    if (first) {
        *problem = std::string(path) + " is empty";
        return false;
    }
    return true;
}

} // namespace companion
