// Interface libraries: block expansion beside zlib's inflate on the same
// original bytes; opening a library of 65,535 entries; reading the headers of
// 10,000 compressed entries.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "nlxintf/nlxintf.h"
#include "support/NlxWriter.h"

using namespace elo;
using namespace elo::test;
namespace fs = std::filesystem;

namespace {

// Realistic library content: entries with prose-like texts, names, references.
NlxEntrySpec RealisticEntry(std::mt19937& rng, int i) {
    static const char* words[] = {"cliente", "pedido", "valor",    "data",     "codigo",  "descricao",  "quantidade",
                                  "preco",   "total",  "situacao", "vendedor", "emissao", "vencimento", "nota"};
    auto word = [&] { return std::string(words[rng() % 14]); };
    NlxEntrySpec e = SimpleEntry("Modulo" + std::to_string(i % 40), "Tabela" + std::to_string(i), i % 3 ? 10 : 3, 0);
    e.Text1 = "Tabela de " + word() + " e " + word();
    for (int s = 0; s < 12; ++s) {
        NlxSymbolSpec y;
        y.Name = word() + "_" + word();
        y.Word1 = static_cast<uint16_t>(rng() % 400);
        y.Flags = static_cast<uint16_t>(rng() % 4);
        y.Text1 = "VARCHAR(" + std::to_string(10 + rng() % 90) + ")";
        y.GroupIndex = 0;
        y.Text2 = "Campo que guarda o " + word() + " do " + word() + " no cadastro de " + word();
        y.Reference = s % 3 == 0 ? "Tabela" + std::to_string(rng() % 100) + "." + word() : "";
        y.Text8 = "Informe o " + word();
        e.Table0.push_back(y);
    }
    return e;
}

std::string RealisticContent(size_t bytes) {
    std::mt19937 rng(9);
    std::string s;
    for (int i = 0; s.size() < bytes; ++i) {
        const NlxEntrySpec e = RealisticEntry(rng, i);
        s += EntryHeaderBytes(e, 25);
        s += EntryBodyBytes(e, 25);
    }
    s.resize(bytes);
    return s;
}

struct Blocks {
    std::string original;
    std::vector<std::string> ours;        // stored blocks, one per 4096 bytes
    std::vector<std::vector<Bytef>> zlib; // the same 4096-byte pieces, deflated
};

const Blocks& TheBlocks() {
    static const Blocks b = [] {
        Blocks blocks;
        blocks.original = RealisticContent(8 << 20);
        for (size_t at = 0; at < blocks.original.size(); at += 4096) {
            const std::string piece = blocks.original.substr(at, 4096);
            blocks.ours.push_back(CompressBlock(piece));
            uLongf length = compressBound(piece.size());
            std::vector<Bytef> z(length);
            compress2(z.data(), &length, reinterpret_cast<const Bytef*>(piece.data()), piece.size(), 6);
            z.resize(length);
            blocks.zlib.push_back(std::move(z));
        }
        return blocks;
    }();
    return b;
}

void BM_ExpandBlock(benchmark::State& state) {
    const Blocks& b = TheBlocks();
    std::vector<unsigned char> out(kBlockSize + kBlockSlack);
    size_t stored = 0;
    for (const auto& s : b.ours) stored += s.size();
    for (auto _ : state) {
        for (const std::string& s : b.ours) {
            const int32_t n = ExpandBlock(reinterpret_cast<const unsigned char*>(s.data()),
                                          static_cast<int32_t>(s.size()), out.data());
            benchmark::DoNotOptimize(n);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * b.original.size()));
    state.counters["ratio"] = static_cast<double>(stored) / static_cast<double>(b.original.size());
}
BENCHMARK(BM_ExpandBlock);

void BM_ZlibInflateSameBytes(benchmark::State& state) {
    const Blocks& b = TheBlocks();
    std::vector<Bytef> out(8192);
    size_t stored = 0;
    for (const auto& z : b.zlib) stored += z.size();
    for (auto _ : state) {
        for (const auto& z : b.zlib) {
            uLongf length = out.size();
            uncompress(out.data(), &length, z.data(), z.size());
            benchmark::DoNotOptimize(length);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * b.original.size()));
    state.counters["ratio"] = static_cast<double>(stored) / static_cast<double>(b.original.size());
}
BENCHMARK(BM_ZlibInflateSameBytes);

std::string WriteLibrary(const std::string& name, int entries, bool rich) {
    const fs::path path = fs::temp_directory_path() / (name + "-" + std::to_string(getpid()) + ".nlx");
    if (fs::exists(path)) return path.string();
    NlxLibrarySpec plan;
    std::mt19937 rng(1);
    for (int i = 0; i < entries; ++i)
        plan.Entries.push_back(rich ? RealisticEntry(rng, i)
                                    : SimpleEntry("Mod" + std::to_string(i % 97), "Entry" + std::to_string(i), 10, 3));
    std::ofstream(path, std::ios::binary) << WriteNlx(plan);
    return path.string();
}

void BM_OpenLibraryOf65535Entries(benchmark::State& state) {
    static const std::string path = WriteLibrary("elo-bench-65535", 65535, false);
    for (auto _ : state) {
        TNLXInterfaceItem library(false);
        library.Open(path);
        benchmark::DoNotOptimize(library.EntryCount);
        state.PauseTiming();
        library.ClearEntries();
        state.ResumeTiming();
    }
    state.counters["entries"] = 65535;
}
BENCHMARK(BM_OpenLibraryOf65535Entries)->Unit(benchmark::kMillisecond);

void HeadersOf(benchmark::State& state, const char* name, bool rich) {
    const std::string path = WriteLibrary(name, 10000, rich);
    for (auto _ : state) {
        state.PauseTiming();
        auto library = std::make_unique<TNLXInterfaceItem>(false);
        library->Open(path);
        state.ResumeTiming();
        library->Lock(); // one use: the file is opened once, as the keyword picker does
        for (int i = 0; i < library->EntryCount; ++i) benchmark::DoNotOptimize(library->EntryAt(i)->Name());
        library->Unlock();
        state.PauseTiming(); // freeing is not reading
        library.reset();
        state.ResumeTiming();
    }
    state.counters["entries"] = 10000;
}
// Reading a header loads the entry's symbol tables too: with keyword-like
// entries (one group, 3 symbols) and with rich ones (12 symbols, long texts).
void BM_Headers10000KeywordEntries(benchmark::State& state) {
    HeadersOf(state, "elo-bench-10000k", false);
}
void BM_Headers10000RichEntries(benchmark::State& state) {
    HeadersOf(state, "elo-bench-10000", true);
}
BENCHMARK(BM_Headers10000KeywordEntries)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Headers10000RichEntries)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const char* name : {"elo-bench-65535", "elo-bench-10000", "elo-bench-10000k"})
        fs::remove(fs::temp_directory_path() / (std::string(name) + "-" + std::to_string(getpid()) + ".nlx"));
    return 0;
}
