// The plan's observer for the protections' refusals (refusal_observer.h).
#include "refusal_observer.h"

#include "plan_observer.h"

namespace refusal_observer {

namespace {
// The plan step runs on one thread, and one at a time.
CPlanObserver* g_observer = nullptr;
} // namespace

Scope::Scope(CPlanObserver* observer) : m_saved(g_observer) {
    g_observer = observer;
}

Scope::~Scope() {
    g_observer = m_saved;
}

void Report(const char* kind, const char* text, const char* reason) {
    if (g_observer)
        g_observer->ItemRefused(kind, text, reason ? reason : "protected");
}

} // namespace refusal_observer
