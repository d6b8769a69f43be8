// The program's three static objects, in one translation unit so that they are constructed in
// this order (application, engine with the worker record, trace scope) and destroyed in reverse:
// the trace scope flushes and closes the log before the engine goes.
#include "Kelvane.h"
#include "KelvaneDlg.h"

#include "trace/trace.h"

CUninstallApp theApp;
CUninstallEngine g_engine;
WorkerContext g_workerContext = {nullptr, nullptr, 0, &g_engine};
TraceScope g_traceProcessScope(g_traceCategory, "*\n");
