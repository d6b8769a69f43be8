// CString: the framework's narrow string with formatting and loading from the string table.
#pragma once

#include <windows.h>

#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text ? text : "") {}
    CString(const std::string& text) : m_text(text) {}

    CString& operator=(const char* text);
    CString& operator+=(const char* text);
    CString& operator+=(const CString& text) { return *this += text.c_str(); }
    operator const char*() const { return m_text.c_str(); }
    const char* c_str() const { return m_text.c_str(); }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }

    // Loads a string of the string table; false (and empty) when there is none.
    BOOL LoadString(UINT id);
    void Format(const char* format, ...);
    // Formats with a string of the string table as the format.
    void Format(UINT formatId, ...);

private:
    void FormatV(const char* format, va_list arguments);
    std::string m_text;
};

inline bool operator==(const CString& a, const char* b) {
    return std::string(a.c_str()) == (b ? b : "");
}
