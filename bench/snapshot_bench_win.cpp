// The snapshot benchmark's machine on Windows: a synthetic product added to the real disk and
// registry (under wine64, the build's prefix), removed again at the end.
#include <shlwapi.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kFolder[] = "C:\\Program Files\\KelvaneSnapshotBench";
const char kKey[] = "SOFTWARE\\KelvaneSnapshotBench";

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, ".."))
                continue;
            std::string child = path + "\\" + found.cFileName;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

} // namespace

const char* SnapshotBenchMachineName() {
    return "Windows (the whole machine and the synthetic product)";
}

double SnapshotBenchDefaultTarget() {
    return 2.0;
}

bool SnapshotBenchCreate(unsigned files, unsigned keys, std::string* output) {
    char path[MAX_PATH];
    CreateDirectoryA(kFolder, nullptr);
    for (unsigned i = 0; i < files; ++i) {
        snprintf(path, sizeof(path), "%s\\Part%02u", kFolder, i % 50);
        CreateDirectoryA(path, nullptr);
        snprintf(path, sizeof(path), "%s\\Part%02u\\Unit%02u", kFolder, i % 50, (i / 50) % 20);
        CreateDirectoryA(path, nullptr);
        snprintf(path, sizeof(path), "%s\\Part%02u\\Unit%02u\\f%06u.dat", kFolder, i % 50,
                 (i / 50) % 20, i);
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        WriteFile(file, "data", 4, &written, nullptr);
        CloseHandle(file);
    }
    for (unsigned i = 0; i < keys; ++i) {
        snprintf(path, sizeof(path), "%s\\Group%02u\\Key%06u", kKey, i % 50, i);
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return false;
        RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                       static_cast<DWORD>(strlen(path) + 1));
        DWORD number = i;
        RegSetValueExA(key, "Size", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                       sizeof(number));
        RegCloseKey(key);
    }
    *output = "C:\\kv-snapshot-bench.txt";
    return true;
}

void SnapshotBenchRemove() {
    RemoveTree(kFolder);
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    DeleteFileA("C:\\kv-snapshot-bench.txt");
}
