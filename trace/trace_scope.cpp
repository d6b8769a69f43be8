// Trace scopes: the outermost brackets the facility's life; inner ones frame and indent output.
#include "trace_state.h"

TraceScope::TraceScope(const char* category, const char* name)
    : m_name(nullptr), m_savedSwitch(0), m_category(category) {
    if (g_traceState.scopeDepth == 0)
        TraceInitLock();
    if (g_traceState.scopeDepth != 0) {
        // A null name is kept as an empty one so that the closing line and the indent still
        // balance the opening.
        m_name = name ? name : "";
        TraceWrite(m_category, 4, 0, "{ %s", m_name);
        g_traceState.indent += TRACE_INDENT_STEP;
        m_savedSwitch = g_traceState.masterSwitch;
    }
    ++g_traceState.scopeDepth;
}

TraceScope::~TraceScope() {
    // The outermost scope saved 0: its end switches all output off before the shutdown.
    g_traceState.masterSwitch = m_savedSwitch;
    if (m_name) {
        g_traceState.indent -= TRACE_INDENT_STEP;
        TraceWrite(m_category, 4, 0, "} %s", m_name);
        m_name = nullptr;
    }
    if (--g_traceState.scopeDepth == 0)
        TraceShutdown();
}
