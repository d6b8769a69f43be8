// Fuzz target: the path, pattern and registry-path helpers on texts split out of the input.
//
// Byte 0 chooses the code page (bit 0: double-byte 932, else 1252) and the JoinPath destination
// size together with byte 1; the rest is split at line feeds into up to six fields. Each helper
// runs on heap copies of exactly the text's size, so that any write or read past a text is
// caught, and a few facts that hold for every input are checked.
#include "helpers/helper.h"
#include "sim/sim.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz_helpers: violated: %s\n", what);
        abort();
    }
}

// A heap copy of exactly the text and its NUL.
struct Text {
    explicit Text(const std::string& text)
        : bytes(text.c_str(), text.c_str() + strlen(text.c_str()) + 1) {}
    char* get() { return bytes.data(); }
    size_t length() const { return bytes.size() - 1; }
    bool Holds(const char* p) const { return p >= bytes.data() && p < bytes.data() + bytes.size(); }
    std::vector<char> bytes;
};

bool HasByte(const char* text, const char* bytes) {
    return strpbrk(text, bytes) != nullptr;
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

void CheckNormalize(const std::string& field, bool singleByte) {
    Text text(field);
    size_t before = text.length();
    NormalizeEntry(text.get());
    size_t after = strlen(text.get());
    Require(after <= before, "NormalizeEntry never lengthens the text");
    if (!singleByte)
        return;
    // Single-byte code page: canonical form has '\' as its only separator, never two in a row,
    // and no lower-case ASCII letter.
    Require(!HasByte(text.get(), "/"), "no '/' after NormalizeEntry");
    Require(strstr(text.get(), "\\\\") == nullptr, "no run of separators after NormalizeEntry");
    for (const char* p = text.get(); *p; ++p)
        Require(!(*p >= 'a' && *p <= 'z'), "NormalizeEntry upper-cases");
}

void CheckJoin(const std::vector<std::string>& fields, size_t destSize) {
    std::vector<char> dest(destSize ? destSize : 1, 'x');
    const char* parts[4] = {nullptr, nullptr, nullptr, nullptr};
    size_t total = 0;
    for (size_t i = 0; i < 4 && i < fields.size(); ++i) {
        parts[i] = fields[i].c_str();
        total += strlen(parts[i]) + 1;
    }
    // A part may also be absent: the fourth one stays null when there are fewer fields.
    bool joined = JoinPathList(destSize ? dest.data() : nullptr, destSize, parts, 4);
    if (destSize == 0) {
        Require(!joined, "JoinPath into no room fails");
        return;
    }
    if (joined) {
        Require(memchr(dest.data(), '\0', destSize) != nullptr, "JoinPath terminates its result");
        Require(strlen(dest.data()) <= total, "JoinPath adds at most one separator per part");
    } else {
        Require(dest[0] == '\0', "a failed JoinPath leaves an empty text");
    }
}

void CheckRegistryPath(const std::string& field) {
    Text text(field);
    bool empty = text.length() == 0;
    HKEY root = reinterpret_cast<HKEY>(1);
    char* rootName = text.get() + 1;
    char* subKey = text.get() + 1;
    char* lastName = text.get() + 1;
    DWORD result = ParseRegistryPath(text.get(), &root, &rootName, &subKey, &lastName);
    if (empty) {
        Require(result == ERROR_INVALID_DATA, "ParseRegistryPath refuses an empty text");
        return;
    }
    Require(result == 0, "ParseRegistryPath accepts any other text");
    Require((root == nullptr) == (rootName == nullptr), "a root comes with its name");
    if (rootName)
        Require(rootName == text.get() && strncmp(rootName, "HKEY_", 5) == 0,
                "the root name starts the text");
    for (char* name : {subKey, lastName})
        if (name)
            Require(text.Holds(name) && text.Holds(name + strlen(name)),
                    "split names lie inside the text");
    if (lastName)
        Require(subKey && lastName > subKey && *lastName, "a last name follows its sub key");
}

void CheckSplit(const std::string& field) {
    Text text(field);
    char* a = nullptr;
    char* b = nullptr;
    char* c = nullptr;
    SplitQuotedList(text.get(), &a, &b, &c);
    Require(a != nullptr, "the first field is always set");
    for (char* piece : {a, b, c})
        if (piece)
            Require(text.Holds(piece) && text.Holds(piece + strlen(piece)),
                    "fields lie inside the text");
    Require(!c || b, "fields are filled in order");
}

void CheckMatch(const std::string& first, const std::string& second, bool singleByte) {
    Text text(first);
    Text pattern(second);
    bool forward = MatchWildcard(text.get(), pattern.get());
    MatchWildcard(pattern.get(), text.get());
    Require(MatchWildcard(text.get(), "*"), "'*' matches every text");
    // In a double-byte code page a '*' or '?' byte that trails a lead byte is no wildcard.
    if (singleByte)
        Require(HasWildcards(pattern.get()) == HasByte(pattern.get(), "*?"),
                "HasWildcards sees '*' and '?'");
    if (!HasWildcards(text.get()))
        Require(MatchWildcard(text.get(), text.get()), "a literal text matches itself");
    if (singleByte) {
        // Case does not matter: the same pair with both sides folded gives the same answer.
        std::string lower = text.get();
        std::string upper = pattern.get();
        for (char& ch : lower)
            if (ch >= 'A' && ch <= 'Z')
                ch = static_cast<char>(ch - 'A' + 'a');
        for (char& ch : upper)
            if (ch >= 'a' && ch <= 'z')
                ch = static_cast<char>(ch - 'a' + 'A');
        Require(MatchWildcard(lower.c_str(), upper.c_str()) == forward,
                "MatchWildcard ignores case");
    }
}

void CheckCompareAndSearch(const std::string& first, const std::string& second, size_t n) {
    Text a(first);
    Text b(second);
    Require(ComparePrefixNoCase(a.get(), a.get(), n) == 0, "a text equals itself");
    Require(Sign(ComparePrefixNoCase(a.get(), b.get(), n)) ==
                -Sign(ComparePrefixNoCase(b.get(), a.get(), n)),
            "ComparePrefixNoCase is antisymmetric");
    const char* found = FindText(a.get(), b.get());
    if (found)
        Require(a.Holds(found) && strncmp(found, b.get(), b.length()) == 0,
                "FindText finds the part where it is");
    if (b.length() > 0) {
        const char* firstHit = FindChar(a.get(), b.get()[0]);
        const char* last = FindLastChar(a.get(), b.get()[0]);
        Require((firstHit == nullptr) == (last == nullptr), "FindChar and FindLastChar agree");
        if (firstHit)
            Require(a.Holds(firstHit) && *firstHit == b.get()[0] && last >= firstHit,
                    "FindChar finds the character");
    }
    std::string upper = a.get();
    UpperCase(&upper[0]);
    Require(strlen(upper.c_str()) == a.length(), "UpperCase keeps the length");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const bool singleByte = (data[0] & 1) == 0;
    const size_t destSize = data[1] + ((data[0] & 2) ? 100u : 0u);
    sim::SetCodePage(singleByte ? 1252 : 932);

    std::vector<std::string> fields;
    std::string input(reinterpret_cast<const char*>(data) + 2, size - 2);
    size_t start = 0;
    while (fields.size() < 6) {
        size_t end = input.find('\n', start);
        fields.push_back(input.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    while (fields.size() < 2)
        fields.push_back(std::string());

    for (const std::string& field : fields) {
        CheckNormalize(field, singleByte);
        CheckRegistryPath(field);
        CheckSplit(field);
    }
    CheckJoin(fields, destSize);
    CheckMatch(fields[0], fields[1], singleByte);
    CheckCompareAndSearch(fields[0], fields[1], destSize);
    return 0;
}
