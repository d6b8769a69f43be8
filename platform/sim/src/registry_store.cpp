// The simulated registry's storage: the seven roots, key handles, path walks and value lists.
#include "registry_store.h"
#include "wow64_state.h"

#include <cstring>

namespace simreg {

namespace {

constexpr int kRootCount = 7;

struct RootName {
    const char* name;
    const char* shortName;
};
const RootName kRootNames[kRootCount] = {
    {"HKEY_CLASSES_ROOT", "HKCR"}, {"HKEY_CURRENT_USER", "HKCU"}, {"HKEY_LOCAL_MACHINE", "HKLM"},
    {"HKEY_USERS", "HKU"},         {"HKEY_PERFORMANCE_DATA", ""}, {"HKEY_CURRENT_CONFIG", "HKCC"},
    {"HKEY_DYN_DATA", ""},
};

struct Registry {
    KeyPtr roots[kRootCount];
};

Registry& State() {
    static Registry registry;
    return registry;
}

// The keys every Windows installation has and that parts of this machine write to.
const char* const kSkeleton[] = {
    "HKEY_LOCAL_MACHINE\\SOFTWARE",
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
    "HKEY_CURRENT_USER\\Software",
};

void ResetRegistry() {
    for (int i = 0; i < kRootCount; ++i) {
        if (State().roots[i])
            Detach(State().roots[i]);
        State().roots[i] = std::make_shared<Key>();
        State().roots[i]->name = kRootNames[i].name;
    }
    for (const char* path : kSkeleton)
        MakeKey(path);
}

simcore::ResetHook hook(ResetRegistry);

struct KeyHandle : simcore::Object {
    KeyPtr key;
    REGSAM granted = 0;
};

// Index of a predefined root handle, or -1.
int RootIndex(HKEY handle) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    for (int i = 0; i < kRootCount; ++i) {
        const LONG root = static_cast<LONG>(0x80000000u + static_cast<unsigned>(i));
        if (value == static_cast<uintptr_t>(static_cast<intptr_t>(root)))
            return i;
    }
    return -1;
}

void MarkDeleted(Key* key) {
    key->deleted = true;
    for (auto& sub : key->subkeys)
        MarkDeleted(sub.second.get());
}

} // namespace

Value* Key::FindValue(const char* valueName) {
    const std::string wanted = valueName ? valueName : "";
    for (Value& value : values)
        if (simcore::EqualNoCase(value.name, wanted))
            return &value;
    return nullptr;
}

void Key::SetValue(const char* valueName, DWORD type, std::string data) {
    Value* value = FindValue(valueName);
    if (!value) {
        values.push_back(Value());
        value = &values.back();
        value->name = valueName ? valueName : "";
    }
    value->type = type;
    value->data = std::move(data);
}

bool Key::DeleteValue(const char* valueName) {
    Value* value = FindValue(valueName);
    if (!value)
        return false;
    values.erase(values.begin() + (value - values.data()));
    return true;
}

