// Registry discovery: resolves REG_VALUE and REG_KEY profile entries into key and value items.
#include "Zelm.h"

#include "engine_support.h"
#include "helpers/helper.h"
#include "platform/os/wow64.h"
#include "twin_locations.h"

#include <shlwapi.h>

#include <cstdlib>
#include <cstring>
#include <string>

using engine_support::CopyText;
using engine_support::LastErrorOr;

namespace {

// Names are enumerated into this buffer behind the 'root\key path\' prefix.
const size_t kEnumBufferSize = MAX_PATH + 1;

// Writes 'root name\key path\' into buffer (kEnumBufferSize bytes) and returns its length, or 0
// when the prefix leaves no room for a name of one character: such a key is not enumerated at
// all, because a name cut short there would name a different key or value.
size_t BuildEnumPrefix(char* buffer, const char* rootName, const char* subKey) {
    if (!JoinPath(buffer, kEnumBufferSize, rootName, subKey))
        return 0;
    size_t length = strlen(buffer);
    if (length + 3 > kEnumBufferSize)
        return 0;
    buffer[length++] = '\\';
    buffer[length] = '\0';
    return length;
}

// What a missing buffer for a value's data is reported as.
enum AllocationFailure { REPORT_LAST_ERROR, REPORT_INVALID_DATA };

// Reads a string value. 0 with *text null when the value is missing or holds no data; 13 when it
// holds anything but REG_SZ; otherwise the error of the read, or 0 with *text a NUL-terminated heap
// copy (terminated here, since stored string data need not end in a NUL).
DWORD ReadStringValue(HKEY root, const char* subKey, const char* name, AllocationFailure failure,
                      char** text) {
    *text = nullptr;
    if (!subKey)
        subKey = "";
    // The key is opened in the native view (the shell's reader takes no view); the value is read
    // from the opened key, as the shell reads it (an expandable string comes expanded).
    OwnedKey key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE | wow64::NativeKeyView(), key.out()) !=
        ERROR_SUCCESS)
        return ERROR_SUCCESS;
    DWORD type = 0;
    DWORD size = 0;
    SHGetValueA(key.get(), "", name, &type, nullptr, &size);
    if (size == 0)
        return ERROR_SUCCESS;
    if (type != REG_SZ)
        return ERROR_INVALID_DATA;
    char* data = static_cast<char*>(calloc(size + 1, 1));
    if (!data)
        return failure == REPORT_LAST_ERROR ? LastErrorOr(ERROR_NOT_ENOUGH_MEMORY)
                                            : ERROR_INVALID_DATA;
    DWORD readSize = size;
    DWORD readType = 0;
    DWORD result = SHGetValueA(key.get(), "", name, &readType, data, &readSize);
    if (result == ERROR_SUCCESS && readType != REG_SZ)
        result = ERROR_INVALID_DATA;
    if (result != ERROR_SUCCESS) {
        free(data);
        return result;
    }
    *text = data;
    return ERROR_SUCCESS;
}

// The split form of a BY_VALUE path, kept so that the items it yields can be taken apart again
// without re-parsing them: an enumerated name may hold '\' or '/', which a parse would misread.
struct PathPattern {
    HKEY root = nullptr;
    char* rootName = nullptr;
    char* subKey = nullptr;
    char* lastName = nullptr;
    char prefix[kEnumBufferSize] = {};
    size_t prefixLength = 0;

    // Splits text (changed in place) and builds the enumeration prefix.
    DWORD Parse(char* text) {
        DWORD result = ParseRegistryPath(text, &root, &rootName, &subKey, &lastName);
        if (result == ERROR_SUCCESS)
            prefixLength = BuildEnumPrefix(prefix, rootName, subKey);
        return result;
    }

    // The last name an item of this pattern stands for: the enumerated name behind the prefix
    // (empty for a key's default value), or the pattern's own last name for the literal item.
    const char* NameOf(const char* item) const {
        if (prefixLength && ComparePrefixNoCase(item, prefix, prefixLength) == 0)
            return item + prefixLength;
        return lastName;
    }
};

