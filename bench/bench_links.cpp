// Links files of a million lines: reading (numbered and raw), writing, peak
// memory, each beside `cat FILE > /dev/null` of the same file in the same run.
//
//   bench_links                      generate the files and run the benchmarks
//   bench_links --peak-memory FILE   load FILE and print the peak resident size
//   bench_links --generate           write the files, print their directory, keep them
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "links/LinksFile.h"

extern char** environ;
using namespace elo;
namespace fs = std::filesystem;

namespace {

const char* kAreas[] = {"Cadastros", "Vendas", "Compras", "Estoque", "Financeiro", "Relat\xF3rios", "Utilit\xE1rios"};
const char* kWords[] = {"Clientes",
                        "Pedidos",
                        "Notas",
                        "Movimenta\xE7\xE3o",
                        "Contas",
                        "Cota\xE7\xF5"
                        "es",
                        "Invent\xE1rio",
                        "Comiss\xF5"
                        "es",
                        "Pre\xE7os",
                        "Lotes",
                        "Cheques",
                        "Metas"};

struct Files {
    fs::path dir, numbered, raw;
    size_t numberedSize = 0, rawSize = 0;
};

// 1,000,000 link lines, about 160 bytes each. The numbered file has 1,000
// folders of 1,000 items in tree order; the file that was never numbered has
// 200 folders of 5,000 items and its lines in no particular order, so that
// consecutive lines share no folder.
const Files& TheFiles() {
    static Files f = [] {
        Files files;
        files.dir = fs::temp_directory_path() / ("elo-bench-links-" + std::to_string(getpid()));
        fs::create_directories(files.dir);
        files.numbered = files.dir / "numbered.lnk";
        files.raw = files.dir / "raw.lnk";
        std::ofstream numbered(files.numbered, std::ios::binary), raw(files.raw, std::ios::binary);
        std::mt19937 rng(1);
        numbered << "_currentid=1000001\r\n";
        std::string path, line;
        std::vector<std::string> rawLines;
        rawLines.reserve(1000000);
        int id = 1;
        for (int folder = 0; folder < 1000; ++folder) {
            const char* area = kAreas[folder % 7];
            const std::string group = std::string(kWords[folder % 12]) + " " + std::to_string(folder);
            for (int item = 0; item < 1000; ++item, ++id) {
                const std::string name = std::string(kWords[rng() % 12]) + " " + std::to_string(id);
                path = std::string("Menu Principal\\") + area + "\\" + group + "\\" + name;
                const std::string target =
                    std::string(area) + ".Grupo" + std::to_string(folder) + ".Item" + std::to_string(item);
                line = path + "=link={" + target + "&pointer=\"frm" + std::to_string(item) +
                       "\";Caption=\"Abrir\"};_id=\"" + std::to_string(id) + "\";_tag=\"6\";Caption=\"" + name +
                       "\"\r\n";
                numbered << line;
                // The same item in a folder of 5,000.
                const int wide = (id - 1) / 5000;
                const std::string rawPath = std::string("Menu Principal\\") + kAreas[wide % 7] + "\\" +
                                            kWords[wide % 12] + " " + std::to_string(wide) + "\\" + name;
                std::string tags;
                if (item % 5 != 0) tags = "pointer=frm" + std::to_string(item) + ";Caption=\"Abrir " + name + "\"";
                if (item % 7 == 0) {
                    if (!tags.empty()) tags += ',';
                    tags += "link={";
                    tags += target;
                    tags += ".Detalhe&modo=[edit=sim]}";
                }
                rawLines.push_back(rawPath + "=" + target + (tags.empty() ? "" : "&") + tags + "\r\n");
            }
        }
        std::shuffle(rawLines.begin(), rawLines.end(), rng);
        for (const std::string& l : rawLines) raw << l;
        numbered.close();
        raw.close();
        files.numberedSize = fs::file_size(files.numbered);
        files.rawSize = fs::file_size(files.raw);
        std::atexit(
            [] { fs::remove_all(fs::temp_directory_path() / ("elo-bench-links-" + std::to_string(getpid()))); });
        return files;
    }();
    return f;
}

void BM_CatToDevNull(benchmark::State& state, fs::path Files::*which) {
    const Files& f = TheFiles();
    const std::string command = "cat '" + (f.*which).string() + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("cat failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(f.*which)));
}

void BM_LoadNumbered(benchmark::State& state) {
    const Files& f = TheFiles();
    for (auto _ : state) {
        TLinksDocument doc;
        doc.LoadLinksFile(f.numbered.string());
        benchmark::DoNotOptimize(doc.CurrentId);
        state.PauseTiming(); // freeing the tree is not part of the reading
        doc.NewLinksFile();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.numberedSize));
}

void BM_LoadRawWithRenumbering(benchmark::State& state) {
    const Files& f = TheFiles();
    for (auto _ : state) {
        TLinksDocument doc;
        doc.LoadLinksFile(f.raw.string());
        benchmark::DoNotOptimize(doc.CurrentId);
        state.PauseTiming();
        doc.NewLinksFile();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.rawSize));
}

