// Path checks, parent lookup and the removal log behind the simulated file functions.
#include "files_state.h"

namespace simfs {

namespace {

void ResetLog() {
    RemovalLog().clear();
}

simcore::ResetHook hook(ResetLog);

void Collect(Node* node, std::vector<Node*>* out) {
    out->push_back(node);
    for (auto& child : node->children)
        Collect(child.second.get(), out);
}

} // namespace

DWORD CheckPath(const char* path) {
    if (!path)
        return ERROR_INVALID_PARAMETER;
    if (!*path)
        return ERROR_PATH_NOT_FOUND;
    if (TooLong(path))
        return ERROR_FILENAME_EXCED_RANGE;
    for (const char* p = path; *p; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
            ++p; // a second byte is part of a character, never a reserved one
            continue;
        }
        if (*p == '*' || *p == '?' || *p == '<' || *p == '>' || *p == '|' || *p == '"')
            return ERROR_INVALID_NAME;
    }
    return 0;
}

std::string Join(const ParsedPath& path, size_t count) {
    std::string text = std::string(1, path.drive) + ":";
    for (size_t i = 0; i < count && i < path.components.size(); ++i)
        text += "\\" + path.components[i];
    return count ? text : text + "\\";
}

Node* ParentFolder(const ParsedPath& path, DWORD* error) {
    *error = ERROR_PATH_NOT_FOUND;
    if (!path.valid || path.components.empty())
        return nullptr;
    Node* parent = Follow(Find(Join(path, path.components.size() - 1).c_str()));
    if (!parent || !parent->IsFolder())
        return nullptr;
    *error = 0;
    return parent;
}

std::vector<std::string>& RemovalLog() {
    static std::vector<std::string> log;
    return log;
}

void RemoveLogged(Node* node) {
    RemovalLog().push_back(PathOf(node));
    Remove(node);
}

std::vector<Node*> AllNodes() {
    std::vector<Node*> nodes;
    for (char drive = 'A'; drive <= 'Z'; ++drive) {
        const char root[] = {drive, ':', '\\', '\0'};
        if (Node* node = Find(root))
            Collect(node, &nodes);
    }
    return nodes;
}

} // namespace simfs
