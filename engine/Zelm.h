// CUninstallEngine: the one engine object of a run, with its twelve string sets and its steps.
#pragma once

#include "containers/TSet.h"

#include <windows.h>

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

// The dialog's state field, read without a lock (an aligned 32-bit load). Defined beside the
// dialog, so that the engine does not depend on the application's classes.
int DialogState(const CUninstallDlg* dialog);

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
    void SetDialog(CUninstallDlg* dialog);
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
    DWORD LoadList(DWORD (CUninstallEngine::*loader)(), const char* name, TSet& set);
    DWORD LogPlanStep(DWORD result, const char* name);
};
