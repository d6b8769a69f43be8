// Contract harness on real Win32: a scratch folder under the temporary folder, emptied per test.
#include "contract.h"

#include <cstring>
#include <string>

namespace contract {

namespace {

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, ".."))
                continue;
            std::string child = path + "\\" + found.cFileName;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTree(child);
            else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryA(child.c_str());
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

} // namespace

void FreshMachine() {
    RemoveTree(Scratch());
    CreateDirectoryA(Scratch().c_str(), nullptr);
}

std::string Scratch() {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    std::string path = temp;
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    // One folder per test process: CTest runs tests side by side.
    return path + "\\kv-contract-" + std::to_string(GetCurrentProcessId());
}

void Windows64Machine() {}

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool Simulated() {
    return false;
}

} // namespace contract
