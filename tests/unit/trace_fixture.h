// Shared set-up of the trace facility's tests: a fresh facility and scratch folder per test, and
// whole-file reads and writes through the runtime's streams (simulated disks natively).
#pragma once

#include "contract.h"
#include "platform/crt/crt.h"
#include "trace/trace.h"
#include "trace/trace_testing.h"

#include <gtest/gtest.h>

#include <string>

namespace tracetest {

// Every byte of a file as stored (no line-end translation); empty when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
    std::string content;
    FILE* file = CrtOpen(path.c_str(), "rb");
    if (!file)
        return content;
    char buffer[512];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
        content.append(buffer, got);
    fclose(file);
    return content;
}

inline void WriteBytes(const std::string& path, const std::string& content) {
    FILE* file = CrtOpen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    fwrite(content.data(), 1, content.size(), file);
    fclose(file);
}

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The facility first: its streams must be closed before the scratch folder is emptied.
        TraceResetForTests();
        contract::FreshMachine();
    }
    void TearDown() override { TraceResetForTests(); }

    static std::string Path(const char* name) { return contract::Scratch() + "\\" + name; }

    // Opens a log in the scratch folder with mode "w" and returns its path.
    static std::string OpenScratchLog(const char* name = "trace.log") {
        std::string path = Path(name);
        TraceOpenLog(path.c_str(), "w");
        EXPECT_NE(TraceGetLog(), nullptr) << path;
        return path;
    }

    // Writes a settings file into the scratch folder and loads it.
    static void LoadSettings(const std::string& content, const char* name = "trace.ini") {
        WriteBytes(Path(name), content);
        TraceLoadSettings(Path(name).c_str());
    }
};

} // namespace tracetest
