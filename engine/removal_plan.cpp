// The removal plan: registry keys and folders expanded into everything beneath them, the listed
// values and services added, and whatever the profile spares taken out again.
#include "Zelm.h"

#include "engine_support.h"
#include "helpers/helper.h"
#include "plan_observer.h"
#include "platform/os/wow64.h"
#include "protected_keys.h"
#include "protected_paths.h"
#include "protected_services.h"
#include "refusal_observer.h"
#include "trace/trace.h"

#include <cstring>
#include <new>
#include <string>

using engine_support::CopyText;
using engine_support::LastErrorOr;

namespace {

// Registry key and value texts are built in 261 bytes (260 characters and the NUL).
const size_t REGISTRY_TEXT_SIZE = 261;

const char kServiceStep[] = "PopulateRemoveServiceList";
const char kRegistryStep[] = "PopulateRemoveRegList";
const char kFileStep[] = "PopulateRemoveFileList";

// FindText's answer, found faster: a match on a character boundary is a byte-wise match too, so
// where the byte-wise search finds none (nearly every entry) the character walk is not needed.
bool ContainsText(const char* text, const char* part) {
    if (!text || !part)
        return false;
    if (!strstr(text, part))
        return false;
    return FindText(text, part) != nullptr;
}

bool IsDotEntry(const char* name) {
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// A folder's search pattern ('folder\\*') whose last component is replaced by each name found.
struct PathBuffer {
    char text[MAX_PATH];
    char* name = text;
    size_t room = 0;

    bool Start(const char* folder) {
        if (!JoinPath(text, sizeof(text), folder, "*"))
            return false;
        char* separator = FindLastChar(text, '\\');
        name = separator ? separator + 1 : text;
        room = sizeof(text) - static_cast<size_t>(name - text);
        return true;
    }
    // False, the text unchanged, when the name does not fit.
    bool Put(const char* found) {
        size_t length = strlen(found);
        if (length + 1 > room)
            return false;
        memcpy(name, found, length + 1);
        return true;
    }
};

// Attributes of a folder the walk has not been told about: the system is asked.
const DWORD kAttributesUnknown = INVALID_FILE_ATTRIBUTES;

// One call of the folder walk: `folder` is the normalised path the plan holds, `systemFolder` the
// same place as the system calls are given it. Below the remove entry the latter keeps the names
// as the directory search reported them: on a case-insensitive file system both name the same
// entry, but Wine resolves an upper-cased name only by reading the folder that holds it, for every
// component of every path, which made the walk cost twice the plain enumeration there.
// `attributes` are the folder's own as the directory search of its parent reported them (the
// link flag included), or kAttributesUnknown for the remove entry and for a folder whose
// system text is not the name the search found.
DWORD AddFolderTree(CUninstallEngine& engine, protected_paths::WalkScope& walk, const char* folder,
                    const char* systemFolder, DWORD attributes) {
    // A drive root, the Windows folder, a profile and the like are neither planned nor entered;
    // a stream name is refused before the system is asked anything about it.
    if (walk.Refuses(folder))
        return ERROR_ACCESS_DENIED;
    if (attributes == kAttributesUnknown) {
        attributes = GetFileAttributesA(systemFolder);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return LastErrorOr(ERROR_FILE_NOT_FOUND);
    }
    engine.AddToPlan(engine.m_planFiles, folder);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    // A junction or other link is planned itself; what it points at belongs to someone else.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return 0;

    PathBuffer entry, systemEntry;
    if (!entry.Start(folder) || !systemEntry.Start(systemFolder))
        return 0;

    WIN32_FIND_DATAA found;
    memset(&found, 0, sizeof(found));
    OwnedSearch search(FindFirstFileA(systemEntry.text, &found));
    if (search.get() == INVALID_HANDLE_VALUE)
        return 0;
    do {
        found.cFileName[sizeof(found.cFileName) - 1] = '\0';
        if (IsDotEntry(found.cFileName))
            continue;
        bool systemFits = systemEntry.Put(found.cFileName);
        UpperCase(found.cFileName);
        if (!entry.Put(found.cFileName))
            continue;
        bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (isFolder && !isLink) {
            // The entry as a remove entry of its own would be: normalised again. Where that
            // changes more than the case, the system is given the normalised text as well, and
            // asked for its attributes: the search's then describe another name.
            char child[MAX_PATH];
            memcpy(child, entry.text, strlen(entry.text) + 1);
            NormalizeEntry(child);
            bool same = systemFits && strcmp(child, entry.text) == 0;
            if (same)
                AddFolderTree(engine, walk, child, systemEntry.text, found.dwFileAttributes);
            else
                AddFolderTree(engine, walk, child, child, kAttributesUnknown);
        } else if (!isLink || !walk.Refuses(entry.text)) {
            engine.AddToPlan(engine.m_planFiles, entry.text);
        }
    } while (FindNextFileA(search.get(), &found));
    return 0;
}

// The folder walk of one remove entry against the step's protected folders.
DWORD AddEntryTree(CUninstallEngine& engine, const protected_paths::ProtectedFolders& folders,
                   const char* path) {
    if (!path)
        return ERROR_INVALID_DATA;
    // A path that does not fit is left out whole: cut short it could name another folder.
    char folder[MAX_PATH];
    if (strlen(path) >= sizeof(folder))
        return ERROR_FILENAME_EXCED_RANGE;
    memcpy(folder, path, strlen(path) + 1);
    NormalizeEntry(folder);
    protected_paths::WalkScope walk(folders);
    return AddFolderTree(engine, walk, folder, folder, kAttributesUnknown);
}

// True when the key text is its own canonical entry text: normalising it again would change
// nothing. A name with '/', a '"' at an end or an empty name fails, and its key is not planned:
// the plan's text would name another key than the one the walk found.
bool KeepsItsText(const char* keyText) {
    char copy[REGISTRY_TEXT_SIZE];
    size_t length = strlen(keyText);
    if (length >= sizeof(copy))
        return false;
    memcpy(copy, keyText, length + 1);
    NormalizeEntry(copy);
    return strcmp(copy, keyText) == 0;
}

// One key of a registry walk: `name` is opened below `parent` as the system spells it, and
// `keyText` (REGISTRY_TEXT_SIZE bytes, its content beyond the key's own text used as scratch) is
// the key's plan text. The key is opened as a link, so that a registry link is seen rather than
// followed: a link is neither planned nor entered, since what it leads to belongs to another key.
DWORD AddKeyTree(CUninstallEngine& engine, HKEY parent, const char* name, char* keyText) {
    OwnedKey key;
    LONG opened = RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK,
                                KEY_READ | wow64::NativeKeyView(), key.out());
    if (opened != ERROR_SUCCESS)
        return static_cast<DWORD>(opened);
    DWORD linkType = REG_NONE;
    DWORD linkSize = 0;
    LONG link =
        RegQueryValueExA(key.get(), "SymbolicLinkValue", nullptr, &linkType, nullptr, &linkSize);
    if ((link == ERROR_SUCCESS || link == ERROR_MORE_DATA) && linkType == REG_LINK) {
        protected_keys::LogProtectedKey(keyText, "a registry link, never followed");
        return ERROR_ACCESS_DENIED;
    }
    DWORD result = engine.AddToPlan(engine.m_planRegKeys, keyText);
    if (result != 0)
        return result;

    // Names are read straight after 'key text\'; when no room for a name is left the key has
    // nothing more to contribute.
    size_t prefix = strlen(keyText) + 1;
    if (prefix + 1 > REGISTRY_TEXT_SIZE)
        return 0;
    keyText[prefix - 1] = '\\';
    keyText[prefix] = '\0';
    char* const childName = keyText + prefix;
    DWORD room = static_cast<DWORD>(REGISTRY_TEXT_SIZE - prefix);

    for (DWORD index = 0;; ++index) {
        char found[REGISTRY_TEXT_SIZE];
        if (RegEnumKeyA(key.get(), index, childName, room) != ERROR_SUCCESS)
            break;
        keyText[REGISTRY_TEXT_SIZE - 1] = '\0';
        memcpy(found, childName, strlen(childName) + 1);
        UpperCase(childName);
        if (!KeepsItsText(keyText))
            continue;
        if (protected_keys::IsProtectedKey(keyText)) {
            protected_keys::LogProtectedKey(keyText);
            continue;
        }
        AddKeyTree(engine, key.get(), found, keyText);
    }

    for (DWORD index = 0;; ++index) {
        childName[0] = '\0';
        DWORD size = room;
        if (RegEnumValueA(key.get(), index, childName, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        keyText[REGISTRY_TEXT_SIZE - 1] = '\0';
        // A value name holding '\\' reads like a value of a subkey: its item could not be taken
        // apart again without naming another value, so it is left where it is.
        if (FindChar(childName, '\\'))
            continue;
        UpperCase(childName);
        result = engine.AddToPlan(engine.m_planRegValues, keyText);
        if (result != 0)
            break;
    }
    return result;
}

// The last look at the registry plan, as the file plan has one: a protected key is dropped
// whatever way it came in. A value found by walking a key is dropped when its key is protected;
// a value the profile names itself may live in a shared key (one start-up value, say), but never
// in a root, nor behind a registry link, which would delete another key's value.
void FilterRegistryPlan(CUninstallEngine& engine) {
    engine.m_planRegKeys.RemoveIf([](const char* item) {
        if (!protected_keys::IsProtectedKey(item))
            return false;
        protected_keys::LogProtectedKey(item);
        return true;
    });
    engine.m_planRegValues.RemoveIf([&engine](const char* item) {
        HKEY root = nullptr;
        std::string keyPath;
        bool refused;
        if (!engine_support::SplitValueItem(item, &root, &keyPath))
            refused = true;
        else if (engine.m_removeRegValues.Contains(item))
            refused = protected_keys::PassesThroughLink(
                root, std::string(item, static_cast<const char*>(strchr(item, '\\'))).c_str(),
                keyPath.c_str());
        else
            refused =
                protected_keys::IsProtectedKey(std::string(item, FindLastChar(item, '\\')).c_str());
        if (refused) {
            LogStepLine("%04d ProtectedValue: %s\n", static_cast<int>(ERROR_ACCESS_DENIED), item);
            refusal_observer::Report("value", item, "in a protected key, a root or behind a link");
        }
        return refused;
    });
}

// Tells the observer, if any, which profile item the plan step expands next.
void NoteExpanding(CPlanObserver* observer, const TSet& source, const char* item) {
    if (observer)
        observer->ExpandingItem(source, item);
}

// Empties a plan set.
void Empty(TSet& set) {
    set.RemoveIf([](const char*) { return true; });
}

// Runs one plan step. An exhausted heap fails the step with ERROR_NOT_ENOUGH_MEMORY, whether a
// plan set could not take an entry or a standard container of the walks and the protections threw
// (nothing unwinds out of the engine); every plan is emptied then, since a plan cut short
// somewhere in the middle is no plan to act on.
template <class Step> DWORD PlanStep(CUninstallEngine& engine, Step step) {
    engine.m_planIncomplete = false;
    DWORD result = ERROR_NOT_ENOUGH_MEMORY;
    try {
        result = step();
    } catch (const std::bad_alloc&) {
        engine.m_planIncomplete = true;
    }
    if (!engine.m_planIncomplete)
        return result;
    TSet* plans[] = {&engine.m_planServices, &engine.m_planRegKeys, &engine.m_planRegValues,
                     &engine.m_planFiles};
    for (TSet* plan : plans)
        Empty(*plan);
    return ERROR_NOT_ENOUGH_MEMORY;
}

} // namespace

DWORD CUninstallEngine::LogPlanStep(DWORD result, const char* name) {
    int code = static_cast<int>(result);
    if (result != 0 && m_errorText)
        LogStepLine("%04d %s: %s\n", code, name, m_errorText);
    else if (strcmp(name, kServiceStep) == 0)
        LogStepLine("%04d %s: %d services\n", code, name, static_cast<int>(m_planServices.Count()));
    else if (strcmp(name, kRegistryStep) == 0)
        LogStepLine("%04d %s: %d keys, %d values\n", code, name,
                    static_cast<int>(m_planRegKeys.Count()),
                    static_cast<int>(m_planRegValues.Count()));
    else
        LogStepLine("%04d %s: %d files and folders\n", code, name,
                    static_cast<int>(m_planFiles.Count()));
    return result;
}

DWORD CUninstallEngine::PopulateRemoveLists() {
    return PlanStep(*this, [this]() -> DWORD {
        // Refusals made by the protections are reported to the observer too.
        refusal_observer::Scope refusals(m_observer);
        // The plan is built on the machine as it is (no file-system redirection on this thread).
        wow64::NativeFileView nativeView;
        DWORD result = LogPlanStep(PopulateRemoveServiceList(), kServiceStep);
        if (result != 0)
            return result;
        result = LogPlanStep(PopulateRemoveRegList(), kRegistryStep);
        if (result != 0)
            return result;
        result = LogPlanStep(PopulateRemoveFileList(), kFileStep);
        if (result != 0)
            return result;

        // A last look at every planned entry; nothing of it goes to the log.
        TSet* plans[] = {&m_planServices, &m_planRegKeys, &m_planRegValues, &m_planFiles};
        for (TSet* plan : plans)
            if (!plan->ForEach([this](const char*) { return !IsCancelled(); }))
                return ERROR_CANCELLED;
        return 0;
    });
}

DWORD CUninstallEngine::PopulateRemoveServiceList() {
    return PlanStep(*this, [this]() -> DWORD {
        bool walked = m_removeServices.ForEach([this](const char* name) {
            NoteExpanding(m_observer, m_removeServices, name);
            AddPlanService(name);
            return !IsCancelled();
        });
        if (!walked)
            return ERROR_CANCELLED;
        // The last look at the service plan: the system's own services and processes, and this
        // program, are never stopped or ended, however the profile named them.
        const bool nt = GetPlatformId() == VER_PLATFORM_WIN32_NT;
        m_planServices.RemoveIf([nt](const char* name) {
            if (!(nt ? protected_services::IsProtectedService(name)
                     : protected_services::IsProtectedProcess(name)))
                return false;
            protected_services::LogProtectedService(name);
            return true;
        });
        // Service names are the service manager's own spelling; the ignore entries are upper case.
        SubtractIgnoredNoCase(m_planServices, m_ignoreServices);
        return IsCancelled() ? ERROR_CANCELLED : 0;
    });
}

DWORD CUninstallEngine::AddPlanService(const char* name) {
    AddToPlan(m_planServices, name);
    return 0;
}

DWORD CUninstallEngine::PopulateRemoveRegList() {
    return PlanStep(*this, [this]() -> DWORD {
        bool walked = m_removeRegKeys.ForEach([this](const char* key) {
            if (IsCancelled())
                return false;
            NoteExpanding(m_observer, m_removeRegKeys, key);
            AddRegKeyTree(key);
            return true;
        });
        if (!walked)
            return ERROR_CANCELLED;
        CopyEntries(m_planRegValues, m_removeRegValues);
        if (IsCancelled())
            return ERROR_CANCELLED;
        FilterRegistryPlan(*this);
        SubtractIgnored(m_planRegKeys, m_ignoreRegKeys);
        if (IsCancelled())
            return ERROR_CANCELLED;
        SubtractIgnored(m_planRegValues, m_ignoreRegValues);
        // A value goes with its key: what spares a key spares the values beneath it too, so an
        // ignored key is never kept empty.
        SubtractIgnored(m_planRegValues, m_ignoreRegKeys);
        if (IsCancelled())
            return ERROR_CANCELLED;
        return 0;
    });
}

DWORD CUninstallEngine::AddRegKeyTree(const char* text) {
    if (!text)
        return ERROR_INVALID_DATA;
    HeapText copy(CopyText(text));
    if (!copy.get())
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    NormalizeEntry(copy.get());
    // A root or a key every program shares is never planned, whatever the profile or a value
    // read from the registry says: judged on the text as written and again on the key that the
    // system is given, after every normalisation.
    if (protected_keys::IsProtectedKey(copy.get())) {
        protected_keys::LogProtectedKey(copy.get());
        return ERROR_ACCESS_DENIED;
    }

    HKEY root = nullptr;
    char* rootName = nullptr;
    char* subKey = nullptr;
    char* lastName = nullptr;
    DWORD result = ParseRegistryPath(copy.get(), &root, &rootName, &subKey, &lastName);
    if (result != 0)
        return result;
    if (!root)
        return ERROR_INVALID_HANDLE;

    char keyPath[REGISTRY_TEXT_SIZE];
    char keyText[REGISTRY_TEXT_SIZE];
    if (!JoinPath(keyPath, sizeof(keyPath), subKey, lastName) ||
        !JoinPath(keyText, sizeof(keyText), rootName, subKey, lastName))
        return ERROR_FILENAME_EXCED_RANGE;
    if (!keyPath[0] || protected_keys::IsProtectedKey(keyText) ||
        protected_keys::PassesThroughLink(root, rootName, keyPath)) {
        protected_keys::LogProtectedKey(keyText, "protected key, or on the way through a link");
        return ERROR_ACCESS_DENIED;
    }
    return AddKeyTree(*this, root, keyPath, keyText);
}

DWORD CUninstallEngine::PopulateRemoveFileList() {
    return PlanStep(*this, [this]() -> DWORD {
        // The protected folders are found once for the whole step.
        protected_paths::RunScope run;
        bool walked = m_removeFiles.ForEach([&](const char* path) {
            NoteExpanding(m_observer, m_removeFiles, path);
            AddEntryTree(*this, run.Folders(), path);
            return !IsCancelled();
        });
        if (!walked)
            return ERROR_CANCELLED;
        protected_paths::FilterPlan(m_planFiles, run.Folders());
        SubtractIgnored(m_planFiles, m_ignoreFiles);
        return IsCancelled() ? ERROR_CANCELLED : 0;
    });
}

DWORD CUninstallEngine::AddFileTree(const char* path) {
    // Outside a plan step the walk finds the protected folders itself.
    protected_paths::RunScope run;
    return AddEntryTree(*this, run.Folders(), path);
}

DWORD CUninstallEngine::CopyEntries(TSet& target, TSet& source) {
    DWORD result = 0;
    source.ForEach([&](const char* item) {
        NoteExpanding(m_observer, source, item);
        result = AddToPlan(target, item);
        return result == 0;
    });
    return result;
}

DWORD CUninstallEngine::SubtractIgnoredNoCase(TSet& plan, TSet& ignore) {
    plan.RemoveIf([&](const char* entry) {
        std::string upper(entry);
        UpperCase(&upper[0]);
        const char* matched = nullptr;
        ignore.ForEach([&](const char* spare) {
            std::string part(spare);
            UpperCase(&part[0]);
            if (ContainsText(upper.c_str(), part.c_str()))
                matched = spare;
            return !matched;
        });
        if (matched && m_observer)
            m_observer->ItemSpared(plan, entry, matched);
        return matched != nullptr;
    });
    return 0;
}

DWORD CUninstallEngine::SubtractIgnored(TSet& plan, TSet& ignore) {
    plan.RemoveIf([&](const char* entry) {
        const char* matched = nullptr;
        ignore.ForEach([&](const char* spare) {
            if (ContainsText(entry, spare))
                matched = spare;
            return !matched;
        });
        if (matched && m_observer)
            m_observer->ItemSpared(plan, entry, matched);
        return matched != nullptr;
    });
    return 0;
}
