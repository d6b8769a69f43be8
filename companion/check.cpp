// The check: the engine reads the profile and builds the plan; an observer notes which entry
// brought in each item, and the report is printed as text or as one JSON document.
#include "check.h"

#include "engine/Zelm.h"
#include "engine/plan_observer.h"
#include "text_forms.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace companion {

namespace {

struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const {
        return CompareNoCase(a.c_str(), b.c_str()) < 0;
    }
};
typedef std::map<std::string, int, NoCase> ItemLines;

// Where each profile set's entries come from.
struct ListName {
    TSet CUninstallEngine::*set;
    const char* section;
    const char* key;
};
const ListName kLists[] = {
    {&CUninstallEngine::m_removeFiles, "file", "remove"},
    {&CUninstallEngine::m_ignoreFiles, "file", "ignore"},
    {&CUninstallEngine::m_removeRegKeys, "registry key", "remove"},
    {&CUninstallEngine::m_ignoreRegKeys, "registry key", "ignore"},
    {&CUninstallEngine::m_removeRegValues, "registry value", "remove"},
    {&CUninstallEngine::m_ignoreRegValues, "registry value", "ignore"},
    {&CUninstallEngine::m_removeServices, "service", "remove"},
    {&CUninstallEngine::m_ignoreServices, "service", "ignore"},
};

// Follows the engine while it reads the profile and builds the plan.
class Attribution : public CPlanObserver {
public:
    Attribution(CUninstallEngine& engine, CheckReport& report)
        : m_engine(engine), m_report(report) {}

    bool EntryParsed(TSet& set, int line, const char* text, DWORD result) override {
        CheckedEntry entry;
        entry.line = line;
        entry.text = text;
        entry.result = result;
        for (const ListName& list : kLists)
            if (&(m_engine.*list.set) == &set) {
                entry.section = list.section;
                entry.key = list.key;
            }
        if (result != 0)
            entry.explanation = ExplainEntry(entry.text, result);
        // Items the set did not hold before are this entry's.
        ItemLines& known = m_profileItems[&set];
        set.ForEach([&](const char* item) {
            if (known.emplace(item, line).second)
                entry.items.push_back(item);
        });
        m_report.entries.push_back(entry);
        return true;
    }

    void ExpandingItem(const TSet& source, const char* item) override {
        m_current = LineOf(m_profileItems[&source], item);
    }

    void ItemPlanned(const TSet& plan, const char* item) override {
        m_planned[&plan].emplace(item, m_current);
    }

    void ItemSpared(const TSet& plan, const char* item, const char* ignore) override {
        SparedItem spared;
        spared.kind = KindOf(plan);
        spared.item = item;
        spared.ignore = ignore;
        // The plan's own ignore list first; an ignore entry of another list may spare too (a
        // key's ignore entry spares the values beneath the key).
        spared.line = LineOf(m_profileItems[IgnoreSetOf(plan)], ignore);
        for (const ListName& list : kLists)
            if (spared.line == 0 && strcmp(list.key, "ignore") == 0)
                spared.line = LineOf(m_profileItems[&(m_engine.*list.set)], ignore);
        m_report.spared.push_back(spared);
    }

    void ItemRefused(const char* kind, const char* text, const char* reason) override {
        RefusedItem refused;
        refused.kind = kind;
        refused.item = text;
        refused.reason = reason ? reason : "";
        // A refusal over the finished plan names an item planned for some entry; one inside a
        // walk is the entry being expanded.
        const TSet* plan = refused.kind == "key"       ? &m_engine.m_planRegKeys
                           : refused.kind == "value"   ? &m_engine.m_planRegValues
                           : refused.kind == "service" ? &m_engine.m_planServices
                                                       : &m_engine.m_planFiles;
        refused.line = LineOf(m_planned[plan], text);
        if (refused.line == 0)
            refused.line = m_current;
        m_report.refused.push_back(refused);
    }

    int PlannedLine(const TSet& plan, const char* item) { return LineOf(m_planned[&plan], item); }

    const char* KindOf(const TSet& plan) const {
        if (&plan == &m_engine.m_planServices)
            return "service";
        if (&plan == &m_engine.m_planRegKeys)
            return "key";
        if (&plan == &m_engine.m_planRegValues)
            return "value";
        return "file";
    }

private:
    static int LineOf(const ItemLines& lines, const char* item) {
        ItemLines::const_iterator found = lines.find(item);
        return found == lines.end() ? 0 : found->second;
    }
    const TSet* IgnoreSetOf(const TSet& plan) const {
        if (&plan == &m_engine.m_planServices)
            return &m_engine.m_ignoreServices;
        if (&plan == &m_engine.m_planRegKeys)
            return &m_engine.m_ignoreRegKeys;
        if (&plan == &m_engine.m_planRegValues)
            return &m_engine.m_ignoreRegValues;
        return &m_engine.m_ignoreFiles;
    }

    CUninstallEngine& m_engine;
    CheckReport& m_report;
    std::map<const TSet*, ItemLines> m_profileItems;
    std::map<const TSet*, ItemLines> m_planned;
    int m_current = 0;
};

