// The small dialog framework the application is written against: command targets with message
// maps, windows, modal dialogs with text data exchange, and the application object. Built on
// plain Win32 (DialogBoxParamA and a dialog procedure that routes messages to the maps).
#pragma once

#include "afxstr.h"

#include <windows.h>

#include <map>
#include <memory>

class CCmdTarget;
class CWnd;
class CWinApp;

typedef LRESULT (*AFX_HANDLER)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT message;
    UINT code; // notification code for WM_COMMAND entries
    UINT id;   // control or command id for WM_COMMAND entries
    AFX_HANDLER handler;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*base)();
    const AFX_MSGMAP_ENTRY* entries;
};

#define ID_HELP 0xE146

#define DECLARE_MESSAGE_MAP()                                                                      \
public:                                                                                            \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
                                                                                                   \
protected:                                                                                         \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }              \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                              \
        typedef theClass ThisClass;                                                                \
        typedef baseClass TheBaseClass;                                                            \
        static_assert(sizeof(ThisClass) > 0, "a complete class");                                \
        static const AFX_MSGMAP_ENTRY messageEntries[] = {

#define END_MESSAGE_MAP()                                                                          \
    {0, 0, 0, nullptr}                                                                             \
    }                                                                                              \
    ;                                                                                              \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &messageEntries[0]};   \
    return &messageMap;                                                                            \
    }

#define ON_WM_SYSCOMMAND()                                                                         \
    {WM_SYSCOMMAND, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {                       \
         static_cast<ThisClass*>(t)->OnSysCommand(static_cast<UINT>(w), l);                        \
         return 0;                                                                                 \
     }},
#define ON_WM_PAINT()                                                                              \
    {WM_PAINT, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {                                \
         static_cast<ThisClass*>(t)->OnPaint();                                                    \
         return 0;                                                                                 \
     }},
#define ON_WM_QUERYDRAGICON()                                                                      \
    {WM_QUERYDRAGICON, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {                        \
         return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(t)->OnQueryDragIcon());         \
     }},
#define ON_BN_CLICKED(id, memberFxn)                                                               \
    {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id), [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { \
         static_cast<ThisClass*>(t)->memberFxn();                                                  \
         return 0;                                                                                 \
     }},
#define ON_COMMAND(id, memberFxn)                                                                  \
    {WM_COMMAND, 0, static_cast<UINT>(id), [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {         \
         static_cast<ThisClass*>(t)->memberFxn();                                                  \
         return 0;                                                                                 \
     }},
#define ON_MESSAGE(message, memberFxn)                                                             \
    {static_cast<UINT>(message), 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {          \
         return static_cast<ThisClass*>(t)->memberFxn(w, l);                                       \
     }},

// The root of everything that has a message map.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    static const AFX_MSGMAP* GetThisMessageMap();

protected:
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // The entry for a message (and for WM_COMMAND its notification code and id), or null.
    const AFX_MSGMAP_ENTRY* FindEntry(UINT message, WPARAM wParam) const;

    friend class CWnd;
};

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    CWnd* GetDlgItem(int id) const;
    void SetWindowText(const char* text);
    BOOL EnableWindow(BOOL enable = TRUE);
    CWnd* SetFocus();
    BOOL IsIconic() const;
    void GetClientRect(LPRECT rect) const;
    HICON SetIcon(HICON icon, BOOL big);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    HMENU GetSystemMenu(BOOL revert) const;
    // Pushes the data to the controls (FALSE) or reads it back (TRUE).
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

protected:
    virtual void DoDataExchange(class CDataExchange* dx);
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    // Leaves the current message to the system's default handling.
    void Default();

    bool m_defaultRequested = false;

private:
    // Wrappers handed out by GetDlgItem, owned by the window.
    mutable std::map<HWND, std::unique_ptr<CWnd>> m_children;
};

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Text exchange between a string and a control.
void DDX_Text(CDataExchange* dx, int id, CString& value);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    virtual INT_PTR DoModal();
    void EndDialog(int result);

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    UINT m_templateId;
    CWnd* m_parent;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
};

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(const char* name = nullptr);
    ~CWinApp() override;
    virtual BOOL InitInstance();
    virtual int ExitInstance();
    HICON LoadIcon(UINT id) const;
    // Kept for the classic look's switch; dialogs get the system's look on every supported system.
    void Enable3dControls() {}
    void OnHelp() {}

    CWnd* m_pMainWnd = nullptr;
    const char* m_pszAppName;
    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetResourceHandle();
// Runs the application object: its initialisation, then its exit. The program's entry calls it.
int AfxWinMain();
