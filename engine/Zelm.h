// CUninstallEngine: the one engine object of a run, with its twelve string sets and its steps.
#pragma once

#include "containers/TSet.h"

#include <windows.h>

#include <atomic>
#include <cstddef>

class CUninstallDlg;
class CPlanObserver;

// Dialog states the engine and the worker share with the main dialog.
enum DialogStateValue {
    STATE_READY = 0,
    STATE_FAILED = 1,
    STATE_RUNNING = 2,
    STATE_CANCELLED = 3,
    STATE_RESTART = 4,
};

// How the engine notices a cancel while it runs: it reads the run's state (a DialogStateValue)
// through a reader it is handed. The engine never calls into the application: the application
// gives it the address of its state field (SetDialog), and anything else that drives the engine
// (the companion, tests) gives its own reader or none.
class CRunStateReader {
public:
    virtual int ReadState() const = 0;

protected:
    ~CRunStateReader() = default;
};

// The reader of a state field shared with another thread: an aligned 32-bit load, no lock.
class CStateFieldReader final : public CRunStateReader {
public:
    void Watch(const std::atomic<int>* field) { m_field = field; }
    int ReadState() const override {
        return m_field ? m_field->load(std::memory_order_relaxed) : STATE_RUNNING;
    }

private:
    const std::atomic<int>* m_field = nullptr;
};

// Entry types and modes of the profile, in keyword-table order.
enum EntryType {
    REG_VALUE_TYPE = 0,
    REG_KEY_TYPE = 1,
    REG_VALUE_EXPAND_TYPE = 2,
    REG_KEY_EXPAND_TYPE = 3,
    FILE_NAME_TYPE = 4,
    FILE_NAME_EXPAND_TYPE = 5,
    SERVICE_NAME_TYPE = 6,
    ENTRY_TYPE_COUNT = 7,
};
enum EntryMode {
    BY_REFERENCE_MODE = 0,
    BY_VALUE_MODE = 1,
    BY_DATA_MATCH_MODE = 2,
    ENTRY_MODE_COUNT = 3,
};

// Writes the log's version line; opens the log beside the module (or in `folder`) first unless
// the trace facility already has one open.
void OpenLogFile(HMODULE module, BOOL append, const char* folder);

class CUninstallEngine;

// One of the eight list loaders of the profile: the loader, its name in the log and its set.
struct ProfileLoader {
    DWORD (CUninstallEngine::*load)();
    const char* name;
    TSet CUninstallEngine::*set;
};
// The loaders in the order CreateProfile runs them; `count` receives their number.
const ProfileLoader* ProfileLoaders(size_t* count);

class CUninstallEngine {
public:
    CUninstallEngine();
    virtual ~CUninstallEngine();
    CUninstallEngine(const CUninstallEngine&) = delete;
    CUninstallEngine& operator=(const CUninstallEngine&) = delete;

    const char* SetErrorText(const char* text);
    // Records the dialog and the state field the engine reads to notice a cancel.
    void SetDialog(CUninstallDlg* dialog, const std::atomic<int>* state);
    // Reads the run's state through `reader` instead (not owned; null: never cancelled).
    void SetStateReader(const CRunStateReader* reader) { m_stateReader = reader; }
    bool IsCancelled() const;

    // Stage 1: the profile.
    DWORD CreateProfile();
    DWORD InitConfigFile();
    DWORD InitIgnoreServiceList();
    DWORD InitRemoveServiceList();
    DWORD InitIgnoreRegValueList();
    DWORD InitRemoveRegValueList();
    DWORD InitIgnoreRegKeyList();
    DWORD InitRemoveRegKeyList();
    DWORD InitIgnoreFileList();
    DWORD InitRemoveFileList();
    DWORD ReadSection(TSet& set, const char* section, const char* key);
    DWORD ParseEntry(TSet& set, const char* text);
    DWORD DispatchEntry(TSet& set, int type, int mode, const char* data);

