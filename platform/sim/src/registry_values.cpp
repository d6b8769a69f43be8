// advapi32 registry values and enumeration on the simulated machine.
#include "registry_store.h"

#include <algorithm>
#include <cstring>
#include <iterator>

using simreg::KeyPtr;

namespace {

// Resolves a handle and checks that it carries `needed`.
LONG Open(HKEY handle, REGSAM needed, KeyPtr* key) {
    REGSAM granted = 0;
    LONG status = simreg::Resolve(handle, key, &granted);
    if (status != ERROR_SUCCESS)
        return status;
    return simreg::Require(granted, needed);
}

// Copies a name into a caller's buffer of `*size` characters, as the enumerations do: the length
// without the terminator back in *size, or ERROR_MORE_DATA with nothing written.
LONG CopyName(const std::string& name, LPSTR buffer, LPDWORD size) {
    if (name.size() + 1 > *size)
        return ERROR_MORE_DATA;
    memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Bytes a value takes in the registry itself: Windows stores strings as UTF-16, one unit per
// character, so that is what the key's information reports as the longest data.
DWORD StoredSize(const simreg::Value& value) {
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ)
        return static_cast<DWORD>(value.data.size());
    DWORD units = 0;
    for (size_t i = 0; i < value.data.size(); ++i, ++units)
        if (IsDBCSLeadByte(static_cast<BYTE>(value.data[i])) && i + 1 < value.data.size())
            ++i;
    return units * 2;
}

// Copies value data: its size back in *size; ERROR_MORE_DATA when the buffer is too small.
LONG CopyData(const std::string& data, LPBYTE buffer, LPDWORD size) {
    if (!size)
        return ERROR_SUCCESS;
    const DWORD needed = static_cast<DWORD>(data.size());
    if (buffer && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (buffer && needed)
        memcpy(buffer, data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

} // namespace

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                           DWORD size) {
    SIM_API_ENTRY(error, static_cast<LONG>(error));
    KeyPtr target;
    LONG status = Open(key, KEY_SET_VALUE, &target);
    if (status != ERROR_SUCCESS)
        return status;
    if (!data && size)
        return ERROR_NOACCESS;
    target->SetValue(valueName, type, std::string(reinterpret_cast<const char*>(data), size));
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                             LPDWORD size) {
    SIM_API_ENTRY(error, static_cast<LONG>(error));
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    KeyPtr target;
    LONG status = Open(key, KEY_QUERY_VALUE, &target);
    if (status != ERROR_SUCCESS)
        return status;
    const simreg::Value* value = target->FindValue(valueName);
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    return CopyData(value->data, data, size);
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    SIM_API_ENTRY(error, static_cast<LONG>(error));
    KeyPtr target;
    LONG status = Open(key, KEY_SET_VALUE, &target);
    if (status != ERROR_SUCCESS)
        return status;
    return target->DeleteValue(valueName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG WINAPI RegQueryInfoKeyA(HKEY key, LPSTR className, LPDWORD classSize, LPDWORD, LPDWORD subKeys,
                             LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                             LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                             LPDWORD securityDescriptor, PFILETIME lastWriteTime) {
    SIM_API_ENTRY(error, static_cast<LONG>(error));
    if (className && !classSize)
        return ERROR_INVALID_PARAMETER;
    KeyPtr target;
    LONG status = Open(key, KEY_QUERY_VALUE, &target);
    if (status != ERROR_SUCCESS)
        return status;
    DWORD longestKey = 0, longestName = 0, longestData = 0;
    for (const auto& sub : target->subkeys)
        longestKey = std::max(longestKey, static_cast<DWORD>(sub.second->name.size()));
    for (const simreg::Value& value : target->values) {
        longestName = std::max(longestName, static_cast<DWORD>(value.name.size()));
        longestData = std::max(longestData, StoredSize(value));
    }
    if (className && *classSize)
        className[0] = '\0';
    if (classSize)
        *classSize = 0;
    if (subKeys)
        *subKeys = static_cast<DWORD>(target->subkeys.size());
    if (maxSubKeyLength)
        *maxSubKeyLength = longestKey;
    if (maxClassLength)
        *maxClassLength = 0;
    if (values)
        *values = static_cast<DWORD>(target->values.size());
    if (maxValueNameLength)
        *maxValueNameLength = longestName;
    if (maxValueLength)
        *maxValueLength = longestData;
    if (securityDescriptor)
        *securityDescriptor = 0;
    if (lastWriteTime)
        *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD,
                          LPSTR className, LPDWORD classSize, PFILETIME lastWriteTime) {
    SIM_API_ENTRY(error, static_cast<LONG>(error));
    if (!name || !nameSize)
        return ERROR_INVALID_PARAMETER;
    KeyPtr target;
    LONG status = Open(key, KEY_ENUMERATE_SUB_KEYS, &target);
    if (status != ERROR_SUCCESS)
        return status;
    // Sub keys are kept sorted without regard to case, the order Windows enumerates them in.
    if (index >= target->subkeys.size())
        return ERROR_NO_MORE_ITEMS;
    const auto sub = std::next(target->subkeys.begin(), static_cast<long>(index));
    status = CopyName(sub->second->name, name, nameSize);
    if (status != ERROR_SUCCESS)
        return status;
    if (className && classSize && *classSize)
        className[0] = '\0';
    if (classSize)
        *classSize = 0;
    if (lastWriteTime)
        *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize) {
    SIM_API_ENTRY(error, static_cast<LONG>(error));
    if (!name)
        return ERROR_INVALID_PARAMETER;
    KeyPtr target;
    LONG status = Open(key, KEY_ENUMERATE_SUB_KEYS, &target);
    if (status != ERROR_SUCCESS)
        return status;
    if (index >= target->subkeys.size())
        return ERROR_NO_MORE_ITEMS;
    const auto sub = std::next(target->subkeys.begin(), static_cast<long>(index));
    return CopyName(sub->second->name, name, &nameSize);
}

LONG WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize, LPDWORD,
                          LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    SIM_API_ENTRY(error, static_cast<LONG>(error));
    if (!valueName || !valueNameSize || (data && !dataSize))
        return ERROR_INVALID_PARAMETER;
    KeyPtr target;
    LONG status = Open(key, KEY_QUERY_VALUE, &target);
    if (status != ERROR_SUCCESS)
        return status;
    if (index >= target->values.size())
        return ERROR_NO_MORE_ITEMS;
    const simreg::Value& value = target->values[index];
    status = CopyName(value.name, valueName, valueNameSize);
    if (status != ERROR_SUCCESS)
        return status;
    if (type)
        *type = value.type;
    return CopyData(value.data, data, dataSize);
}
