// The real location of a path for the Windows builds: the file system's own answer for an open
// handle, looked up at run time because systems before Vista do not have it.
#include "platform/os/final_path.h"

#include "system_library.h"

#include <cstring>

namespace {

typedef DWORD(WINAPI* FinalPathFunction)(HANDLE file, LPSTR path, DWORD size, DWORD flags);

// Closes the handle at the end of the query.
class OpenPath {
public:
    explicit OpenPath(const char* path)
        : m_handle(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
    ~OpenPath() {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    OpenPath(const OpenPath&) = delete;
    OpenPath& operator=(const OpenPath&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

} // namespace

bool ResolveFinalPath(const char* path, char* out, size_t size) {
    if (!path || !out || size == 0)
        return false;
    FinalPathFunction finalPath = SystemFunction<FinalPathFunction>(
        GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA");
    if (!finalPath)
        return false;
    OpenPath file(path);
    if (file.get() == INVALID_HANDLE_VALUE)
        return false;
    char found[1024];
    // Flags 0: the normalised name with its drive letter.
    DWORD length = finalPath(file.get(), found, sizeof(found), 0);
    if (length == 0 || length >= sizeof(found))
        return false;
    found[length] = '\0';
    // '\\?\C:\X' becomes 'C:\X', '\\?\UNC\SERVER\SHARE' becomes '\\SERVER\SHARE'.
    const char* text = found;
    char unc[sizeof(found) + 1];
    if (strncmp(text, "\\\\?\\UNC\\", 8) == 0) {
        unc[0] = '\\';
        memcpy(unc + 1, text + 7, strlen(text + 7) + 1);
        text = unc;
    } else if (strncmp(text, "\\\\?\\", 4) == 0) {
        text += 4;
    }
    size_t textLength = strlen(text);
    if (textLength + 1 > size)
        return false;
    memcpy(out, text, textLength + 1);
    return true;
}
