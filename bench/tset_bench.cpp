// TSet against std::set<std::string> with a case-insensitive order on the same 100k paths: add,
// lookup and a full forward walk, reported as the ratio TSet / std::set measured in one run.
#include "containers/TSet.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr size_t kPaths = 100000;
constexpr double kTargetRatio = 1.2;
constexpr int kRounds = 5;

// The reference order: ASCII letters folded, as a case-insensitive std::set would be written.
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const {
        size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            unsigned char x = static_cast<unsigned char>(a[i]);
            unsigned char y = static_cast<unsigned char>(b[i]);
            if (x >= 'A' && x <= 'Z')
                x = static_cast<unsigned char>(x - 'A' + 'a');
            if (y >= 'A' && y <= 'Z')
                y = static_cast<unsigned char>(y - 'A' + 'a');
            if (x != y)
                return x < y;
        }
        return a.size() < b.size();
    }
};
using StdSet = std::set<std::string, NoCaseLess>;

// Paths shaped like an installation: shared folder prefixes, mixed case, shuffled order.
struct Data {
    std::vector<std::string> paths;
    std::vector<std::string> lookups; // half present in another case, half absent
    Data() {
        std::mt19937 random(20240611);
        const char* roots[] = {"C:\\Program Files\\Vendor Security\\", "C:\\WINDOWS\\system32\\",
                               "C:\\Documents and Settings\\All Users\\Application Data\\Vendor\\",
                               "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\"};
        char text[MAX_PATH];
        for (size_t i = 0; i < kPaths; ++i) {
            snprintf(text, sizeof(text), "%sModule%03u\\Component%02u\\file%06u.dat",
                     roots[random() % 4], static_cast<unsigned>(random() % 300),
                     static_cast<unsigned>(random() % 40), static_cast<unsigned>(i));
            paths.push_back(text);
        }
        std::shuffle(paths.begin(), paths.end(), random);
        for (size_t i = 0; i < kPaths; ++i) {
            std::string key = paths[(i * 7919) % kPaths];
            if (i % 2) {
                key.back() = 'X';
            } else {
                for (char& c : key)
                    c = static_cast<char>((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c);
            }
            lookups.push_back(key);
        }
    }
};

const Data& TheData() {
    static const Data data;
    return data;
}

void FillTSet(TSet& set) {
    for (const std::string& path : TheData().paths)
        set.Add(path.c_str());
}

void FillStdSet(StdSet& set) {
    for (const std::string& path : TheData().paths)
        set.insert(path);
}

void AddTSet(benchmark::State& state) {
    for (auto _ : state) {
        TSet* set = new TSet;
        FillTSet(*set);
        benchmark::DoNotOptimize(set->Count());
        state.PauseTiming();
        delete set;
        state.ResumeTiming();
    }
}

void AddStdSet(benchmark::State& state) {
    for (auto _ : state) {
        StdSet* set = new StdSet;
        FillStdSet(*set);
        benchmark::DoNotOptimize(set->size());
        state.PauseTiming();
        delete set;
        state.ResumeTiming();
    }
}

void ContainsTSet(benchmark::State& state) {
    TSet set;
    FillTSet(set);
    for (auto _ : state) {
        int found = 0;
        for (const std::string& key : TheData().lookups)
            found += set.Contains(key.c_str());
        benchmark::DoNotOptimize(found);
    }
}

void ContainsStdSet(benchmark::State& state) {
    StdSet set;
    FillStdSet(set);
    for (auto _ : state) {
        int found = 0;
        for (const std::string& key : TheData().lookups)
            found += set.count(key) ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
}

void WalkTSet(benchmark::State& state) {
    TSet set;
    FillTSet(set);
    for (auto _ : state) {
        size_t total = 0;
        char* item = nullptr;
        for (DWORD r = set.GetFirst(&item); r == ERROR_SUCCESS; r = set.GetNext(&item))
            total += static_cast<unsigned char>(item[0]);
        benchmark::DoNotOptimize(total);
    }
}

void WalkStdSet(benchmark::State& state) {
    StdSet set;
    FillStdSet(set);
    for (auto _ : state) {
        size_t total = 0;
        for (const std::string& item : set)
            total += static_cast<unsigned char>(item[0]);
        benchmark::DoNotOptimize(total);
    }
}

// Keeps, per operation and container, the fastest CPU time of all rounds (the least disturbed
// sample on a shared machine), while the console output goes on as usual.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            std::string name = run.run_name.function_name; // "Add/TSet"
            double time = run.GetAdjustedCPUTime();
            auto it = m_best.find(name);
            if (it == m_best.end() || time < it->second)
                m_best[name] = time;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Prints one ratio per operation; false when any exceeds the target or was not measured.
    bool PrintRatios() const {
        bool ok = true;
        printf("\nTSet / std::set (CPU time, best of %d rounds; target <= %.2f)\n", kRounds,
               kTargetRatio);
        for (const char* op : {"Add", "Contains", "Walk"}) {
            auto a = m_best.find(std::string(op) + "/TSet");
            auto b = m_best.find(std::string(op) + "/StdSet");
            if (a == m_best.end() || b == m_best.end() || b->second <= 0) {
                printf("  %-8s  not measured\n", op);
                continue;
            }
            double ratio = a->second / b->second;
            bool pass = ratio <= kTargetRatio;
            ok = ok && pass;
            printf("  %-8s  %.2fx  %s\n", op, ratio, pass ? "ok" : "ABOVE TARGET");
        }
        return ok;
    }

private:
    std::map<std::string, double> m_best;
};

} // namespace

int main(int argc, char** argv) {
    TheData(); // generated once, outside every measurement
    const struct {
        const char* name;
        void (*function)(benchmark::State&);
    } cases[] = {
        {"Add/TSet", AddTSet},           {"Add/StdSet", AddStdSet},
        {"Contains/TSet", ContainsTSet}, {"Contains/StdSet", ContainsStdSet},
        {"Walk/TSet", WalkTSet},         {"Walk/StdSet", WalkStdSet},
    };
    // Rounds alternate the two containers, so that a disturbance of the shared machine falls on
    // both sides alike instead of on one container's whole series.
    for (int round = 0; round < kRounds; ++round)
        for (const auto& c : cases)
            benchmark::RegisterBenchmark(c.name, c.function)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bool ok = reporter.PrintRatios();
    benchmark::Shutdown();
    return ok ? 0 : 1;
}
