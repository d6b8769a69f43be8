// Internals shared by the simulated file functions: path checks, parent folders, removal log.
#pragma once

#include "fs_store.h"

#include <string>
#include <vector>

namespace simfs {

// Checks a path argument as the ANSI file functions do: 0 when usable, otherwise the error
// (ERROR_INVALID_PARAMETER for none, ERROR_FILENAME_EXCED_RANGE when too long, ERROR_INVALID_NAME
// for wildcards or other characters no file name may hold, ERROR_PATH_NOT_FOUND when empty).
DWORD CheckPath(const char* path);
// The folder that holds the last component of `path` (links followed); null with *error when it
// is missing.
Node* ParentFolder(const ParsedPath& path, DWORD* error);
// The full text of a parsed path, "C:\A\B".
std::string Join(const ParsedPath& path, size_t count);
// Removes a node and notes its path in the removal log.
void RemoveLogged(Node* node);
// The removal log since the last reset.
std::vector<std::string>& RemovalLog();
// Every node of every drive, parents before their children.
std::vector<Node*> AllNodes();

} // namespace simfs
