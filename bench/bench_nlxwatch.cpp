// Library change watching: how soon a rewrite of a watched library is picked up
// (entries replaced) while the main thread runs its queue, and how long
// stopping an idle watcher takes.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "nlxintf/nlxintf.h"
#include "platform/MainThread.h"
#include "support/NlxWriter.h"

using namespace elo;
using namespace elo::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string Library(int n) {
    NlxLibrarySpec plan;
    for (int i = 0; i < n; ++i) plan.Entries.push_back(SimpleEntry("P", "E" + std::to_string(i), 10));
    return WriteNlx(plan);
}

void BM_RewritePickedUp(benchmark::State& state) {
    SetMainThread();
    NlxInterfacesStartup();
    const fs::path dir = fs::temp_directory_path() / ("elo-bench-watch-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "lib.nlx").string();
    std::ofstream(path, std::ios::binary) << Library(1);
    TNLXInterfaces& registry = NLXInterfaces();
    registry.LockLibrary(path);
    registry.UnlockLibrary();
    TNLXInterfaceItem* library = registry.Current;
    int entries = 1;
    double worst = 0;
    for (auto _ : state) {
        entries = entries == 1 ? 40 : 1;
        const std::string bytes = Library(entries);
        std::ofstream(path + ".tmp", std::ios::binary) << bytes;
        const auto start = Clock::now();
        fs::rename(path + ".tmp", path); // the rewrite another program makes
        while (library->EntryCount != entries) CheckSynchronize(1);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        worst = std::max(worst, seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["worst_ms"] = worst * 1000;
    NlxInterfacesShutdown();
    fs::remove_all(dir);
}
BENCHMARK(BM_RewritePickedUp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

void BM_StopIdleWatcher(benchmark::State& state) {
    SetMainThread();
    double worst = 0;
    for (auto _ : state) {
        TFileWatcher watcher("/tmp/elo-bench-nothing.nlx");
        watcher.Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // idle in its wait
        const auto start = Clock::now();
        watcher.Stop();
        WaitForThreadEnd(watcher, 5000);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        worst = std::max(worst, seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["worst_ms"] = worst * 1000;
}
BENCHMARK(BM_StopIdleWatcher)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(100);

} // namespace

BENCHMARK_MAIN();
