// The plan's observer as the protections reach it: while the plan step runs, every refusal they
// log is also reported to the engine's observer, when one is set. Internal to the engine.
#pragma once

class CPlanObserver;

namespace refusal_observer {

// Sets the observer for the life of the scope (PopulateRemoveLists); null reports nothing.
class Scope {
public:
    explicit Scope(CPlanObserver* observer);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    CPlanObserver* m_saved;
};

// `kind`: "path", "key", "value" or "service", as the log's refusal lines name them.
void Report(const char* kind, const char* text, const char* reason);

} // namespace refusal_observer
