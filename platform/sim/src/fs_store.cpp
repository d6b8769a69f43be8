// In-memory disks: path parsing, lookup, creation and removal of nodes.
#include "fs_store.h"

#include "folders_state.h"
#include "sim/control_files.h"

#include <cstring>

namespace simfs {

namespace {

std::map<char, std::unique_ptr<Node>>& Drives() {
    static std::map<char, std::unique_ptr<Node>> drives;
    return drives;
}

void ResetDisks() {
    Drives().clear();
    auto root = std::make_unique<Node>();
    root->name = "C:";
    root->attributes = FILE_ATTRIBUTE_DIRECTORY;
    Drives()['C'] = std::move(root);
    // The folders every installation has are laid out once the disks are empty again.
    simfolders::BuildDefaultFolders();
}

simcore::ResetHook hook(ResetDisks);

} // namespace

ParsedPath Parse(const char* path) {
    ParsedPath parsed;
    if (!path || !*path)
        return parsed;
    const char* p = path;
    if (((p[0] >= 'a' && p[0] <= 'z') || (p[0] >= 'A' && p[0] <= 'Z')) && p[1] == ':') {
        parsed.drive = static_cast<char>(p[0] & ~0x20);
        p += 2;
    }
    if (!parsed.drive)
        return parsed; // relative and UNC paths name nothing on this machine
    std::string piece;
    for (;; ++p) {
        if (*p == '\\' || *p == '/' || *p == '\0') {
            if (!piece.empty()) {
                if (piece == ".") {
                } else if (piece == "..") {
                    if (!parsed.components.empty())
                        parsed.components.pop_back();
                } else {
                    // Windows drops trailing dots and blanks of a component.
                    while (!piece.empty() && (piece.back() == '.' || piece.back() == ' '))
                        piece.pop_back();
                    if (!piece.empty())
                        parsed.components.push_back(piece);
                }
                piece.clear();
            }
            if (*p == '\0')
                break;
        } else {
            piece += *p;
            // A double-byte character's second byte may look like a separator: keep it.
            if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1])
                piece += *++p;
        }
    }
    parsed.valid = true;
    return parsed;
}

