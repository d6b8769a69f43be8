// The program's resources on the simulated machine: dialog templates, string table, icons.
#include "windows_internal.h"

#include "core.h"

#include <cstring>
#include <set>

namespace {

// Icon handles: the program's icons and the system's predefined ones, told apart by range.
const uintptr_t kProgramIconBase = 0x007F0000;
const uintptr_t kSystemIconBase = 0x00810000;
const int kFirstSystemIcon = 32512; // IDI_APPLICATION
const int kLastSystemIcon = 32516;  // IDI_ASTERISK

struct Resources {
    std::map<int, simwin::DialogCopy> dialogs;
    std::map<UINT, std::string> strings;
    std::set<int> icons;
};

Resources& State() {
    static Resources resources;
    return resources;
}

void ResetResources() {
    simcore::Guard guard(simcore::MachineLock());
    State() = Resources();
}

simcore::ResetHook hook(ResetResources);

std::string Text(const char* text) {
    return text ? text : "";
}

simwin::DialogCopy CopyOf(const sim::DialogTemplate& dialog) {
    simwin::DialogCopy copy;
    copy.id = dialog.id;
    copy.caption = Text(dialog.caption);
    copy.style = dialog.style;
    copy.exStyle = dialog.exStyle;
    copy.x = dialog.x;
    copy.y = dialog.y;
    copy.cx = dialog.cx;
    copy.cy = dialog.cy;
    for (int i = 0; dialog.controls && i < dialog.controlCount; ++i) {
        const sim::ControlTemplate& c = dialog.controls[i];
        copy.controls.push_back(simwin::ControlCopy{c.id, Text(c.windowClass), Text(c.text),
                                                    c.style, c.exStyle, c.x, c.y, c.cx, c.cy});
    }
    return copy;
}

} // namespace

namespace sim {

void UseResources(const ResourceSet* resources) {
    simcore::Guard guard(simcore::MachineLock());
    Resources& state = State();
    state = Resources();
    if (!resources)
        return;
    for (int i = 0; resources->dialogs && i < resources->dialogCount; ++i)
        state.dialogs[resources->dialogs[i].id] = CopyOf(resources->dialogs[i]);
    for (int i = 0; resources->strings && i < resources->stringCount; ++i)
        state.strings[resources->strings[i].id] = Text(resources->strings[i].text);
    for (int i = 0; resources->icons && i < resources->iconCount; ++i)
        state.icons.insert(resources->icons[i]);
}

int IconResourceId(HICON icon) {
    uintptr_t value = reinterpret_cast<uintptr_t>(icon);
    if (value < kProgramIconBase || value >= kProgramIconBase + 0x10000)
        return 0;
    int id = static_cast<int>(value - kProgramIconBase);
    simcore::Guard guard(simcore::MachineLock());
    return State().icons.count(id) ? id : 0;
}

} // namespace sim

namespace simwin {

bool FindDialogTemplate(int id, DialogCopy* out) {
    simcore::Guard guard(simcore::MachineLock());
    auto it = State().dialogs.find(id);
    if (it == State().dialogs.end())
        return false;
    *out = it->second;
    return true;
}

bool IsIcon(HICON icon) {
    uintptr_t value = reinterpret_cast<uintptr_t>(icon);
    if (value >= kSystemIconBase + kFirstSystemIcon && value <= kSystemIconBase + kLastSystemIcon)
        return true;
    return sim::IconResourceId(icon) != 0;
}

} // namespace simwin

// Copies at most size - 1 characters and terminates; the result is the number copied. A missing
// string gives 0 and an empty buffer.
int WINAPI LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size) {
    if (!buffer || size <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = '\0';
    simcore::Guard guard(simcore::MachineLock());
    auto it = State().strings.find(id);
    if (it == State().strings.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    const std::string& text = it->second;
    size_t count =
        text.size() < static_cast<size_t>(size - 1) ? text.size() : static_cast<size_t>(size - 1);
    memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<int>(count);
}

// The same handle for every load of an icon. Without a module, the system's predefined icons.
HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (!IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    int id = static_cast<int>(reinterpret_cast<ULONG_PTR>(name));
    if (!instance) {
        if (id >= kFirstSystemIcon && id <= kLastSystemIcon)
            return reinterpret_cast<HICON>(kSystemIconBase + static_cast<uintptr_t>(id));
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    simcore::Guard guard(simcore::MachineLock());
    if (!State().icons.count(id)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HICON>(kProgramIconBase + static_cast<uintptr_t>(id));
}