LONG Resolve(HKEY handle, KeyPtr* key, REGSAM* granted) {
    const int root = RootIndex(handle);
    if (root >= 0) {
        *key = State().roots[root];
        if (granted)
            *granted = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    auto object = simcore::HandleAs<KeyHandle>(reinterpret_cast<HANDLE>(handle));
    if (!handle || !object)
        return ERROR_INVALID_HANDLE;
    if (object->key->deleted)
        return ERROR_KEY_DELETED;
    *key = object->key;
    if (granted)
        *granted = object->granted;
    return ERROR_SUCCESS;
}

LONG Require(REGSAM granted, REGSAM needed) {
    return (granted & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

REGSAM MapAccess(REGSAM requested) {
    REGSAM rights = requested & ~static_cast<REGSAM>(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    if (rights & GENERIC_READ)
        rights |= KEY_READ;
    if (rights & GENERIC_WRITE)
        rights |= KEY_WRITE;
    if (rights & GENERIC_EXECUTE)
        rights |= KEY_EXECUTE;
    if (rights & (GENERIC_ALL | MAXIMUM_ALLOWED))
        rights |= KEY_ALL_ACCESS;
    return rights & KEY_ALL_ACCESS;
}

HKEY NewHandle(const KeyPtr& key, REGSAM granted) {
    auto object = std::make_shared<KeyHandle>();
    object->key = key;
    object->granted = granted;
    return reinterpret_cast<HKEY>(simcore::AddHandle(object));
}

bool CloseHandle(HKEY handle) {
    if (RootIndex(handle) >= 0)
        return true;
    if (!handle || !simcore::HandleAs<KeyHandle>(reinterpret_cast<HANDLE>(handle)))
        return false;
    return simcore::RemoveHandle(reinterpret_cast<HANDLE>(handle));
}

bool SplitPath(const char* subKey, std::vector<std::string>* names) {
    names->clear();
    if (!subKey)
        return true;
    if (subKey[0] == '\\')
        return false; // a sub key path is relative to its key
    std::string piece;
    for (const char* p = subKey;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (!piece.empty())
                names->push_back(piece);
            piece.clear();
            if (*p == '\0')
                break;
        } else {
            piece += *p;
        }
    }
    return true;
}

LONG Walk(const KeyPtr& from, const std::vector<std::string>& names, bool create, KeyPtr* out,
          bool* created, bool openLink) {
    if (created)
        *created = false;
    KeyPtr key = from;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        auto sub = key->subkeys.find(name);
        if (sub != key->subkeys.end()) {
            key = sub->second;
            // A link leads elsewhere, unless it is the last name and the link itself is asked for.
            for (int hops = 0; !key->linkTarget.empty() && !(openLink && i + 1 == names.size());
                 ++hops) {
                KeyPtr target = hops < 16 ? FindKey(key->linkTarget.c_str()) : nullptr;
                if (!target)
                    return ERROR_FILE_NOT_FOUND;
                key = target;
            }
            continue;
        }
        if (!create)
            return ERROR_FILE_NOT_FOUND;
        auto child = std::make_shared<Key>();
        child->name = name;
        child->parent = key.get();
        key->subkeys[name] = child;
        key = child;
        if (created)
            *created = true;
    }
    if (key->denied)
        return ERROR_ACCESS_DENIED;
    *out = key;
    return ERROR_SUCCESS;
}

bool ViewPath(const KeyPtr& base, const char* subKey, REGSAM access,
              std::vector<std::string>* names) {
    if (!SplitPath(subKey, names))
        return false;
    if (simwow::RegistryView32(access))
        simwow::RedirectKeyNames(PathOfKey(base.get()), names);
    return true;
}

LONG OpenPath(HKEY handle, const char* subKey, KeyPtr* out, bool openLink, REGSAM access) {
    KeyPtr base;
    LONG result = Resolve(handle, &base);
    if (result != ERROR_SUCCESS)
        return result;
    std::vector<std::string> names;
    if (!ViewPath(base, subKey, access, &names))
        return ERROR_BAD_PATHNAME;
    return Walk(base, names, false, out, nullptr, openLink);
}

void Detach(const KeyPtr& target) {
    // The caller's pointer may be the very entry the parent drops: hold the key meanwhile.
    const KeyPtr key = target;
    if (key->parent) {
        key->parent->subkeys.erase(key->name);
        key->parent = nullptr;
    }
    MarkDeleted(key.get());
}

namespace {

// Splits "ROOT\rest" into the root's key and the rest's names.
KeyPtr RootOf(const char* fullPath, std::vector<std::string>* names) {
    if (!fullPath)
        return nullptr;
    const char* slash = strchr(fullPath, '\\');
    const std::string root = slash ? std::string(fullPath, slash) : std::string(fullPath);
    for (int i = 0; i < kRootCount; ++i) {
        if (simcore::EqualNoCase(root, kRootNames[i].name) ||
            (*kRootNames[i].shortName && simcore::EqualNoCase(root, kRootNames[i].shortName))) {
            if (!SplitPath(slash ? slash + 1 : nullptr, names))
                return nullptr;
            return State().roots[i];
        }
    }
    return nullptr;
}

} // namespace

KeyPtr FindKey(const char* fullPath) {
    std::vector<std::string> names;
    KeyPtr root = RootOf(fullPath, &names);
    if (!root)
        return nullptr;
    KeyPtr key = root;
    for (const std::string& name : names) {
        auto sub = key->subkeys.find(name);
        if (sub == key->subkeys.end())
            return nullptr;
        key = sub->second;
    }
    return key;
}

KeyPtr MakeKey(const char* fullPath) {
    std::vector<std::string> names;
    KeyPtr root = RootOf(fullPath, &names);
    if (!root)
        return nullptr;
    KeyPtr key = root;
    for (const std::string& name : names) {
        auto& slot = key->subkeys[name];
        if (!slot) {
            slot = std::make_shared<Key>();
            slot->name = name;
            slot->parent = key.get();
        }
        key = slot;
    }
    return key;
}

std::string PathOfKey(const Key* key) {
    std::string path = key->name;
    for (const Key* up = key->parent; up; up = up->parent)
        path = up->name + "\\" + path;
    return path;
}

} // namespace simreg
