// kernel32 directory search on the simulated disks: FindFirstFileA, FindNextFileA, FindClose.
#include "wow64_state.h"
#include "files_state.h"
#include "find_match.h"

#include <cstring>

namespace {

struct Entry {
    std::string name;
    DWORD attributes;
    size_t size;
};

// The entries a search found, taken when it starts and handed out one by one.
struct Search : simcore::Object {
    std::vector<Entry> entries;
    size_t next = 0;
};

Entry EntryOf(const std::string& name, const simfs::Node* node) {
    DWORD attributes = node->attributes ? node->attributes : FILE_ATTRIBUTE_NORMAL;
    return Entry{name, attributes, node->IsFolder() ? 0 : node->content.size()};
}

void Fill(const Entry& entry, LPWIN32_FIND_DATAA data) {
    memset(data, 0, sizeof(*data));
    data->dwFileAttributes = entry.attributes;
    data->nFileSizeLow = static_cast<DWORD>(entry.size & 0xFFFFFFFFu);
    data->nFileSizeHigh =
        static_cast<DWORD>((static_cast<uint64_t>(entry.size) >> 32) & 0xFFFFFFFFu);
    if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        data->dwReserved0 = IO_REPARSE_TAG_MOUNT_POINT; // a folder link
    const size_t n = entry.name.size() < MAX_PATH - 1 ? entry.name.size() : MAX_PATH - 1;
    memcpy(data->cFileName, entry.name.data(), n);
    data->cFileName[n] = '\0';
}

// Position just after the pattern's last separator (0 when it has none).
size_t MaskStart(const char* pattern) {
    size_t start = 0;
    for (size_t i = 0; pattern[i]; ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(pattern[i])) && pattern[i + 1]) {
            ++i;
            continue;
        }
        if (pattern[i] == '\\' || pattern[i] == '/')
            start = i + 1;
    }
    return start;
}

bool HasWildcards(const std::string& mask) {
    return mask.find_first_of("*?") != std::string::npos;
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

} // namespace

HANDLE WINAPI FindFirstFileA(LPCSTR given, LPWIN32_FIND_DATAA data) {
    simcore::Guard guard(simcore::MachineLock());
    const std::string view = simwow::FileView(given);
    const char* pattern = given ? view.c_str() : nullptr;
    SIM_API_FAULT(error, Fail(error));
    if (!pattern || !data)
        return Fail(ERROR_INVALID_PARAMETER);
    if (simfs::TooLong(pattern))
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    const size_t start = MaskStart(pattern);
    std::string mask = pattern + start;
    const std::string folderPath(pattern, start);
    if (mask.empty())
        return Fail(ERROR_FILE_NOT_FOUND); // "C:\Folder\" names no entry to look for
    if (start == 0)
        return Fail(ERROR_PATH_NOT_FOUND); // relative patterns name nothing on this machine
    if ((error = simfs::CheckPath(folderPath.c_str())) != 0)
        return Fail(error);
    simfs::Node* folder = simfs::Follow(simfs::Find(folderPath.c_str()));
    if (!folder)
        return Fail(ERROR_PATH_NOT_FOUND);
    if (!folder->IsFolder())
        return Fail(ERROR_INVALID_NAME); // a file's name followed by a separator
    if (!HasWildcards(mask))
        while (!mask.empty() && mask.back() == ' ')
            mask.pop_back(); // a plain name loses its trailing blanks, as every path does

    auto search = std::make_shared<Search>();
    // Every folder but a drive's root lists itself and its parent first.
    if (folder->parent) {
        if (simfs::MatchesMask(".", mask))
            search->entries.push_back(EntryOf(".", folder));
        if (simfs::MatchesMask("..", mask))
            search->entries.push_back(EntryOf("..", folder->parent));
    }
    for (const auto& child : folder->children)
        if (simfs::MatchesMask(child.second->name, mask))
            search->entries.push_back(EntryOf(child.second->name, child.second.get()));
    if (search->entries.empty())
        return Fail(ERROR_FILE_NOT_FOUND);
    Fill(search->entries[0], data);
    search->next = 1;
    return simcore::AddHandle(search);
}

BOOL WINAPI FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA data) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    auto search = simcore::HandleAs<Search>(handle);
    if (!search || !data) {
        SetLastError(search ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (search->next >= search->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    Fill(search->entries[search->next++], data);
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE handle) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    if (!simcore::HandleAs<Search>(handle) || !simcore::RemoveHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
