// The proof of a removal: the plan against what the installation added, and the machine after the
// removal against the machine before the installation.
#include "verify.h"

#include "platform/os/crt.h"
#include "text_forms.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace companion {

namespace {

// A record in the form a plan item has, with its plan set's kind: 'F' files and folders, 'K'
// keys, 'V' values, 'S' services.
std::string PlanForm(const Record& record) {
    switch (record.kind) {
    case 'F':
    case 'D':
        return "F" + Folded(RecordName(record));
    case 'K':
    case 'S':
        return std::string(1, record.kind) + Folded(record.fields[0]);
    case 'V':
        return "V" + Folded(record.fields[0] + "\\" + record.fields[1]);
    default:
        return "";
    }
}

std::string PlanForm(const PlannedItem& item) {
    char kind = item.kind == "service" ? 'S'
                : item.kind == "key"   ? 'K'
                : item.kind == "value" ? 'V'
                                       : 'F';
    return std::string(1, kind) + Folded(item.item);
}

// The classes root shows keys stored under the machine's and the user's classes: a plan that
// names them there covers them here.
std::vector<std::string> Equivalents(const std::string& form) {
    static const char kClassesRoot[] = "HKEY_CLASSES_ROOT\\";
    std::vector<std::string> forms = {form};
    size_t length = strlen(kClassesRoot);
    if (form.size() > 1 && (form[0] == 'K' || form[0] == 'V') &&
        form.compare(1, length, kClassesRoot) == 0) {
        std::string rest = form.substr(1 + length);
        forms.push_back(form.substr(0, 1) + "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\" + rest);
        forms.push_back(form.substr(0, 1) + "HKEY_CURRENT_USER\\SOFTWARE\\CLASSES\\" + rest);
    }
    return forms;
}

bool Covered(const std::set<std::string>& plan, const std::string& form) {
    for (const std::string& equivalent : Equivalents(form))
        if (plan.count(equivalent))
            return true;
    return false;
}

std::string What(const Record& record) {
    return std::string(KindName(record.kind)) + " " + RecordName(record);
}

std::set<std::string> PlanForms(const CheckReport& report) {
    std::set<std::string> forms;
    for (const PlannedItem& item : report.plan)
        forms.insert(PlanForm(item));
    return forms;
}

// The ignore entry's line of each spared item, by plan form.
std::map<std::string, int> SparedForms(const CheckReport& report) {
    std::map<std::string, int> forms;
    for (const SparedItem& item : report.spared) {
        PlannedItem planned;
        planned.kind = item.kind;
        planned.item = item.item;
        forms.emplace(PlanForm(planned), item.line);
    }
    return forms;
}

// The line of the ignore entry that spared the record, or 0.
int SparedLine(const std::map<std::string, int>& spared, const std::string& form) {
    for (const std::string& equivalent : Equivalents(form)) {
        auto found = spared.find(equivalent);
        if (found != spared.end())
            return found->second;
    }
    return 0;
}

std::string SparedReason(int line) {
    return "spared by the ignore entry on line " + std::to_string(line);
}

// The folder or key the profile leaves on purpose that holds the record, or "".
std::string LeftBeneath(const LeftOnPurpose& left, const Record& record) {
    if (record.kind != 'F' && record.kind != 'D' && record.kind != 'K' && record.kind != 'V')
        return "";
    std::string name = record.kind == 'V' ? record.fields[0] : RecordName(record);
    for (const std::string& place : left)
        if (IsUnder(name, place))
            return place;
    return "";
}

// Something beneath a planned folder or key in `final` that the plan does not remove, or "".
std::string HeldContent(const Record& record, const Snapshot& final,
                        const std::set<std::string>& plan) {
    if (record.kind != 'D' && record.kind != 'K')
        return "";
    std::string name = Folded(RecordName(record));
    for (const auto& entry : final.records) {
        const Record& inside = entry.second;
        std::string insideName;
        if (record.kind == 'D' && (inside.kind == 'F' || inside.kind == 'D'))
            insideName = RecordName(inside);
        else if (record.kind == 'K' && inside.kind == 'K')
            insideName = RecordName(inside);
        else if (record.kind == 'K' && inside.kind == 'V')
            insideName = inside.fields[0]; // a value of the key itself counts too
        else
            continue;
        if ((inside.kind != 'V' && Folded(insideName) == name) || !IsUnder(insideName, name))
            continue;
        std::string form = PlanForm(inside);
        if (!form.empty() && !Covered(plan, form))
            return What(inside);
    }
    return "";
}

} // namespace

Verification VerifyPlan(const CheckReport& report, const Snapshot& before, const Snapshot& after,
                        const LeftOnPurpose& left) {
    Verification verification;
    std::set<std::string> plan = PlanForms(report);
    std::map<std::string, int> spared = SparedForms(report);
    std::set<std::string> installed;
    for (const Record* record : Compare(before, after).appeared) {
        std::string form = PlanForm(*record);
        if (form.empty())
            continue;
        installed.insert(form);
        if (Covered(plan, form))
            continue;
        if (int line = SparedLine(spared, form)) {
            verification.spared.push_back({What(*record), SparedReason(line)});
            verification.sparedIds.push_back(record->id);
            continue;
        }
        if (!CommentReason(after, *record).empty())
            continue;
        if (!LeftBeneath(left, *record).empty())
            continue;
        verification.installedButNotPlanned.push_back(
            {What(*record), "added by the installation, not in the plan"});
    }
    // A plan item under the machine's or the user's classes may have appeared in the classes
    // root only.
    std::set<std::string> installedForms;
    for (const std::string& form : installed)
        for (const std::string& equivalent : Equivalents(form))
            installedForms.insert(equivalent);
    for (const PlannedItem& item : report.plan)
        if (!installedForms.count(PlanForm(item)))
            verification.plannedButNotInstalled.push_back(
                {item.kind + " " + item.item, "planned, but the installation did not add it"});
    return verification;
}

void VerifyRemoval(const CheckReport& report, const Snapshot& before, const Snapshot& after,
                   const Snapshot& final, Verification* verification,
                   const LeftOnPurpose& leftOnPurpose) {
    std::set<std::string> plan = PlanForms(report);
    std::map<std::string, int> spared = SparedForms(report);
    // What the installation added and an ignore entry spared must have outlived the removal.
    std::vector<Finding> kept;
    for (size_t i = 0; i < verification->sparedIds.size(); ++i) {
        if (final.records.count(verification->sparedIds[i]))
            kept.push_back(verification->spared[i]);
        else
            verification->sparedGone.push_back(
                {verification->spared[i].what,
                 verification->spared[i].reason + ", gone after the removal"});
    }
    verification->spared = kept;
    Difference left = Compare(before, final);
    for (const Record* record : left.appeared) {
        std::string form = PlanForm(*record);
        bool installed = after.records.count(record->id) != 0;
        std::string comment = CommentReason(after, *record);
        std::string place = LeftBeneath(leftOnPurpose, *record);
        if (!form.empty() && Covered(plan, form)) {
            // A folder or key is removed only when nothing is left in it.
            std::string held = HeldContent(*record, final, plan);
            if (held.empty())
                verification->notRemoved.push_back({What(*record), "planned, still there"});
            else
                verification->residue.push_back(
                    {What(*record), "planned, kept: it still holds " + held});
        } else if (!form.empty() && SparedLine(spared, form)) {
            continue; // listed as spared
        } else if (!place.empty())
            verification->residue.push_back(
                {What(*record), "beneath " + place + ", which the profile leaves on purpose"});
        else if (!comment.empty())
            verification->residue.push_back({What(*record), "left to a comment: " + comment});
        else if (installed)
            verification->residue.push_back(
                {What(*record), "added by the installation, not in the plan"});
        else
            verification->residue.push_back(
                {What(*record), "appeared during the removal or the restart"});
    }
    for (const Record* record : left.disappeared) {
        if (after.records.count(record->id))
            verification->wronglyGone.push_back(
                {What(*record), "there before and after the installation, gone after the removal"});
        else
            verification->residue.push_back({What(*record), "removed by the installation"});
    }
    for (const auto& change : left.changed)
        verification->residue.push_back(
            {What(*change.second),
             "changed: " + Describe(*change.first) + " -> " + Describe(*change.second)});
}

void VerifyRun(const CheckReport& report, const Snapshot& after, const Snapshot& ran,
               Verification* verification) {
    verification->ranChecked = true;
    for (const PlannedItem& item : report.plan) {
        if (item.kind != "service")
            continue;
        std::string id = RecordId('S', {item.item, "", "", ""});
        // The snapshot's state field is the service's current state, in hex.
        auto before = after.records.find(id);
        auto now = ran.records.find(id);
        if (before == after.records.end() || before->second.fields.size() < 3 ||
            strtoul(before->second.fields[2].c_str(), nullptr, 16) != SERVICE_RUNNING)
            continue;
        if (now != ran.records.end() && now->second.fields.size() >= 3 &&
            strtoul(now->second.fields[2].c_str(), nullptr, 16) == SERVICE_RUNNING)
            verification->notStopped.push_back(
                {"service " + item.item, "running after the installation and after the run"});
    }
}

namespace {

// One line of a run's log: its result (-1 for the version line) and its step's name and text.
struct LogLine {
    long result = -1;
    std::string step;
    std::string text; // after "name: ", or empty
    std::string whole;
};

LogLine ParseLogLine(const std::string& line) {
    LogLine parsed;
    // The time column ends at the first tab.
    size_t tab = line.find('\t');
    parsed.whole = tab == std::string::npos ? line : line.substr(tab + 1);
    const std::string& body = parsed.whole;
    size_t digits = 0;
    while (digits < body.size() && body[digits] >= '0' && body[digits] <= '9')
        ++digits;
    if (digits < 4 || digits >= body.size() || body[digits] != ' ')
        return parsed;
    parsed.result = strtol(body.substr(0, digits).c_str(), nullptr, 10);
    std::string rest = body.substr(digits + 1);
    size_t colon = rest.find(": ");
    parsed.step = colon == std::string::npos ? rest : rest.substr(0, colon);
    parsed.text = colon == std::string::npos ? "" : rest.substr(colon + 2);
    return parsed;
}

std::string Counted(size_t count, const char* what) {
    return std::to_string(count) + " " + what;
}

} // namespace

bool VerifyLog(const CheckReport& report, const char* logPath, Verification* verification) {
    FILE* in = CrtOpen(logPath, "r");
    if (!in)
        return false;
    std::vector<LogLine> lines;
    {
        std::unique_ptr<FILE, int (*)(FILE*)> closer(in, fclose);
        char buffer[4096];
        while (fgets(buffer, sizeof(buffer), in)) {
            buffer[strcspn(buffer, "\r\n")] = '\0';
            if (buffer[0] != '\0')
                lines.push_back(ParseLogLine(buffer));
        }
    }
    verification->logChecked = true;

    // The steps of a complete run in their order, each with the text its counts give; an empty
    // text is not compared.
    size_t files = report.Count("file") + report.Count("folder");
    std::vector<std::pair<std::string, std::string>> steps = {{"InitConfigFile", ""}};
    for (const auto& list : report.lists)
        steps.emplace_back(list.first, Counted(list.second, "items"));
    steps.emplace_back("PopulateRemoveServiceList", Counted(report.Count("service"), "services"));
    steps.emplace_back("PopulateRemoveRegList", Counted(report.Count("key"), "keys, ") +
                                                    Counted(report.Count("value"), "values"));
    steps.emplace_back("PopulateRemoveFileList", Counted(files, "files and folders"));
    steps.emplace_back("ResetLspStack", "");
    steps.emplace_back("CleanupFiles", Counted(files, "files and folders"));
    steps.emplace_back("CleanupRegValues", Counted(report.Count("value"), "values"));
    steps.emplace_back("CleanupRegKeys", Counted(report.Count("key"), "keys"));

    if (lines.empty() || lines[0].result != -1)
        verification->logProblems.push_back({"the log", "does not begin with the version line"});
    size_t next = 0;
    for (const LogLine& line : lines) {
        if (line.result < 0)
            continue;
        bool refusal = line.step.compare(0, 9, "Protected") == 0;
        if (next < steps.size() && line.step == steps[next].first) {
            const std::string& expected = steps[next].second;
            if (line.result != 0)
                verification->logProblems.push_back({line.whole, "the step failed"});
            else if (!expected.empty() && line.text != expected)
                verification->logProblems.push_back(
                    {line.whole, "the plan gives \"" + expected + "\""});
            ++next;
        } else if (refusal) {
            verification->logNotes.push_back(line.whole);
        } else if (line.result != 0) {
            verification->logProblems.push_back({line.whole, "a failure"});
        }
    }
    for (; next < steps.size(); ++next)
        verification->logProblems.push_back(
            {steps[next].first, "no line for this step where the run writes it"});
    return true;
}

namespace {
const char kPlanHeader[] = "KVPLAN\t1";
} // namespace

bool SavePlan(const CheckReport& report, const char* path) {
    FILE* out = CrtOpen(path, "w");
    if (!out)
        return false;
    bool written = fprintf(out, "%s\n", kPlanHeader) > 0;
    for (const PlannedItem& item : report.plan)
        written = written && fprintf(out, "%s\t%s\t%d\n", item.kind.c_str(),
                                     EscapeField(item.item).c_str(), item.line) > 0;
    for (const SparedItem& item : report.spared)
        written = written && fprintf(out, "spared\t%s\t%s\t%s\t%d\n", item.kind.c_str(),
                                     EscapeField(item.item).c_str(),
                                     EscapeField(item.ignore).c_str(), item.line) > 0;
    for (const auto& list : report.lists)
        written = written && fprintf(out, "list\t%s\t%u\n", list.first.c_str(),
                                     static_cast<unsigned>(list.second)) > 0;
    return fclose(out) == 0 && written;
}

bool LoadPlan(const char* path, CheckReport* report, std::string* problem) {
    FILE* in = CrtOpen(path, "r");
    if (!in) {
        *problem = std::string("cannot read ") + path;
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> closer(in, fclose);
    char line[8192];
    bool first = true;
    while (fgets(line, sizeof(line), in)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (first) {
            first = false;
            if (strcmp(line, kPlanHeader) != 0)
                break;
            continue;
        }
        std::vector<std::string> fields = SplitFields(line);
        if (fields.size() == 5 && fields[0] == "spared") {
            SparedItem item;
            item.kind = fields[1];
            item.item = UnescapeField(fields[2]);
            item.ignore = UnescapeField(fields[3]);
            item.line = atoi(fields[4].c_str());
            report->spared.push_back(item);
            continue;
        }
        if (fields.size() == 3 && fields[0] == "list") {
            report->lists.emplace_back(fields[1], strtoul(fields[2].c_str(), nullptr, 10));
            continue;
        }
        if (fields.size() != 3) {
            *problem = std::string(path) + " holds a line that is not a plan item";
            return false;
        }
        PlannedItem item;
        item.kind = fields[0];
        item.item = UnescapeField(fields[1]);
        item.line = atoi(fields[2].c_str());
        report->plan.push_back(item);
    }
    if (first) {
        *problem = std::string(path) + " is not a kvprofile plan";
        return false;
    }
    report->profile = path;
    report->planned = true;
    return true;
}

void PrintVerification(const Verification& verification, FILE* out) {
    const std::pair<const char*, const std::vector<Finding>*> parts[] = {
        {"planned but not added by the installation", &verification.plannedButNotInstalled},
        {"added by the installation but not planned", &verification.installedButNotPlanned},
        {"spared by the profile", &verification.spared},
        {"spared by the profile, gone", &verification.sparedGone},
        {"planned services not stopped by the run",
         verification.ranChecked ? &verification.notStopped : nullptr},
        {"planned but not removed", &verification.notRemoved},
        {"there before, gone after the removal", &verification.wronglyGone},
        {"log lines not as the plan gives them",
         verification.logChecked ? &verification.logProblems : nullptr},
        {"residue", &verification.residue},
    };
    for (const auto& part : parts) {
        if (!part.second)
            continue;
        fprintf(out, "%s: %u\n", part.first, static_cast<unsigned>(part.second->size()));
        // What lies beneath a place left on purpose is counted per place, not listed.
        std::map<std::string, unsigned> leftOnPurpose;
        for (const Finding& finding : *part.second) {
            if (part.second == &verification.residue &&
                finding.reason.compare(0, 8, "beneath ") == 0)
                ++leftOnPurpose[finding.reason];
            else
                fprintf(out, "  %s (%s)\n", finding.what.c_str(), finding.reason.c_str());
        }
        for (const auto& place : leftOnPurpose)
            fprintf(out, "  %u item%s %s\n", place.second, place.second == 1 ? "" : "s",
                    place.first.c_str());
    }
    if (verification.logChecked) {
        fprintf(out, "log: refusals of protected locations: %u\n",
                static_cast<unsigned>(verification.logNotes.size()));
        for (const std::string& note : verification.logNotes)
            fprintf(out, "  %s\n", note.c_str());
    }
    fprintf(out, "verify: %s\n", verification.Passed() ? "passed" : "FAILED");
}

} // namespace companion
