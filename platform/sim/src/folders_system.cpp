// The Windows, system and temporary folders, the user's name and the environment built on them.
#include "folders_state.h"

#include "core.h"

#include <cstring>
#include <vector>

namespace {

std::string TempFolder() {
    const simfolders::FolderState& state = simfolders::State();
    std::string temp = state.temp.empty()
                           ? simfolders::ProfileOf(state.user) + "\\Local Settings\\Temp"
                           : state.temp;
    if (temp.empty() || temp.back() != '\\')
        temp += '\\';
    return temp;
}

// Windows' convention for the directory queries: the length without the terminator when the
// text fits, otherwise the size needed with the terminator and nothing written.
UINT CopyOut(const std::string& text, LPSTR buffer, UINT size) {
    if (!buffer || size <= text.size())
        return static_cast<UINT>(text.size() + 1);
    memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<UINT>(text.size());
}

struct Variable {
    const char* name;
    std::string value;
};

std::vector<Variable> Environment() {
    const simfolders::FolderState& state = simfolders::State();
    const std::string profile = simfolders::ProfileOf(state.user);
    std::string appData;
    simfolders::SpecialFolder(CSIDL_APPDATA, &appData);
    std::string temp = TempFolder();
    temp.pop_back();
    const std::string drive = state.windows.substr(0, 2);
    return {
        {"SystemRoot", state.windows},
        {"windir", state.windows},
        {"SystemDrive", drive},
        {"ProgramFiles", state.programFiles},
        {"CommonProgramFiles", state.programFiles + "\\Common Files"},
        {"USERPROFILE", profile},
        {"ALLUSERSPROFILE", simfolders::ProfileOf(state.allUsers)},
        {"APPDATA", appData},
        {"TEMP", temp},
        {"TMP", temp},
        {"USERNAME", state.user},
        {"HOMEDRIVE", profile.substr(0, 2)},
        {"HOMEPATH", profile.size() > 2 ? profile.substr(2) : std::string("\\")},
    };
}

} // namespace

namespace simfolders {

std::string ExpandEnvironment(const std::string& text) {
    const std::vector<Variable> variables = Environment();
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find('%', at);
        const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) {
            out += text.substr(at);
            break;
        }
        out += text.substr(at, open - at);
        const std::string name = text.substr(open + 1, close - open - 1);
        const Variable* match = nullptr;
        for (const Variable& variable : variables)
            if (!name.empty() && simcore::EqualNoCase(name, variable.name))
                match = &variable;
        if (match) {
            out += match->value;
            at = close + 1;
        } else {
            // An unknown name stays as written; its closing '%' may open the next one.
            out += text.substr(open, close - open);
            at = close;
        }
    }
    return out;
}

} // namespace simfolders

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    SIM_API_ENTRY(error, simcore::FailWith(error, 0));
    return CopyOut(simfolders::State().windows, buffer, size);
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
    SIM_API_ENTRY(error, simcore::FailWith(error, 0));
    return CopyOut(simfolders::State().windows + "\\system32", buffer, size);
}

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
    SIM_API_ENTRY(error, simcore::FailWith(error, 0));
    return CopyOut(TempFolder(), buffer, size);
}

BOOL WINAPI GetUserNameA(LPSTR buffer, LPDWORD size) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string& user = simfolders::State().user;
    const DWORD needed = static_cast<DWORD>(user.size() + 1);
    if (!buffer || *size < needed) {
        *size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(buffer, user.c_str(), needed);
    *size = needed;
    return TRUE;
}
