// The draft profile: a remove entry for each topmost thing that appeared, with the profile's own
// folder macros where a path lies under a macro folder, and comments for what it cannot say.
#include "diff.h"

#include "engine/protected_keys.h"
#include "text_forms.h"

#include <cstring>

namespace companion {

namespace {

// How many comment lines one kind of remark may take before the rest is only counted.
const size_t kMaxComments = 200;

std::string Parent(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

bool Existed(const Snapshot& before, const std::string& id) {
    return before.records.count(id) != 0;
}

bool IsRoot(const Snapshot& snapshot, const std::string& path) {
    for (const auto& fact : snapshot.facts)
        if (fact.first.compare(0, 5, "root ") == 0 && Folded(fact.first.substr(5)) == Folded(path))
            return true;
    return false;
}

std::string Fact(const Snapshot& snapshot, const char* name) {
    auto found = snapshot.facts.find(name);
    return found == snapshot.facts.end() ? "" : found->second;
}

const char kClassesRoot[] = "HKEY_CLASSES_ROOT\\";

// A key the engine never plans (a root, a hive-level key, a container every program shares); the
// classes root's keys are judged where they are stored.
bool ProtectedKey(const std::string& key) {
    std::string folded = Folded(key);
    if (protected_keys::IsProtectedKey(folded.c_str()))
        return true;
    size_t length = strlen(kClassesRoot);
    return folded.compare(0, length, kClassesRoot) == 0 &&
           protected_keys::IsProtectedKey(
               ("HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\" + folded.substr(length)).c_str());
}

// A new key or value is named by its own entry when nothing above it is: its parent key was
// there before, or is one the engine never plans.
bool NamedOnItsOwn(const Snapshot& before, const std::string& parentKey) {
    return Existed(before, "K" + Folded(parentKey)) || ProtectedKey(parentKey);
}

// Characters the profile format would read as something else than part of a name.
bool Expressible(const std::string& name) {
    return name.find_first_of("*?\"/") == std::string::npos;
}

struct Draft {
    std::vector<std::string> services, keys, values, files;
    std::vector<std::string> notes;
    size_t dropped = 0;

    void Note(const std::string& text) {
        if (notes.size() < kMaxComments)
            notes.push_back("; " + text);
        else
            ++dropped;
    }
};

// The file entry for a path: the longest macro folder it lies beneath, else the path itself.
void AddFile(Draft& draft, const Snapshot& after, const std::string& path) {
    std::string bestMacro, bestFolder;
    for (const auto& fact : after.facts) {
        if (fact.first.compare(0, 6, "macro ") != 0 || fact.second.size() <= bestFolder.size())
            continue;
        if (IsUnder(path, fact.second) && Folded(path) != Folded(fact.second)) {
            bestMacro = fact.first.substr(6);
            bestFolder = fact.second;
        }
    }
    if (!bestMacro.empty()) {
        std::string rest = path.substr(bestFolder.size());
        if (rest.empty() || rest[0] != '\\')
            rest = "\\" + rest;
        draft.files.push_back("remove=FILE_NAME_EXPAND,BY_VALUE," + bestMacro + rest);
        return;
    }
    draft.files.push_back("remove=FILE_NAME,BY_VALUE," + path);
    std::string profiles = Fact(after, "profiles");
    if (IsUnder(path, profiles))
        draft.Note("the entry above names one profile only: no folder macro covers " + path +
                   ", so the format has no per-user form for it");
}

void DraftFiles(Draft& draft, const Snapshot& before, const Snapshot& after, const Record& record) {
    std::string path = RecordName(record);
    std::string parent = Parent(path);
    if (!Existed(before, "F" + Folded(parent)) && !IsRoot(before, parent))
        return; // beneath a new folder, which its own entry removes whole
    std::string reason = CommentReason(after, record);
    if (!reason.empty())
        draft.Note(reason + ": " + path);
    else
        AddFile(draft, after, path);
}

void DraftKey(Draft& draft, const Snapshot& before, const Snapshot& after,
              const Difference& difference, const Record& record) {
    const std::string& key = record.fields[0];
    if (!NamedOnItsOwn(before, Parent(key)))
        return; // beneath a new key
    // The classes root shows the machine's and the user's classes again: the key is named once,
    // where it is stored.
    if (Folded(key).compare(0, strlen(kClassesRoot), kClassesRoot) == 0) {
        std::string rest = key.substr(strlen(kClassesRoot));
        for (const char* store :
             {"HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\", "HKEY_CURRENT_USER\\SOFTWARE\\CLASSES\\"})
            for (const Record* other : difference.appeared)
                if (other->kind == 'K' && other->id == "K" + Folded(store + rest))
                    return;
    }
    std::string reason = CommentReason(after, record);
    if (!reason.empty())
        draft.Note(reason + ": " + key);
    else
        draft.keys.push_back("remove=REG_KEY,BY_VALUE," + key);
}

void DraftValue(Draft& draft, const Snapshot& before, const Snapshot& after, const Record& record) {
    const std::string& key = record.fields[0];
    const std::string& name = record.fields[1];
    if (!NamedOnItsOwn(before, key))
        return; // its new key removes it
    std::string reason = CommentReason(after, record);
    if (!reason.empty())
        draft.Note(reason + ": " + key + " value \"" + name + "\"");
    else
        draft.values.push_back("remove=REG_VALUE,BY_VALUE," + key + "\\" + name);
}

void Section(std::string& text, const char* header, const std::vector<std::string>& lines) {
    text += std::string("\n[") + header + " 1]\n";
    for (const std::string& line : lines)
        text += line + "\n";
}

} // namespace

std::string CommentReason(const Snapshot& after, const Record& record) {
    std::string name = RecordName(record);
    if (record.kind == 'W')
        return "Winsock entry (Kelvane takes every layered entry out of the catalog by itself; a "
               "profile cannot name one)";
    if (record.kind == 'F' || record.kind == 'D') {
        std::string windows = Fact(after, "windows");
        std::string temp = Fact(after, "temp");
        if (!windows.empty() && IsUnder(name, windows + "\\Installer"))
            return "installer's cached package (Windows Installer's own copy; the product's "
                   "uninstaller removes it, a profile leaves it)";
        if (!temp.empty() && IsUnder(name, temp))
            return "left in the temporary folder";
        if (!Expressible(name.substr(Parent(name).size())))
            return "a name the format reads as a pattern";
    }
    if (record.kind == 'K' && ProtectedKey(name))
        return "a key the engine never removes (what is new beneath it is named on its own)";
    if (record.kind == 'K' && !Expressible(name.substr(Parent(name).size())))
        return "a key name the format reads as a pattern";
    if (record.kind == 'V' &&
        (!Expressible(record.fields[1]) || record.fields[1].find('\\') != std::string::npos))
        return "a value name the format cannot name";
    // An entry's text is normalised twice on its way to a value item (when the line is read and
    // when the value is looked up), and each pass drops a trailing separator: "KEY\\" names the
    // value called like the key's last name in its parent key, never the default value.
    if (record.kind == 'V' && record.fields[1].empty())
        return "a key's default value (the format names it only with its key, or with a * "
               "pattern that takes every value of the key)";
    return "";
}

std::string DraftProfile(const Snapshot& before, const Snapshot& after,
                         const Difference& difference) {
    Draft draft;
    for (const Record* record : difference.appeared) {
        switch (record->kind) {
        case 'F':
        case 'D':
            DraftFiles(draft, before, after, *record);
            break;
        case 'K':
            DraftKey(draft, before, after, difference, *record);
            break;
        case 'V':
            DraftValue(draft, before, after, *record);
            break;
        case 'S':
            draft.services.push_back("remove=SERVICE_NAME,BY_VALUE," + record->fields[0]);
            break;
        case 'W':
            draft.Note(CommentReason(after, *record) + ": " + RecordName(*record) + " (" +
                       record->fields[3] + ")");
            break;
        }
    }
    for (const auto& change : difference.changed)
        draft.Note(std::string("changed ") + KindName(change.second->kind) + " " +
                   RecordName(*change.second) + ": " + Describe(*change.first) + " -> " +
                   Describe(*change.second) + " (a profile removes, it cannot restore)");
    for (const Record* record : difference.disappeared)
        draft.Note(std::string("disappeared ") + KindName(record->kind) + " " +
                   RecordName(*record) + " (a profile cannot bring it back)");

    std::string text =
        "; Draft profile written by kvprofile diff: one remove entry for each topmost thing the\n"
        "; installation added. Read every entry, add ignore entries for what must stay, then run\n"
        "; kvprofile check on it before Kelvane does.\n";
    Section(text, "service", draft.services);
    Section(text, "registry key", draft.keys);
    Section(text, "registry value", draft.values);
    Section(text, "file", draft.files);
    if (!draft.notes.empty()) {
        text += "\n; What the format cannot express:\n";
        for (const std::string& note : draft.notes)
            text += note + "\n";
        if (draft.dropped)
            text += "; ... and " + std::to_string(draft.dropped) + " more\n";
    }
    return text;
}

} // namespace companion
