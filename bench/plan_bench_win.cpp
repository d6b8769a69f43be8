// The plan benchmark's machine on Windows: the synthetic installation as real folders and files
// below the temporary folder and real keys below HKCU\Software\KelvanePlanBench, removed after.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct PlanBenchInstallation {
    std::vector<std::string> folders;
    std::vector<std::string> files;
    std::vector<std::string> keys;
};
extern const char* const kPlanBenchValueNames[3];
void PlanBenchRemove(const std::string& folder, const std::string& key);

namespace {

const char kKeyBelowRoot[] = "Software\\KelvanePlanBench";
const char kKeyText[] = "HKEY_CURRENT_USER\\Software\\KelvanePlanBench";

std::string Below(const std::string& base, const std::string& relative) {
    return relative.empty() ? base : base + "\\" + relative;
}

std::string ProductFolder() {
    char temp[MAX_PATH] = {};
    DWORD length = GetTempPathA(sizeof(temp), temp);
    std::string path(temp, length < sizeof(temp) ? length : 0);
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path + "\\KelvanePlanBench";
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, ".."))
                continue;
            std::string child = path + "\\" + found.cFileName;
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

bool CreateKeyWithValues(const std::string& path, DWORD number) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const char text[] = "Plan bench component";
    bool ok = RegSetValueExA(key, kPlanBenchValueNames[0], 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text), sizeof(text)) == ERROR_SUCCESS;
    ok = ok && RegSetValueExA(key, kPlanBenchValueNames[1], 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(path.c_str()),
                              static_cast<DWORD>(path.size() + 1)) == ERROR_SUCCESS;
    ok = ok &&
         RegSetValueExA(key, kPlanBenchValueNames[2], 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&number), sizeof(number)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

} // namespace

const char* PlanBenchMachineName() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    return wine ? "Wine (real disk and registry)" : "Windows (real disk and registry)";
}

double PlanBenchDefaultTarget() {
    return 1.2;
}

double PlanBenchDefaultFileStepTarget() {
    return 1.3;
}

bool PlanBenchCreate(const PlanBenchInstallation& installation, std::string* folder,
                     std::string* key) {
    *folder = ProductFolder();
    *key = kKeyText;
    // What an interrupted run left behind goes first, so that the counts hold.
    PlanBenchRemove(*folder, *key);
    if (!CreateDirectoryA(folder->c_str(), nullptr))
        return false;
    for (const std::string& path : installation.folders)
        if (!CreateDirectoryA(Below(*folder, path).c_str(), nullptr))
            return false;
    for (const std::string& path : installation.files) {
        HANDLE file = CreateFileA(Below(*folder, path).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(file);
    }
    DWORD number = 0;
    for (const std::string& path : installation.keys)
        if (!CreateKeyWithValues(Below(kKeyBelowRoot, path), ++number))
            return false;
    return true;
}

void PlanBenchRemove(const std::string& folder, const std::string&) {
    if (!folder.empty())
        RemoveTree(folder);
    RegDeleteTreeA(HKEY_CURRENT_USER, kKeyBelowRoot);
}
