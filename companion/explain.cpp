// Plain explanations of the entries the engine's reader refuses. The verdict and its code are the
// engine's; this only looks at the refused line again to say in words what is wrong with it.
#include "check.h"

#include "helpers/helper.h"

#include <cstring>

namespace companion {

namespace {

// The keywords as the profile spells them, in the engine's table order.
const char* const kTypes[] = {"REG_VALUE", "REG_KEY",          "REG_VALUE_EXPAND", "REG_KEY_EXPAND",
                              "FILE_NAME", "FILE_NAME_EXPAND", "SERVICE_NAME"};
const char* const kModes[] = {"BY_REFERENCE", "BY_VALUE", "BY_DATA_MATCH"};
const char* const kModesAllowed[] = {"BY_REFERENCE, BY_VALUE or BY_DATA_MATCH",
                                     "BY_VALUE or BY_DATA_MATCH",
                                     "none",
                                     "none",
                                     "BY_VALUE or BY_DATA_MATCH",
                                     "BY_VALUE or BY_DATA_MATCH",
                                     "BY_VALUE"};
const char* const kMacros[] = {
    "%ALTSTARTUP%",       "%APPDATA%",          "%COMMON_ALTSTARTUP%", "%COMMON_DESKTOPDIRECTORY%",
    "%COMMON_FAVORITES%", "%COMMON_PROGRAMS%",  "%COMMON_STARTMENU%",  "%COMMON_STARTUP%",
    "%COOKIES%",          "%DESKTOPDIRECTORY%", "%FAVORITES%",         "%PERSONAL%",
    "%PROGRAMS%",         "%STARTMENU%",        "%STARTUP%",           "%SYSTEM%",
    "%WINDOWS%"};
// The longest line the reader takes whole.
const size_t kLineLimit = 359;

template <size_t N> int Keyword(const char* const (&list)[N], const char** text) {
    for (size_t i = 0; i < N; ++i) {
        size_t length = strlen(list[i]);
        if (ComparePrefixNoCase(*text, list[i], length) == 0 && (*text)[length] == ',') {
            *text += length + 1;
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string Word(const char* text) {
    const char* end = strchr(text, ',');
    return end ? std::string(text, end) : std::string(text);
}

// The engine's dispatch table: which type and mode pairs resolve into items.
bool HasDiscovery(int type, int mode) {
    switch (type) {
    case 0:
        return true;
    case 1:
    case 4:
    case 5:
        return mode != 0;
    case 6:
        return mode == 1;
    default:
        return false;
    }
}

bool RegistryType(int type) {
    return type == 0 || type == 1;
}

std::string ExplainData(int type, int mode, const std::string& data, DWORD result) {
    std::string folded = data;
    if (!folded.empty()) {
        std::vector<char> copy(folded.begin(), folded.end());
        copy.push_back('\0');
        NormalizeEntry(copy.data());
        folded = copy.data();
    }
    if (type == 5 && result == ERROR_BAD_CONFIGURATION) {
        for (const char* macro : kMacros)
            if (folded.find(macro) != std::string::npos)
                return std::string("the folder macro ") + macro +
                       " must stand at the start of the data";
        return "FILE_NAME_EXPAND needs a folder macro of the table at the start (%APPDATA%, "
               "%COMMON_PROGRAMS%, %SYSTEM%, %WINDOWS%, ...)";
    }
    if (result == ERROR_INVALID_DATA) {
        if (folded.empty())
            return "the data after the second ',' is empty";
        if (mode == 2 && folded.find("\",\"") == std::string::npos)
            return "a data match needs its fields in double quotes, separated by commas "
                   "(\"path\",\"pattern\"...): a field is missing";
        if (RegistryType(type)) {
            size_t last = folded.rfind('\\');
            std::string path = last == std::string::npos ? "" : folded.substr(0, last);
            if (mode == 2)
                path = folded.substr(0, folded.find("\",\""));
            size_t cut = path.rfind('\\');
            if (path.find_first_of("*?") != std::string::npos &&
                (mode != 2 || (cut != std::string::npos &&
                               path.substr(0, cut).find_first_of("*?") != std::string::npos)))
                return "a wildcard stands outside the last component of the registry path";
            return "the registry data it names or matches is not a string (REG_SZ), or a "
                   "value name of a data match holds a wildcard";
        }
        return "malformed data";
    }
    if (result == ERROR_BAD_CONFIGURATION)
        return "the entry is not one Kelvane can resolve";
    char text[96];
    snprintf(text, sizeof(text), "the system refused the entry's look-up (error %lu)",
             static_cast<unsigned long>(result));
    return text;
}

} // namespace

std::string ExplainEntry(const std::string& line, DWORD result) {
    if (line.size() >= kLineLimit)
        return "the line is longer than 359 characters, the most the reader takes as one line";
    size_t equals = line.find('=');
    if (equals == std::string::npos)
        return "not an entry line";
    const char* text = line.c_str() + equals + 1;
    if (*text == ' ' || *text == '\t')
        return "a blank after '=': the type keyword must follow it directly";
    if (*text == '\0')
        return "nothing after '='";
    int type = Keyword(kTypes, &text);
    if (type < 0)
        return "unknown type keyword '" + Word(text) +
               "' (REG_VALUE, REG_KEY, FILE_NAME, FILE_NAME_EXPAND or SERVICE_NAME, each "
               "followed directly by ',')";
    if (*text == ' ' || *text == '\t')
        return "a blank after the type's ',': the mode keyword must follow it directly";
    int mode = Keyword(kModes, &text);
    if (mode < 0)
        return "unknown mode keyword '" + Word(text) +
               "' (BY_REFERENCE, BY_VALUE or BY_DATA_MATCH, each followed directly by ',')";
    if (result == ERROR_BAD_CONFIGURATION && !HasDiscovery(type, mode))
        return std::string(kTypes[type]) + " cannot be used with " + kModes[mode] +
               " (allowed: " + kModesAllowed[type] + ")";
    return ExplainData(type, mode, text, result);
}

} // namespace companion
