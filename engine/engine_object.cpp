// The engine object's life: its sets, the error text, the dialog link and the cancel test.
#include "Zelm.h"

#include "engine_support.h"
#include "plan_observer.h"

#include <cstdlib>
#include <cstring>

CUninstallEngine::CUninstallEngine()
    : m_errorText(nullptr), m_configPath(nullptr), m_dialog(nullptr), m_observer(nullptr),
      m_stateReader(nullptr), m_configPathGiven(false), m_planIncomplete(false) {
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

void CUninstallEngine::SetDialog(CUninstallDlg* dialog, const std::atomic<int>* state) {
    m_dialog = dialog;
    m_dialogState.Watch(state);
    m_stateReader = &m_dialogState;
}

bool CUninstallEngine::IsCancelled() const {
    return m_stateReader && m_stateReader->ReadState() == STATE_CANCELLED;
}

bool CUninstallEngine::SetConfigPath(const char* path) {
    char* copy = path ? engine_support::CopyText(path) : nullptr;
    if (!copy)
        return false;
    free(m_configPath);
    m_configPath = copy;
    m_configPathGiven = true;
    return true;
}

DWORD CUninstallEngine::AddToPlan(TSet& plan, const char* item) {
    DWORD result = plan.Add(item);
    // A set refuses a (non-null) item only when it has no memory left for it.
    if (result != 0 && item)
        m_planIncomplete = true;
    if (m_observer && result == 0)
        m_observer->ItemPlanned(plan, item);
    return result;
}
