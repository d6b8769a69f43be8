// The start of the log: the file named after the program beside it, opened through the trace
// facility, and its first line with the program's name and version.
#include "Zelm.h"

#include "helpers/helper.h"
#include "helpers/owned.h"
#include "platform/os/crt.h"
#include "trace/trace.h"

#include <winver.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The version text holds at most 31 characters.
const int VERSION_TEXT_SIZE = 32;

// The full file name of a module (the program for none); false when it is unavailable or would
// not fit, since a cut name names some other file.
bool ModuleFileName(HMODULE module, char* name) {
    name[0] = '\0';
    DWORD length = GetModuleFileNameA(module, name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        name[0] = '\0';
        return false;
    }
    name[MAX_PATH - 1] = '\0';
    return true;
}

// "major.minor.build.revision" from the file's version resource, with " DEBUG" when its debug
// flag is set; "NO_VERSION" without a readable resource.
void VersionText(const char* fileName, char* text) {
    snprintf(text, VERSION_TEXT_SIZE, "%s", "NO_VERSION");
    if (!fileName[0])
        return;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(fileName, &handle);
    if (size == 0)
        return;
    OwnedBlock<void> block(malloc(size));
    if (!block)
        return;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (GetFileVersionInfoA(fileName, 0, size, block.get()) &&
        VerQueryValueA(block.get(), "\\", reinterpret_cast<LPVOID*>(&info), &length) && info &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
        const char* format =
            (info->dwFileFlags & VS_FF_DEBUG) ? "%d.%d.%d.%d DEBUG" : "%d.%d.%d.%d";
        snprintf(text, VERSION_TEXT_SIZE, format, static_cast<int>(HIWORD(info->dwFileVersionMS)),
                 static_cast<int>(LOWORD(info->dwFileVersionMS)),
                 static_cast<int>(HIWORD(info->dwFileVersionLS)),
                 static_cast<int>(LOWORD(info->dwFileVersionLS)));
    }
}

// The file name after its last '\', cut before its last '.'.
void BaseName(const char* fileName, char* base) {
    const char* separator = FindLastChar(fileName, '\\');
    snprintf(base, MAX_PATH, "%s", separator ? separator + 1 : fileName);
    char* dot = FindLastChar(base, '.');
    if (dot)
        *dot = '\0';
}

// folder + base + suffix into a MAX_PATH buffer; false when it would not fit (a cut name names
// some other file).
bool BuildLogName(char* path, const char* folder, const char* base, const char* suffix) {
    size_t folderLength = strlen(folder);
    size_t baseLength = strlen(base);
    size_t suffixLength = strlen(suffix);
    if (folderLength + baseLength + suffixLength > MAX_PATH - 1)
        return false;
    memcpy(path, folder, folderLength);
    memcpy(path + folderLength, base, baseLength);
    memcpy(path + folderLength + baseLength, suffix, suffixLength + 1);
    return true;
}

// Opens BASE.log in `folder` (empty, or ending in ''). A new log keeps the previous run's log as
// BASE.old.log (one generation); when that cannot be done, the new run is appended to the
// previous log rather than erase it. False when no log could be opened there.
bool OpenLogIn(const char* folder, const char* base, BOOL append) {
    char logPath[MAX_PATH];
    if (!BuildLogName(logPath, folder, base, ".log"))
        return false;
    const char* mode = append ? "a+" : "w";
    if (!append && CrtAccess(logPath, CRT_ACCESS_EXISTS) == 0) {
        char oldPath[MAX_PATH];
        bool kept = false;
        if (BuildLogName(oldPath, folder, base, ".old.log")) {
            DeleteFileA(oldPath);
            kept = MoveFileA(logPath, oldPath) != FALSE;
        }
        if (!kept)
            mode = "a+";
    }
    TraceOpenLog(logPath, mode);
    return TraceGetLog() != nullptr;
}

void WriteVersionLine(const char* base, const char* version) {
    LogStepLine("%s v.%s\n", base, version);
}

} // namespace

void OpenLogFile(HMODULE module, BOOL append, const char* folder) {
    char fileName[MAX_PATH];
    ModuleFileName(module, fileName);
    char version[VERSION_TEXT_SIZE];
    VersionText(fileName, version);
    char base[MAX_PATH];
    BaseName(fileName, base);

    // The folder text ends in '\' (the log goes into it) or is a file name whose folder part is
    // used.
    char logFolder[MAX_PATH + 1] = "";
    if (folder && folder[0] && CrtAccess(folder, CRT_ACCESS_EXISTS) == 0) {
        size_t length = strlen(folder);
        const char* last = FindLastChar(folder, '\\');
        bool endsInSeparator = last && last[1] == '\0';
        if (length + 1 >= sizeof(logFolder))
            return;
        snprintf(logFolder, sizeof(logFolder), "%s%s", folder, endsInSeparator ? "" : "\\");
    } else {
        if (TraceGetLog()) {
            WriteVersionLine(base, version);
            return;
        }
        if (!ModuleFileName(nullptr, logFolder))
            return;
    }
    char* separator = FindLastChar(logFolder, '\\');
    if (separator)
        separator[1] = '\0';
    else
        logFolder[0] = '\0';

    TraceSetOptions(0xFFFFFFFF, 0, 1, 0);
    // Beside the program when it can be created there; otherwise (a read-only share, a CD, a
    // name too long) in the temporary folder under the same name.
    if (!OpenLogIn(logFolder, base, append)) {
        char temp[MAX_PATH + 1] = "";
        DWORD length = GetTempPathA(sizeof(temp), temp);
        if (length == 0 || length >= MAX_PATH)
            return;
        if (!OpenLogIn(temp, base, append))
            return;
    }
    WriteVersionLine(base, version);
}
