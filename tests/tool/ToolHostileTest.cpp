// The batch tool against files, names and neighbours that fight back: size
// limits, FIFOs, one file named twice, crafted libraries, a lock held by
// another program, and names that are not what the tool expects.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ToolRun.h"
#include "nlxintf/nlxintf.h"
#include "support/NlxWriter.h"
#include "support/TestFiles.h"

using nlohmann::json;
using namespace elo::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class ToolHostile : public ::testing::Test {
protected:
    TTestDir scratch{"elo-hostile"};
    fs::path dir = scratch.Path();
    size_t Entries() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
};

std::string BigLinks(int lines) {
    std::string text = "_currentid=1\r\n";
    for (int i = 0; i < lines; ++i)
        text += "Pasta\\Item " + std::to_string(i) + "=link={A.B&p=\"" + std::string(100, 'x') + "\"};_id=\"0\"\r\n";
    return text;
}

} // namespace

TEST_F(ToolHostile, AFileSizeLimitEndsTheSaveWithItsMessageAndNoDebris) {
    const std::string in = scratch.Write("in.lnk", BigLinks(20000)); // about 2.6 MB
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit{1 << 20, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit); // the tool inherits it
    const auto r = Tool({"normalize", in, (dir / "out.lnk").string()});
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_TRUE(r.doc.is_object());
    EXPECT_EQ(r.doc["error"].get<std::string>().rfind("File too large", 0), 0u) << r.out;
    EXPECT_EQ(Entries(), 1u); // no temporary file left
}

TEST_F(ToolHostile, FifosAreRefusedAtOnceAndOneFileIsNotExpandedOntoItself) {
    const fs::path fifo = dir / "pipe.lnk";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto start = Clock::now();
    for (const char* verb : {"tree", "check"}) {
        const auto r = Tool({verb, fifo.string()});
        EXPECT_EQ(r.exitCode, 1) << verb;
        EXPECT_NE(r.out.find("not a regular file"), std::string::npos) << r.out;
    }
    const auto lib = Tool({"nlx", "list", fifo.string()});
    EXPECT_EQ(lib.exitCode, 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));

    const std::string section = scratch.Write("a.bin", CompressSection(std::string(5000, 'q')));
    const std::string before = ReadFile(section);
    fs::create_symlink("a.bin", dir / "same.bin");
    for (const std::string& out : {section, (dir / "same.bin").string()}) {
        const auto r = Tool({"nlx", "expand", section, out});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(ReadFile(section), before); // untouched
    }
    const auto ok = Tool({"nlx", "expand", section, (dir / "b.bin").string()});
    EXPECT_EQ(ok.exitCode, 0);
    EXPECT_EQ(ReadFile(dir / "b.bin"), std::string(5000, 'q'));
}

TEST_F(ToolHostile, ACounterThatIsNoNumberGoesPastEveryIdentifier) {
    const std::string in = scratch.Write(
        "c.lnk", "_currentid=abc\r\nA=link={T&link={U};_id=\"41\"};_id=\"7\"\r\nB=link={V};_ID=\"12\"\r\n");
    const auto r = Tool({"normalize", in, (dir / "out.lnk").string()});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.doc["currentId"], 42);
    ASSERT_EQ(r.doc["problems"].size(), 1u);
    EXPECT_EQ(r.doc["problems"][0]["line"], 1);
    EXPECT_EQ(ReadFile(dir / "out.lnk").substr(0, 15), "_currentid=42\r\n");
    const auto c = Tool({"check", in});
    EXPECT_NE(c.out.find(":1: Contador inv"), std::string::npos) << c.out;
}

TEST_F(ToolHostile, NamesComeOutAsTheyAreOrReplacedNeverLost) {
    // A file name that is no UTF-8: the report stays a JSON document.
    const std::string bad = (dir / "x\xff.lnk").string();
    const auto r = Tool({"check", "--json", bad});
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_TRUE(r.doc.is_object()) << r.out;
    EXPECT_EQ(r.doc["problems"].size(), 1u);
    // A UTF-8 name is named as it is.
    const auto u = Tool({"tree", (dir / "n\xC3\xA3o.lnk").string()});
    EXPECT_NE(u.doc["error"].get<std::string>().find("n\xC3\xA3o.lnk"), std::string::npos) << u.out;
    // A line break in a name does not split the one error line.
    const auto l = Tool({"tree", (dir / "a\nb.lnk").string()});
    EXPECT_EQ(std::count(l.err.begin(), l.err.end(), '\n'), 1) << l.err;
    // The character without a code is shown.
    const auto c = Tool({"decode", "link={\xE4\xB8\xAD}"});
    EXPECT_NE(c.doc["error"].get<std::string>().find("\xE4\xB8\xAD"), std::string::npos) << c.out;
    // An unknown verb is named.
    const auto v = Tool({"frob", "x"});
    EXPECT_EQ(v.exitCode, 2);
    EXPECT_NE(v.err.find("frob"), std::string::npos) << v.err;
}

TEST_F(ToolHostile, DeepNestingFailsAtOnceInLinearMemory) {
    const int levels = 300000;
    std::string line = "A=T&";
    for (int i = 0; i < levels; ++i) line += "link={U&";
    line += "x=1";
    line += std::string(levels, '}');
    const std::string in = scratch.Write("deep.lnk", line + "\r\n");
    const auto start = Clock::now();
    const auto r = Tool({"tree", in});
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.doc["error"].get<std::string>().find("nested too deeply"), std::string::npos);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 200 * 1024); // kilobytes: far from 1.3 GB
}

TEST_F(ToolHostile, CompressionBombsAreRefusedWithinBoundedMemory) {
    // One entry whose body is blocks of 9 bytes that each expand to 4,111.
    NlxLibrarySpec plan;
    plan.Entries = {SimpleEntry("P", "E", 10, 0)};
    std::string library = WriteNlx(plan);
    const std::string run = CompressBlock(std::string(4111, '\0'));
    std::string bomb;
    while (bomb.size() < (3u << 20)) bomb += std::string{static_cast<char>(run.size()), 0} + run;
    bomb += std::string(2, '\0');
    const std::string body = CompressSection(EntryBodyBytes(plan.Entries[0], 25));
    const size_t at = library.find(body);
    ASSERT_NE(at, std::string::npos);
    library = library.substr(0, at) + bomb + library.substr(at + body.size());
    // The directory moved by the difference: its offset, the last four bytes, follows.
    uint32_t directory = 0;
    std::memcpy(&directory, library.data() + library.size() - 4, 4);
    directory += static_cast<uint32_t>(bomb.size() - body.size());
    std::memcpy(library.data() + library.size() - 4, &directory, 4);
    const std::string path = scratch.Write("bomb.nlx", library);
    const auto r = Tool({"nlx", "show", path, "P.E"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.doc["error"].get<std::string>().find("expands past"), std::string::npos) << r.out;
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, (64 + 4 * 3 + 8) * 1024); // kilobytes: 64 MB + 4 x the file, with room
}

TEST_F(ToolHostile, ALockHeldByAnotherProgramEndsTheWaitNamingIt) {
    const std::string lib = scratch.Write("l.nlx", WriteNlx(NlxLibrarySpec{}));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        elo::InterfaceMutex().Acquire();
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    setenv("ELO_LOCK_WAIT_MS", "300", 1);
    const auto start = Clock::now();
    const auto r = Tool({"nlx", "keywords", lib});
    unsetenv("ELO_LOCK_WAIT_MS");
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.doc["error"].get<std::string>().find("NLX_INTF_MUTEX_1.1.lock"), std::string::npos) << r.out;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}
