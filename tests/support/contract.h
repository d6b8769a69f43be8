// Contract-test harness: the same test source runs on the simulated machine and on real Win32
// (under wine64). Each test starts from a fresh machine or a fresh scratch folder.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace contract {

// Resets the simulated machine, or empties the scratch folder on Windows.
void FreshMachine();
// A folder the test may fill and delete in, without a trailing separator.
std::string Scratch();
// True when the real implementation underneath is Wine.
bool UnderWine();
// Makes the simulated machine a 64-bit Windows, as the one under wine64 already is (a 64-bit
// prefix); nothing to do on Windows.
void Windows64Machine();

// Answers the next message box captioned `caption` by pressing its button `button`, as a user
// would; `whileUp` runs first, while the box is up (on a thread the test must not depend on:
// the simulated box runs it on the caller's thread, on Windows it runs on the helper's).
// The simulated machine takes the answer from its queue of answers; on Windows a helper thread
// finds the box (a "#32770" window with the caption) and clicks the button with BM_CLICK.
class BoxAnswerer {
public:
    BoxAnswerer(const char* caption, int button, std::function<void()> whileUp = nullptr);
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    // Waits until the box was answered; the text it showed, empty when no box came.
    std::string Text();

private:
    struct Helper;
    std::unique_ptr<Helper> m_helper;
};

// Marker written before a call, so that a check proves the call itself set the last error.
constexpr DWORD kMarker = 0xDEADBEEF;

class Test : public ::testing::Test {
protected:
    void SetUp() override { FreshMachine(); }
};

} // namespace contract

// A known difference of Wine from documented Windows behaviour, checked visibly in one place:
// under Wine the observed value must be `wine`, everywhere else the Windows value `windows`.
#define EXPECT_WINDOWS_OR_WINE(actual, windows, wine)                                              \
    do {                                                                                           \
        if (contract::UnderWine())                                                                 \
            EXPECT_EQ((actual), (wine)) << "Wine difference";                                      \
        else                                                                                       \
            EXPECT_EQ((actual), (windows));                                                        \
    } while (0)

// Opens the branch for a known Wine difference; the reason is printed so every such place shows
// in the test output. False everywhere but under Wine.
#define KV_WINE_DIFFERS(reason)                                                                    \
    (contract::UnderWine() && (printf("[ WINE     ] %s\n", reason), true))
