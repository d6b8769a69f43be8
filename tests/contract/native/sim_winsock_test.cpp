// The simulated Winsock catalog beyond what Wine can show: layered entries and chains, removal by
// GUID, and the listing and removal faults.
#include "contract.h"

#include "sim/sim.h"

#include <objbase.h>
#include <ws2spi.h>

#include <vector>

namespace {

const GUID kLayered = {0x4B564C53, 0x0001, 0x0000, {0, 0, 0, 0, 0, 0, 0, 1}};
const GUID kChains = {0x4B564C53, 0x0002, 0x0000, {0, 0, 0, 0, 0, 0, 0, 2}};

// Sizing call and listing, as the program makes them; count or SOCKET_ERROR, error in *error.
int List(std::vector<WSAPROTOCOL_INFOW>* entries, int* error) {
    DWORD length = 0;
    if (WSCEnumProtocols(nullptr, nullptr, &length, error) != SOCKET_ERROR)
        return 0;
    if (*error != WSAENOBUFS)
        return SOCKET_ERROR;
    entries->resize(length / sizeof(WSAPROTOCOL_INFOW));
    return WSCEnumProtocols(nullptr, entries->data(), &length, error);
}

int CountOf(const GUID& id) {
    int count = 0;
    for (auto& entry : sim::CatalogEntries())
        count += entry.ProviderId == id ? 1 : 0;
    return count;
}

} // namespace

using SimWinsock = contract::Test;

TEST_F(SimWinsock, FreshCatalogHoldsTheTcpipBaseProviders) {
    std::vector<WSAPROTOCOL_INFOW> entries = sim::CatalogEntries();
    ASSERT_EQ(3u, entries.size());
    for (auto& entry : entries) {
        EXPECT_EQ(BASE_PROTOCOL, entry.ProtocolChain.ChainLen);
        EXPECT_TRUE(entry.ProviderId == sim::BaseTcpipProvider());
    }
}

TEST_F(SimWinsock, LayeredProviderBringsItsEntryAndChainsOverBaseEntries) {
    DWORD layered = sim::AddLayeredProvider(kLayered, 2);
    std::vector<WSAPROTOCOL_INFOW> entries;
    int error = 0;
    ASSERT_EQ(6, List(&entries, &error));
    EXPECT_EQ(layered, entries[3].dwCatalogEntryId);
    EXPECT_EQ(LAYERED_PROTOCOL, entries[3].ProtocolChain.ChainLen);
    for (size_t i = 4; i < 6; ++i) {
        EXPECT_EQ(2, entries[i].ProtocolChain.ChainLen);
        EXPECT_EQ(layered, entries[i].ProtocolChain.ChainEntries[0]);
        EXPECT_EQ(entries[i - 4].dwCatalogEntryId, entries[i].ProtocolChain.ChainEntries[1]);
        EXPECT_TRUE(entries[i].ProviderId == kLayered);
    }
}

TEST_F(SimWinsock, RemovalTakesEveryEntryOfTheGuidAndARepeatFails) {
    sim::AddLayeredProvider(kLayered, 3);
    GUID id = kLayered;
    int error = -1;
    EXPECT_EQ(0, WSCDeinstallProvider(&id, &error));
    EXPECT_EQ(0, CountOf(kLayered));
    EXPECT_EQ(3u, sim::CatalogEntries().size());
    EXPECT_EQ(SOCKET_ERROR, WSCDeinstallProvider(&id, &error));
    EXPECT_EQ(WSAEINVAL, error);
    ASSERT_EQ(2u, sim::DeinstallRequests().size());
    EXPECT_TRUE(sim::DeinstallRequests()[1] == kLayered);
}

TEST_F(SimWinsock, ChainsUnderAnotherGuidOutliveTheLayeredEntry) {
    DWORD layered = sim::AddLayeredProvider(kLayered);
    DWORD base = sim::CatalogEntries()[0].dwCatalogEntryId;
    EXPECT_NE(0u, sim::AddProtocolChain(kChains, {layered, base}));
    EXPECT_EQ(0u, sim::AddProtocolChain(kChains, {layered}));
    GUID id = kLayered;
    int error = 0;
    EXPECT_EQ(0, WSCDeinstallProvider(&id, &error));
    EXPECT_EQ(1, CountOf(kChains));
}

TEST_F(SimWinsock, ListingFailsOnRequestAtEitherCall) {
    std::vector<WSAPROTOCOL_INFOW> entries;
    int error = 0;
    sim::FailCatalogListing(WSANO_RECOVERY, 0, sim::Once);
    EXPECT_EQ(SOCKET_ERROR, List(&entries, &error));
    EXPECT_EQ(WSANO_RECOVERY, error);

    sim::FailCatalogListing(WSAEFAULT, 1, sim::Once);
    EXPECT_EQ(SOCKET_ERROR, List(&entries, &error));
    EXPECT_EQ(WSAEFAULT, error);
    EXPECT_EQ(3, List(&entries, &error));
}

TEST_F(SimWinsock, CatalogThatGrowsBetweenTheCallsFailsTheListing) {
    sim::GrowCatalogBetweenCalls();
    std::vector<WSAPROTOCOL_INFOW> entries;
    int error = 0;
    DWORD length = 0;
    EXPECT_EQ(SOCKET_ERROR, WSCEnumProtocols(nullptr, nullptr, &length, &error));
    EXPECT_EQ(3 * sizeof(WSAPROTOCOL_INFOW), length);
    entries.resize(3);
    EXPECT_EQ(SOCKET_ERROR, WSCEnumProtocols(nullptr, entries.data(), &length, &error));
    EXPECT_EQ(WSAENOBUFS, error);
    EXPECT_EQ(4 * sizeof(WSAPROTOCOL_INFOW), length);
    // It grew once: the next listing at the new size works.
    EXPECT_EQ(4, List(&entries, &error));
}

TEST_F(SimWinsock, RemovalRefusedOnRequestLeavesTheEntries) {
    sim::AddLayeredProvider(kLayered, 1);
    sim::FailProviderRemoval(kLayered);
    GUID id = kLayered;
    for (int pass = 0; pass < 2; ++pass) {
        int error = 0;
        EXPECT_EQ(SOCKET_ERROR, WSCDeinstallProvider(&id, &error));
        EXPECT_EQ(WSANO_RECOVERY, error);
    }
    EXPECT_EQ(2, CountOf(kLayered));
}
