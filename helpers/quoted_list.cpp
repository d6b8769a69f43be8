// Cutting the quoted field lists of data-matching entries ('"a","b","c"') in place.
#include "helper.h"

#include "char_step.h"

void SplitQuotedListArray(char* text, char** fields, size_t count) {
    if (!text)
        return;
    char* last = const_cast<char*>(helper_detail::LastCharStart(text));
    if (last && last[0] == '"' && last[1] == '\0')
        *last = '\0';
    while (*text == '"')
        ++text;
    for (size_t i = 0; i < count; ++i) {
        fields[i] = text;
        char* separator = FindText(text, "\",\"");
        if (!separator)
            return;
        *separator = '\0';
        text = separator + 3;
    }
}
