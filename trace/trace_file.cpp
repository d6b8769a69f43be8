// Opening the facility's files: a bare file name lies in the program's folder.
#include "trace_state.h"

#include "platform/os/crt.h"

#include <cstring>

namespace {

// True when the name has neither a drive nor a folder part. Walks the name a character at a
// time, so a trail byte of a double-byte character is never taken for a separator.
bool IsBareName(const char* name) {
    if (name[0] && name[1] == ':')
        return false;
    for (const char* p = name; *p; ++p) {
        if (*p == '\\' || *p == '/')
            return false;
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1])
            ++p;
    }
    return true;
}

// Copies a mode in the form the runtime understands on every target: r, w or a, then at most one
// each of '+', 'b' and 't' (not both of the last two), blanks ignored. False for anything else:
// a mode from a settings file is refused here rather than handed to the runtime.
bool CleanMode(const char* mode, char* out, size_t size) {
    if (!mode || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a'))
        return false;
    size_t length = 0;
    out[length++] = mode[0];
    bool plus = false, binary = false, text = false;
    for (const char* p = mode + 1; *p; ++p) {
        if (*p == ' ')
            continue;
        bool* seen = *p == '+' ? &plus : *p == 'b' ? &binary : *p == 't' ? &text : nullptr;
        if (!seen || *seen || length + 1 >= size)
            return false;
        *seen = true;
        out[length++] = *p;
    }
    out[length] = '\0';
    return !(binary && text);
}

// Just past the last backslash of a path (its start when there is none), skipping trail bytes.
size_t FolderLength(const char* path) {
    size_t folder = 0;
    for (size_t i = 0; path[i]; ++i) {
        if (path[i] == '\\')
            folder = i + 1;
        else if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && path[i + 1])
            ++i;
    }
    return folder;
}

// The program's folder with its final backslash, then the name. False when the program's path
// is not known in full or the result would not fit a path buffer: the file is then not opened,
// rather than opened under a cut name.
bool BesideProgram(const char* name, char* path, size_t size) {
    DWORD length = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(size));
    if (length == 0 || length >= size)
        return false;
    path[length] = '\0';
    size_t folderLength = FolderLength(path);
    size_t nameLength = strlen(name);
    if (folderLength + nameLength > size - 1)
        return false;
    memcpy(path + folderLength, name, nameLength + 1);
    return true;
}

} // namespace

FILE* TraceOpenFile(const char* name, const char* mode) {
    char clean[4];
    if (!name || !name[0] || !CleanMode(mode, clean, sizeof(clean)))
        return nullptr;
    if (!IsBareName(name))
        return CrtOpen(name, clean);
    char path[MAX_PATH];
    if (!BesideProgram(name, path, sizeof(path)))
        return nullptr;
    return CrtOpen(path, clean);
}
