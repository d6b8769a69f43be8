// Returning the Winsock 2 catalog to its base providers: every layered entry and protocol chain
// is taken out, whoever installed it.
#include "Zelm.h"

#include "helpers/protocol_catalog.h"
#include "trace/trace.h"

namespace {

// Passes allowed; a provider that cannot be removed is tried once in each of them.
const int kMaxPasses = 5;

// One pass over a fresh snapshot; true when it showed anything but base providers. A snapshot
// that could not be taken counts as clean.
bool RemoveLayeredEntries() {
    CProtocolCatalog catalog;
    int total = 0;
    int base = 0;
    if (catalog.Load()) {
        total = catalog.GetCount();
        for (int i = 0; i < total; ++i) {
            WSAPROTOCOL_INFOW* entry = catalog.GetEntry(i);
            if (entry->ProtocolChain.ChainLen == BASE_PROTOCOL) {
                ++base;
                continue;
            }
            // The snapshot is used to the end: a GUID already removed through an earlier entry
            // fails here, which is harmless.
            GUID provider = entry->ProviderId;
            int error = 0;
            WSCDeinstallProvider(&provider, &error);
        }
    }
    catalog.Free();
    return total != base;
}

} // namespace

DWORD CUninstallEngine::ResetLspStack() {
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        if (!RemoveLayeredEntries())
            break;
    }
    // A cancel is noticed only once the passes are over: the catalog is never left half done.
    DWORD result = IsCancelled() ? ERROR_CANCELLED : ERROR_SUCCESS;
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "%04d ResetLspStack\n", static_cast<int>(result));
    return result;
}
