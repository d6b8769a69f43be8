// Controls of the simulated registry: keys and values built and read by full text path.
#include "registry_store.h"

#include "sim/control_registry.h"

#include <cstring>

namespace sim {

namespace {

std::string Text(const char* text) {
    return std::string(text ? text : "") + '\0';
}

} // namespace

void AddKey(const char* key) {
    simcore::Guard guard(simcore::MachineLock());
    simreg::MakeKey(key);
}

void SetValue(const char* key, const char* name, DWORD type, const std::string& bytes) {
    simcore::Guard guard(simcore::MachineLock());
    simreg::KeyPtr target = simreg::MakeKey(key);
    if (target)
        target->SetValue(name, type, bytes);
}

void SetString(const char* key, const char* name, const char* text) {
    SetValue(key, name, REG_SZ, Text(text));
}

void SetExpandString(const char* key, const char* name, const char* text) {
    SetValue(key, name, REG_EXPAND_SZ, Text(text));
}

void SetDword(const char* key, const char* name, DWORD value) {
    std::string bytes(sizeof(value), '\0');
    for (size_t i = 0; i < sizeof(value); ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    SetValue(key, name, REG_DWORD, bytes);
}

void SetBinary(const char* key, const char* name, const std::string& bytes) {
    SetValue(key, name, REG_BINARY, bytes);
}

void SetMultiString(const char* key, const char* name, const std::vector<std::string>& items) {
    std::string bytes;
    for (const std::string& item : items)
        bytes += item + '\0';
    bytes += '\0';
    SetValue(key, name, REG_MULTI_SZ, bytes);
}

void SetDefault(const char* key, const char* text) {
    SetString(key, "", text);
}

bool KeyExists(const char* key) {
    simcore::Guard guard(simcore::MachineLock());
    return simreg::FindKey(key) != nullptr;
}

bool ValueExists(const char* key, const char* name) {
    simcore::Guard guard(simcore::MachineLock());
    simreg::KeyPtr target = simreg::FindKey(key);
    return target && target->FindValue(name);
}

DWORD ValueType(const char* key, const char* name) {
    simcore::Guard guard(simcore::MachineLock());
    simreg::KeyPtr target = simreg::FindKey(key);
    const simreg::Value* value = target ? target->FindValue(name) : nullptr;
    return value ? value->type : static_cast<DWORD>(REG_NONE);
}

std::string ValueData(const char* key, const char* name) {
    simcore::Guard guard(simcore::MachineLock());
    simreg::KeyPtr target = simreg::FindKey(key);
    const simreg::Value* value = target ? target->FindValue(name) : nullptr;
    return value ? value->data : std::string();
}

std::string GetString(const char* key, const char* name) {
    const std::string data = ValueData(key, name);
    return std::string(data.c_str());
}

std::vector<std::string> SubKeys(const char* key) {
    simcore::Guard guard(simcore::MachineLock());
    std::vector<std::string> names;
    if (simreg::KeyPtr target = simreg::FindKey(key))
        for (const auto& sub : target->subkeys)
            names.push_back(sub.second->name);
    return names;
}

std::vector<std::string> ValueNames(const char* key) {
    simcore::Guard guard(simcore::MachineLock());
    std::vector<std::string> names;
    if (simreg::KeyPtr target = simreg::FindKey(key))
        for (const simreg::Value& value : target->values)
            names.push_back(value.name);
    return names;
}

void RemoveKey(const char* key) {
    simcore::Guard guard(simcore::MachineLock());
    simreg::KeyPtr target = simreg::FindKey(key);
    if (target && target->parent)
        simreg::Detach(target);
}

void DenyKeyAccess(const char* key) {
    simcore::Guard guard(simcore::MachineLock());
    if (simreg::KeyPtr target = simreg::MakeKey(key))
        target->denied = true;
}

void AddLinkKey(const char* key, const char* target) {
    simcore::Guard guard(simcore::MachineLock());
    simreg::KeyPtr link = simreg::MakeKey(key);
    if (!link)
        return;
    link->linkTarget = target;
    // The link's own value, as the system keeps it: the target's kernel name in UTF-16.
    std::string kernelName = target;
    static const char* const kRoots[][2] = {{"HKEY_LOCAL_MACHINE", "\\REGISTRY\\MACHINE"},
                                            {"HKEY_USERS", "\\REGISTRY\\USER"}};
    for (const auto& row : kRoots)
        if (kernelName.compare(0, strlen(row[0]), row[0]) == 0)
            kernelName = row[1] + kernelName.substr(strlen(row[0]));
    std::string wide;
    for (char c : kernelName) {
        wide += c;
        wide += '\0';
    }
    link->SetValue("SymbolicLinkValue", REG_LINK, wide);
}

} // namespace sim
