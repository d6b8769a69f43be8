// Windows' file name wildcards: the pattern is read as DOS wildcards and matched by a table.
#include "find_match.h"

#include "core.h"

#include <vector>

namespace simfs {

namespace {

enum class Kind { Literal, Star, DosStar, DosQm, DosDot };

struct Token {
    Kind kind;
    std::string text; // a literal character (two bytes for a double-byte one)
};

// Splits text into characters, keeping a double-byte character's two bytes together.
std::vector<std::string> Characters(const std::string& text) {
    std::vector<std::string> out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size()) {
            out.push_back(text.substr(i, 2));
            ++i;
        } else {
            out.push_back(text.substr(i, 1));
        }
    }
    return out;
}

// The pattern in DOS wildcards, as the search hands it to the file system.
std::vector<Token> Tokens(const std::string& mask) {
    if (mask == "*.*")
        return {Token{Kind::Star, ""}};
    const std::vector<std::string> chars = Characters(mask);
    std::vector<Token> tokens;
    for (size_t i = 0; i < chars.size(); ++i) {
        const std::string& c = chars[i];
        const std::string next = i + 1 < chars.size() ? chars[i + 1] : "";
        if (c == "?")
            tokens.push_back({Kind::DosQm, ""});
        else if (c == "*")
            tokens.push_back({next == "." ? Kind::DosStar : Kind::Star, ""});
        else if (c == "." && (next == "?" || next == "*" || next.empty()))
            tokens.push_back({Kind::DosDot, ""});
        else
            tokens.push_back({Kind::Literal, c});
    }
    return tokens;
}

} // namespace

bool MatchesMask(const std::string& name, const std::string& mask) {
    const std::vector<Token> tokens = Tokens(mask);
    const std::vector<std::string> chars = Characters(name);
    const size_t n = chars.size();
    size_t lastDot = n; // n: the name has no dot
    for (size_t i = 0; i < n; ++i)
        if (chars[i] == ".")
            lastDot = i;

    // matches[t][i]: tokens from t on match the name's characters from i on.
    std::vector<std::vector<char>> matches(tokens.size() + 1, std::vector<char>(n + 1, 0));
    matches[tokens.size()][n] = 1;
    for (size_t t = tokens.size(); t-- > 0;) {
        for (size_t i = n + 1; i-- > 0;) {
            const bool more = i < n;
            const bool atDot = more && chars[i] == ".";
            bool ok = false;
            switch (tokens[t].kind) {
            case Kind::Literal:
                ok =
                    more && simcore::EqualNoCase(chars[i], tokens[t].text) && matches[t + 1][i + 1];
                break;
            case Kind::Star:
                ok = matches[t + 1][i] || (more && matches[t][i + 1]);
                break;
            case Kind::DosStar:
                ok = matches[t + 1][i] ||
                     (more && (lastDot == n || i < lastDot) && matches[t][i + 1]);
                break;
            case Kind::DosQm:
                ok = (more && !atDot) ? matches[t + 1][i + 1] : matches[t + 1][i];
                break;
            case Kind::DosDot:
                ok = atDot ? matches[t + 1][i + 1] : (!more && matches[t + 1][i]);
                break;
            }
            matches[t][i] = ok ? 1 : 0;
        }
    }
    return matches[0][0] != 0;
}

} // namespace simfs
