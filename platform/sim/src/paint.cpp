// Painting of the simulated user32/gdi32: paint contexts and drawn icons, recorded for the tests.
#include "windows_internal.h"

#include "core.h"

#include <commctrl.h>

namespace {

struct PaintState {
    std::vector<sim::PaintRecord> paints;
    std::vector<sim::DrawnIcon> icons;
    std::map<HDC, HWND> openContexts;
    // Contexts are never reused, not even across resets.
    uintptr_t nextContext = 0x00C00000;
};

PaintState& State() {
    static PaintState state;
    return state;
}

void ResetPaint() {
    simcore::Guard guard(simcore::MachineLock());
    uintptr_t next = State().nextContext;
    State() = PaintState();
    State().nextContext = next;
}

simcore::ResetHook hook(ResetPaint);

} // namespace

// Validates the window and hands out a fresh context covering its client area.
HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    RECT client;
    {
        simwin::Hold hold(simwin::Lock());
        auto found = simwin::FindLocked(window);
        if (!found || !paint) {
            SetLastError(found ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        found->needsPaint = false;
        client = found->client;
    }
    simcore::Guard guard(simcore::MachineLock());
    PaintState& state = State();
    HDC dc = reinterpret_cast<HDC>(state.nextContext);
    state.nextContext += 0x10;
    state.openContexts[dc] = window;
    state.paints.push_back(sim::PaintRecord{window, dc, false});
    *paint = PAINTSTRUCT();
    paint->hdc = dc;
    paint->fErase = FALSE;
    paint->rcPaint = client;
    return dc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT* paint) {
    if (!paint)
        return TRUE;
    simcore::Guard guard(simcore::MachineLock());
    PaintState& state = State();
    state.openContexts.erase(paint->hdc);
    for (auto& record : state.paints)
        if (record.dc == paint->hdc)
            record.ended = true;
    return TRUE;
}

BOOL WINAPI DrawIcon(HDC dc, int x, int y, HICON icon) {
    if (!simwin::IsIcon(icon)) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    simcore::Guard guard(simcore::MachineLock());
    PaintState& state = State();
    auto it = state.openContexts.find(dc);
    if (it == state.openContexts.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    state.icons.push_back(sim::DrawnIcon{it->second, x, y, icon});
    return TRUE;
}

// A 1024 x 768 screen with 32 x 32 icons.
int WINAPI GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN:
        return 1024;
    case SM_CYSCREEN:
        return 768;
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    default:
        return 0;
    }
}

BOOL WINAPI InvalidateRect(HWND window, const RECT*, BOOL) {
    if (!window)
        return TRUE;
    simwin::Hold hold(simwin::Lock());
    auto found = simwin::FindLocked(window);
    if (!found) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    simwin::InvalidateLocked(*found);
    return TRUE;
}

void WINAPI InitCommonControls(void) {}

namespace sim {

std::vector<PaintRecord> Paints() {
    simcore::Guard guard(simcore::MachineLock());
    return State().paints;
}

std::vector<DrawnIcon> DrawnIcons() {
    simcore::Guard guard(simcore::MachineLock());
    return State().icons;
}

} // namespace sim
