// Simulated Winsock 2 protocol catalog: listing with the sizing call, removal by provider GUID.
#include "core.h"
#include "wow64_state.h"

#include "sim/control_winsock.h"

#include <objbase.h>
#include <ws2spi.h>

#include <cstring>
#include <cwchar>
#include <map>
#include <string>

namespace {

const GUID kTcpip = {0xE70F1AA0, 0xAB8B, 0x11CF, {0x8C, 0xA3, 0x00, 0x80, 0x5F, 0x48, 0xA1, 0x92}};
// The layered provider that appears when the catalog grows between a sizing call and a listing.
const GUID kLateProvider = {
    0x4B564C41, 0x7465, 0x4C53, {0x50, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};

struct Catalog {
    std::vector<WSAPROTOCOL_INFOW> entries;
    DWORD nextId = 1001;
    bool growOnSizing = false;
    std::vector<std::pair<GUID, int>> failingRemovals;
    std::vector<GUID> deinstallRequests;
    std::vector<std::pair<GUID, std::wstring>> paths;
};

WSAPROTOCOL_INFOW NewEntry(Catalog& catalog, const GUID& id, int chainLen, const wchar_t* name) {
    WSAPROTOCOL_INFOW entry;
    memset(&entry, 0, sizeof(entry));
    entry.ProviderId = id;
    entry.dwCatalogEntryId = catalog.nextId++;
    entry.ProtocolChain.ChainLen = chainLen;
    entry.iVersion = 2;
    entry.iAddressFamily = AF_INET;
    entry.iMaxSockAddr = 16;
    entry.iMinSockAddr = 16;
    wcsncpy(entry.szProtocol, name, WSAPROTOCOL_LEN);
    return entry;
}

DWORD AddBase(Catalog& catalog, const GUID& id, int family, int type, int protocol) {
    WSAPROTOCOL_INFOW entry = NewEntry(catalog, id, BASE_PROTOCOL, L"Base provider");
    entry.iAddressFamily = family;
    entry.iSocketType = type;
    entry.iProtocol = protocol;
    if (type == SOCK_STREAM) {
        entry.dwServiceFlags1 = XP1_GUARANTEED_DELIVERY | XP1_GUARANTEED_ORDER |
                                XP1_GRACEFUL_CLOSE | XP1_EXPEDITED_DATA | XP1_IFS_HANDLES;
        swprintf(entry.szProtocol, WSAPROTOCOL_LEN + 1, L"TCP/IP [TCP/IP]");
    } else {
        entry.dwServiceFlags1 = XP1_CONNECTIONLESS | XP1_MESSAGE_ORIENTED | XP1_SUPPORT_BROADCAST |
                                XP1_SUPPORT_MULTIPOINT | XP1_IFS_HANDLES;
        swprintf(entry.szProtocol, WSAPROTOCOL_LEN + 1,
                 type == SOCK_DGRAM ? L"TCP/IP [UDP/IP]" : L"TCP/IP [RAW/IP]");
    }
    entry.dwMessageSize = type == SOCK_STREAM ? 0 : 65467;
    catalog.entries.push_back(entry);
    return entry.dwCatalogEntryId;
}

DWORD AddLayered(Catalog& catalog, const GUID& id) {
    WSAPROTOCOL_INFOW entry = NewEntry(catalog, id, LAYERED_PROTOCOL, L"Layered provider");
    catalog.entries.push_back(entry);
    return entry.dwCatalogEntryId;
}

DWORD AddChain(Catalog& catalog, const GUID& id, const std::vector<DWORD>& ids) {
    if (ids.size() < 2 || ids.size() > MAX_PROTOCOL_CHAIN)
        return 0;
    // A chain takes on the description of the base provider at its bottom.
    const WSAPROTOCOL_INFOW* bottom = nullptr;
    for (auto& entry : catalog.entries)
        if (entry.dwCatalogEntryId == ids.back())
            bottom = &entry;
    WSAPROTOCOL_INFOW chain = bottom ? *bottom : NewEntry(catalog, id, 0, L"");
    if (bottom)
        chain.dwCatalogEntryId = catalog.nextId++;
    chain.ProviderId = id;
    chain.ProtocolChain.ChainLen = static_cast<int>(ids.size());
    for (size_t i = 0; i < ids.size(); ++i)
        chain.ProtocolChain.ChainEntries[i] = ids[i];
    swprintf(chain.szProtocol, WSAPROTOCOL_LEN + 1, L"Layered chain %u", chain.dwCatalogEntryId);
    catalog.entries.push_back(chain);
    return chain.dwCatalogEntryId;
}

// A fresh machine's catalog: the TCP/IP base providers.
Catalog Fresh() {
    Catalog catalog;
    AddBase(catalog, kTcpip, AF_INET, SOCK_STREAM, IPPROTO_TCP);
    AddBase(catalog, kTcpip, AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    AddBase(catalog, kTcpip, AF_INET, SOCK_RAW, IPPROTO_IP);
    return catalog;
}

// A 64-bit machine keeps a second catalog for 32-bit programs; a 32-bit machine uses the first.
struct Catalogs {
    Catalog native = Fresh();
    Catalog wow = Fresh();
    bool control32 = false; // the controls act on the 32-bit catalog
};

Catalogs& All() {
    static Catalogs catalogs;
    return catalogs;
}

// The catalog the controls act on.
Catalog& State() {
    return All().control32 ? All().wow : All().native;
}

// The catalog a call reaches: the 32-bit one through the *32 calls, and for a 32-bit program on a
// 64-bit machine through the plain ones.
Catalog& Reached(bool call32) {
    return call32 || simwow::RedirectedProgram() ? All().wow : All().native;
}

void ResetCatalog() {
    All() = Catalogs();
}

simcore::ResetHook hook(ResetCatalog);

bool Wanted(const WSAPROTOCOL_INFOW& entry, const INT* protocols) {
    if (!protocols)
        return true;
    for (const INT* p = protocols; *p; ++p)
        if (*p == entry.iProtocol)
            return true;
    return false;
}

int Error(LPINT error, int code) {
    if (error)
        *error = code;
    return SOCKET_ERROR;
}

} // namespace

namespace sim {

const GUID& BaseTcpipProvider() {
    return kTcpip;
}

DWORD AddBaseProvider(const GUID& id, int addressFamily, int socketType, int protocol) {
    simcore::Guard guard(simcore::MachineLock());
    return AddBase(State(), id, addressFamily, socketType, protocol);
}

DWORD AddLayeredProvider(const GUID& id, int chains) {
    simcore::Guard guard(simcore::MachineLock());
    std::vector<DWORD> bases;
    for (auto& entry : State().entries)
        if (entry.ProtocolChain.ChainLen == BASE_PROTOCOL)
            bases.push_back(entry.dwCatalogEntryId);
    DWORD layered = AddLayered(State(), id);
    for (int i = 0; i < chains && !bases.empty(); ++i)
        AddChain(State(), id, {layered, bases[static_cast<size_t>(i) % bases.size()]});
    return layered;
}

DWORD AddProtocolChain(const GUID& id, const std::vector<DWORD>& entries) {
    simcore::Guard guard(simcore::MachineLock());
    return AddChain(State(), id, entries);
}

std::vector<WSAPROTOCOL_INFOW> CatalogEntries() {
    simcore::Guard guard(simcore::MachineLock());
    return State().entries;
}

std::vector<GUID> DeinstallRequests() {
    simcore::Guard guard(simcore::MachineLock());
    return State().deinstallRequests;
}

void FailCatalogListing(int error, unsigned after, FaultMode mode) {
    InjectFault("WSCEnumProtocols", static_cast<DWORD>(error), after, mode);
}

void GrowCatalogBetweenCalls() {
    simcore::Guard guard(simcore::MachineLock());
    State().growOnSizing = true;
}

void SetProviderPath(const GUID& id, const wchar_t* path) {
    simcore::Guard guard(simcore::MachineLock());
    State().paths.push_back({id, path ? path : L""});
}

void UseCatalog32(bool on) {
    simcore::Guard guard(simcore::MachineLock());
    All().control32 = on;
}

void FailProviderRemoval(const GUID& id, int error) {
    simcore::Guard guard(simcore::MachineLock());
    State().failingRemovals.push_back({id, error});
}

} // namespace sim

namespace {

// Both listings and both deinstallations, called with the machine lock held.
int EnumCatalog(Catalog& catalog, LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD bufferLength,
                LPINT error) {
    if (!bufferLength)
        return Error(error, WSAEFAULT);
    std::vector<const WSAPROTOCOL_INFOW*> listed;
    for (auto& entry : catalog.entries)
        if (Wanted(entry, protocols))
            listed.push_back(&entry);
    DWORD needed = static_cast<DWORD>(listed.size() * sizeof(WSAPROTOCOL_INFOW));
    if (!buffer || *bufferLength < needed) {
        *bufferLength = needed;
        if (catalog.growOnSizing) {
            catalog.growOnSizing = false;
            AddLayered(catalog, kLateProvider);
        }
        return Error(error, WSAENOBUFS);
    }
    for (size_t i = 0; i < listed.size(); ++i)
        buffer[i] = *listed[i];
    return static_cast<int>(listed.size());
}

int DeinstallFrom(Catalog& catalog, LPGUID providerId, LPINT error) {
    if (!providerId)
        return Error(error, WSAEFAULT);
    catalog.deinstallRequests.push_back(*providerId);
    for (auto& failing : catalog.failingRemovals)
        if (failing.first == *providerId)
            return Error(error, failing.second);
    size_t before = catalog.entries.size();
    for (auto it = catalog.entries.begin(); it != catalog.entries.end();)
        it = it->ProviderId == *providerId ? catalog.entries.erase(it) : it + 1;
    if (catalog.entries.size() == before)
        return Error(error, WSAEINVAL);
    if (error)
        *error = 0;
    return 0;
}

} // namespace

int WINAPI WSCGetProviderPath(LPGUID providerId, WCHAR* path, LPINT length, LPINT error) {
    SIM_API_ENTRY(fault, Error(error, static_cast<int>(fault)));
    if (!providerId || !length)
        return Error(error, WSAEFAULT);
    const Catalog& catalog = Reached(false);
    const WSAPROTOCOL_INFOW* held = nullptr;
    for (const auto& entry : catalog.entries)
        if (entry.ProviderId == *providerId)
            held = &entry;
    if (!held)
        return Error(error, WSAEINVAL);
    std::wstring stored = held->ProtocolChain.ChainLen == BASE_PROTOCOL
                              ? L"%SystemRoot%\\system32\\mswsock.dll"
                              : L"%SystemRoot%\\system32\\lsp.dll";
    for (const auto& known : catalog.paths)
        if (known.first == *providerId)
            stored = known.second;
    int needed = static_cast<int>(stored.size()) + 1;
    if (!path || *length < needed) {
        *length = needed;
        return Error(error, WSAEFAULT);
    }
    wcscpy(path, stored.c_str());
    *length = needed;
    if (error)
        *error = 0;
    return 0;
}

namespace {

// The *32 calls exist for a 64-bit program on a 64-bit machine only.
bool Reaches32BitCatalog(LPINT error) {
    simcore::Guard guard(simcore::MachineLock());
    if (simwow::Windows64() && !simwow::RedirectedProgram())
        return true;
    Error(error, WSAEINVAL);
    return false;
}

} // namespace

int WINAPI WSCEnumProtocols(LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD bufferLength,
                            LPINT error) {
    SIM_API_ENTRY(fault, Error(error, static_cast<int>(fault)));
    return EnumCatalog(Reached(false), protocols, buffer, bufferLength, error);
}

int WINAPI WSCDeinstallProvider(LPGUID providerId, LPINT error) {
    SIM_API_ENTRY(fault, Error(error, static_cast<int>(fault)));
    return DeinstallFrom(Reached(false), providerId, error);
}

int WINAPI WSCEnumProtocols32(LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD bufferLength,
                              LPINT error) {
    simcore::Guard guard(simcore::MachineLock());
    if (!Reaches32BitCatalog(error))
        return SOCKET_ERROR;
    SIM_API_FAULT(fault, Error(error, static_cast<int>(fault)));
    return EnumCatalog(Reached(true), protocols, buffer, bufferLength, error);
}

int WINAPI WSCDeinstallProvider32(LPGUID providerId, LPINT error) {
    simcore::Guard guard(simcore::MachineLock());
    if (!Reaches32BitCatalog(error))
        return SOCKET_ERROR;
    SIM_API_FAULT(fault, Error(error, static_cast<int>(fault)));
    return DeinstallFrom(Reached(true), providerId, error);
}