    // Registry discovery.
    DWORD FindRegValueByReference(TSet& destination, char* data);
    DWORD FindRegValuesByValue(TSet& destination, char* data);
    DWORD FindRegValuesByDataMatch(TSet& destination, char* data);
    DWORD FindRegKeysByValue(TSet& destination, char* data);
    DWORD FindRegKeysByDataMatch(TSet& destination, char* data);

    // File discovery.
    DWORD FindFilesByValue(TSet& destination, char* data);
    DWORD FindFilesByDataMatch(TSet& destination, char* data);
    DWORD FindExpandedFilesByValue(TSet& destination, char* data);
    DWORD FindExpandedFilesByDataMatch(TSet& destination, char* data);

    // Service discovery.
    DWORD FindServicesByValue(TSet& destination, char* pattern);
    DWORD MatchInstalledServices(TSet& destination, const char* pattern);
    DWORD MatchRunningProcesses(TSet& destination, const char* pattern);
    DWORD EnumServiceNames(SC_HANDLE manager, TSet& set);

    // Stage 1: the removal plan.
    DWORD PopulateRemoveLists();
    DWORD PopulateRemoveServiceList();
    DWORD PopulateRemoveRegList();
    DWORD PopulateRemoveFileList();
    DWORD AddPlanService(const char* name);
    DWORD AddRegKeyTree(const char* text);
    DWORD AddFileTree(const char* path);
    DWORD CopyEntries(TSet& target, TSet& source);
    DWORD SubtractIgnored(TSet& plan, TSet& ignore);
    // The same without regard to letter case, for names the system spells its own way.
    DWORD SubtractIgnoredNoCase(TSet& plan, TSet& ignore);

    // Stages 2 to 5.
    DWORD StopServices();
    DWORD StopPlanServices();
    DWORD TerminateServiceProcesses();
    DWORD ResetLspStack();
    DWORD CleanupFiles();
    DWORD CleanupRegValues();
    DWORD CleanupRegKeys();
    // Registers (NT family) or deletes one planned path; its error, 0 also when it is gone.
    DWORD DeletePlanPath(const char* path);

    // Reads the profile at `path` instead of the one beside the program (the companion's check).
    // False when no copy can be made.
    bool SetConfigPath(const char* path);
    // Optional; never set by the GUI. Not owned.
    void SetObserver(CPlanObserver* observer) { m_observer = observer; }
    // Adds an item to a plan set, telling the observer.
    DWORD AddToPlan(TSet& plan, const char* item);

    TSet m_planFiles;
    TSet m_planRegValues;
    TSet m_planRegKeys;
    TSet m_planServices;
    TSet m_removeFiles;
    TSet m_ignoreFiles;
    TSet m_removeRegKeys;
    TSet m_ignoreRegKeys;
    TSet m_removeRegValues;
    TSet m_ignoreRegValues;
    TSet m_removeServices;
    TSet m_ignoreServices;
    char* m_errorText;
    char* m_configPath;
    CUninstallDlg* m_dialog;
    CPlanObserver* m_observer;
    CStateFieldReader m_dialogState;
    const CRunStateReader* m_stateReader;
    bool m_configPathGiven;
    // Set when a plan set could not take an entry (only an exhausted heap makes it refuse one):
    // the running plan step then fails instead of reporting a plan with entries missing.
    bool m_planIncomplete;

private:
    typedef DWORD (CUninstallEngine::*FileOperation)(TSet&, char*);
    DWORD ExpandFolderMacro(TSet& destination, char* data, FileOperation operation);
    // Runs a discovery operation on the text and, on 64-bit Windows, on its twin in the other
    // view (twin_locations.h); the first failure is the result.
    DWORD DiscoverBothViews(TSet& destination, char* data, FileOperation operation);
    DWORD FindByValue(TSet& destination, char* data, bool keys);
    // CreateProfile's work: the log, the profile's place and the eight lists.
    DWORD LoadProfile();
    DWORD LoadList(DWORD (CUninstallEngine::*loader)(), const char* name, TSet& set);
    DWORD LogPlanStep(DWORD result, const char* name);
};
