// Controls of the simulated Winsock 2 catalog: base providers, layered entries, chains, faults.
#pragma once

#include <winsock2.h>

#include "sim/control_core.h"

#include <vector>

namespace sim {

// The provider GUID of the base TCP/IP entries a fresh machine holds (TCP, UDP and raw IPv4).
const GUID& BaseTcpipProvider();

// Appends a base provider entry (ChainLen 1) and returns its catalog entry id.
DWORD AddBaseProvider(const GUID& id, int addressFamily = AF_INET, int socketType = SOCK_STREAM,
                      int protocol = IPPROTO_TCP);
// Appends a layered provider's own entry (ChainLen 0) and `chains` protocol chains under the same
// GUID, chain i stacked over the i-th base entry (cycling); returns the layered entry's id.
DWORD AddLayeredProvider(const GUID& id, int chains = 0);
// Appends one protocol chain under `id` with the given catalog ids, top first (2 to 7 of them);
// returns its catalog entry id, or 0 when the chain length is out of range.
DWORD AddProtocolChain(const GUID& id, const std::vector<DWORD>& entries);

// The library path WSCGetProviderPath reports for a GUID. Without one, base providers report
// "%SystemRoot%\system32\mswsock.dll" and every other GUID "%SystemRoot%\system32\lsp.dll".
void SetProviderPath(const GUID& id, const wchar_t* path);

// The catalog as WSCEnumProtocols lists it.
std::vector<WSAPROTOCOL_INFOW> CatalogEntries();
// Every GUID passed to WSCDeinstallProvider, in order, whether the removal worked or not.
std::vector<GUID> DeinstallRequests();

// WSCEnumProtocols fails with `error` after `after` calls that work (the sizing call counts).
void FailCatalogListing(int error = WSANO_RECOVERY, unsigned after = 0, FaultMode mode = Always);
// The next sizing call reports the needed length, then the catalog gains a layered entry, so the
// listing that follows with that length fails with WSAENOBUFS.
void GrowCatalogBetweenCalls();
// On a 64-bit machine, the controls above and below act on the 32-bit catalog (the one that
// WSCEnumProtocols32 lists and a 32-bit program's WSCEnumProtocols sees) while `on`; off after a
// reset.
void UseCatalog32(bool on);
// WSCDeinstallProvider of that GUID always fails with `error`, leaving its entries in place.
void FailProviderRemoval(const GUID& id, int error = WSANO_RECOVERY);

} // namespace sim
