// The Security Center step: which systems have one, both instances deleted best effort, and COM
// and every object, string and reference it takes given back on every path.
#include "runtime_fixture.h"

#include "helpers/security_center.h"
#include "sim/control_wmi.h"

#include <string>
#include <vector>

namespace {

using Paths = std::vector<std::string>;

const char kNamespace[] = "root\\SecurityCenter";
const char kAntiVirus[] =
    "AntiVirusProduct.instanceGuid=\"{6F3C2A51-8D4E-4B7A-9C15-2E7B0D94A3F6}\"";
const char kFirewall[] = "FirewallProduct.instanceGuid=\"{A2D85E17-3B9C-4F60-8E21-7C4F19B05D8A}\"";
const char kOtherProduct[] =
    "AntiVirusProduct.instanceGuid=\"{00000000-1111-2222-3333-444444444444}\"";

sim::OsVersion Version(DWORD platform, DWORD major, DWORD minor, WORD servicePack) {
    sim::OsVersion version;
    version.platformId = platform;
    version.major = major;
    version.minor = minor;
    version.servicePackMajor = servicePack;
    return version;
}

class SecurityCenterTest : public runtimetest::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        sim::AddWmiInstance(kNamespace, kOtherProduct);
        sim::AddWmiInstance(kNamespace, kAntiVirus);
        sim::AddWmiInstance(kNamespace, kFirewall);
    }
    // Nothing the step took is left behind.
    static void ExpectEverythingGivenBack(int comInits = 0) {
        EXPECT_EQ(sim::ComInitCount(), comInits);
        EXPECT_EQ(sim::LiveComObjects(), 0);
        EXPECT_EQ(sim::LiveBstrs(), 0);
        EXPECT_EQ(sim::InvalidBstrFrees(), 0);
    }
};

TEST_F(SecurityCenterTest, XpSp2AndLaterLoseBothRegistrationsAndNothingElse) {
    for (const sim::OsVersion& version :
         {Version(VER_PLATFORM_WIN32_NT, 5, 1, 2), Version(VER_PLATFORM_WIN32_NT, 6, 1, 1)}) {
        sim::SetOsVersion(version);
        EXPECT_EQ(UnregisterSecurityCenter(), 0);
        EXPECT_EQ(sim::WmiInstances(kNamespace), Paths{kOtherProduct}) << version.major;
        ExpectEverythingGivenBack();

        sim::AddWmiInstance(kNamespace, kAntiVirus);
        sim::AddWmiInstance(kNamespace, kFirewall);
    }
}

TEST_F(SecurityCenterTest, OlderSystemsAndNineXAreLeftAlone) {
    sim::SetWindowsXp(1);
    EXPECT_EQ(UnregisterSecurityCenter(), static_cast<int>(ERROR_CAN_NOT_COMPLETE));
    sim::SetOsVersion(Version(VER_PLATFORM_WIN32_NT, 5, 0, 4));
    EXPECT_EQ(UnregisterSecurityCenter(), static_cast<int>(ERROR_CAN_NOT_COMPLETE));
    // A system that cannot describe its version is taken for one without a Security Center.
    sim::SetOsVersion(Version(VER_PLATFORM_WIN32_NT, 6, 1, 1));
    sim::SetVersionQueryFails(true);
    EXPECT_EQ(IsSecurityCenterUnavailable(), 1);
    sim::SetVersionQueryFails(false);
    sim::SetWindows98();
    EXPECT_EQ(UnregisterSecurityCenter(), 0);

    EXPECT_EQ(sim::CallCount("CoInitialize"), 0u);
    EXPECT_EQ(sim::WmiInstances(kNamespace), (Paths{kOtherProduct, kAntiVirus, kFirewall}));
}

TEST_F(SecurityCenterTest, AMissingFirewallInstanceDoesNotStopTheAntiVirusDeletion) {
    sim::RemoveNamespace(kNamespace);
    sim::AddWmiInstance(kNamespace, kAntiVirus);
    ASSERT_EQ(SecurityCenterInit(), 0u);
    EXPECT_EQ(DeleteFirewallProduct(), WBEM_E_NOT_FOUND);
    EXPECT_EQ(DeleteAntiVirusProduct(), S_OK);
    SecurityCenterUninit();

    EXPECT_TRUE(sim::WmiInstances(kNamespace).empty());
    ExpectEverythingGivenBack();
}

TEST_F(SecurityCenterTest, AMissingNamespaceFailsBothDeletionsQuietly) {
    sim::RemoveNamespace(kNamespace);
    ASSERT_EQ(SecurityCenterInit(), 0u);
    IWbemServices* services = nullptr;
    EXPECT_EQ(ConnectSecurityCenter(&services), WBEM_E_INVALID_NAMESPACE);
    EXPECT_EQ(DeleteAntiVirusProduct(), WBEM_E_INVALID_NAMESPACE);
    SecurityCenterUninit();

    EXPECT_EQ(UnregisterSecurityCenter(), 0);
    ExpectEverythingGivenBack();
}

TEST_F(SecurityCenterTest, ComAlreadyInitialisedStaysInitialised) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);

    EXPECT_EQ(UnregisterSecurityCenter(), 0);
    EXPECT_EQ(sim::WmiInstances(kNamespace), Paths{kOtherProduct});
    ExpectEverythingGivenBack(1);
    CoUninitialize();
}

TEST_F(SecurityCenterTest, AComThatWillNotStartEndsTheStep) {
    sim::InjectFault("CoInitialize", static_cast<DWORD>(E_OUTOFMEMORY));
    EXPECT_EQ(UnregisterSecurityCenter(), static_cast<int>(ERROR_CAN_NOT_COMPLETE));
    EXPECT_EQ(sim::WmiInstances(kNamespace).size(), 3u);
    ExpectEverythingGivenBack();
}

} // namespace
