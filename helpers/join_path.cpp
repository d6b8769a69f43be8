// Joining path parts with one '\' between them, refusing what does not fit the destination.
#include "helper.h"

#include "char_step.h"

#include <cstring>

using helper_detail::EndsWithSeparator;
using helper_detail::IsSeparator;

bool JoinPathList(char* dest, size_t destSize, const char* const* parts, size_t count) {
    if (!dest || destSize == 0)
        return false;
    dest[0] = '\0';
    size_t length = 0;
    for (size_t i = 0; i < count; ++i) {
        const char* part = parts ? parts[i] : nullptr;
        if (!part || !*part)
            continue;
        bool separator = length != 0 && !EndsWithSeparator(dest) && !IsSeparator(*part);
        size_t partLength = strlen(part);
        size_t needed = (separator ? 1 : 0) + partLength;
        // Compared as the room left, so that no sum can wrap around.
        if (needed >= destSize - length) {
            dest[0] = '\0';
            return false;
        }
        if (separator)
            dest[length++] = '\\';
        memcpy(dest + length, part, partLength + 1);
        length += partLength;
    }
    return true;
}
