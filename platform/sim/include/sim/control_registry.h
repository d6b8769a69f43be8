// Controls of the simulated registry: build keys and values, deny access, read them back.
// Keys are named by their full text path, "HKEY_LOCAL_MACHINE\SOFTWARE\Vendor" (the short root
// names HKLM, HKCU, HKCR, HKU and HKCC are accepted too); a value name "" is the default value.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sim {

// Creates a key and any missing keys above it.
void AddKey(const char* key);
// Values; each creates its key when missing and replaces a value of the same name in place.
void SetString(const char* key, const char* name, const char* text);
void SetExpandString(const char* key, const char* name, const char* text);
void SetDword(const char* key, const char* name, DWORD value);
void SetBinary(const char* key, const char* name, const std::string& bytes);
void SetMultiString(const char* key, const char* name, const std::vector<std::string>& items);
void SetDefault(const char* key, const char* text);
// Any type with raw data, exactly as given (a string's terminator is part of `bytes`).
void SetValue(const char* key, const char* name, DWORD type, const std::string& bytes);

bool KeyExists(const char* key);
bool ValueExists(const char* key, const char* name);
// Type of a value, REG_NONE when it is missing.
DWORD ValueType(const char* key, const char* name);
// Raw data of a value; empty when it is missing.
std::string ValueData(const char* key, const char* name);
// A string value's text without its terminator; empty when it is missing.
std::string GetString(const char* key, const char* name);
// Names of a key's sub keys and values, in the order the enumerations return them.
std::vector<std::string> SubKeys(const char* key);
std::vector<std::string> ValueNames(const char* key);

// Removes a key with everything beneath it; nothing happens when it is missing.
void RemoveKey(const char* key);
// Makes `key` a registry link to `target` (full text paths), as a key created with
// REG_OPTION_CREATE_LINK and given its SymbolicLinkValue: opens through it reach the target.
void AddLinkKey(const char* key, const char* target);
// From now on the key cannot be opened (ERROR_ACCESS_DENIED), as for a key whose permissions
// shut out the administrators. It is created when missing.
void DenyKeyAccess(const char* key);

} // namespace sim
