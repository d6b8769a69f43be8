// shlwapi's registry shortcuts on the simulated machine: read, write and delete by sub key path.
#include "folders_state.h"
#include "registry_store.h"

#include <algorithm>
#include <cstring>

using simreg::KeyPtr;

namespace {

// The key named by handle and sub key path; with no sub key path the handle itself, which must
// then carry `needed`.
LONG Target(HKEY key, LPCSTR subKey, REGSAM needed, KeyPtr* target) {
    if (subKey)
        return simreg::OpenPath(key, subKey, target);
    REGSAM granted = 0;
    LONG status = simreg::Resolve(key, target, &granted);
    return status != ERROR_SUCCESS ? status : simreg::Require(granted, needed);
}

// Deletes a key and everything below it, the deepest first; stops at a key that may not go.
LONG DeleteTree(const KeyPtr& key) {
    if (key->denied)
        return ERROR_ACCESS_DENIED;
    while (!key->subkeys.empty()) {
        const KeyPtr sub = key->subkeys.begin()->second;
        LONG status = DeleteTree(sub);
        if (status != ERROR_SUCCESS)
            return status;
    }
    simreg::Detach(key);
    return ERROR_SUCCESS;
}

} // namespace

DWORD WINAPI SHGetValueA(HKEY key, LPCSTR subKey, LPCSTR valueName, LPDWORD type, LPVOID data,
                         LPDWORD size) {
    SIM_API_ENTRY(error, error);
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    KeyPtr target;
    LONG status = Target(key, subKey, KEY_QUERY_VALUE, &target);
    if (status != ERROR_SUCCESS)
        return static_cast<DWORD>(status);
    const simreg::Value* value = target->FindValue(valueName);
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    std::string bytes = value->data;
    DWORD needed = static_cast<DWORD>(bytes.size());
    DWORD kind = value->type;
    if (kind == REG_EXPAND_SZ) {
        // Expandable strings are handed out expanded, as plain strings. The buffer must hold the
        // stored text as well as the expanded one.
        const std::string stored(bytes.c_str());
        bytes = simfolders::ExpandEnvironment(stored);
        bytes.push_back('\0');
        needed = static_cast<DWORD>(std::max(value->data.size(), bytes.size()));
        kind = REG_SZ;
    }
    if (type)
        *type = kind;
    if (!size)
        return ERROR_SUCCESS;
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data && !bytes.empty())
        memcpy(data, bytes.data(), bytes.size());
    *size = needed;
    return ERROR_SUCCESS;
}

DWORD WINAPI SHSetValueA(HKEY key, LPCSTR subKey, LPCSTR valueName, DWORD type, LPCVOID data,
                         DWORD size) {
    SIM_API_ENTRY(error, error);
    KeyPtr base;
    REGSAM granted = 0;
    LONG status = simreg::Resolve(key, &base, &granted);
    if (status != ERROR_SUCCESS)
        return static_cast<DWORD>(status);
    KeyPtr target = base;
    if (subKey && *subKey) {
        std::vector<std::string> names;
        if (!simreg::SplitPath(subKey, &names))
            return ERROR_BAD_PATHNAME;
        bool created = false;
        KeyPtr existing;
        if (simreg::Walk(base, names, false, &existing) == ERROR_FILE_NOT_FOUND &&
            simreg::Require(granted, KEY_CREATE_SUB_KEY) != ERROR_SUCCESS)
            return ERROR_ACCESS_DENIED;
        status = simreg::Walk(base, names, true, &target, &created);
        if (status != ERROR_SUCCESS)
            return static_cast<DWORD>(status);
    } else if (simreg::Require(granted, KEY_SET_VALUE) != ERROR_SUCCESS) {
        return ERROR_ACCESS_DENIED;
    }
    if (!data && size)
        return ERROR_NOACCESS;
    target->SetValue(valueName, type, std::string(static_cast<const char*>(data), size));
    return ERROR_SUCCESS;
}

DWORD WINAPI SHDeleteValueA(HKEY key, LPCSTR subKey, LPCSTR valueName) {
    SIM_API_ENTRY(error, error);
    KeyPtr target;
    LONG status = simreg::OpenPath(key, subKey, &target);
    if (status != ERROR_SUCCESS)
        return static_cast<DWORD>(status);
    return target->DeleteValue(valueName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

DWORD WINAPI SHDeleteEmptyKeyA(HKEY key, LPCSTR subKey) {
    SIM_API_ENTRY(error, error);
    KeyPtr target;
    LONG status = simreg::OpenPath(key, subKey, &target);
    if (status != ERROR_SUCCESS)
        return static_cast<DWORD>(status);
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    // Empty means neither sub keys nor values, the default value included.
    if (!target->subkeys.empty() || !target->values.empty())
        return ERROR_KEY_HAS_CHILDREN;
    if (!target->parent)
        return ERROR_ACCESS_DENIED;
    simreg::Detach(target);
    return ERROR_SUCCESS;
}

DWORD WINAPI SHDeleteKeyA(HKEY key, LPCSTR subKey) {
    SIM_API_ENTRY(error, error);
    KeyPtr target;
    LONG status = simreg::OpenPath(key, subKey, &target);
    if (status != ERROR_SUCCESS)
        return static_cast<DWORD>(status);
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    if (!target->parent)
        return ERROR_ACCESS_DENIED;
    return static_cast<DWORD>(DeleteTree(target));
}
