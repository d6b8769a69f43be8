// The in-memory disks of the simulated machine: drives, folders and files with Windows' naming.
#pragma once

#include "core.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace simfs {

struct Node {
    std::string name; // spelling as created
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    std::string content;
    bool locked = false;      // held open by another program: no delete, no write
    std::string linkTarget;   // reparse points: the folder the link leads to
    Node* parent = nullptr;
    std::map<std::string, std::unique_ptr<Node>, simcore::LessNoCase> children;

    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

struct ParsedPath {
    char drive = 0;                      // upper-case letter, 0 when the path has none
    std::vector<std::string> components; // without empty pieces
    bool valid = false;
};

// Splits 'C:\A\B' (either separator, runs folded) into its drive and components.
ParsedPath Parse(const char* path);
// The folder a link leads to (the node itself when it is no link); null for a dangling link.
Node* Follow(Node* node);
// The node a path names, or null; links on the way are followed, a link at the end is not.
// *error receives ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND.
Node* Find(const char* path, DWORD* error = nullptr);
// Finds or creates the folder for a path, creating missing folders on the way (through links).
Node* MakeFolders(const ParsedPath& path, size_t count);
// Creates (or truncates) a file; null with *error when its folder is missing or it is a folder.
Node* CreateFileNode(const char* path, DWORD* error);
// Full path of a node, as 'C:\A\B'.
std::string PathOf(const Node* node);
// Removes a node from its parent.
void Remove(Node* node);
// Windows' short limit on a full path.
bool TooLong(const char* path);

} // namespace simfs
