// Where the program's DLLs may come from: the system folder only, never the program's own folder
// or the current one, where anybody may have planted a DLL of a system name.
#pragma once

// Restricts the DLL search of the whole process to the system folder, for every later load by
// name (those the system libraries make on their own included). Called once, first thing at
// start-up; safe to call again. Systems without the restriction keep their order minus the
// current folder.
void RestrictDllSearchPath();
