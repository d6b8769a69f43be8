// Test-only access to the trace facility: returning it to the state of a freshly started process.
#pragma once

// Closes the log and settings streams, deletes the lock and restores every option, list, flag,
// counter and buffer to its initial value. Not used by the program.
void TraceResetForTests();