void BM_Save(benchmark::State& state) {
    const Files& f = TheFiles();
    TLinksDocument doc;
    doc.LoadLinksFile(f.numbered.string());
    const std::string out = (f.dir / "saved.lnk").string();
    for (auto _ : state) doc.SaveLinksFile(out);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.numberedSize));
}

// The floor for any save that syncs: the same bytes copied and synced by dd.
void BM_DdWithFsync(benchmark::State& state) {
    const Files& f = TheFiles();
    const std::string command =
        "dd if='" + f.numbered.string() + "' of='" + (f.dir / "dd.lnk").string() + "' bs=1M conv=fsync status=none";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("dd failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.numberedSize));
}

// Peak resident memory of a fresh process that loads the file, per byte of file.
void BM_PeakMemory(benchmark::State& state, fs::path Files::*which) {
    const Files& f = TheFiles();
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = 0;
    double ratio = 0;
    for (auto _ : state) {
        int pipeFd[2];
        if (pipe(pipeFd) != 0) state.SkipWithError("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFd[1], 1);
        const std::string file = (f.*which).string();
        char* argv[] = {self, const_cast<char*>("--peak-memory"), const_cast<char*>(file.c_str()), nullptr};
        pid_t pid = 0;
        posix_spawn(&pid, self, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFd[1]);
        char buffer[64] = {};
        const ssize_t got = read(pipeFd[0], buffer, sizeof buffer - 1);
        close(pipeFd[0]);
        waitpid(pid, nullptr, 0);
        const double peak = got > 0 ? std::atof(buffer) : 0;
        ratio = peak / static_cast<double>(fs::file_size(f.*which));
    }
    state.counters["peak_per_file_byte"] = ratio;
}

// Loads in a fresh process, as the editor's first Open does: prints the peak
// resident size in bytes, and the load time to stderr.
int PeakMemory(const char* file) {
    auto* doc = new TLinksDocument;
    const auto start = std::chrono::steady_clock::now();
    doc->LoadLinksFile(file);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.0f\n", static_cast<double>(usage.ru_maxrss) * 1024.0);
    std::fprintf(stderr, "load in a fresh process: %.3f s\n", seconds);
    std::fflush(stdout);
    std::_Exit(0); // the document is not freed: the operating system takes it back
}

} // namespace

BENCHMARK_CAPTURE(BM_CatToDevNull, numbered, &Files::numbered)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadNumbered)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DdWithFsync)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_CatToDevNull, raw, &Files::raw)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadRawWithRenumbering)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_PeakMemory, numbered, &Files::numbered)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PeakMemory, raw, &Files::raw)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--peak-memory") == 0) return PeakMemory(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "--generate") == 0) {
        std::printf("%s\n", TheFiles().dir.c_str());
        std::fflush(stdout);
        std::_Exit(0); // keep the files
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
