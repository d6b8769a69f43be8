// The uninstallation profile: locating the file beside the program, reading its sections line by
// line, and handing each entry's normalised data to the discovery operation of its type and mode.
#include "Zelm.h"

#include "engine_support.h"
#include "helpers/helper.h"
#include "plan_observer.h"
#include "refusal_observer.h"
#include "platform/os/crt.h"
#include "trace/trace.h"
#include "platform/os/wow64.h"
#include "twin_locations.h"

#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

using engine_support::CopyText;
using engine_support::LastErrorOr;

namespace {

// A line is read in at most 359 characters; a longer line is never split into two.
const int CONFIG_LINE_SIZE = 360;
// Room for a section header ("[registry value 1]") or a key prefix ("remove=").
const int CONFIG_TAG_SIZE = 64;
// The only section number that is ever read.
const int CONFIG_SECTION_NUMBER = 1;

// The keyword table of the profile's entries; the parser uses the record whose key is 1.
struct EntryKeywords {
    DWORD key;
    const char* types[ENTRY_TYPE_COUNT];
    const char* modes[ENTRY_MODE_COUNT];
};

const EntryKeywords g_entryKeywords[] = {
    {1,
     {"REG_VALUE", "REG_KEY", "REG_VALUE_EXPAND", "REG_KEY_EXPAND", "FILE_NAME", "FILE_NAME_EXPAND",
      "SERVICE_NAME"},
     {"BY_REFERENCE", "BY_VALUE", "BY_DATA_MATCH"}},
};

// True when the value item ('ROOT\\KEY PATH\\NAME', the default value for a trailing '\\')
// names a value that exists, read in the native view.
bool RegistryValueExists(const char* item) {
    HKEY root = nullptr;
    std::string keyPath;
    const char* name = engine_support::SplitValueItem(item, &root, &keyPath);
    if (!name)
        return false;
    OwnedKey key;
    if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_QUERY_VALUE | wow64::NativeKeyView(),
                      key.out()) != ERROR_SUCCESS)
        return false;
    return RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

const EntryKeywords* FindKeywords(DWORD key) {
    for (const EntryKeywords& record : g_entryKeywords)
        if (record.key == key)
            return &record;
    return nullptr;
}

// Index of the first keyword that starts the text and is followed by ',' (so "REG_VALUE" does not
// take "REG_VALUE_EXPAND,"), with the text moved past the ','; -1 when none fits.
int MatchKeyword(const char* const* keywords, int count, const char** text) {
    for (int index = 0; index < count; ++index) {
        size_t length = strlen(keywords[index]);
        if (ComparePrefixNoCase(*text, keywords[index], length) == 0 && (*text)[length] == ',') {
            *text += length + 1;
            return index;
        }
    }
    return -1;
}

typedef DWORD (CUninstallEngine::*Discovery)(TSet&, char*);

// Type x mode -> discovery operation; an empty cell is a bad configuration.
const Discovery g_dispatch[ENTRY_TYPE_COUNT][ENTRY_MODE_COUNT] = {
    {&CUninstallEngine::FindRegValueByReference, &CUninstallEngine::FindRegValuesByValue,
     &CUninstallEngine::FindRegValuesByDataMatch},
    {nullptr, &CUninstallEngine::FindRegKeysByValue, &CUninstallEngine::FindRegKeysByDataMatch},
    {nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr},
    {nullptr, &CUninstallEngine::FindFilesByValue, &CUninstallEngine::FindFilesByDataMatch},
    {nullptr, &CUninstallEngine::FindExpandedFilesByValue,
     &CUninstallEngine::FindExpandedFilesByDataMatch},
    {nullptr, &CUninstallEngine::FindServicesByValue, nullptr},
};

