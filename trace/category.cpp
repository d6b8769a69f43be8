// The category under which the program traces: an empty name.
#include "trace.h"

const char* g_traceCategory = "";
