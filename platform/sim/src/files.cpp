// kernel32 file functions on the simulated disks: attributes, deletion, folder creation.
#include "files_state.h"
#include "wow64_state.h"

#include <cstring>

namespace {

// Attributes a caller may change; the directory and reparse bits belong to the entry's kind.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Checks the path a file function was given (machine lock held, the call counted). Returns the
// node it names, or null with the last error set.
simfs::Node* Begin(const char* given) {
    // The path the calling thread's view reaches (a 32-bit program's System32 is SysWOW64).
    const std::string view = simwow::FileView(given);
    const char* path = given ? view.c_str() : nullptr;
    DWORD error = simfs::CheckPath(path);
    if (error != 0) {
        SetLastError(error);
        return nullptr;
    }
    simfs::Node* node = simfs::Find(path, &error);
    if (!node) {
        SetLastError(error);
        return nullptr;
    }
    // A trailing separator says "folder": after a file's name it names nothing.
    const char last = path[strlen(path) - 1];
    if ((last == '\\' || last == '/') && !node->IsFolder()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    return node;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

} // namespace

DWORD WINAPI GetFileAttributesA(LPCSTR path) {
    SIM_API_ENTRY(error, simcore::FailWith(error, INVALID_FILE_ATTRIBUTES));
    simfs::Node* node = Begin(path);
    if (!node)
        return INVALID_FILE_ATTRIBUTES;
    return node->attributes ? node->attributes : static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
}

BOOL WINAPI SetFileAttributesA(LPCSTR path, DWORD attributes) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    simfs::Node* node = Begin(path);
    if (!node)
        return FALSE;
    DWORD kept = node->attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    DWORD result = kept | (attributes & kSettable);
    node->attributes = result ? result : static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR path) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    simfs::Node* node = Begin(path);
    if (!node)
        return FALSE;
    if (node->IsFolder())
        return Fail(ERROR_ACCESS_DENIED);
    // Another program's open handle refuses the deletion before the attributes are looked at.
    if (node->locked)
        return Fail(ERROR_SHARING_VIOLATION);
    if (node->attributes & FILE_ATTRIBUTE_READONLY)
        return Fail(ERROR_ACCESS_DENIED);
    simfs::RemoveLogged(node);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR path) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    simfs::Node* node = Begin(path);
    if (!node)
        return FALSE;
    if (!node->IsFolder())
        return Fail(ERROR_DIRECTORY);
    if (!node->parent)
        return Fail(ERROR_ACCESS_DENIED); // a drive's root
    if (node->locked)
        return Fail(ERROR_SHARING_VIOLATION);
    if (node->attributes & FILE_ATTRIBUTE_READONLY)
        return Fail(ERROR_ACCESS_DENIED);
    // A link goes by itself, whatever its target holds; the target is not touched.
    if (node->linkTarget.empty() && !node->children.empty())
        return Fail(ERROR_DIR_NOT_EMPTY);
    simfs::RemoveLogged(node);
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR given, LPSECURITY_ATTRIBUTES) {
    SIM_API_ENTRY(error, Fail(error));
    const std::string view = simwow::FileView(given);
    const char* path = given ? view.c_str() : nullptr;
    if ((error = simfs::CheckPath(path)) != 0)
        return Fail(error);
    simfs::ParsedPath parsed = simfs::Parse(path);
    if (parsed.valid && parsed.components.empty())
        return Fail(ERROR_ALREADY_EXISTS); // a drive's root
    simfs::Node* parent = simfs::ParentFolder(parsed, &error);
    if (!parent)
        return Fail(error);
    if (parent->children.count(parsed.components.back()))
        return Fail(ERROR_ALREADY_EXISTS);
    auto folder = std::make_unique<simfs::Node>();
    folder->name = parsed.components.back();
    folder->attributes = FILE_ATTRIBUTE_DIRECTORY;
    folder->parent = parent;
    parent->children[folder->name] = std::move(folder);
    return TRUE;
}
