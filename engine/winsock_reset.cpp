// Returning the Winsock 2 catalog to its base providers: every layered entry and protocol chain
// is taken out, whoever installed it.
#include "Zelm.h"

#include "helpers/protocol_catalog.h"
#include "platform/os/wow64.h"
#include "trace/trace.h"

namespace {

// Passes allowed; a provider that cannot be removed is tried once in each of them.
const int kMaxPasses = 5;

// One pass over a fresh snapshot of the program's catalog, or of the 32-bit one of 64-bit
// Windows; true when it showed anything but base providers. A snapshot that could not be taken
// counts as clean.
bool RemoveLayeredEntries(bool catalog32) {
    CProtocolCatalog catalog;
    int total = 0;
    int base = 0;
    if (catalog.Load(catalog32)) {
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
            if (catalog32)
                wow64::DeinstallProvider32(&provider, &error);
            else
                WSCDeinstallProvider(&provider, &error);
        }
    }
    catalog.Free();
    return total != base;
}

// Passes over one catalog until a pass finds only base providers, at most kMaxPasses.
void RepairCatalog(bool catalog32) {
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        if (!RemoveLayeredEntries(catalog32))
            break;
    }
}

} // namespace

DWORD CUninstallEngine::ResetLspStack() {
    RepairCatalog(false);
    // 64-bit Windows keeps a second catalog for 32-bit programs. The 64-bit build repairs it as
    // well; the 32-bit build sees only that one and cannot reach the 64-bit catalog, and says so.
    if (wow64::HasSecondCatalog())
        RepairCatalog(true);
    else if (wow64::IsRedirectedProgram()) {
        TraceWrite(g_traceCategory, 0xFFFFFFFF, 0,
                   "%04d ResetLspStack: 64-bit Winsock catalog not reached by the 32-bit build; "
                   "run the 64-bit build to repair it\n",
                   static_cast<int>(ERROR_NOT_SUPPORTED));
    }
    // A cancel is noticed only once the passes are over: the catalog is never left half done.
    DWORD result = IsCancelled() ? ERROR_CANCELLED : ERROR_SUCCESS;
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "%04d ResetLspStack\n", static_cast<int>(result));
    return result;
}
