// Contract harness on real Win32: a scratch folder under the temporary folder, emptied per test.
#include "contract.h"

#include <cstring>
#include <string>
#include <thread>

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

} // namespace contract

namespace contract {

// A helper thread polls for the box for up to ten seconds, reads its text (the first static
// control that holds any: the icon's is empty), runs `whileUp` and clicks the button.
struct BoxAnswerer::Helper {
    std::thread thread;
    std::string text;
};

namespace {

std::string TextOf(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

} // namespace

BoxAnswerer::BoxAnswerer(const char* caption, int button, std::function<void()> whileUp)
    : m_helper(new Helper) {
    Helper* helper = m_helper.get();
    std::string wanted = caption;
    helper->thread = std::thread([helper, wanted, button, whileUp] {
        HWND box = nullptr;
        for (int i = 0; i < 1000 && !box; ++i) {
            box = FindWindowA("#32770", wanted.c_str());
            if (!box)
                Sleep(10);
        }
        if (!box)
            return;
        HWND text = FindWindowExA(box, nullptr, "Static", nullptr);
        while (text && TextOf(text).empty())
            text = FindWindowExA(box, text, "Static", nullptr);
        helper->text = text ? TextOf(text) : "";
        if (whileUp)
            whileUp();
        PostMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
    });
}

BoxAnswerer::~BoxAnswerer() {
    if (m_helper->thread.joinable())
        m_helper->thread.join();
}

std::string BoxAnswerer::Text() {
    if (m_helper->thread.joinable())
        m_helper->thread.join();
    return m_helper->text;
}

} // namespace contract