// Reads the next line (its first 359 characters, up to and consuming a line feed) and drops the
// line feed. A longer line is consumed whole and reported with *overlong; its remainder is never
// taken for a line of its own, where it could become an entry or a section header. At the end of
// the file the buffer keeps the line read before; after a read error, whose buffer content is
// undefined, it is emptied. `number` counts the lines read, from 1.
bool ReadLine(FILE* stream, char* line, bool* overlong, int* number) {
    *overlong = false;
    if (!fgets(line, CONFIG_LINE_SIZE, stream)) {
        if (!feof(stream))
            line[0] = '\0';
        return false;
    }
    ++*number;
    char* feed = strchr(line, '\n');
    if (feed) {
        *feed = '\0';
        return true;
    }
    // The buffer is full or the file ends here: a line feed next means the line fitted exactly.
    int next = fgetc(stream);
    if (next == EOF || next == '\n')
        return true;
    *overlong = true;
    while (next != EOF && next != '\n')
        next = fgetc(stream);
    return true;
}

// The list loaders in the order a run reads them.
const ProfileLoader g_profileLoaders[] = {
    {&CUninstallEngine::InitIgnoreServiceList, "InitIgnoreServiceList",
     &CUninstallEngine::m_ignoreServices},
    {&CUninstallEngine::InitRemoveServiceList, "InitRemoveServiceList",
     &CUninstallEngine::m_removeServices},
    {&CUninstallEngine::InitIgnoreRegValueList, "InitIgnoreRegValueList",
     &CUninstallEngine::m_ignoreRegValues},
    {&CUninstallEngine::InitRemoveRegValueList, "InitRemoveRegValueList",
     &CUninstallEngine::m_removeRegValues},
    {&CUninstallEngine::InitIgnoreRegKeyList, "InitIgnoreRegKeyList",
     &CUninstallEngine::m_ignoreRegKeys},
    {&CUninstallEngine::InitRemoveRegKeyList, "InitRemoveRegKeyList",
     &CUninstallEngine::m_removeRegKeys},
    {&CUninstallEngine::InitIgnoreFileList, "InitIgnoreFileList", &CUninstallEngine::m_ignoreFiles},
    {&CUninstallEngine::InitRemoveFileList, "InitRemoveFileList", &CUninstallEngine::m_removeFiles},
};

} // namespace

const ProfileLoader* ProfileLoaders(size_t* count) {
    if (count)
        *count = sizeof(g_profileLoaders) / sizeof(g_profileLoaders[0]);
    return g_profileLoaders;
}

