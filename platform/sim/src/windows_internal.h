// Internals of the simulated window system shared by its files: windows, thread queues, the lock.
#pragma once

#include <windows.h>

#include "sim/control_windows.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace simwin {

enum class Kind { Dialog, Button, Static, Other };

struct Window {
    HWND handle = nullptr;
    HWND parent = nullptr; // the owner of a dialog, the dialog of a control
    DWORD thread = 0;      // the thread that created it: its messages are handled there
    Kind kind = Kind::Other;
    std::string className;
    std::string text;
    int id = 0;
    DWORD style = 0; // WS_DISABLED, WS_MINIMIZE and WS_VISIBLE are kept here
    DWORD exStyle = 0;
    RECT client = {}; // pixels
    LONG_PTR userData = 0;
    LONG_PTR msgResult = 0;  // DWLP_MSGRESULT
    LONG_PTR dialogUser = 0; // DWLP_USER
    DLGPROC dialogProc = nullptr;
    int templateId = 0;
    bool open = false; // a dialog between the end of WM_INITDIALOG and EndDialog
    bool ended = false;
    INT_PTR result = 0;
    bool destroyed = false;
    bool needsPaint = false;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    HMENU systemMenu = nullptr;
    std::vector<sim::MenuItem> menuItems;
    std::vector<HWND> children;
};

// A message sent from one thread to a window of another, waiting to be handled there.
struct SentMessage {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD sender = 0;
    LRESULT result = 0;
    bool done = false;
};

// The message queue and input state of one thread.
struct Queue {
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool quit = false;
    int quitCode = 0;
    DWORD changed = 0; // QS_ bits of input that arrived since the thread last looked
    HWND focus = nullptr;
    bool idle = false; // blocked in a message wait with nothing to retrieve
    // When the thread last looked at its queue (a message retrieval or a peek), in real time.
    std::chrono::steady_clock::time_point lastLook = std::chrono::steady_clock::now();
};

// One lock guards all window-system state. It is never held while a window procedure, a test
// callback or another area of the simulation runs, and never taken with the machine lock held
// by the same thread except by sim::Reset (machine lock first).
std::mutex& Lock();
using Hold = std::unique_lock<std::mutex>;
// Notified on every change a waiting thread may care about.
std::condition_variable& Changed();

// ---- Under Lock() -----------------------------------------------------------------------------
std::shared_ptr<Window> FindLocked(HWND handle);
Queue& QueueLocked(DWORD thread); // created on first use; never removed
HWND NewHandleLocked();
void AddWindowLocked(const std::shared_ptr<Window>& window);
// Removes the window and its children; purges their posted messages and ends sends to them.
void DestroyWindowLocked(const std::shared_ptr<Window>& window);
bool IsChildLocked(HWND parent, HWND window);
std::shared_ptr<Window> ChildByIdLocked(const Window& dialog, int id);
std::shared_ptr<Window> TopLevelLocked(std::shared_ptr<Window> window);
// Makes the window need painting and wakes its thread.
void InvalidateLocked(Window& window);
// QS_ bits of what the thread's queue holds now.
DWORD CurrentInputLocked(DWORD thread, const Queue& queue);
// Every window, oldest first.
std::vector<std::shared_ptr<Window>> AllWindowsLocked();
// A window of the thread that needs painting and passes the retrieval filter (see GetMessageA).
std::shared_ptr<Window> WindowToPaintLocked(DWORD thread, HWND filter);

// ---- Taking the lock themselves -----------------------------------------------------------------
std::shared_ptr<Window> Find(HWND handle);
// Runs the window's procedure on the calling thread.
LRESULT CallWindow(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam,
                   LPARAM lParam);
// Handles the messages other threads sent to the calling thread; true when there were any.
bool DeliverSentMessages();
// Posts to a window's thread as PostMessageA does, but without counting as a program's call.
bool PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Waits for the calling thread's next message and removes it (not WM_PAINT), delivering sent
// messages meanwhile; false when `stop` (checked under the lock) became true first.
bool NextMessage(MSG* msg, const std::function<bool()>& stop);

// The procedures behind each kind of window.
LRESULT DialogProcedure(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam,
                        LPARAM lParam);
LRESULT ButtonProcedure(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam,
                        LPARAM lParam);
LRESULT DefaultProcedure(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam,
                         LPARAM lParam);

// Minimises or restores the window and makes it need painting.
void SetMinimized(HWND window, bool minimized);

// ---- Resources (machine lock) ----------------------------------------------------------------
struct ControlCopy {
    int id;
    std::string windowClass;
    std::string text;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
};
struct DialogCopy {
    int id = 0;
    std::string caption;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::vector<ControlCopy> controls;
};
bool FindDialogTemplate(int id, DialogCopy* out);
// True for icon handles that LoadIconA gave out and that are still valid.
bool IsIcon(HICON icon);

// Dialog units to pixels, rounded as MulDiv rounds.
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);

} // namespace simwin
