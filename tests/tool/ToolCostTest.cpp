// What odd files cost the readers and writers of the batch tool, as a fresh
// process: time and peak memory in proportion to what the file holds, and
// output bounded where the tool chooses what to repeat. Each case is a file
// that once cost far more (quadratic time, memory of the file's apparent size,
// copies per nesting level, whole documents built in memory).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "ToolRun.h"
#include "support/NlxWriter.h"
#include "support/TestFiles.h"

using namespace elo::test;
namespace fs = std::filesystem;

namespace {

constexpr long kMb = 1024; // kilobytes

struct CostCase {
    const char* name;
    // Writes the input into dir; returns the tool's arguments.
    std::function<std::vector<std::string>(const fs::path& dir)> setup;
    long maxPeakKb;     // of the tool's process
    size_t maxOutBytes; // of its output (0: not bounded)
    size_t minOutBytes; // the case really produces that much (0: none)
    int exitCode;       // what the call ends with
    // A like input whose time bounds this one's (see below), or none.
    std::function<std::vector<std::string>(const fs::path& dir)> reference = nullptr;
};

void PrintTo(const CostCase& c, std::ostream* os) {
    *os << c.name;
}

// A numbered file of about size bytes, its lines ended by ending.
std::string Numbered(size_t size, const std::string& ending) {
    std::string text = "_currentid=900000" + ending;
    for (int i = 0; text.size() < size; ++i)
        text += "Pasta " + std::to_string(i / 100) + "\\Item " + std::to_string(i) + "=link={A.B&p=\"" +
                std::string(40, 'x') + "\"};_id=\"" + std::to_string(i) + "\"" + ending;
    return text;
}

std::vector<std::string> Normalize(const fs::path& dir, const std::string& name, const std::string& bytes) {
    WriteFile(dir / name, bytes);
    return {"normalize", (dir / name).string(), (dir / "out.lnk").string()};
}

const CostCase kCases[] = {
    // Lines ended by CR alone cost what CR LF costs, not a search of the
    // rest of the file per line.
    {"CrOnlyLineEnds", [](const fs::path& dir) { return Normalize(dir, "cr.lnk", Numbered(8 << 20, "\r")); }, 256 * kMb,
     0, 0, 0, [](const fs::path& dir) { return Normalize(dir, "crlf.lnk", Numbered(8 << 20, "\r\n")); }},
    // A NUL ends the text: a numbered file of 4 KB made 1 GB long by a hole
    // is not read through.
    {"SparseNumberedFile",
     [](const fs::path& dir) {
         const fs::path file = dir / "sparse.lnk";
         WriteFile(file, Numbered(4096, "\r\n"));
         fs::resize_file(file, size_t{1} << 30);
         return std::vector<std::string>{"tree", file.string()};
     },
     128 * kMb, 0, 0, 0},
    // One raw line of 98 nested links around a value of 1 MB: renumbered in
    // memory in proportion to the line, not to the line times its depth.
    {"DeepNestingUnderTheLimit",
     [](const fs::path& dir) {
         std::string line = "A=T&";
         for (int i = 0; i < 98; ++i) line += "link={U&";
         line += "p=\"" + std::string(1 << 20, 'v') + "\"" + std::string(98, '}');
         return Normalize(dir, "deep.lnk", line + "\r\n");
     },
     128 * kMb, 0, 0, 0},
    // A small library whose entry shows as about 60 MB of JSON (6,000
    // symbols of control bytes, each written as six): written as it is made.
    {"NlxShowOfALargeEntry",
     [](const fs::path& dir) {
         NlxLibrarySpec plan;
         NlxEntrySpec entry = SimpleEntry("P", "E", 10, 0);
         for (int i = 0; i < 6000; ++i) {
             NlxSymbolSpec s;
             s.Name = "S" + std::to_string(i);
             s.Text2 = s.Text8 = s.Text9 = s.Text10 = s.Text11 = s.Text12 = s.Text13 = std::string(250, '\x01');
             entry.Table0.push_back(s);
         }
         plan.Entries = {entry};
         WriteFile(dir / "big.nlx", WriteNlx(plan));
         return std::vector<std::string>{"nlx", "show", (dir / "big.nlx").string(), "0"};
     },
     128 * kMb, 0, 60u << 20, 0},
    // A save that fails after reading 12 MB: the error document repeats only
    // the beginning of the tree.
    {"ErrorDocumentOfALargeFile",
     [](const fs::path& dir) {
         WriteFile(dir / "in.lnk", Numbered(12 << 20, "\r\n"));
         return std::vector<std::string>{"normalize", (dir / "in.lnk").string(), (dir / "none" / "out.lnk").string()};
     },
     256 * kMb, 4 << 20, 0, 1},
    // 100,000 problems are written as they are found.
    {"CheckWithManyProblems",
     [](const fs::path& dir) {
         std::string text = "_currentid=5\r\n";
         for (int i = 0; i < 100000; ++i)
             text += "P" + std::to_string(i / 1000) + "\\I" + std::to_string(i) + "=link={T};_id=\"1\"\r\n";
         WriteFile(dir / "dup.lnk", text);
         return std::vector<std::string>{"check", "--json", (dir / "dup.lnk").string()};
     },
     128 * kMb, 0, 6u << 20, 1},
};

class ReaderCost : public ::testing::TestWithParam<CostCase> {
protected:
    static void SetUpTestSuite() {
        // Memory a sanitizer keeps back after it is freed is not the tool's.
        const char* asan = std::getenv("ASAN_OPTIONS");
        saved = asan ? asan : "";
        setenv("ASAN_OPTIONS", (saved + (saved.empty() ? "" : ":") + "quarantine_size_mb=0").c_str(), 1);
    }
    static void TearDownTestSuite() { setenv("ASAN_OPTIONS", saved.c_str(), 1); }
    static inline std::string saved;
};

// Writes the input in a child process and returns the tool's arguments: a
// process started from this one counts this one's memory in its peak, so
// this one stays small.
std::vector<std::string> InAChild(const std::function<std::vector<std::string>(const fs::path&)>& setup,
                                  const fs::path& dir) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        std::string joined;
        for (const std::string& arg : setup(dir)) joined += arg + '\0';
        (void)!write(pipeFds[1], joined.data(), joined.size());
        _exit(0);
    }
    close(pipeFds[1]);
    std::string joined;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) joined.append(buffer, size_t(n));
    close(pipeFds[0]);
    waitpid(pid, nullptr, 0);
    std::vector<std::string> args;
    for (size_t at = 0, end; (end = joined.find('\0', at)) != std::string::npos; at = end + 1)
        args.push_back(joined.substr(at, end - at));
    return args;
}

} // namespace

TEST_P(ReaderCost, StaysInProportionToTheFile) {
    const CostCase& c = GetParam();
    TTestDir scratch("elo-cost");
    const RunResult r = elo::test::Run(ELO_TOOL_PATH, InAChild(c.setup, scratch.Path()), {}, false);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_LT(r.peakKb, c.maxPeakKb) << "kilobytes";
    if (c.maxOutBytes) {
        EXPECT_LT(r.outBytes, c.maxOutBytes);
    }
    if (c.minOutBytes) {
        EXPECT_GT(r.outBytes, c.minOutBytes);
    }
    // Time is bounded by a like input on the same machine, which a loaded or
    // sanitized build slows alike: within a few times it, not a hundred.
    if (c.reference) {
        const RunResult like = elo::test::Run(ELO_TOOL_PATH, InAChild(c.reference, scratch.Path()), {}, false);
        EXPECT_LT(r.seconds, 4 * like.seconds + 0.5) << "seconds; the like input took " << like.seconds;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ReaderCost, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CostCase>& info) { return std::string(info.param.name); });
