// Controls of the simulated COM and WMI: namespaces, instances, and the balance of what was taken.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sim {

// Namespaces are named without the computer part, e.g. "root\\SecurityCenter" (a fresh machine
// has that one, empty). Names compare without case.
void AddNamespace(const char* name);
void RemoveNamespace(const char* name);
// Adds an instance by its object path, e.g. AntiVirusProduct.instanceGuid="{...}"; adds the
// namespace when it is missing.
void AddWmiInstance(const char* name, const char* objectPath);
// The object paths still present in a namespace, in the order they were added.
std::vector<std::string> WmiInstances(const char* name);

// CoInitialize calls not yet balanced by CoUninitialize, over all threads.
int ComInitCount();
// COM objects handed out (locators, services) and not yet released to a count of 0.
int LiveComObjects();
// BSTRs allocated and not yet freed; and SysFreeString calls on a pointer that was not a live BSTR.
int LiveBstrs();
int InvalidBstrFrees();

} // namespace sim
