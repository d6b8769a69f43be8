// Internals of the simulated 64-bit Windows: whether the machine is one, whether the program is a
// 32-bit one there, and how that program's file and registry paths are redirected.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace simwow {

bool Windows64();
// A 32-bit program on a 64-bit machine.
bool RedirectedProgram();
// The path the file system reaches for `path` on the calling thread: for a 32-bit program on a
// 64-bit machine with redirection on, '<windows>\system32\...' becomes '<windows>\SysWOW64\...',
// except for the subfolders Windows exempts; any other path is returned as given.
std::string FileView(const char* path);
// True when a registry call asking for `access` works on the 32-bit view.
bool RegistryView32(REGSAM access);
// Inserts 'Wow6432Node' where the 32-bit view redirects a path whose names start below `base`
// (the full text path of the key the names are relative to).
void RedirectKeyNames(const std::string& base, std::vector<std::string>* names);

} // namespace simwow
