// Test help on real Windows (and Wine): a registry key whose values nobody may set or delete, to
// make an item the program cannot delete. Header-only, so that the GUI driver, which links no
// test support, can use it too.
#pragma once

#include <windows.h>

#include <sddl.h>

// Gives the key of HKEY_CURRENT_USER an access list that denies (or again allows) everyone the
// setting and deleting of its values; false when the key cannot be opened or changed.
inline bool SetValueChangesDenied(const char* path, bool deny) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, READ_CONTROL | WRITE_DAC, &key))
        return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool done = ConvertStringSecurityDescriptorToSecurityDescriptorA(
                    deny ? "D:(D;;0x2;;;WD)(A;;KA;;;WD)" : "D:(A;;KA;;;WD)", SDDL_REVISION_1,
                    &descriptor, nullptr) &&
                RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    LocalFree(descriptor);
    RegCloseKey(key);
    return done;
}
