// The directory search's name matching, with the wildcard rules of Windows' file systems.
#pragma once

#include <string>

namespace simfs {

// True when a file name matches the last component of a search pattern. Letters compare without
// case. '*' matches any run; "*.*" matches every name, with or without a dot; a '*' just before a
// '.' stops at the name's last dot; '?' matches one character, or nothing at the end of the name
// or before a dot; a '.' before '?', '*' or the pattern's end also matches the end of a name with
// no dot, so "*." finds the names without an extension.
bool MatchesMask(const std::string& name, const std::string& mask);

} // namespace simfs