DWORD CUninstallEngine::CreateProfile() {
    // An exhausted heap fails the profile step; nothing unwinds out of the engine.
    try {
        return LoadProfile();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

DWORD CUninstallEngine::LoadProfile() {
    OpenLogFile(nullptr, FALSE, nullptr);

    DWORD result = InitConfigFile();
    if (m_configPath)
        LogStepLine("%04d InitConfigFile: %s\n", static_cast<int>(result), m_configPath);
    else
        LogStepLine("%04d InitConfigFile\n", static_cast<int>(result));
    if (result != 0)
        return result;

    // Discovery looks at the machine as it is: a 32-bit build on 64-bit Windows turns the
    // file-system redirection of this thread off until the lists are loaded.
    wow64::NativeFileView nativeView;
    for (const ProfileLoader& loader : g_profileLoaders) {
        result = LoadList(loader.load, loader.name, this->*loader.set);
        if (result != 0)
            return result;
    }
    return 0;
}

DWORD CUninstallEngine::LoadList(DWORD (CUninstallEngine::*loader)(), const char* name, TSet& set) {
    // A list that could not take one of its items for lack of memory is no list to act on: a lost
    // ignore item would leave something unspared. Nothing unwinds out of the engine either.
    const unsigned failedBefore = TSet::FailedAddsOnThisThread();
    DWORD result = ERROR_NOT_ENOUGH_MEMORY;
    try {
        result = (this->*loader)();
    } catch (const std::bad_alloc&) {
        result = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (result == 0 && TSet::FailedAddsOnThisThread() != failedBefore)
        result = ERROR_NOT_ENOUGH_MEMORY;
    if (result != 0 && m_errorText)
        LogStepLine("%04d %s: %s\n", static_cast<int>(result), name, m_errorText);
    else
        LogStepLine("%04d %s: %d items\n", static_cast<int>(result), name,
                    static_cast<int>(set.Count()));
    return result;
}

DWORD CUninstallEngine::InitConfigFile() {
    if (m_configPathGiven) {
        if (CrtAccess(m_configPath, CRT_ACCESS_READ) != 0)
            return ERROR_FILE_NOT_FOUND;
        return IsCancelled() ? ERROR_CANCELLED : 0;
    }
    char path[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH - 1);
    if (length == 0)
        return LastErrorOr(ERROR_INVALID_FUNCTION);
    // A cut program path would name some other file's profile.
    if (length >= MAX_PATH - 1)
        return LastErrorOr(ERROR_INSUFFICIENT_BUFFER);
    path[MAX_PATH - 1] = '\0';

    char* extension = PathFindExtensionA(path);
    size_t stem = static_cast<size_t>(extension - path);
    static const char kSuffix[] = ".cfg";
    if (stem + sizeof(kSuffix) > sizeof(path))
        return ERROR_FILENAME_EXCED_RANGE;
    memcpy(path + stem, kSuffix, sizeof(kSuffix));

    char* copy = CopyText(path);
    if (!copy)
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    free(m_configPath);
    m_configPath = copy;

    if (CrtAccess(m_configPath, CRT_ACCESS_READ) != 0)
        return ERROR_FILE_NOT_FOUND;
    if (IsCancelled())
        return ERROR_CANCELLED;
    return 0;
}

DWORD CUninstallEngine::InitIgnoreServiceList() {
    return ReadSection(m_ignoreServices, "service", "ignore");
}

DWORD CUninstallEngine::InitRemoveServiceList() {
    return ReadSection(m_removeServices, "service", "remove");
}

DWORD CUninstallEngine::InitIgnoreRegValueList() {
    return ReadSection(m_ignoreRegValues, "registry value", "ignore");
}

DWORD CUninstallEngine::InitRemoveRegValueList() {
    return ReadSection(m_removeRegValues, "registry value", "remove");
}

DWORD CUninstallEngine::InitIgnoreRegKeyList() {
    return ReadSection(m_ignoreRegKeys, "registry key", "ignore");
}

DWORD CUninstallEngine::InitRemoveRegKeyList() {
    return ReadSection(m_removeRegKeys, "registry key", "remove");
}

DWORD CUninstallEngine::InitIgnoreFileList() {
    return ReadSection(m_ignoreFiles, "file", "ignore");
}

DWORD CUninstallEngine::InitRemoveFileList() {
    return ReadSection(m_removeFiles, "file", "remove");
}

DWORD CUninstallEngine::ReadSection(TSet& set, const char* section, const char* key) {
    if (!section || !key)
        return ERROR_INVALID_PARAMETER;
    char header[CONFIG_TAG_SIZE];
    char prefix[CONFIG_TAG_SIZE];
    int headerLength = snprintf(header, sizeof(header), "[%s %d]", section, CONFIG_SECTION_NUMBER);
    int prefixLength = snprintf(prefix, sizeof(prefix), "%s=", key);
    if (headerLength < 0 || headerLength >= CONFIG_TAG_SIZE || prefixLength < 0 ||
        prefixLength >= CONFIG_TAG_SIZE)
        return ERROR_INVALID_PARAMETER;

    // Discovery refuses the system's own services while the profile is read; the observer hears
    // of it.
    refusal_observer::Scope refusals(m_observer);
    if (!m_configPath)
        return ERROR_FILE_NOT_FOUND;
    OwnedStream stream(CrtOpen(m_configPath, "r"));
    if (!stream.get())
        return LastErrorOr(ERROR_FILE_NOT_FOUND);

    char line[CONFIG_LINE_SIZE] = "";
    bool overlong = false;
    int number = 0;
    for (;;) {
        if (feof(stream.get()) || !ReadLine(stream.get(), line, &overlong, &number))
            return ERROR_BAD_CONFIGURATION;
        if (ComparePrefixNoCase(line, header, static_cast<size_t>(headerLength)) == 0)
            break;
    }
    if (IsCancelled())
        return ERROR_CANCELLED;

    line[0] = '\0';
    DWORD result = 0;
    while (result == 0) {
        if (IsCancelled()) {
            result = ERROR_CANCELLED;
            break;
        }
        if (feof(stream.get()) || line[0] == '[')
            break;
        // A read that meets the end of the file delivers no line: the one before it is not
        // taken a second time. A read error ends the section like the end of the file.
        if (!ReadLine(stream.get(), line, &overlong, &number)) {
            if (!feof(stream.get()))
                break;
            continue;
        }
        if (ComparePrefixNoCase(line, prefix, static_cast<size_t>(prefixLength)) != 0)
            continue;
        // An entry that does not fit is refused whole: cut short, a data-match entry loses its
        // last patterns and matches more than it says.
        result = overlong ? ERROR_BAD_CONFIGURATION : ParseEntry(set, line + prefixLength);
        if (m_observer && m_observer->EntryParsed(set, number, line, result))
            result = 0;
    }
    if (result != 0) {
        SetErrorText(line);
        return result;
    }
    return 0;
}

DWORD CUninstallEngine::ParseEntry(TSet& set, const char* text) {
    const EntryKeywords* keywords = FindKeywords(1);
    if (!keywords || !text)
        return ERROR_BAD_CONFIGURATION;
    int type = MatchKeyword(keywords->types, ENTRY_TYPE_COUNT, &text);
    if (type < 0)
        return ERROR_BAD_CONFIGURATION;
    int mode = MatchKeyword(keywords->modes, ENTRY_MODE_COUNT, &text);
    if (mode < 0)
        return ERROR_BAD_CONFIGURATION;
    return DispatchEntry(set, type, mode, text);
}

DWORD CUninstallEngine::DispatchEntry(TSet& set, int type, int mode, const char* data) {
    if (!data)
        return ERROR_INVALID_DATA;
    HeapText copy(CopyText(data));
    if (!copy.get())
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    NormalizeEntry(copy.get());
    if (type < 0 || type >= ENTRY_TYPE_COUNT || mode < 0 || mode >= ENTRY_MODE_COUNT)
        return ERROR_BAD_CONFIGURATION;
    Discovery discovery = g_dispatch[type][mode];
    if (!discovery)
        return ERROR_BAD_CONFIGURATION;
    return DiscoverBothViews(set, copy.get(), discovery);
}

DWORD CUninstallEngine::DiscoverBothViews(TSet& destination, char* data, FileOperation operation) {
    // The twin is taken before the operation, which may change the text in place. Where the
    // system keeps the place twice, the entry stands for both: the twin is found by the same
    // rules and planned under its own path.
    std::string twin;
    bool twinned = twin_locations::TwinOf(data, &twin);
    DWORD result = (this->*operation)(destination, data);
    if (twinned) {
        DWORD other;
        if (operation == &CUninstallEngine::FindRegValuesByValue) {
            // A literal value names itself whether or not it exists; its twin is taken only
            // where it exists, or every such entry would plan a value nobody installed.
            TSet found;
            other = (this->*operation)(found, &twin[0]);
            found.ForEach([&destination](const char* item) {
                if (RegistryValueExists(item))
                    destination.Add(item);
            });
        } else {
            other = (this->*operation)(destination, &twin[0]);
        }
        if (result == 0)
            result = other;
    }
    return result;
}
