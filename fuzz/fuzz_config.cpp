// Fuzz target: the profile reader and the entry dispatch, plan and cleanup on a small machine.
//
// The input is the configuration file beside the program. A line ";9x" anywhere in it runs the
// profile on the 9x family (process matching, immediate deletion) instead of the NT family.
#include "engine/Zelm.h"
#include "run_state.h"
#include "sim/sim.h"
#include "trace/trace_testing.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

const char kProgram[] = "C:\\Tools\\Kelvane.exe";
const char kProfile[] = "C:\\Tools\\Kelvane.cfg";
const char kSuite[] = "C:\\Program Files\\Example Suite";
const char kSuiteKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite";
// A key the product reaches only through a registry link, and a shared key; both keep their
// values whatever the profile says.
const char kOtherKey[] = "HKEY_CURRENT_USER\\Software\\Other Vendor";
const char kSharedKey[] = "HKEY_CURRENT_USER\\Software";
// The user's own file, which the product reaches only through a junction.
const char kLetter[] = "C:\\Documents and Settings\\Administrator\\My Documents\\letter.doc";
// Folders no profile can have removed, whatever it says.
const char* const kProtected[] = {
    "C:\\WINDOWS",
    "C:\\WINDOWS\\system32",
    "C:\\Program Files",
    "C:\\Program Files\\Common Files",
    "C:\\Documents and Settings",
    "C:\\Documents and Settings\\Administrator",
    "C:\\Documents and Settings\\Administrator\\My Documents",
    "C:\\Documents and Settings\\Default User",
};

void Require(bool condition, const char* what, const std::string& path) {
    if (!condition) {
        fprintf(stderr, "fuzz_config: %s: %s\n", what, path.c_str());
        abort();
    }
}

// The place a path names, as Windows resolves it: either separator, '.' and '..' applied,
// trailing dots and blanks of a component dropped, ASCII letters upper-cased.
std::string Place(const std::string& path) {
    std::vector<std::string> parts;
    std::string piece;
    for (size_t i = 0; i <= path.size(); ++i) {
        char c = i < path.size() ? path[i] : '\\';
        if (c != '\\' && c != '/') {
            piece += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            continue;
        }
        while (!piece.empty() && (piece.back() == '.' || piece.back() == ' ') && piece != "." &&
               piece != "..")
            piece.pop_back();
        if (piece == "..") {
            if (parts.size() > 1)
                parts.pop_back();
        } else if (!piece.empty() && piece != ".") {
            parts.push_back(piece);
        }
        piece.clear();
    }
    std::string place;
    for (const std::string& part : parts)
        place += (place.empty() ? "" : "\\") + part;
    return place;
}

// A product installation with the shapes the discovery operations care about: files with
// attributes, a link into a user folder, per-user data, keys with string and non-string values
// and a default value, services and a running process.
void BuildMachine(bool win9x) {
    sim::Reset();
    if (win9x)
        sim::SetWindows98();
    sim::SetModulePath(kProgram);
    sim::AddFolder("C:\\Tools");

    const std::string suite = kSuite;
    sim::AddFile((suite + "\\BIN\\APP.EXE").c_str(), "MZ", FILE_ATTRIBUTE_READONLY);
    sim::AddFile((suite + "\\BIN\\core.dll").c_str(), "MZ");
    sim::AddFile((suite + "\\README.TXT").c_str(), "read me");
    sim::AddFile((suite + "\\cache.dat").c_str(), "", FILE_ATTRIBUTE_HIDDEN);
    sim::AddFile("C:\\Documents and Settings\\Administrator\\My Documents\\letter.doc", "mine");
    sim::AddJunction((suite + "\\Documents").c_str(),
                     "C:\\Documents and Settings\\Administrator\\My Documents");
    sim::AddFile("C:\\Documents and Settings\\Administrator\\Application Data\\Example "
                 "Suite\\settings.ini",
                 "[x]");
    sim::AddFile("C:\\Documents and Settings\\Default User\\Application Data\\Example "
                 "Suite\\settings.ini",
                 "[x]");
    sim::AddFile("C:\\WINDOWS\\example.ini", "[x]");

    const std::string key = kSuiteKey;
    sim::SetString(kSuiteKey, "InstallPath", kSuite);
    sim::SetDword(kSuiteKey, "Version", 7);
    sim::SetDefault(kSuiteKey, "Example Suite");
    sim::AddKey((key + "\\Keep").c_str());
    sim::SetString((key + "\\Components").c_str(), "Scanner", "yes");
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                   "ExampleSuite",
                   "DisplayName", "Example Suite 4.0");
    sim::SetString("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                   "ExampleTray", "C:\\Program Files\\Example Suite\\BIN\\APP.EXE /tray");
    sim::SetBinary("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                   "ExampleBin", std::string("\x01\x02", 2));

    // A registry link inside the product's key, to a key of the user's that must keep its value,
    // and a value in a key every program shares.
    sim::SetString(kOtherKey, "Keep", "mine");
    sim::AddLinkKey((key + "\\Linked").c_str(), kOtherKey);
    sim::SetString(kSharedKey, "Shared", "x");

    sim::AddService({"ExampleSvc", "Example Service", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING});
    sim::AddService({"ExampleDrv", "Example Driver", SERVICE_KERNEL_DRIVER, SERVICE_RUNNING});
    sim::AddProcess("C:\\Program Files\\Example Suite\\BIN\\APP.EXE");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string profile(reinterpret_cast<const char*>(data), size);
    const bool win9x = profile.find(";9x") != std::string::npos;

    TraceResetForTests();
    BuildMachine(win9x);
    sim::AddFile(kProfile, profile);

    {
        // The engine's sets and texts live for one input, as for one run of the program.
        TestRunState dialog;
        CUninstallEngine engine;
        engine.SetStateReader(&dialog);
        std::set<std::string> planned;
        bool sharedNamed = false;
        if (engine.CreateProfile() == 0 && engine.PopulateRemoveLists() == 0) {
            // A value the profile names itself may lie in a shared key; a walk never reaches it.
            sharedNamed = engine.m_removeRegValues.Contains("HKEY_CURRENT_USER\\SOFTWARE\\SHARED");
            char* item = nullptr;
            for (DWORD more = engine.m_planFiles.GetFirst(&item); more == 0;
                 more = engine.m_planFiles.GetNext(&item))
                planned.insert(Place(item));
            // The plan's items are parsed back by the cleanup; every item form must survive it.
            engine.CleanupFiles();
            engine.CleanupRegValues();
            engine.CleanupRegKeys();
        }
        if (!win9x)
            sim::Restart();
        // The user's file goes only when the plan names it where it really is: never through
        // the link. A protected folder never goes.
        if (!sim::Exists(kLetter))
            Require(planned.count(Place(kLetter)) != 0, "deleted through a link", kLetter);
        for (const char* folder : kProtected)
            Require(sim::Exists(folder), "a protected folder was removed", folder);
        Require(sim::GetString(kOtherKey, "Keep") == "mine", "deleted through a registry link",
                kOtherKey);
        Require(sharedNamed || sim::ValueExists(kSharedKey, "Shared"), "a shared key was walked",
                kSharedKey);
    }
    TraceResetForTests();
    return 0;
}