std::string SectionOf(CUninstallEngine& engine, TSet CUninstallEngine::*set) {
    for (const ListName& list : kLists)
        if (&(engine.*list.set) == &(engine.*set))
            return list.section;
    return "";
}

std::string Format(const char* format, unsigned long value) {
    char text[64];
    snprintf(text, sizeof(text), format, value);
    return text;
}

} // namespace

size_t CheckReport::Count(const char* kind) const {
    size_t count = 0;
    for (const PlannedItem& item : plan)
        count += item.kind == kind;
    return count;
}

CheckReport CheckProfile(const char* profilePath) {
    CheckReport report;
    report.profile = profilePath ? profilePath : "";
    CUninstallEngine engine;
    Attribution attribution(engine, report);
    engine.SetObserver(&attribution);
    if (!profilePath || !engine.SetConfigPath(profilePath)) {
        report.status = CHECK_FAILED;
        report.problem = "no profile path";
        return report;
    }
    DWORD result = engine.InitConfigFile();
    if (result != 0) {
        report.status = CHECK_FAILED;
        report.problem = Format("the profile cannot be read (error %lu)", result);
        return report;
    }

    // Every list is read, also after a failing one, so that one check names every problem.
    size_t count = 0;
    const ProfileLoader* loaders = ProfileLoaders(&count);
    for (size_t i = 0; i < count; ++i) {
        result = (engine.*loaders[i].load)();
        if (result == 0) {
            report.lists.emplace_back(loaders[i].name, (engine.*loaders[i].set).Count());
            continue;
        }
        SectionProblem problem;
        problem.section = SectionOf(engine, loaders[i].set);
        problem.result = result;
        problem.explanation =
            result == ERROR_BAD_CONFIGURATION
                ? "missing section: no line begins with [" + problem.section + " 1]"
                : Format("the section cannot be read (error %lu)", result);
        bool known = false;
        for (const SectionProblem& seen : report.sections)
            known = known || seen.section == problem.section;
        if (!known)
            report.sections.push_back(problem);
    }
    // The reader goes section by section; the report goes by line.
    std::stable_sort(report.entries.begin(), report.entries.end(),
                     [](const CheckedEntry& a, const CheckedEntry& b) { return a.line < b.line; });
    bool errors = !report.sections.empty();
    for (const CheckedEntry& entry : report.entries)
        errors = errors || entry.result != 0;
    if (errors) {
        report.status = CHECK_ERRORS;
        return report;
    }

    report.planned = true;
    report.planResult = engine.PopulateRemoveLists();
    struct Plan {
        TSet* set;
    } plans[] = {{&engine.m_planServices},
                 {&engine.m_planRegKeys},
                 {&engine.m_planRegValues},
                 {&engine.m_planFiles}};
    for (const Plan& plan : plans) {
        char* item = nullptr;
        for (DWORD more = plan.set->GetFirst(&item); more == 0; more = plan.set->GetNext(&item)) {
            PlannedItem planned;
            planned.kind = attribution.KindOf(*plan.set);
            if (plan.set == &engine.m_planFiles) {
                DWORD attributes = GetFileAttributesA(item);
                if (attributes != INVALID_FILE_ATTRIBUTES &&
                    (attributes & FILE_ATTRIBUTE_DIRECTORY))
                    planned.kind = "folder";
            }
            planned.item = item;
            planned.line = attribution.PlannedLine(*plan.set, item);
            report.plan.push_back(planned);
        }
    }
    if (report.planResult != 0) {
        report.status = CHECK_FAILED;
        report.problem = Format("the plan could not be built (error %lu)", report.planResult);
    }
    return report;
}

