// The names of a normalised path or key text: split at its '\' separators and joined again.
// Internal to the engine's protection code.
#pragma once

#include "helpers/helper.h"

#include <string>
#include <vector>

namespace path_pieces {

// The pieces between the '\' separators (found multibyte-aware), empty ones included.
inline std::vector<std::string> Split(const char* text) {
    std::vector<std::string> pieces;
    for (;;) {
        const char* separator = FindChar(text, '\\');
        if (!separator) {
            pieces.emplace_back(text);
            return pieces;
        }
        pieces.emplace_back(text, static_cast<size_t>(separator - text));
        text = separator + 1;
    }
}

// Pieces [from, to) with one '\' between them.
inline std::string Join(const std::vector<std::string>& pieces, size_t from, size_t to) {
    std::string text;
    for (size_t i = from; i < to; ++i) {
        if (i > from)
            text += '\\';
        text += pieces[i];
    }
    return text;
}

} // namespace path_pieces
