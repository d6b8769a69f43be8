// Controls of the simulated window system: resources, and finding and driving dialogs in tests.
//
// Dialogs run on their own threads in tests. sim::Reset destroys every window: a dialog still
// running then leaves its loop (DialogBoxParamA returns 0, without WM_DESTROY), so tests end
// their dialogs and join those threads before the next reset.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace sim {

// ---- Resources -------------------------------------------------------------------------------
// A plain description of the program's resources, filled by the native build from the same lists
// the .rc uses. Positions and sizes are in dialog units, as in the .rc.

struct ControlTemplate {
    int id;                  // -1 for controls the program never addresses
    const char* windowClass; // "Button", "Static", "Edit"
    const char* text;
    DWORD style; // WS_CHILD and WS_VISIBLE are implied, as in the .rc's CONTROL lines
    DWORD exStyle;
    short x, y, cx, cy;
};

struct DialogTemplate {
    int id;
    const char* caption;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    const char* font;
    int pointSize;
    const ControlTemplate* controls;
    int controlCount;
};

struct StringResource {
    UINT id;
    const char* text;
};

struct ResourceSet {
    const DialogTemplate* dialogs;
    int dialogCount;
    const StringResource* strings;
    int stringCount;
    const int* icons;
    int iconCount;
};

// Makes `resources` the program's resources (copied; null forgets them). sim::Reset forgets them
// too: register them again after every reset, e.g. in a fixture's SetUp.
void UseResources(const ResourceSet* resources);
// The icon resource id behind an icon handle from LoadIconA; 0 for anything else.
int IconResourceId(HICON icon);

// Dialog units to pixels: the base units of the 8-point dialog font at 96 DPI (6 x 13).
constexpr int kDialogBaseUnitX = 6;
constexpr int kDialogBaseUnitY = 13;

// ---- Finding and reading dialogs ------------------------------------------------------------
// A dialog counts as open from the end of its WM_INITDIALOG until EndDialog.

HWND FindDialog(const char* caption);
HWND FindDialog(int templateId);
// Polls in real time (the dialog runs on another thread) until the dialog is open; null when it
// did not open within the time.
HWND WaitForDialog(int templateId, DWORD timeoutMs = 5000);
// Polls until the window no longer exists; false on timeout.
bool WaitForDialogClosed(HWND dialog, DWORD timeoutMs = 5000);
// Polls until the window's thread waits for messages with nothing left in its queue: every
// message posted before the call has been handled. False on timeout or when the window is gone.
bool WaitForIdle(HWND window, DWORD timeoutMs = 5000);

// True when the system would show the window as not responding: its thread neither waits for
// messages nor has looked at its queue (a message retrieval or a peek) for `afterMs` of real time.
bool IsNotResponding(HWND window, DWORD afterMs = 5000);

// Read directly, without sending messages, from any thread.
std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);
bool IsControlEnabled(HWND dialog, int id);
// The id of the control that has the focus on the dialog's thread; 0 when the focus is on no
// control of that dialog.
int FocusedControl(HWND dialog);

// ---- Driving dialogs --------------------------------------------------------------------------
// All of these post, as a driver or the user's input does: they return at once, and the dialog's
// thread handles the message when it retrieves its messages. False when the window is gone.

bool ClickButton(HWND dialog, int id); // BM_CLICK to the control
bool CloseDialog(HWND dialog);         // WM_CLOSE
bool PressCloseBox(HWND dialog);       // WM_SYSCOMMAND SC_CLOSE (close box, Alt+F4)
bool PressEscape(HWND dialog);         // VK_ESCAPE to the focused control, or to the dialog
bool PressEnter(HWND dialog);          // VK_RETURN likewise
bool SendSystemCommand(HWND dialog, UINT command); // WM_SYSCOMMAND, as a system-menu pick
// Minimises or restores the window at once and makes it need painting.
void SetMinimized(HWND window, bool minimized);

// ---- System menus -----------------------------------------------------------------------------
struct MenuItem {
    UINT_PTR id;
    std::string text;
    bool separator;
};
// The window's system menu: the dialog's own items (Move, Close) and what the program appended.
std::vector<MenuItem> SystemMenuItems(HWND window);

// ---- Message boxes ----------------------------------------------------------------------------
struct MessageBoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
    DWORD threadId; // the thread that called MessageBoxA
};

// Answers for the next message boxes, in order. With none queued a box is answered with its first
// button (IDOK, IDABORT, IDYES or IDRETRY), as if the user clicked it.
void QueueMessageBoxAnswer(int answer);
// Runs on the calling thread of every later MessageBoxA while the box is up (its owner disabled),
// before the answer is taken; null removes it.
void OnMessageBox(std::function<void()> callback);
std::vector<MessageBoxRecord> MessageBoxes();

// ---- Sounds, restart requests, icons, painting -------------------------------------------------
std::vector<UINT> Beeps();
std::vector<UINT> ExitWindowsRequests();

struct WindowIconPair {
    HICON bigIcon;
    HICON smallIcon;
};
WindowIconPair WindowIcons(HWND window);

struct PaintRecord {
    HWND window;
    HDC dc;
    bool ended; // EndPaint was called for it
};
std::vector<PaintRecord> Paints();

struct DrawnIcon {
    HWND window; // the window of the paint context
    int x;
    int y;
    HICON icon;
};
std::vector<DrawnIcon> DrawnIcons();

// ---- Deadlocks ----------------------------------------------------------------------------------
// A SendMessageA to another thread blocks, as on Windows, until that thread retrieves messages. A
// send not answered within this real time means the receiver never will (for example it waits for
// the sender without serving sent messages): the process reports both threads and aborts.
// 0 waits for ever. Default 20000 ms; kept across resets.
void SetSendDeadlockLimit(DWORD milliseconds);

} // namespace sim