void PrintCheckText(const CheckReport& report, FILE* out) {
    fprintf(out, "Profile: %s\n", report.profile.c_str());
    if (report.status == CHECK_FAILED && !report.planned) {
        fprintf(out, "Could not check: %s\n", report.problem.c_str());
        return;
    }
    size_t bad = 0;
    fprintf(out, "\nEntries:\n");
    for (const CheckedEntry& entry : report.entries) {
        if (entry.result == 0) {
            fprintf(out, "  line %d: accepted, %u item%s [%s 1] %s\n", entry.line,
                    static_cast<unsigned>(entry.items.size()), entry.items.size() == 1 ? "" : "s",
                    entry.section.c_str(), entry.text.c_str());
        } else {
            ++bad;
            fprintf(out, "  line %d: error %lu: %s\n      [%s 1] %s\n", entry.line,
                    static_cast<unsigned long>(entry.result), entry.explanation.c_str(),
                    entry.section.c_str(), entry.text.c_str());
        }
    }
    for (const SectionProblem& problem : report.sections)
        fprintf(out, "  [%s 1]: error %lu: %s\n", problem.section.c_str(),
                static_cast<unsigned long>(problem.result), problem.explanation.c_str());
    if (!report.planned) {
        fprintf(out,
                "\n%u entr%s with errors, %u section problem%s: no plan is built (Kelvane "
                "would stop at the first of them).\n",
                static_cast<unsigned>(bad), bad == 1 ? "y" : "ies",
                static_cast<unsigned>(report.sections.size()),
                report.sections.size() == 1 ? "" : "s");
        return;
    }
    fprintf(out, "\nPlan on this machine:\n");
    for (const PlannedItem& item : report.plan)
        fprintf(out, "  %-7s %s  (line %d)\n", item.kind.c_str(), item.item.c_str(), item.line);
    fprintf(out, "\nSpared:\n");
    for (const SparedItem& item : report.spared)
        fprintf(out, "  %-7s %s  (line %d, ignore item %s)\n", item.kind.c_str(), item.item.c_str(),
                item.line, item.ignore.c_str());
    fprintf(out, "\nRefused by the protections:\n");
    for (const RefusedItem& item : report.refused)
        fprintf(out, "  %-7s %s  (line %d: %s)\n", item.kind.c_str(), item.item.c_str(), item.line,
                item.reason.c_str());
    fprintf(
        out,
        "\nTotals: %u services, %u keys, %u values, %u files and folders; %u spared, %u "
        "refused\n",
        static_cast<unsigned>(report.Count("service")), static_cast<unsigned>(report.Count("key")),
        static_cast<unsigned>(report.Count("value")),
        static_cast<unsigned>(report.Count("file") + report.Count("folder")),
        static_cast<unsigned>(report.spared.size()), static_cast<unsigned>(report.refused.size()));
    if (report.status == CHECK_FAILED)
        fprintf(out, "Could not finish: %s\n", report.problem.c_str());
}

namespace {

// Writes '"name": [', one object per item (written by `object`), comma-separated, and '],'.
template <class Items, class Write>
void JsonArray(FILE* out, const char* name, const Items& items, Write object) {
    fprintf(out, "  \"%s\": [", name);
    const char* separator = "\n";
    for (const auto& item : items) {
        fprintf(out, "%s    ", separator);
        object(item);
        separator = ",\n";
    }
    fprintf(out, "\n  ],\n");
}

} // namespace

void PrintCheckJson(const CheckReport& report, FILE* out) {
    static const char* const kStatus[] = {"clean", "errors", "failed"};
    fprintf(out, "{\n  \"profile\": %s,\n  \"status\": \"%s\",\n  \"problem\": %s,\n",
            JsonString(report.profile).c_str(), kStatus[report.status],
            report.problem.empty() ? "null" : JsonString(report.problem).c_str());
    JsonArray(out, "entries", report.entries, [out](const CheckedEntry& entry) {
        fprintf(out,
                "{\"line\": %d, \"section\": %s, \"key\": %s, \"text\": %s, \"result\": %lu, "
                "\"error\": %s, \"items\": [",
                entry.line, JsonString(entry.section).c_str(), JsonString(entry.key).c_str(),
                JsonString(entry.text).c_str(), static_cast<unsigned long>(entry.result),
                entry.result ? JsonString(entry.explanation).c_str() : "null");
        const char* comma = "";
        for (const std::string& item : entry.items) {
            fprintf(out, "%s%s", comma, JsonString(item).c_str());
            comma = ", ";
        }
        fprintf(out, "]}");
    });
    JsonArray(out, "sections", report.sections, [out](const SectionProblem& problem) {
        fprintf(out, "{\"section\": %s, \"result\": %lu, \"error\": %s}",
                JsonString(problem.section).c_str(), static_cast<unsigned long>(problem.result),
                JsonString(problem.explanation).c_str());
    });
    fprintf(out, "  \"planned\": %s,\n", report.planned ? "true" : "false");
    JsonArray(out, "plan", report.plan, [out](const PlannedItem& item) {
        fprintf(out, "{\"kind\": \"%s\", \"item\": %s, \"line\": %d}", item.kind.c_str(),
                JsonString(item.item).c_str(), item.line);
    });
    JsonArray(out, "spared", report.spared, [out](const SparedItem& item) {
        fprintf(out, "{\"kind\": \"%s\", \"item\": %s, \"ignore\": %s, \"line\": %d}",
                item.kind.c_str(), JsonString(item.item).c_str(), JsonString(item.ignore).c_str(),
                item.line);
    });
    JsonArray(out, "refused", report.refused, [out](const RefusedItem& item) {
        fprintf(out, "{\"kind\": \"%s\", \"item\": %s, \"reason\": %s, \"line\": %d}",
                item.kind.c_str(), JsonString(item.item).c_str(), JsonString(item.reason).c_str(),
                item.line);
    });
    fprintf(
        out,
        "  \"totals\": {\"services\": %u, \"keys\": %u, \"values\": %u, \"files\": %u, "
        "\"spared\": %u, \"refused\": %u}\n}\n",
        static_cast<unsigned>(report.Count("service")), static_cast<unsigned>(report.Count("key")),
        static_cast<unsigned>(report.Count("value")),
        static_cast<unsigned>(report.Count("file") + report.Count("folder")),
        static_cast<unsigned>(report.spared.size()), static_cast<unsigned>(report.refused.size()));
}

} // namespace companion
