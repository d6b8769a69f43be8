// The proof of a removal: the plan against what the installation added, and the machine after the
// removal against the machine before the installation.
#include "verify.h"

#include "platform/os/crt.h"
#include "text_forms.h"

#include <cstdlib>
#include <cstring>
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

} // namespace

Verification VerifyPlan(const CheckReport& report, const Snapshot& before, const Snapshot& after) {
    Verification verification;
    std::set<std::string> plan = PlanForms(report);
    std::set<std::string> installed;
    for (const Record* record : Compare(before, after).appeared) {
        std::string form = PlanForm(*record);
        if (form.empty())
            continue;
        installed.insert(form);
        if (Covered(plan, form))
            continue;
        std::string reason = CommentReason(after, *record);
        if (reason.empty())
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
                   const Snapshot& final, Verification* verification) {
    std::set<std::string> plan = PlanForms(report);
    Difference left = Compare(before, final);
    for (const Record* record : left.appeared) {
        std::string form = PlanForm(*record);
        bool installed = after.records.count(record->id) != 0;
        std::string comment = CommentReason(after, *record);
        if (!form.empty() && Covered(plan, form))
            verification->notRemoved.push_back({What(*record), "planned, still there"});
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
        {"planned but not removed", &verification.notRemoved},
        {"there before, gone after the removal", &verification.wronglyGone},
        {"residue", &verification.residue},
    };
    for (const auto& part : parts) {
        fprintf(out, "%s: %u\n", part.first, static_cast<unsigned>(part.second->size()));
        for (const Finding& finding : *part.second)
            fprintf(out, "  %s (%s)\n", finding.what.c_str(), finding.reason.c_str());
    }
    fprintf(out, "verify: %s\n", verification.Passed() ? "passed" : "FAILED");
}

} // namespace companion
