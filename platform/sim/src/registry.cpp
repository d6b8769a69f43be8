// advapi32 registry keys on the simulated machine: open, create, close and delete.
#include "registry_store.h"

using simreg::KeyPtr;

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    SIM_API_ENTRY(error, static_cast<LONG>(error));
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyPtr found;
    LONG status =
        simreg::OpenPath(key, subKey, &found, (options & REG_OPTION_OPEN_LINK) != 0, access);
    if (status != ERROR_SUCCESS)
        return status;
    *result = simreg::NewHandle(found, simreg::MapAccess(access));
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                            LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    SIM_API_ENTRY(error, static_cast<LONG>(error));
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyPtr base;
    REGSAM granted = 0;
    LONG status = simreg::Resolve(key, &base, &granted);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::string> names;
    if (!simreg::ViewPath(base, subKey, access, &names))
        return ERROR_BAD_PATHNAME;
    KeyPtr existing;
    const bool exists = simreg::Walk(base, names, false, &existing) != ERROR_FILE_NOT_FOUND;
    // Making a new key below this handle needs the right to create sub keys through it.
    if (!exists && simreg::Require(granted, KEY_CREATE_SUB_KEY) != ERROR_SUCCESS)
        return ERROR_ACCESS_DENIED;
    KeyPtr made;
    status = simreg::Walk(base, names, true, &made);
    if (status != ERROR_SUCCESS)
        return status;
    *result = simreg::NewHandle(made, simreg::MapAccess(access));
    if (disposition)
        *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key) {
    SIM_API_ENTRY(error, static_cast<LONG>(error));
    return simreg::CloseHandle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

namespace {

// RegDeleteKeyA and RegDeleteKeyExA (machine lock held): the key in the view `view` selects.
LONG DeleteKey(HKEY key, LPCSTR subKey, REGSAM view) {
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    KeyPtr target;
    LONG status = simreg::OpenPath(key, subKey, &target, false, view);
    if (status != ERROR_SUCCESS)
        return status;
    // A root cannot go, and a key that still has sub keys is refused as a whole.
    if (!target->parent || !target->subkeys.empty())
        return ERROR_ACCESS_DENIED;
    simreg::Detach(target);
    return ERROR_SUCCESS;
}

} // namespace

LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    SIM_API_ENTRY(error, static_cast<LONG>(error));
    return DeleteKey(key, subKey, 0);
}

LONG WINAPI RegDeleteKeyExA(HKEY key, LPCSTR subKey, REGSAM view, DWORD) {
    SIM_API_ENTRY(error, static_cast<LONG>(error));
    return DeleteKey(key, subKey, view);
}
