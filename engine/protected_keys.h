// The registry keys a removal plan never names and its key walk never enters: the roots, the
// hive-level keys, the containers every program shares, and registry links. Internal to the
// engine.
#pragma once

#include <windows.h>

#include <string>

namespace protected_keys {

// The comparison form of a key text: '/' and '\' both separate, empty names are dropped, blanks
// and quotes around a name are cut, letters are upper-cased and a short root name (HKLM, HKCU,
// HKCR, HKU, HKCC) becomes the full one. Two texts that the registry could take for the same key
// have the same form.
std::string CanonicalKey(const char* keyText);

// True for a key text, in any spelling, that is a root, a hive-level key such as
// 'HKEY_LOCAL_MACHINE\SOFTWARE' or 'HKEY_USERS\.DEFAULT', or a container every program shares
// such as 'HKEY_LOCAL_MACHINE\SOFTWARE\MICROSOFT' or 'HKEY_CLASSES_ROOT\CLSID'. A text with no
// key name at all counts as protected.
bool IsProtectedKey(const char* keyText);

// True when parent\subKey is itself a registry link (a key whose SymbolicLinkValue of type
// REG_LINK sends every open to another key). Opening it as a link never follows it.
bool IsLink(HKEY parent, const char* subKey);
// True when a key on the way from root to root\keyPath, that key included, is a link that is
// not itself a protected key: the system's own aliases such as CurrentControlSet are the usual
// way to a product's key; any other link leads to a key the text does not name.
bool PassesThroughLink(HKEY root, const char* rootName, const char* keyPath);

// Writes the refusal line "%04d ProtectedKey: %s\n" with 5 (ERROR_ACCESS_DENIED), and tells the
// plan's observer why.
void LogProtectedKey(const char* keyText, const char* reason = "protected key");

} // namespace protected_keys
