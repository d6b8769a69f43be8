// The engine object's life: its sets, the error text, the dialog link and the cancel test.
#include "Zelm.h"

#include "engine_support.h"

#include <cstdlib>
#include <cstring>

CUninstallEngine::CUninstallEngine()
    : m_errorText(nullptr), m_configPath(nullptr), m_dialog(nullptr) {
    m_errorText = engine_support::CopyText("unknown error");
}

CUninstallEngine::~CUninstallEngine() {
    free(m_configPath);
    m_configPath = nullptr;
    free(m_errorText);
    m_errorText = nullptr;
}

const char* CUninstallEngine::SetErrorText(const char* text) {
    free(m_errorText);
    m_errorText = text ? engine_support::CopyText(text) : nullptr;
    return m_errorText;
}

void CUninstallEngine::SetDialog(CUninstallDlg* dialog) {
    m_dialog = dialog;
}

bool CUninstallEngine::IsCancelled() const {
    return m_dialog && DialogState(m_dialog) == STATE_CANCELLED;
}
