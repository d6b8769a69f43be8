// Splitting a registry path into its root key, the root's name, the sub key and the last name.
#include "helper.h"

#include <cstring>

namespace {

struct RootRow {
    const char* prefix;
    HKEY root;
};

// Tried in this order; only the full names are known, each with the separator that ends it.
const RootRow kRoots[] = {
    {"HKEY_CLASSES_ROOT\\", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_CONFIG\\", HKEY_CURRENT_CONFIG},
    {"HKEY_CURRENT_USER\\", HKEY_CURRENT_USER},
    {"HKEY_DYN_DATA\\", HKEY_DYN_DATA},
    {"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE},
    {"HKEY_PERFORMANCE_DATA\\", HKEY_PERFORMANCE_DATA},
    {"HKEY_USERS\\", HKEY_USERS},
};

template <class T> void Put(T* out, T value) {
    if (out)
        *out = value;
}

} // namespace

HKEY MatchRootName(const char* text, size_t* length) {
    for (const RootRow& row : kRoots) {
        size_t prefix = strlen(row.prefix);
        if (text && ComparePrefixNoCase(text, row.prefix, prefix) == 0) {
            *length = prefix;
            return row.root;
        }
    }
    *length = 0;
    return nullptr;
}

DWORD ParseRegistryPath(char* text, HKEY* root, char** rootName, char** subKey, char** lastName) {
    if (!text || !*text)
        return ERROR_INVALID_DATA;
    NormalizeEntry(text);

    Put<HKEY>(root, nullptr);
    Put<char*>(rootName, nullptr);
    Put<char*>(subKey, nullptr);
    Put<char*>(lastName, nullptr);

    char* rest = text;
    size_t length = 0;
    if (HKEY found = MatchRootName(text, &length)) {
        Put(root, found);
        text[length - 1] = '\0';
        Put(rootName, text);
        rest = text + length;
    }
    if (!*rest)
        return ERROR_SUCCESS;

    Put(subKey, rest);
    char* last = FindLastChar(rest, '\\');
    if (last) {
        *last = '\0';
        if (last[1])
            Put(lastName, last + 1);
    }
    return ERROR_SUCCESS;
}
