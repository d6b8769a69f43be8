// The application object and the framework's entry into it.
#include "afxwin.h"

namespace {
CWinApp* g_application = nullptr;
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CWinApp::CWinApp(const char* name) : m_pszAppName(name) {
    g_application = this;
}

CWinApp::~CWinApp() {
    if (g_application == this)
        g_application = nullptr;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

HICON CWinApp::LoadIcon(UINT id) const {
    return ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id));
}

CWinApp* AfxGetApp() {
    return g_application;
}

HINSTANCE AfxGetResourceHandle() {
    return GetModuleHandleA(nullptr);
}

int AfxWinMain() {
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    // An initialisation that returns FALSE ends the application without a message loop.
    app->InitInstance();
    return app->ExitInstance();
}
