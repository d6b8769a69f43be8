// System menus of the simulated user32: a dialog's default items and the ones a program appends.
#include "windows_internal.h"

namespace {

using simwin::Hold;
using simwin::Lock;

// The system menu of a modal-frame dialog offers Move and Close.
std::vector<sim::MenuItem> DefaultItems() {
    return {{SC_MOVE, "&Move", false}, {SC_CLOSE, "&Close\tAlt+F4", false}};
}

std::shared_ptr<simwin::Window> OwnerOfMenuLocked(HMENU menu, HWND hint) {
    auto window = simwin::FindLocked(hint);
    if (window && window->systemMenu == menu)
        return window;
    return nullptr;
}

// The menu handle carries the window it belongs to, so AppendMenuA can find it.
HMENU MenuHandleFor(HWND window) {
    return reinterpret_cast<HMENU>(reinterpret_cast<uintptr_t>(window) | 0x1);
}

HWND WindowOfMenu(HMENU menu) {
    return reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(menu) & ~static_cast<uintptr_t>(1));
}

} // namespace

// A window without WS_SYSMENU has no system menu. Reverting drops what was appended.
HMENU WINAPI GetSystemMenu(HWND window, BOOL revert) {
    Hold hold(Lock());
    auto found = simwin::FindLocked(window);
    if (!found) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (!(found->style & WS_SYSMENU))
        return nullptr;
    if (revert) {
        found->systemMenu = nullptr;
        found->menuItems.clear();
        return nullptr;
    }
    if (!found->systemMenu) {
        found->systemMenu = MenuHandleFor(window);
        found->menuItems = DefaultItems();
    }
    return found->systemMenu;
}

BOOL WINAPI AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, LPCSTR text) {
    Hold hold(Lock());
    auto owner = OwnerOfMenuLocked(menu, WindowOfMenu(menu));
    if (!menu || !owner) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    if (flags & MF_SEPARATOR)
        owner->menuItems.push_back(sim::MenuItem{id, "", true});
    else
        owner->menuItems.push_back(sim::MenuItem{id, text ? text : "", false});
    return TRUE;
}

namespace sim {

std::vector<MenuItem> SystemMenuItems(HWND window) {
    Hold hold(Lock());
    auto found = simwin::FindLocked(window);
    if (!found || !(found->style & WS_SYSMENU))
        return {};
    return found->systemMenu ? found->menuItems : DefaultItems();
}

} // namespace sim