// Resolves a data-match entry's path field, changed in place, into candidates and splits it.
// 13 for any failure of the BY_VALUE resolution.
DWORD ResolveCandidates(CUninstallEngine& engine, char* path, bool keys, TSet& candidates,
                        PathPattern& pattern, char** patternCopy) {
    DWORD result = keys ? engine.FindRegKeysByValue(candidates, path)
                        : engine.FindRegValuesByValue(candidates, path);
    if (result != ERROR_SUCCESS)
        return ERROR_INVALID_DATA;
    *patternCopy = CopyText(path);
    if (!*patternCopy)
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    return pattern.Parse(*patternCopy);
}

} // namespace

DWORD CUninstallEngine::FindRegValueByReference(TSet& destination, char* data) {
    NormalizeEntry(data);
    HeapText copy(CopyText(data));
    if (!copy.get())
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    HKEY root = nullptr;
    char* subKey = nullptr;
    char* valueName = nullptr;
    DWORD result = ParseRegistryPath(copy.get(), &root, nullptr, &subKey, &valueName);
    if (result != ERROR_SUCCESS)
        return result;
    if (HasWildcards(subKey))
        return ERROR_INVALID_DATA;

    char* text = nullptr;
    result = ReadStringValue(root, subKey, valueName, REPORT_LAST_ERROR, &text);
    HeapText value(text);
    if (result != ERROR_SUCCESS)
        return result;
    // The data is brought to the canonical entry text, like every entry of the profile, so that
    // it compares with the plan's texts. A missing value, and a string value that is empty, name
    // nothing to remove.
    if (!text)
        return ERROR_SUCCESS;
    NormalizeEntry(text);
    if (!*text)
        return ERROR_SUCCESS;
    // The data names a place like an entry does: one kept twice stands for its twin too.
    std::string twin;
    if (twin_locations::TwinOf(text, &twin))
        destination.Add(twin.c_str());
    return destination.Add(text);
}

DWORD CUninstallEngine::FindRegValuesByValue(TSet& destination, char* data) {
    return FindByValue(destination, data, false);
}

DWORD CUninstallEngine::FindRegKeysByValue(TSet& destination, char* data) {
    return FindByValue(destination, data, true);
}

DWORD CUninstallEngine::FindByValue(TSet& destination, char* data, bool keys) {
    NormalizeEntry(data);
    HeapText copy(CopyText(data));
    if (!copy.get())
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    HKEY root = nullptr;
    char* rootName = nullptr;
    char* subKey = nullptr;
    char* lastName = nullptr;
    DWORD result = ParseRegistryPath(copy.get(), &root, &rootName, &subKey, &lastName);
    if (result != ERROR_SUCCESS)
        return result;
    if (HasWildcards(subKey))
        return ERROR_INVALID_DATA;
    if (!HasWildcards(lastName))
        return destination.Add(data);

    OwnedKey key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ | wow64::NativeKeyView(), key.out()) !=
        ERROR_SUCCESS)
        return destination.Add(data);

    char buffer[kEnumBufferSize];
    size_t prefixLength = BuildEnumPrefix(buffer, rootName, subKey);
    if (prefixLength == 0)
        return ERROR_SUCCESS;
    char* name = buffer + prefixLength;
    const DWORD capacity = static_cast<DWORD>(kEnumBufferSize - prefixLength);

    // The first failure of the enumeration ends it: the end of the list, and also a name that
    // does not fit behind the prefix (it is never added cut short).
    for (DWORD index = 0; result == ERROR_SUCCESS; ++index) {
        LONG status;
        if (keys) {
            status = RegEnumKeyA(key.get(), index, name, capacity);
        } else {
            DWORD nameSize = capacity;
            status = RegEnumValueA(key.get(), index, name, &nameSize, nullptr, nullptr, nullptr,
                                   nullptr);
        }
        if (status != ERROR_SUCCESS)
            break;
        if (!MatchWildcard(name, lastName))
            continue;
        UpperCase(name);
        result = destination.Add(buffer);
    }
    return result;
}

