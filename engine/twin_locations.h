// The locations that 64-bit Windows keeps twice, once for 64-bit and once for 32-bit programs:
// System32 and SysWOW64, Program Files and Program Files (x86) with their Common Files, the
// redirected keys below HKEY_LOCAL_MACHINE\SOFTWARE and their WOW6432Node twins, and the
// redirected classes keys. The one table of them; internal to the engine.
#pragma once

#include <string>
#include <vector>

namespace twin_locations {

// The same place in the other view for a normalised entry text (a path, a registry key or value
// text, or a quoted list whose first field is one) that lies in a location kept twice: true with
// *twin set. False on a system with one view, for a text outside the table, and for the places
// the table keeps shared (the subfolders of System32 that are not redirected, the shared keys).
bool TwinOf(const char* text, std::string* twin);

// The table's folders on this machine (both views), for the protected locations; nothing on a
// system with one view.
std::vector<std::string> TwinFolders();

} // namespace twin_locations
