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

TEST_F(ToolHostile, AReaderThatLeavesEndsTheOutputNotTheCall) {
    // `elo-tool tree big | head`: the pipe closes long before the tree is out.
    const std::string in = scratch.Write("big.lnk", BigLinks(20000));
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execl(ELO_TOOL_PATH, ELO_TOOL_PATH, "tree", in.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char first[100];
    EXPECT_GT(read(out[0], first, sizeof first), 0);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ToolHostile, TextFromFilesCannotDriveTheTerminal) {
    // The counter text, identifiers and the file name carry escape sequences
    // (a window title, a screen clear, a C1 control) and a line break.
    const std::string in = scratch.Write("e\x1b]0;NAME\x07\nx.lnk", "_currentid=1\x1b]0;PWNED\x07\x1b[2J\r\n"
                                                                    "A=link={T};_id=\"\x9D\x1b[31m\"\r\n"
                                                                    "B=link={T};_id=\"\x9D\x1b[31m\"\r\n");
    const auto r = Tool({"check", in});
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.back(), '\n');
    for (size_t i = 0; i + 1 < r.out.size(); ++i) {
        const auto c = static_cast<unsigned char>(r.out[i]);
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c != 0x7F)) << "byte " << int(c) << " at " << i << ":\n" << r.out;
        if (c == 0xC2) {
            EXPECT_FALSE(static_cast<unsigned char>(r.out[i + 1]) < 0xA0) << "a C1 control at " << i;
        }
    }
    // One line per problem, each naming the file as escaped text.
    const auto lines = std::count(r.out.begin(), r.out.end(), '\n');
    const auto json = Tool({"check", "--json", in});
    EXPECT_EQ(static_cast<size_t>(lines), json.doc["problems"].size()) << r.out;
    EXPECT_EQ(r.out.rfind(scratch.Path().string() + "/e\\x1b]0;NAME\\x07\\x0ax.lnk:", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\\x1b[2J"), std::string::npos) << r.out;
    // The JSON keeps the text itself (escaped as JSON escapes it).
    EXPECT_NE(json.doc["problems"][0]["file"].get<std::string>().find("\x1b]0;NAME"), std::string::npos);
    // The error line on stderr is one line without control bytes either.
    const auto t = Tool({"tree", (dir / "gone\x1b[2J\n.lnk").string()});
    EXPECT_EQ(t.exitCode, 1);
    EXPECT_EQ(std::count(t.err.begin(), t.err.end(), '\n'), 1) << t.err;
    EXPECT_EQ(t.err.find('\x1b'), std::string::npos) << t.err;
}

TEST_F(ToolHostile, LockWaitsAreDecimalMillisecondsAtMostADay) {
    const std::string lib = scratch.Write("l.nlx", WriteNlx(NlxLibrarySpec{}));
    for (const char* bad : {"abc", "1e3", "-5", " 10", "10ms", "0x10", "+3"}) {
        setenv("ELO_LOCK_WAIT_MS", bad, 1);
        const auto r = Tool({"nlx", "list", lib});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_NE(r.err.find("ELO_LOCK_WAIT_MS"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    // Counts too large for any integer are a day; the lock is free here.
    for (const char* large : {"4294967296", "99999999999999999999", "0", "250"}) {
        setenv("ELO_LOCK_WAIT_MS", large, 1);
        const auto r = Tool({"nlx", "keywords", lib});
        EXPECT_EQ(r.exitCode, 0) << large << ": " << r.err;
    }
    unsetenv("ELO_LOCK_WAIT_MS");
    const auto help = Tool({"nlx", "keywords", "--help"});
    EXPECT_NE(help.out.find("without a time limit"), std::string::npos) << help.out;
}

// The lock directories of another user (or of another session) in the places
// the named mutex looks first.
class SharedMachine : public ToolHostile {
protected:
    fs::path tmp = dir / "tmp", runtime = dir / "run", cache = dir / "cache";
    std::vector<std::pair<std::string, std::string>> saved;

    void SetUp() override {
        fs::create_directories(tmp);
        fs::create_directory(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        const fs::path taken = tmp / ("elo-" + std::to_string(geteuid()));
        if (geteuid() == 0) {
            // Another user made both first (`su` keeps the caller's runtime directory).
            fs::create_directory(taken);
            fs::permissions(taken, fs::perms::owner_all);
            ASSERT_EQ(chown(taken.c_str(), 65534, 65534), 0);
            ASSERT_EQ(chown(runtime.c_str(), 65534, 65534), 0);
        } else {
            // Without root: a link where the directory should be, and a
            // runtime directory others may enter.
            fs::create_directory_symlink(dir, taken);
            fs::permissions(runtime, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
        }
        Set("XDG_RUNTIME_DIR", runtime.string());
        Set("TMPDIR", tmp.string());
        Set("XDG_CACHE_HOME", cache.string());
    }
    void TearDown() override {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            const auto& [name, value] = *it;
            if (value == "\x01")
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
    }
    void Set(const std::string& name, const std::string& value) {
        const char* old = getenv(name.c_str());
        saved.emplace_back(name, old ? old : "\x01");
        setenv(name.c_str(), value.c_str(), 1);
    }
};

TEST_F(SharedMachine, LibrariesWorkThroughTheUsersOwnCache) {
    NlxLibrarySpec plan;
    plan.Entries = {SimpleEntry("A", "Palavra", 10, 1)};
    const std::string lib = scratch.Write("k.nlx", WriteNlx(plan));
    const auto r = Tool({"nlx", "keywords", lib});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.doc["keywords"], json::array({"Palavra"}));
    EXPECT_TRUE(fs::exists(cache / "elo" / "NLX_INTF_MUTEX_1.1.lock"));
    EXPECT_TRUE(fs::is_empty(runtime));
}

#ifdef ELO_PATH
TEST_F(SharedMachine, TheEditorStartsWhateverTheLockDirectoriesAre) {
    // No session directory, and not even the cache can hold a lock directory:
    // the editor starts all the same.
    WriteFile(cache, "a file where the cache should be");
    Set("XDG_RUNTIME_DIR", (dir / "gone").string());
    Set("ELO_EXIT_WHEN_IDLE", "1");
    Set("QT_QPA_PLATFORM", "offscreen");
    const auto editor = elo::test::Run(ELO_PATH, {});
    EXPECT_EQ(editor.exitCode, 0) << editor.err;
    // Only library access fails then, saying why (a session directory that is
    // a file cannot be made, as the toolkit makes a missing one).
    Set("XDG_RUNTIME_DIR", cache.string());
    NlxLibrarySpec plan;
    plan.Entries = {SimpleEntry("A", "Palavra", 10, 1)};
    const auto r = Tool({"nlx", "keywords", scratch.Write("k.nlx", WriteNlx(plan))});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("travas"), std::string::npos) << r.out;
}
#endif
