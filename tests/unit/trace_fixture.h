// Shared set-up of the trace tests: a fresh facility and test folder, whole-file reads and writes.
#pragma once

#include "contract.h"
#include "platform/os/crt.h"
#include "trace/trace.h"
#include "trace/trace_testing.h"

#include <gtest/gtest.h>

#include <string>

namespace tracetest {

// Every byte of a file as stored (no line-end translation); empty when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
    std::string content;
    if (FILE* file = CrtOpen(path.c_str(), "rb")) {
        char buffer[512];
        size_t got;
        while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
            content.append(buffer, got);
        fclose(file);
    }
    return content;
}

inline void WriteBytes(const std::string& path, const std::string& content) {
    FILE* file = CrtOpen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    fwrite(content.data(), 1, content.size(), file);
    fclose(file);
}

// This process's own folder: test programs run in parallel on Windows never touch each other's.
inline std::string Folder() {
    return contract::Scratch() + "-trace-" + std::to_string(GetCurrentProcessId());
}

inline void EmptyFolder() {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((Folder() + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileA((Folder() + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        TraceResetForTests(); // closes the facility's streams before their files go
        contract::FreshMachine();
        EmptyFolder();
        CreateDirectoryA(Folder().c_str(), nullptr);
    }
    void TearDown() override {
        TraceResetForTests();
        EmptyFolder();
        RemoveDirectoryA(Folder().c_str());
    }
    static std::string Path(const char* name) { return Folder() + "\\" + name; }
    static std::string OpenTestLog(const char* name = "trace.log") {
        TraceOpenLog(Path(name).c_str(), "w");
        EXPECT_NE(TraceGetLog(), nullptr);
        return Path(name);
    }
    static void LoadSettings(const std::string& content) {
        WriteBytes(Path("trace.ini"), content);
        TraceLoadSettings(Path("trace.ini").c_str());
    }
    static void Write(const char* text, const char* category = "") {
        TraceWrite(category, 0xFFFFFFFF, 0, "%s", text);
    }
};

} // namespace tracetest
