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

// The log text of the two providers: "{GUID}" as the catalog's GUID reads.
const char kLayeredText[] = "{1D2C3B4A-5E6F-4071-8293-A4B5C6D7E8F9}";
const char kChainsText[] = "{2E3D4C5B-6F70-4182-93A4-B5C6D7E8F90A}";

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
    sim::SetProviderPath(kLayered, L"%ProgramFiles%\\Example Suite\\exlsp.dll");

    EXPECT_EQ(m_engine.ResetLspStack(), 0u);
    // One request per entry of the first snapshot; the repeats fail and are ignored, and only
    // the removal itself is logged, with what the catalog says of the provider.
    EXPECT_EQ(sim::DeinstallRequests(), (Guids{kLayered, kLayered, kLayered}));
    EXPECT_EQ(sim::CallCount("WSCEnumProtocols"), 4u);
    EXPECT_TRUE(OnlyBaseProviders());
    EXPECT_EQ(Log(), std::string("0000 DeinstallProvider: Layered provider, ") + kLayeredText +
                         ", %ProgramFiles%\\Example Suite\\exlsp.dll\n"
                         "0000 ResetLspStack\n");
}

TEST_F(WinsockResetTest, EachGuidIsRemovedByTheEntryThatBearsIt) {
    DWORD layered = sim::AddLayeredProvider(kLayered);
    DWORD base = sim::CatalogEntries().front().dwCatalogEntryId;
    DWORD chainId = sim::AddProtocolChain(kChains, {layered, base});

    EXPECT_EQ(m_engine.ResetLspStack(), 0u);
    EXPECT_EQ(sim::DeinstallRequests(), (Guids{kLayered, kChains}));
    EXPECT_TRUE(OnlyBaseProviders());
    std::string chain = "Layered chain " + std::to_string(chainId);
    EXPECT_EQ(Log(), std::string("0000 DeinstallProvider: Layered provider, ") + kLayeredText +
                         ", %SystemRoot%\\system32\\lsp.dll\n"
                         "0000 DeinstallProvider: " +
                         chain + ", " + kChainsText +
                         ", %SystemRoot%\\system32\\lsp.dll\n"
                         "0000 ResetLspStack\n");
}

// A provider that stays registered while its library goes at the restart would break the
// network: the step fails, and a cancel does not hide that.
TEST_F(WinsockResetTest, ARemovalThatAlwaysFailsIsTriedInExactlyFivePassesAndFailsTheStep) {
    sim::AddLayeredProvider(kLayered, 1);
    sim::FailProviderRemoval(kLayered, WSAEACCES);
    CancelNow();

    EXPECT_EQ(m_engine.ResetLspStack(), static_cast<DWORD>(WSAEACCES));
    EXPECT_EQ(sim::DeinstallRequests(), Guids(10, kLayered));
    std::string line = std::string("10013 DeinstallProvider: Layered provider, ") + kLayeredText +
                       ", %SystemRoot%\\system32\\lsp.dll\n";
    std::string log;
    for (int pass = 0; pass < 5; ++pass)
        log += line; // once per pass: the repeat for the chain is not logged again
    EXPECT_EQ(Log(), log + "10013 ResetLspStack\n");
}

TEST_F(WinsockResetTest, ACatalogThatCannotBeListedFailsTheStep) {
    sim::AddLayeredProvider(kLayered);
    sim::FailCatalogListing();

    EXPECT_EQ(m_engine.ResetLspStack(), static_cast<DWORD>(WSANO_RECOVERY));
    EXPECT_EQ(sim::CallCount("WSCEnumProtocols"), 1u);
    EXPECT_TRUE(sim::DeinstallRequests().empty());
    EXPECT_EQ(Log(), "11003 ResetLspStack\n");

    // Also after a pass that removed something: the outcome cannot be known.
    TraceResetForTests();
    sim::Reset();
    sim::AddLayeredProvider(kLayered);
    sim::FailCatalogListing(WSAEACCES, 2, sim::Once);
    EXPECT_EQ(m_engine.ResetLspStack(), static_cast<DWORD>(WSAEACCES));
    EXPECT_EQ(sim::DeinstallRequests(), Guids{kLayered});
}

TEST_F(WinsockResetTest, ACancelIsReportedOnlyAfterTheRemovals) {
    sim::AddLayeredProvider(kLayered, 1);
    CancelNow();

    EXPECT_EQ(m_engine.ResetLspStack(), static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_TRUE(OnlyBaseProviders());
    EXPECT_EQ(StateReads(), 1);
    EXPECT_EQ(Log(), std::string("0000 DeinstallProvider: Layered provider, ") + kLayeredText +
                         ", %SystemRoot%\\system32\\lsp.dll\n"
                         "1223 ResetLspStack\n");
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

const char kRemoval[] =
    "0000 DeinstallProvider: Layered provider, {1D2C3B4A-5E6F-4071-8293-A4B5C6D7E8F9}, ";

TEST_F(WinsockResetOn64BitTest, TheSixtyFourBitBuildRepairsBothCatalogs) {
    EXPECT_EQ(m_engine.ResetLspStack(), 0u);
    EXPECT_TRUE(CatalogClean(false));
    EXPECT_TRUE(CatalogClean(true));
    EXPECT_GT(sim::CallCount("WSCDeinstallProvider32"), 0u);
    // Each removal is logged; the 32-bit catalog's library path is not read through the 64-bit
    // catalog's call, so its line has none.
    EXPECT_EQ(Log(), std::string(kRemoval) + "%SystemRoot%\\system32\\lsp.dll\n" + kRemoval +
                         "\n0000 ResetLspStack\n");
}

TEST_F(WinsockResetOn64BitTest, TheThirtyTwoBitBuildRepairsItsCatalogAndSaysTheOtherIsOutOfReach) {
    sim::SetProgram32Bit(true);
    EXPECT_EQ(m_engine.ResetLspStack(), 0u);
    EXPECT_TRUE(CatalogClean(true));
    EXPECT_FALSE(CatalogClean(false));
    EXPECT_EQ(Log(), std::string(kRemoval) + "%SystemRoot%\\system32\\lsp.dll\n" +
                         "0050 ResetLspStack: 64-bit Winsock catalog not reached by the 32-bit "
                         "build; run the 64-bit build to repair it\n"
                         "0000 ResetLspStack\n");
}

} // namespace
