// Returning the Winsock 2 catalog to its base providers: every layered entry and protocol chain
// is taken out, whoever installed it, and each removal is logged with what the catalog says of
// the provider. The step fails when the catalog cannot be listed or still holds such entries after
// the last pass: a provider left registered while its library is deleted at the restart would
// break the network.
#include "Zelm.h"

#include "helpers/owned.h"
#include "helpers/protocol_catalog.h"
#include "platform/os/wow64.h"
#include "trace/trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Removal passes allowed; a provider that cannot be removed is tried once in each of them. One
// more listing after the last pass tells whether the catalog is clean.
const int kMaxPasses = 5;

// Texts of a provider for its log line: "{GUID}" and the ANSI forms of the entry's name and of
// the library path the catalog holds for it (as stored, variables unexpanded).
struct ProviderTexts {
    char guid[40];
    char name[WSAPROTOCOL_LEN + 1];
    char path[MAX_PATH];
};

// A wide text in the ANSI code page; an empty text when it cannot be converted whole.
void ToAnsi(const WCHAR* text, char* out, int size) {
    out[0] = '\0';
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, out, size, nullptr, nullptr) == 0)
        out[0] = '\0';
    out[size - 1] = '\0';
}

void DescribeProvider(const WSAPROTOCOL_INFOW& entry, ProviderTexts* texts) {
    const GUID& id = entry.ProviderId;
    snprintf(texts->guid, sizeof(texts->guid),
             "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1],
             id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
    WCHAR name[WSAPROTOCOL_LEN + 1];
    memcpy(name, entry.szProtocol, sizeof(name));
    name[WSAPROTOCOL_LEN] = 0;
    ToAnsi(name, texts->name, sizeof(texts->name));
    WCHAR path[MAX_PATH];
    int length = MAX_PATH;
    int error = 0;
    GUID provider = entry.ProviderId;
    path[0] = 0;
    if (WSCGetProviderPath(&provider, path, &length, &error) != 0)
        path[0] = 0;
    path[MAX_PATH - 1] = 0;
    ToAnsi(path, texts->path, sizeof(texts->path));
}

bool SameGuid(const GUID& a, const GUID& b) {
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}

// One removal pass over a fresh snapshot. Each layered entry and chain is removed by its GUID;
// the snapshot is used to the end, so a GUID that bears several entries is asked for once per
// entry, and the repeats of a GUID removed already in this pass are not logged (their entries
// went with it). A failed removal is logged and kept in *failure (the first one of the pass).
void RemovePass(const CProtocolCatalog& catalog, bool catalog32, DWORD* failure) {
    const int count = catalog.GetCount();
    // 1 for a removed GUID, 2 for a failed one, per entry of the snapshot.
    HeapText outcomes(static_cast<char*>(calloc(static_cast<size_t>(count) + 1, 1)));
    char* outcome = outcomes.get();
    for (int i = 0; i < count; ++i) {
        const WSAPROTOCOL_INFOW& entry = *catalog.GetEntry(i);
        if (entry.ProtocolChain.ChainLen == BASE_PROTOCOL)
            continue;
        char earlier = 0;
        for (int j = 0; j < i && outcome; ++j)
            if (outcome[j] && SameGuid(catalog.GetEntry(j)->ProviderId, entry.ProviderId))
                earlier = outcome[j] > earlier ? outcome[j] : earlier;
        // The library path is asked for while the provider is still in the catalog.
        ProviderTexts texts;
        DescribeProvider(entry, &texts);
        GUID provider = entry.ProviderId;
        int error = 0;
        bool removed = (catalog32 ? wow64::DeinstallProvider32(&provider, &error)
                                  : WSCDeinstallProvider(&provider, &error)) == 0;
        if (outcome)
            outcome[i] = removed ? 1 : 2;
        // Logged: every removal, and a failure unless its GUID was seen already in this pass.
        if ((removed && earlier != 1) || (!removed && earlier == 0)) {
            DWORD result = removed ? ERROR_SUCCESS : static_cast<DWORD>(error ? error : WSAEINVAL);
            LogStepLine("%04d DeinstallProvider: %s, %s, %s\n", static_cast<int>(result),
                        texts.name, texts.guid, texts.path);
            if (!removed && !*failure)
                *failure = result;
        }
    }
}

// True when the snapshot holds anything but base providers.
bool HasLayeredEntries(const CProtocolCatalog& catalog) {
    for (int i = 0; i < catalog.GetCount(); ++i)
        if (catalog.GetEntry(i)->ProtocolChain.ChainLen != BASE_PROTOCOL)
            return true;
    return false;
}

// Passes over one catalog (the program's own, or the 32-bit one of 64-bit Windows) until a pass
// finds only base providers, at most kMaxPasses; then one more listing. The catalog's listing
// error, or the first removal error when layered entries or chains remain (1003 without one).
DWORD RepairCatalog(bool catalog32) {
    DWORD removalFailure = ERROR_SUCCESS;
    for (int pass = 0;; ++pass) {
        CProtocolCatalog catalog;
        if (!catalog.Load(catalog32)) {
            // Nothing can be said of a catalog that cannot be listed.
            return catalog.m_error ? catalog.m_error : ERROR_CAN_NOT_COMPLETE;
        }
        if (!HasLayeredEntries(catalog))
            return ERROR_SUCCESS;
        if (pass == kMaxPasses) {
            // Still there after the last pass: the error of a failed removal, if one was seen.
            return removalFailure ? removalFailure : ERROR_CAN_NOT_COMPLETE;
        }
        RemovePass(catalog, catalog32, &removalFailure);
    }
}

} // namespace

DWORD CUninstallEngine::ResetLspStack() {
    DWORD result = RepairCatalog(false);
    // 64-bit Windows keeps a second catalog for 32-bit programs. The 64-bit build repairs it as
    // well; the 32-bit build sees only that one and cannot reach the 64-bit catalog, and says so.
    if (wow64::HasSecondCatalog()) {
        DWORD second = RepairCatalog(true);
        if (result == ERROR_SUCCESS)
            result = second;
    } else if (wow64::IsRedirectedProgram()) {
        TraceWrite(g_traceCategory, 0xFFFFFFFF, 0,
                   "%04d ResetLspStack: 64-bit Winsock catalog not reached by the 32-bit build; "
                   "run the 64-bit build to repair it\n",
                   static_cast<int>(ERROR_NOT_SUPPORTED));
    }
    // A cancel is noticed only once the passes are over: the catalog is never left half done.
    // A catalog that is not clean is the outcome to report first.
    if (result == ERROR_SUCCESS && IsCancelled())
        result = ERROR_CANCELLED;
    LogStepLine("%04d ResetLspStack\n", static_cast<int>(result));
    return result;
}
