// The Winsock catalog repair: snapshots of the catalog, layered entries and chains taken out pass
// by pass, at most five passes, and a cancel that waits for the passes to finish.
#include "runtime_fixture.h"

#include "helpers/protocol_catalog.h"
#include "sim/control_winsock.h"

#include <objbase.h>

#include <vector>

namespace {

const GUID kLayered = {
    0x1D2C3B4A, 0x5E6F, 0x4071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
const GUID kChains = {0x2E3D4C5B, 0x6F70, 0x4182, {0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9, 0x0A}};

using Guids = std::vector<GUID>;

class WinsockResetTest : public runtimetest::RuntimeTest {
protected:
    static bool OnlyBaseProviders() {
        for (const WSAPROTOCOL_INFOW& entry : sim::CatalogEntries())
            if (entry.ProtocolChain.ChainLen != BASE_PROTOCOL)
                return false;
        return true;
    }
};

TEST_F(WinsockResetTest, ASnapshotHoldsTheWholeCatalogOrNothing) {
    sim::AddLayeredProvider(kLayered, 2);
    CProtocolCatalog catalog;
    ASSERT_TRUE(catalog.Load());
    std::vector<WSAPROTOCOL_INFOW> live = sim::CatalogEntries();
    ASSERT_EQ(catalog.GetCount(), static_cast<int>(live.size()));
    for (int i = 0; i < catalog.GetCount(); ++i)
        EXPECT_EQ(catalog.GetEntry(i)->dwCatalogEntryId, live[i].dwCatalogEntryId);

    sim::GrowCatalogBetweenCalls();
    EXPECT_FALSE(catalog.Load());
    EXPECT_EQ(catalog.m_count, 0);
    EXPECT_EQ(catalog.m_entries, nullptr);
    EXPECT_EQ(catalog.m_size, 0u);
}

TEST_F(WinsockResetTest, BaseProvidersOnlyTakeOnePass) {
    EXPECT_EQ(m_engine.ResetLspStack(), 0u);
    EXPECT_EQ(sim::CallCount("WSCEnumProtocols"), 2u); // one sizing and one reading call
    EXPECT_TRUE(sim::DeinstallRequests().empty());
    EXPECT_EQ(Log(), "0000 ResetLspStack\n");
}

TEST_F(WinsockResetTest, ALayeredProviderAndItsChainsGoInPassOne) {
    sim::AddLayeredProvider(kLayered, 2);

    EXPECT_EQ(m_engine.ResetLspStack(), 0u);
    // One request per entry of the first snapshot; the repeats fail and are ignored.
    EXPECT_EQ(sim::DeinstallRequests(), (Guids{kLayered, kLayered, kLayered}));
    EXPECT_EQ(sim::CallCount("WSCEnumProtocols"), 4u);
    EXPECT_TRUE(OnlyBaseProviders());
}

TEST_F(WinsockResetTest, EachGuidIsRemovedByTheEntryThatBearsIt) {
    DWORD layered = sim::AddLayeredProvider(kLayered);
    DWORD base = sim::CatalogEntries().front().dwCatalogEntryId;
    sim::AddProtocolChain(kChains, {layered, base});

    EXPECT_EQ(m_engine.ResetLspStack(), 0u);
    EXPECT_EQ(sim::DeinstallRequests(), (Guids{kLayered, kChains}));
    EXPECT_TRUE(OnlyBaseProviders());
}

TEST_F(WinsockResetTest, ARemovalThatAlwaysFailsIsTriedInExactlyFivePasses) {
    sim::AddLayeredProvider(kLayered);
    sim::FailProviderRemoval(kLayered);

    EXPECT_EQ(m_engine.ResetLspStack(), 0u);
    EXPECT_EQ(sim::DeinstallRequests(), Guids(5, kLayered));
    EXPECT_EQ(Log(), "0000 ResetLspStack\n");
}

TEST_F(WinsockResetTest, AFailedListingRemovesNothing) {
    sim::AddLayeredProvider(kLayered);
    sim::FailCatalogListing();

    EXPECT_EQ(m_engine.ResetLspStack(), 0u);
    EXPECT_EQ(sim::CallCount("WSCEnumProtocols"), 1u);
    EXPECT_TRUE(sim::DeinstallRequests().empty());
}

TEST_F(WinsockResetTest, ACancelIsReportedOnlyAfterTheRemovals) {
    sim::AddLayeredProvider(kLayered, 1);
    CancelNow();

    EXPECT_EQ(m_engine.ResetLspStack(), static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_TRUE(OnlyBaseProviders());
    EXPECT_EQ(StateReads(), 1);
    EXPECT_EQ(Log(), "1223 ResetLspStack\n");
}

} // namespace

namespace {

// 64-bit Windows keeps a second catalog for 32-bit programs.
class WinsockResetOn64BitTest : public WinsockResetTest {
protected:
    void SetUp() override {
        WinsockResetTest::SetUp();
        sim::SetWindows64(true);
        for (bool catalog32 : {false, true}) {
            sim::UseCatalog32(catalog32);
            sim::AddLayeredProvider(kLayered, 2);
        }
        sim::UseCatalog32(false);
    }
    static bool CatalogClean(bool catalog32) {
        sim::UseCatalog32(catalog32);
        bool clean = OnlyBaseProviders();
        sim::UseCatalog32(false);
        return clean;
    }
};

TEST_F(WinsockResetOn64BitTest, TheSixtyFourBitBuildRepairsBothCatalogs) {
    EXPECT_EQ(m_engine.ResetLspStack(), 0u);
    EXPECT_TRUE(CatalogClean(false));
    EXPECT_TRUE(CatalogClean(true));
    EXPECT_GT(sim::CallCount("WSCDeinstallProvider32"), 0u);
    EXPECT_EQ(Log(), "0000 ResetLspStack\n");
}

TEST_F(WinsockResetOn64BitTest, TheThirtyTwoBitBuildRepairsItsCatalogAndSaysTheOtherIsOutOfReach) {
    sim::SetProgram32Bit(true);
    EXPECT_EQ(m_engine.ResetLspStack(), 0u);
    EXPECT_TRUE(CatalogClean(true));
    EXPECT_FALSE(CatalogClean(false));
    EXPECT_EQ(Log(), "0050 ResetLspStack: 64-bit Winsock catalog not reached by the 32-bit build; "
                     "run the 64-bit build to repair it\n"
                     "0000 ResetLspStack\n");
}

} // namespace
