// FormatMessageA of the simulated kernel32: the system's English texts of the errors met here.
#include "core.h"

#include <cstring>

namespace {

struct SystemText {
    DWORD code;
    const char* text;
};

const SystemText kSystemTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough storage is available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough storage is available to complete this operation.\r\n"},
    {18, "There are no more files.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {50, "The request is not supported.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {145, "The directory is not empty.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {267, "The directory name is invalid.\r\n"},
    {1003, "Cannot complete this function.\r\n"},
    {1008, "An attempt was made to reference a token that does not exist.\r\n"},
    {1010, "The configuration registry key is invalid.\r\n"},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1051, "A stop control has been sent to a service that other running services are dependent "
           "on.\r\n"},
    {1052, "The requested control is not valid for this service.\r\n"},
    {1055, "The service database is locked.\r\n"},
    {1056, "An instance of the service is already running.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1061, "The service cannot accept control messages at this time.\r\n"},
    {1062, "The service has not been started.\r\n"},
    {1168, "Element not found.\r\n"},
    {1223, "The operation was canceled by the user.\r\n"},
    {1300, "Not all privileges referenced are assigned to the caller.\r\n"},
    {1314, "A required privilege is not held by the client.\r\n"},
    {1400, "Invalid window handle.\r\n"},
    {1610, "The configuration data for this product is corrupt.  Contact your support "
           "personnel.\r\n"},
    {1812, "The specified image file did not contain a resource section.\r\n"},
    {1813, "The specified resource type cannot be found in the image file.\r\n"},
    {1814, "The specified resource name cannot be found in the image file.\r\n"},
    {10014, "The system detected an invalid pointer address in attempting to use a pointer "
            "argument in a call.\r\n"},
    {10022, "An invalid argument was supplied.\r\n"},
    {11003, "A non-recoverable error occurred during a database lookup.\r\n"},
};

const char* FindSystemText(DWORD code) {
    for (const SystemText& entry : kSystemTexts)
        if (entry.code == code)
            return entry.text;
    return nullptr;
}

// The system's texts are English: neutral, English, and the user's or system's default language.
bool KnownLanguage(DWORD language) {
    WORD primary = static_cast<WORD>(language & 0x3FF);
    return language == 0 || primary == LANG_NEUTRAL || primary == 0x09;
}

} // namespace

// Only message texts from the system table (inserts never occur in them), or a string given
// with FORMAT_MESSAGE_FROM_STRING and FORMAT_MESSAGE_IGNORE_INSERTS, copied as it is. With
// FORMAT_MESSAGE_ALLOCATE_BUFFER `buffer` receives a LocalAlloc'ed text the caller frees with
// LocalFree; otherwise the text must fit into `size` characters with its terminator.
DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPSTR buffer, DWORD size, va_list*) {
    SIM_API_FAULT(error, simcore::FailWith(error, 0));
    if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = nullptr;
    if (flags & FORMAT_MESSAGE_FROM_STRING) {
        if (!(flags & FORMAT_MESSAGE_IGNORE_INSERTS) || !source) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        text = static_cast<const char*>(source);
    } else if (flags & FORMAT_MESSAGE_FROM_SYSTEM) {
        if (!KnownLanguage(languageId)) {
            SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
            return 0;
        }
        text = FindSystemText(messageId);
        if (!text) {
            SetLastError(ERROR_MR_MID_NOT_FOUND);
            return 0;
        }
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = strlen(text);
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        char* copy = static_cast<char*>(LocalAlloc(LMEM_FIXED, length + 1));
        if (!copy)
            return 0;
        memcpy(copy, text, length + 1);
        *reinterpret_cast<char**>(buffer) = copy;
        return static_cast<DWORD>(length);
    }
    if (size < length + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}
