// CString: formatting into a growing buffer, and loading from the string table.
#include "afxstr.h"

#include "afxwin.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

CString& CString::operator=(const char* text) {
    m_text = text ? text : "";
    return *this;
}

CString& CString::operator+=(const char* text) {
    if (text)
        m_text += text;
    return *this;
}

BOOL CString::LoadString(UINT id) {
    char buffer[1024];
    int length = ::LoadStringA(AfxGetResourceHandle(), id, buffer, sizeof(buffer));
    if (length <= 0) {
        m_text.clear();
        return FALSE;
    }
    m_text.assign(buffer, static_cast<size_t>(length));
    return TRUE;
}

void CString::FormatV(const char* format, va_list arguments) {
    va_list measure;
    va_copy(measure, arguments);
    int needed = vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed < 0) {
        m_text.clear();
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    vsnprintf(buffer.data(), buffer.size(), format, arguments);
    m_text.assign(buffer.data(), static_cast<size_t>(needed));
}

void CString::Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    FormatV(format ? format : "", arguments);
    va_end(arguments);
}

void CString::Format(UINT formatId, ...) {
    CString format;
    format.LoadString(formatId);
    va_list arguments;
    va_start(arguments, formatId);
    FormatV(format.c_str(), arguments);
    va_end(arguments);
}