// The data-match walk both data-match entries share: for each candidate not yet in the
// destination, `locate` names the key (below pattern.root) and the value to read; a string whose
// data matches the pattern adds the candidate. A candidate `locate` cannot name is passed over; a
// value that is not a string, or a read error, fails the whole entry.
namespace {

template <class Locate>
DWORD AddMatchingCandidates(TSet& destination, TSet& candidates, HKEY root, const char* dataPattern,
                            Locate locate) {
    DWORD failure = ERROR_SUCCESS;
    candidates.ForEach([&](char* candidate) {
        if (destination.Contains(candidate))
            return true;
        char keyPath[MAX_PATH];
        const char* subKey = nullptr;
        const char* name = nullptr;
        if (!locate(candidate, &subKey, &name, keyPath))
            return true;
        char* text = nullptr;
        failure = ReadStringValue(root, subKey, name, REPORT_INVALID_DATA, &text);
        HeapText value(text);
        if (failure != ERROR_SUCCESS)
            return false;
        if (text && MatchWildcard(text, dataPattern))
            destination.Add(candidate);
        return true;
    });
    return failure;
}

} // namespace

DWORD CUninstallEngine::FindRegValuesByDataMatch(TSet& destination, char* data) {
    HeapText copy(CopyText(data));
    if (!copy.get())
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    NormalizeEntry(copy.get());
    char* path = nullptr;
    char* dataPattern = nullptr;
    SplitQuotedList(copy.get(), &path, &dataPattern);
    if (!path || !dataPattern)
        return ERROR_INVALID_DATA;

    TSet candidates;
    PathPattern pattern;
    char* patternText = nullptr;
    DWORD result = ResolveCandidates(*this, path, false, candidates, pattern, &patternText);
    HeapText patternCopy(patternText);
    if (result != ERROR_SUCCESS)
        return result;

    return AddMatchingCandidates(
        destination, candidates, pattern.root, dataPattern,
        [&](const char* candidate, const char** subKey, const char** name, char*) {
            *subKey = pattern.subKey;
            *name = pattern.NameOf(candidate);
            return true;
        });
}

DWORD CUninstallEngine::FindRegKeysByDataMatch(TSet& destination, char* data) {
    HeapText copy(CopyText(data));
    if (!copy.get())
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    NormalizeEntry(copy.get());
    char* path = nullptr;
    char* valueName = nullptr;
    char* dataPattern = nullptr;
    SplitQuotedList(copy.get(), &path, &valueName, &dataPattern);
    if (!path || !valueName || !dataPattern || HasWildcards(valueName))
        return ERROR_INVALID_DATA;

    TSet candidates;
    PathPattern pattern;
    char* patternText = nullptr;
    DWORD result = ResolveCandidates(*this, path, true, candidates, pattern, &patternText);
    HeapText patternCopy(patternText);
    if (result != ERROR_SUCCESS)
        return result;

    // The value name is joined to each candidate key and split again as a registry path: its
    // last name is the value, anything before it a subkey of the candidate
    // ('InstallProperties\DisplayName'). An empty value name reads the candidate's default
    // value. A candidate whose key path does not fit is passed over.
    const char* valueSeparator = FindLastChar(valueName, '\\');
    std::string valueKey;
    if (valueSeparator)
        valueKey.assign(valueName, static_cast<size_t>(valueSeparator - valueName));
    const char* valueLeaf = valueSeparator ? valueSeparator + 1 : valueName;
    return AddMatchingCandidates(
        destination, candidates, pattern.root, dataPattern,
        [&](const char* candidate, const char** subKey, const char** name, char* keyPath) {
            *subKey = keyPath;
            *name = valueLeaf;
            return JoinPath(keyPath, MAX_PATH, pattern.subKey, pattern.NameOf(candidate),
                            valueKey.c_str());
        });
}
