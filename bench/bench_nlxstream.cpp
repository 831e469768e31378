// Reading a 100 MB file through TnlxBufferedStream in the small reads a library
// reader makes: 1, 2 and 4 bytes and short strings (a length byte, then 4 to 19
// bytes). Counts the reads that reach the file: one per window is the goal.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "nlxstream/nlxStream.h"

using namespace elo;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kFileSize = 100 << 20;

class CountingFileStream : public TFileStream {
public:
    using TFileStream::TFileStream;
    int32_t Read(void* buffer, int32_t count) override {
        ++reads;
        return TFileStream::Read(buffer, count);
    }
    static inline int64_t reads = 0;
};

const std::string& DataFile() {
    static const std::string path = [] {
        const fs::path p = fs::temp_directory_path() / ("elo-bench-stream-" + std::to_string(getpid()));
        std::ofstream out(p, std::ios::binary);
        std::mt19937 rng(3);
        std::vector<char> chunk(1 << 20);
        for (int64_t written = 0; written < kFileSize; written += static_cast<int64_t>(chunk.size())) {
            for (char& c : chunk) c = static_cast<char>(rng() % 16 + 4); // lengths 4..19 as string prefixes
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
        std::atexit([] { fs::remove(fs::temp_directory_path() / ("elo-bench-stream-" + std::to_string(getpid()))); });
        return p.string();
    }();
    return path;
}

void BM_SmallReads(benchmark::State& state) {
    const std::string& file = DataFile();
    int64_t windows = 0;
    for (auto _ : state) {
        CountingFileStream::reads = 0;
        TnlxBufferedStream stream(nullptr, 8196);
        stream.OwnsStream = true;
        stream.OnGetStream = [&](TnlxBufferedStream&, TStream*& s) {
            s = new CountingFileStream(file, fmOpenRead | fmShareDenyWrite);
        };
        char buffer[32];
        uint32_t sum = 0;
        int64_t pos = 0;
        int step = 0;
        int32_t windowStart = -1;
        windows = 0;
        const int64_t end = kFileSize - 32;
        while (pos < end) {
            switch (step++ & 3) {
            case 0:
                stream.Read(buffer, 1);
                pos += 1;
                break;
            case 1:
                stream.Read(buffer, 2);
                pos += 2;
                break;
            case 2:
                stream.Read(buffer, 4);
                pos += 4;
                break;
            default: { // a short string: its length byte, then its bytes
                unsigned char length;
                stream.Read(&length, 1);
                stream.Read(buffer, length);
                pos += 1 + length;
                break;
            }
            }
            sum += static_cast<unsigned char>(buffer[0]);
            if (stream.BufStart() != windowStart) { // the window was filled anew
                windowStart = stream.BufStart();
                ++windows;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
    state.counters["file_reads"] = static_cast<double>(CountingFileStream::reads);
    state.counters["window_fills"] = static_cast<double>(windows);
}
BENCHMARK(BM_SmallReads)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
