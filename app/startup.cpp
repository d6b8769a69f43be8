// The program's start-up: the DLL search restricted first, then the three static objects, in one
// translation unit so that they are constructed in this order (application, engine with the worker
// record, trace scope) and destroyed in reverse: the trace scope flushes and closes the log before
// the engine goes.
#include "Kelvane.h"
#include "KelvaneDlg.h"

#include "platform/os/dll_search.h"
#include "trace/trace.h"

// Runs before every static object of the program (priority 101 is the first one open to
// programs; the C runtime's own start-up is done by then): the DLL search is restricted before
// any constructor, or anything a constructor starts, can load a DLL by name from the program's
// folder.
__attribute__((constructor(101))) static void RestrictDllSearchFirst() {
    RestrictDllSearchPath();
}

CUninstallApp theApp;
CUninstallEngine g_engine;
WorkerContext g_workerContext = {nullptr, nullptr, 0, &g_engine};
TraceScope g_traceProcessScope(g_traceCategory, "*\n");
