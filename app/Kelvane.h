// CUninstallApp: the application object, which only shows the main dialog.
#pragma once

#include "afxwin.h"

class CUninstallApp : public CWinApp {
public:
    CUninstallApp();
    ~CUninstallApp() override;
    BOOL InitInstance() override;
    DECLARE_MESSAGE_MAP()
};
