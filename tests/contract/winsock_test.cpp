// Winsock 2 catalog behaviour the program relies on: the sizing call, the listing, the entry
// forms, and the refusal to remove a provider that is not installed.
#include "contract.h"

#include <winsock2.h>
#include <ws2spi.h>

#include <vector>

namespace {

// The whole catalog through the sizing call and one listing; empty on any failure.
std::vector<WSAPROTOCOL_INFOW> Catalog() {
    DWORD length = 0;
    int error = 0;
    if (WSCEnumProtocols(nullptr, nullptr, &length, &error) != SOCKET_ERROR || error != WSAENOBUFS)
        return {};
    std::vector<WSAPROTOCOL_INFOW> entries(length / sizeof(WSAPROTOCOL_INFOW));
    int count = WSCEnumProtocols(nullptr, entries.data(), &length, &error);
    if (count == SOCKET_ERROR)
        return {};
    entries.resize(static_cast<size_t>(count));
    return entries;
}

} // namespace

using WinsockContract = contract::Test;

TEST_F(WinsockContract, SizingCallReportsTheLengthOfWholeEntries) {
    DWORD length = 0;
    int error = 0;
    EXPECT_EQ(SOCKET_ERROR, WSCEnumProtocols(nullptr, nullptr, &length, &error));
    EXPECT_EQ(WSAENOBUFS, error);
    EXPECT_GT(length, 0u);
    EXPECT_EQ(0u, length % sizeof(WSAPROTOCOL_INFOW));
}

TEST_F(WinsockContract, ListingReturnsTheCountAndHoldsBaseProviders) {
    DWORD length = 0;
    int error = 0;
    ASSERT_EQ(SOCKET_ERROR, WSCEnumProtocols(nullptr, nullptr, &length, &error));
    std::vector<WSAPROTOCOL_INFOW> entries(length / sizeof(WSAPROTOCOL_INFOW));
    DWORD offered = length;
    int count = WSCEnumProtocols(nullptr, entries.data(), &length, &error);
    ASSERT_NE(SOCKET_ERROR, count) << error;
    EXPECT_EQ(offered / sizeof(WSAPROTOCOL_INFOW), static_cast<size_t>(count));

    bool tcp = false;
    for (int i = 0; i < count; ++i) {
        const WSAPROTOCOL_INFOW& entry = entries[static_cast<size_t>(i)];
        EXPECT_GE(entry.ProtocolChain.ChainLen, 0);
        EXPECT_LE(entry.ProtocolChain.ChainLen, MAX_PROTOCOL_CHAIN);
        if (entry.ProtocolChain.ChainLen != BASE_PROTOCOL)
            continue;
        tcp = tcp || (entry.iAddressFamily == AF_INET && entry.iSocketType == SOCK_STREAM &&
                      entry.iProtocol == IPPROTO_TCP);
    }
    EXPECT_TRUE(tcp);
}

TEST_F(WinsockContract, BufferForOneEntryIsTooSmallForTheCatalog) {
    std::vector<WSAPROTOCOL_INFOW> all = Catalog();
    ASSERT_GE(all.size(), 2u);
    WSAPROTOCOL_INFOW one;
    DWORD length = sizeof(one);
    int error = 0;
    EXPECT_EQ(SOCKET_ERROR, WSCEnumProtocols(nullptr, &one, &length, &error));
    EXPECT_EQ(WSAENOBUFS, error);
    EXPECT_EQ(all.size() * sizeof(WSAPROTOCOL_INFOW), length);
}

TEST_F(WinsockContract, RemovingAProviderThatIsNotInstalledFails) {
    GUID unknown = {0x4B564E4F, 0x5355, 0x4348, {0x50, 0x52, 0x4F, 0x56, 0x49, 0x44, 0x45, 0x52}};
    size_t before = Catalog().size();
    int error = 0;
    int result = WSCDeinstallProvider(&unknown, &error);
    if (KV_WINE_DIFFERS("Wine's provider removal is a stub that reports success")) {
        EXPECT_EQ(0, result);
    } else {
        EXPECT_EQ(SOCKET_ERROR, result);
        EXPECT_EQ(WSAEINVAL, error);
    }
    EXPECT_EQ(before, Catalog().size());
}
