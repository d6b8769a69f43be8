// Moves and renames, deletion registered for the next restart, and the simulated restart itself.
// The registrations are kept where Windows keeps them, in the Session Manager's
// PendingFileRenameOperations value, so that the registry shows what the restart will do.
#include "wow64_state.h"
#include "files_state.h"
#include "registry_store.h"
#include "restart_hooks.h"

#include "sim/control_files.h"

#include <utility>

namespace {

const char kSessionManager[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";
const char kNtPrefix[] = "\\??\\";

// One registration: the path, and its new name ("" to delete it; a leading '!' lets the rename
// replace an existing file).
using Operation = std::pair<std::string, std::string>;

std::vector<Operation> ReadOperations() {
    std::vector<Operation> operations;
    simreg::KeyPtr key = simreg::FindKey(kSessionManager);
    const simreg::Value* value = key ? key->FindValue(kPending) : nullptr;
    if (!value)
        return operations;
    // Pairs of strings; an empty path (the list's final terminator) ends the list.
    const std::string& data = value->data;
    size_t at = 0;
    auto next = [&]() {
        size_t end = data.find('\0', at);
        if (end == std::string::npos)
            end = data.size();
        std::string text = data.substr(at, end - at);
        at = end + 1;
        return text;
    };
    while (at < data.size()) {
        std::string from = next();
        if (from.empty())
            break;
        std::string to = at <= data.size() ? next() : std::string();
        operations.emplace_back(std::move(from), std::move(to));
    }
    return operations;
}

// "\??\C:\A" back to "C:\A".
std::string Plain(const std::string& path) {
    const size_t prefix = sizeof(kNtPrefix) - 1;
    return path.compare(0, prefix, kNtPrefix) == 0 ? path.substr(prefix) : path;
}

// The full form a registration stores: "\??\" and the path with its separators folded.
std::string NtPath(const char* path) {
    simfs::ParsedPath parsed = simfs::Parse(path);
    return kNtPrefix + (parsed.valid ? simfs::Join(parsed, parsed.components.size()) : path);
}

DWORD Register(const char* existing, const char* newName, DWORD flags) {
    simreg::KeyPtr key = simreg::MakeKey(kSessionManager);
    if (key->denied)
        return ERROR_ACCESS_DENIED;
    std::string data;
    if (const simreg::Value* value = key->FindValue(kPending)) {
        data = value->data;
        // Drop the list's final terminator; it is written again after the new pair.
        if (data.size() >= 2 && data[data.size() - 1] == '\0' && data[data.size() - 2] == '\0')
            data.pop_back();
    }
    data += NtPath(existing) + '\0';
    if (newName)
        data += ((flags & MOVEFILE_REPLACE_EXISTING) ? "!" : "") + NtPath(newName);
    data += '\0';
    data += '\0';
    key->SetValue(kPending, REG_MULTI_SZ, data);
    return 0;
}

// Moves a node to a new full path. 0, or the error that stops it.
DWORD Move(simfs::Node* node, const char* newName, bool replace) {
    simfs::ParsedPath target = simfs::Parse(newName);
    DWORD error = 0;
    simfs::Node* parent = simfs::ParentFolder(target, &error);
    if (!parent)
        return error;
    const std::string name = target.components.back();
    auto existing = parent->children.find(name);
    if (existing != parent->children.end()) {
        simfs::Node* old = existing->second.get();
        if (old == node)
            return 0;
        if (!replace || old->IsFolder() || node->IsFolder())
            return ERROR_ALREADY_EXISTS;
        if (old->locked)
            return ERROR_SHARING_VIOLATION;
        if (old->attributes & FILE_ATTRIBUTE_READONLY)
            return ERROR_ACCESS_DENIED;
        parent->children.erase(existing);
    }
    for (simfs::Node* up = parent; up; up = up->parent)
        if (up == node)
            return ERROR_ACCESS_DENIED; // a folder cannot move into itself
    auto slot = node->parent->children.find(node->name);
    std::unique_ptr<simfs::Node> moved = std::move(slot->second);
    node->parent->children.erase(slot);
    moved->name = name;
    moved->parent = parent;
    parent->children[name] = std::move(moved);
    return 0;
}

// What a restart does with one registration.
void CarryOut(const Operation& operation) {
    simfs::Node* node = simfs::Find(Plain(operation.first).c_str());
    if (!node || !node->parent)
        return;
    if (operation.second.empty()) {
        // No program runs yet: attributes and open handles do not matter, only a folder's
        // content does.
        if (!node->IsFolder() || !node->linkTarget.empty() || node->children.empty())
            simfs::RemoveLogged(node);
        return;
    }
    const bool replace = operation.second[0] == '!';
    const std::string to = Plain(operation.second.substr(replace ? 1 : 0));
    Move(node, to.c_str(), replace);
}

// Moves an entry at once (machine lock held, paths checked); the last error set on failure.
BOOL RenameNow(const char* existing, const char* newName, bool replace) {
    DWORD error = 0;
    simfs::Node* node = simfs::Find(existing, &error);
    if (!node || !node->parent || node->locked) {
        SetLastError(!node ? error : node->locked ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    error = Move(node, newName, replace);
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

} // namespace

BOOL WINAPI MoveFileExA(LPCSTR given, LPCSTR newName, DWORD flags) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    // The registration and the move name the path the calling thread's view reaches.
    const std::string view = simwow::FileView(given);
    const char* existing = given ? view.c_str() : nullptr;
    if ((error = simfs::CheckPath(existing)) != 0 ||
        (newName && (error = simfs::CheckPath(newName)) != 0))
        return simcore::FailWith(error, FALSE);
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        // Registered as given: whether the path exists is only looked at by the restart.
        if ((flags & MOVEFILE_COPY_ALLOWED) || (error = Register(existing, newName, flags)) != 0) {
            SetLastError(error ? error : ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return TRUE;
    }
    if (!newName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return RenameNow(existing, newName, (flags & MOVEFILE_REPLACE_EXISTING) != 0);
}

BOOL WINAPI MoveFileA(LPCSTR existing, LPCSTR newName) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    if ((error = simfs::CheckPath(existing)) != 0 || (error = simfs::CheckPath(newName)) != 0)
        return simcore::FailWith(error, FALSE);
    return RenameNow(existing, newName, false);
}

namespace simrestart {

namespace {

std::vector<void (*)()>& Hooks() {
    static std::vector<void (*)()> hooks;
    return hooks;
}

} // namespace

RestartHook::RestartHook(void (*onRestart)()) {
    Hooks().push_back(onRestart);
}

} // namespace simrestart

namespace sim {

std::vector<std::string> PendingDeletes() {
    simcore::Guard guard(simcore::MachineLock());
    std::vector<std::string> paths;
    for (const Operation& operation : ReadOperations())
        if (operation.second.empty())
            paths.push_back(Plain(operation.first));
    return paths;
}

void Restart() {
    simcore::Guard guard(simcore::MachineLock());
    const std::vector<Operation> operations = ReadOperations();
    if (simreg::KeyPtr key = simreg::FindKey(kSessionManager))
        key->DeleteValue(kPending);
    for (const Operation& operation : operations)
        CarryOut(operation);
    for (simfs::Node* node : simfs::AllNodes())
        node->locked = false;
    for (auto hook : simrestart::Hooks())
        hook();
}

} // namespace sim
