// Controls of the simulated disks: build files and folders, read them back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sim {

// Creates a file (and any missing folders above it) with the given content and attributes.
void AddFile(const char* path, const std::string& content = "", DWORD attributes = 0);
// Creates a folder and any missing folders above it.
void AddFolder(const char* path, DWORD attributes = 0);
bool Exists(const char* path);
bool IsFolder(const char* path);
// Content of a file; empty when it does not exist.
std::string FileContent(const char* path);
DWORD Attributes(const char* path);
// Names of a folder's direct entries, in the order the directory search returns them.
std::vector<std::string> ListFolder(const char* path);

} // namespace sim
