// Fuzz target: the trace settings reader and the writes that follow the options it sets.
//
// The input is a settings file beside the program. It is loaded into a facility that already has
// the engine's log open, then messages of several categories, masks and levels are written, inside
// and outside an inner scope, before and after the re-read interval has run out, and the facility
// is shut down as at process exit.
#include "sim/sim.h"
#include "trace/trace.h"
#include "trace/trace_testing.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

const char kProgram[] = "C:\\Tools\\Kelvane.exe";
const char kLog[] = "C:\\Tools\\Kelvane.log";
const char kSettings[] = "C:\\Tools\\trace.ini";

void WriteMessages(const char* text) {
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "%04d InitConfigFile: %s\n", 0, text);
    TraceWrite("engine", 4, 1, "%s", text);
    TraceWrite("net", 0x10, 300, "%d items\n", -7);
    TraceWrite("", 0xFFFFFFFF, -1, "%s v.%s\n", "Kelvane", "1.1.213.0 DEBUG");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string settings(reinterpret_cast<const char*>(data), size);

    TraceResetForTests();
    sim::Reset();
    sim::SetModulePath(kProgram);
    sim::AddFolder("C:\\Tools");
    sim::AddFile(kSettings, settings);

    {
        TraceScope process(g_traceCategory, "*\n");
        TraceSetOptions(0xFFFFFFFF, 0, 1, 0);
        TraceOpenLog(kLog, "w");
        // A bare name lies in the program's folder.
        TraceLoadSettings("trace.ini");
        WriteMessages("first");
        {
            TraceScope inner("engine", "work\n");
            WriteMessages(settings.c_str());
        }
        // Past any interval the file asks for in the first minutes: the next write re-reads it.
        sim::AdvanceClock(3600 * 1000);
        WriteMessages("after re-read");
        TraceReadSettings();
        WriteMessages("");
    }
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "after shutdown\n");
    TraceResetForTests();
    return 0;
}
