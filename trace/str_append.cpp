// Bounded string append: the destination never holds more than size - 1 characters.
#include "trace.h"

#include <cstring>

char* StrAppend(char* dest, const char* source, int size) {
    if (!dest)
        return nullptr;
    if (!source || size <= 0)
        return dest;
    size_t length = strlen(dest);
    size_t limit = static_cast<size_t>(size) - 1;
    if (length >= limit)
        return dest;
    while (length < limit && *source)
        dest[length++] = *source++;
    dest[length] = '\0';
    return dest;
}
