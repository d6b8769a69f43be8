// The real location of an existing file or folder, every link on the way followed: how the
// engine tells where a path that passes through a junction or symbolic link really leads.
#pragma once

#include <cstddef>

// Writes the full path of what `path` names, with every link followed and without the '\\?\'
// prefix, into `out` (size bytes, NUL included). False when the path does not exist, the result
// does not fit, or the platform cannot tell (systems older than the query it needs).
bool ResolveFinalPath(const char* path, char* out, size_t size);
