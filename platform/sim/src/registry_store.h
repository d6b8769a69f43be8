// The simulated registry's storage: keys, typed values, roots, open key handles and path walks.
#pragma once

#include "core.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace simreg {

struct Value {
    std::string name; // spelling as first set; "" is the key's default value
    DWORD type = REG_NONE;
    std::string data; // the bytes as the caller gave them
};

struct Key {
    std::string name; // spelling as created
    Key* parent = nullptr;
    std::map<std::string, std::shared_ptr<Key>, simcore::LessNoCase> subkeys;
    std::vector<Value> values; // creation order, which is Windows' enumeration order
    bool denied = false;       // no one may open it
    bool deleted = false;      // removed while handles to it were still open
    // A registry link: every open that passes through it, or ends at it without asking for the
    // link itself, reaches this key instead (full text path); empty for an ordinary key.
    std::string linkTarget;

    Value* FindValue(const char* valueName);
    void SetValue(const char* valueName, DWORD type, std::string data);
    bool DeleteValue(const char* valueName);
};
using KeyPtr = std::shared_ptr<Key>;

// The key and the rights behind a predefined root or an open handle. ERROR_INVALID_HANDLE for
// anything else, ERROR_KEY_DELETED when the key is gone.
LONG Resolve(HKEY handle, KeyPtr* key, REGSAM* granted = nullptr);
// ERROR_ACCESS_DENIED unless `granted` holds every right of `needed`.
LONG Require(REGSAM granted, REGSAM needed);
// The rights a request stands for, with generic rights mapped to the key rights.
REGSAM MapAccess(REGSAM requested);
// A new handle to `key` holding `granted`.
HKEY NewHandle(const KeyPtr& key, REGSAM granted);
bool CloseHandle(HKEY handle);

// Splits a sub key path ("A\B\", null or "" for none) into names; false when it is malformed.
bool SplitPath(const char* subKey, std::vector<std::string>* names);
// Walks down from `from`; ERROR_FILE_NOT_FOUND for a missing key, ERROR_ACCESS_DENIED when the
// final key may not be opened. With `create`, missing keys are made (*created tells if any was).
// Links on the way are followed; the final key is followed too unless `openLink` asks for the
// link itself.
LONG Walk(const KeyPtr& from, const std::vector<std::string>& names, bool create, KeyPtr* out,
          bool* created = nullptr, bool openLink = false);
// Opens handle + sub key path in one go, as the shell's registry helpers do, in the registry view
// that `access` selects (its KEY_WOW64_* flags; none: the program's own view).
LONG OpenPath(HKEY handle, const char* subKey, KeyPtr* out, bool openLink = false,
              REGSAM access = 0);
// Splits a sub key path below `base` into names and redirects them into the view `access`
// selects; false when the path is malformed.
bool ViewPath(const KeyPtr& base, const char* subKey, REGSAM access,
              std::vector<std::string>* names);
// Detaches a key from its parent and marks it and everything below it deleted.
void Detach(const KeyPtr& key);

// Keys by full text path, "HKEY_LOCAL_MACHINE\SOFTWARE\Vendor", for the control API and for the
// parts of the machine that keep their state in the registry. Null when missing or malformed.
KeyPtr FindKey(const char* fullPath);
KeyPtr MakeKey(const char* fullPath);
// Full text path of a key.
std::string PathOfKey(const Key* key);

} // namespace simreg