namespace {

// Links lead to links at most this deep; a longer chain (or a loop) names nothing.
constexpr int kMaxLinkDepth = 8;

Node* Lookup(const char* path, DWORD* error, int depth);

Node* FollowFrom(Node* node, int depth) {
    while (node && !node->linkTarget.empty()) {
        if (++depth > kMaxLinkDepth)
            return nullptr;
        node = Lookup(node->linkTarget.c_str(), nullptr, depth);
    }
    return node;
}

Node* Lookup(const char* path, DWORD* error, int depth) {
    ParsedPath parsed = Parse(path);
    if (error)
        *error = ERROR_PATH_NOT_FOUND;
    if (!parsed.valid)
        return nullptr;
    auto drive = Drives().find(parsed.drive);
    if (drive == Drives().end())
        return nullptr;
    Node* node = drive->second.get();
    for (size_t i = 0; i < parsed.components.size(); ++i) {
        // A link on the way leads into its target; the last component is not followed.
        node = FollowFrom(node, depth);
        if (!node || !node->IsFolder())
            return nullptr;
        auto child = node->children.find(parsed.components[i]);
        if (child == node->children.end()) {
            if (error && i + 1 == parsed.components.size())
                *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        node = child->second.get();
    }
    if (error)
        *error = 0;
    return node;
}

} // namespace

Node* Follow(Node* node) {
    return FollowFrom(node, 0);
}

Node* Find(const char* path, DWORD* error) {
    return Lookup(path, error, 0);
}

Node* MakeFolders(const ParsedPath& path, size_t count) {
    auto& root = Drives()[path.drive];
    if (!root) {
        root = std::make_unique<Node>();
        root->name = std::string(1, path.drive) + ":";
        root->attributes = FILE_ATTRIBUTE_DIRECTORY;
    }
    Node* node = root.get();
    for (size_t i = 0; i < count && i < path.components.size(); ++i) {
        if (Node* target = Follow(node))
            node = target; // a link's folders are made in its target
        auto& child = node->children[path.components[i]];
        if (!child) {
            child = std::make_unique<Node>();
            child->name = path.components[i];
            child->attributes = FILE_ATTRIBUTE_DIRECTORY;
            child->parent = node;
        }
        node = child.get();
    }
    return node;
}

Node* CreateFileNode(const char* path, DWORD* error) {
    ParsedPath parsed = Parse(path);
    if (!parsed.valid || parsed.components.empty()) {
        *error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    std::string folder = std::string(1, parsed.drive) + ":";
    for (size_t i = 0; i + 1 < parsed.components.size(); ++i)
        folder += "\\" + parsed.components[i];
    Node* parent = Follow(Find(folder.c_str()));
    if (!parent || !parent->IsFolder()) {
        *error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    auto& slot = parent->children[parsed.components.back()];
    if (slot) {
        if (slot->IsFolder()) {
            *error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        return slot.get();
    }
    slot = std::make_unique<Node>();
    slot->name = parsed.components.back();
    slot->attributes = FILE_ATTRIBUTE_ARCHIVE;
    slot->parent = parent;
    return slot.get();
}

std::string PathOf(const Node* node) {
    std::vector<const Node*> chain;
    for (const Node* up = node; up; up = up->parent)
        chain.push_back(up);
    std::string path = chain.back()->name;
    if (chain.size() == 1)
        return path + "\\";
    for (size_t i = chain.size() - 1; i-- > 0;)
        path += "\\" + chain[i]->name;
    return path;
}

void Remove(Node* node) {
    if (node && node->parent)
        node->parent->children.erase(node->name);
}

bool TooLong(const char* path) {
    return path && strlen(path) >= MAX_PATH;
}

} // namespace simfs

namespace sim {

void AddFolder(const char* path, DWORD attributes) {
    simcore::Guard guard(simcore::MachineLock());
    simfs::ParsedPath parsed = simfs::Parse(path);
    if (!parsed.valid)
        return;
    simfs::Node* node = simfs::MakeFolders(parsed, parsed.components.size());
    if (attributes)
        node->attributes = attributes | FILE_ATTRIBUTE_DIRECTORY;
}

void AddFile(const char* path, const std::string& content, DWORD attributes) {
    simcore::Guard guard(simcore::MachineLock());
    simfs::ParsedPath parsed = simfs::Parse(path);
    if (!parsed.valid || parsed.components.empty())
        return;
    simfs::Node* parent = simfs::MakeFolders(parsed, parsed.components.size() - 1);
    if (simfs::Node* target = simfs::Follow(parent))
        parent = target; // a file put into a link lands in its target
    auto& slot = parent->children[parsed.components.back()];
    if (!slot) {
        slot = std::make_unique<simfs::Node>();
        slot->name = parsed.components.back();
        slot->parent = parent;
    }
    slot->attributes = attributes ? attributes : FILE_ATTRIBUTE_ARCHIVE;
    slot->content = content;
}

bool Exists(const char* path) {
    simcore::Guard guard(simcore::MachineLock());
    return simfs::Find(path) != nullptr;
}

bool IsFolder(const char* path) {
    simcore::Guard guard(simcore::MachineLock());
    simfs::Node* node = simfs::Find(path);
    return node && node->IsFolder();
}

std::string FileContent(const char* path) {
    simcore::Guard guard(simcore::MachineLock());
    simfs::Node* node = simfs::Find(path);
    return node && !node->IsFolder() ? node->content : std::string();
}

DWORD Attributes(const char* path) {
    simcore::Guard guard(simcore::MachineLock());
    simfs::Node* node = simfs::Find(path);
    return node ? node->attributes : INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> ListFolder(const char* path) {
    simcore::Guard guard(simcore::MachineLock());
    std::vector<std::string> names;
    simfs::Node* node = simfs::Follow(simfs::Find(path));
    if (node && node->IsFolder())
        for (auto& child : node->children)
            names.push_back(child.second->name);
    return names;
}

} // namespace sim
