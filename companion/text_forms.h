// Texts the companion writes and reads back: JSON strings, the snapshot's escaped fields, and
// upper-case comparison keys folded as the engine folds plan texts.
#pragma once

#include <string>
#include <vector>

namespace companion {

// A JSON string literal. The machine's texts are ANSI bytes: ASCII stays as it is, and every byte
// above 0x7F is written as \u00XX of its byte value (decode such strings in the ANSI code page).
std::string JsonString(const std::string& text);

// A snapshot field: '%' and every control character as %XX, so that a field never holds a tab or
// a line end.
std::string EscapeField(const std::string& text);
std::string UnescapeField(const std::string& text);

// Splits a line at its tabs.
std::vector<std::string> SplitFields(const std::string& line);

// The text upper-cased with the engine's own folding (UpperCase).
std::string Folded(const std::string& text);

// True when `path` is `folder` or lies beneath it (whole components, case folded).
bool IsUnder(const std::string& path, const std::string& folder);

} // namespace companion
