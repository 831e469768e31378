#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "nlxintf/nlxintf.h"
#include "platform/Resources.h"
#include "support/NlxWriter.h"
#include "support/TestFiles.h"

using namespace elo;
using namespace elo::test;
namespace fs = std::filesystem;

namespace {

class LibraryDir : public ::testing::Test {
protected:
    void SetUp() override { LibraryWaits = {0, 0, 0}; }
    void TearDown() override { LibraryWaits = {}; }
    std::string Write(const std::string& name, const std::string& bytes) { return scratch.Write(name, bytes); }
    TTestDir scratch{"elo-lib"};
    fs::path dir = scratch.Path();
};

std::string TwoEntries() {
    NlxLibrarySpec plan;
    plan.Entries = {SimpleEntry("B", "Y", 10), SimpleEntry("A", "X", 3)};
    return WriteNlx(plan);
}

} // namespace

TEST_F(LibraryDir, OpeningReadsOnlyTheDirectoryAndSortsItsEntries) {
    const std::string path = Write("lib.nlx", TwoEntries());
    TNLXInterfaceItem library(false);
    library.Open(path);
    EXPECT_EQ(library.LibraryName, "lib");
    ASSERT_EQ(library.EntryCount, 2);
    TNLXInterface* a = library.EntryAt(0);
    TNLXInterface* b = library.EntryAt(1);
    EXPECT_EQ(a->FullName, "A.X");
    EXPECT_EQ(b->FullName, "B.Y");
    EXPECT_EQ(a->ListIndex, 1); // positions at insertion
    EXPECT_EQ(b->ListIndex, 0);
    EXPECT_EQ(a->Kind, 3); // no load needed
    EXPECT_FALSE(a->HeaderLoaded);
    EXPECT_FALSE(b->HeaderLoaded);
    EXPECT_EQ(library.Stream->HeldStream(), nullptr); // the file is let go after the use
    EXPECT_EQ(library.UseCount, 0);
    EXPECT_NE(library.FileDate, 0);

    EXPECT_EQ(a->Name(), "X"); // loads this entry's header (and tables) only
    EXPECT_TRUE(a->HeaderLoaded);
    EXPECT_TRUE(a->SymbolsLoaded);
    EXPECT_FALSE(b->HeaderLoaded);
    EXPECT_EQ(library.Stream->HeldStream(), nullptr);
    EXPECT_NE(a->LastAccess, 0u);

    // Open with the last name or the library's own name does nothing.
    library.Open(path);
    library.Open("lib");
    EXPECT_TRUE(a->HeaderLoaded);
}

TEST_F(LibraryDir, HeaderNamesMoveTheirEntryInTheSortedList) {
    NlxLibrarySpec plan;
    NlxEntrySpec e = SimpleEntry("Z", "Last", 1);
    e.NamePrefix = "A"; // the header calls it A.First
    e.NamePart = "First";
    plan.Entries = {SimpleEntry("M", "Mid", 1), e};
    TNLXInterfaceItem library(false);
    library.Open(Write("lib.nlx", WriteNlx(plan)));
    TNLXInterface* entry = library.EntryAt(1);
    EXPECT_EQ(entry->FullName, "Z.Last");
    EXPECT_EQ(entry->Name(), "First");
    EXPECT_EQ(library.EntryAt(0), entry);
    EXPECT_EQ(library.IndexOfKey("A.FIRST"), 0);
}

TEST_F(LibraryDir, EmptyFilesAndMissingFiles) {
    TNLXInterfaceItem empty(false);
    empty.Open(Write("empty.nlx", ""));
    EXPECT_EQ(empty.EntryCount, 0);

    TNLXInterfaceItem missing(false);
    const std::string path = (dir / "none.nlx").string();
    try {
        missing.Open(path);
        FAIL();
    } catch (const TNLXInterfaceError& e) {
        EXPECT_EQ(e.Message, "N\xE3o foi poss\xEDvel abrir " + path);
    }
    EXPECT_EQ(missing.UseCount, 0);
    EXPECT_FALSE(missing.Loading);
}

TEST_F(LibraryDir, WaitsForAFileThatAppearsAndGivesUpOnOneThatNeverDoes) {
    // The product waits 10 s and retries for 30 s, a second apart; the same
    // rule on a shorter clock: 1 s and 2 s, 50 ms apart.
    LibraryWaits = {1000, 2000, 50};
    const std::string path = (dir / "late.nlx").string();
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        Write("late.tmp", TwoEntries());
        fs::rename(dir / "late.tmp", path);
    });
    TNLXInterfaceItem late(false);
    late.Open(path);
    writer.join();
    EXPECT_EQ(late.EntryCount, 2);

    const auto start = std::chrono::steady_clock::now();
    TNLXInterfaceItem never(false);
    EXPECT_THROW(never.Open((dir / "never.nlx").string()), TNLXInterfaceError);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(2900)); // both waits ran out
    EXPECT_LT(waited, std::chrono::milliseconds(6000));
}

TEST_F(LibraryDir, AFileLockedByAWriterIsRetriedUntilItIsFree) {
    LibraryWaits = {0, 3000, 50};
    const std::string path = Write("busy.nlx", TwoEntries());
    auto writer = std::make_unique<TFileStream>(path, fmOpenReadWrite);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        writer.reset();
    });
    TNLXInterfaceItem library(false);
    library.Open(path);
    release.join();
    EXPECT_EQ(library.EntryCount, 2);
}

TEST_F(LibraryDir, AnEmbeddedResourceWinsOverTheFile) {
    NlxLibrarySpec plan;
    plan.Entries = {SimpleEntry("Res", "Only", 10)};
    static std::string bytes;
    bytes = WriteNlx(plan);
    RegisterResource("NLXFILE", "SHADOW", reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    const std::string path = Write("shadow.nlx", TwoEntries());
    TNLXInterfaceItem library(false);
    library.Open(path);
    EXPECT_EQ(library.CurrentFileDate(), 0); // a resource has no file date
    UnregisterResource("NLXFILE", "SHADOW");
    ASSERT_EQ(library.EntryCount, 1);
    EXPECT_EQ(library.EntryAt(0)->FullName, "Res.Only");
}

TEST_F(LibraryDir, CorruptEntriesFailWithoutReadingOutOfBounds) {
    NlxLibrarySpec plan;
    plan.Version = 7; // plain records, 4-byte string lengths
    NlxEntrySpec e = SimpleEntry("P", "E", 1, 1);
    plan.Entries = {e, SimpleEntry("Q", "F", 1, 1)};
    std::string bytes = WriteNlx(plan);
    bytes[8 + 2] = 0x10; // the length of the first header's prefix: now over 102400
    const std::string path = Write("bad.nlx", bytes);
    TNLXInterfaceItem library(false);
    library.Open(path);
    TNLXInterface* bad = library.EntryAt(0);
    EXPECT_THROW(bad->EnsureHeader(), TNLXInterfaceError);
    EXPECT_TRUE(bad->HeaderLoaded); // partly read; not read again
    EXPECT_NO_THROW(bad->EnsureHeader());
    EXPECT_EQ(library.UseCount, 0); // the locks were released on the way out
    EXPECT_EQ(library.EntryAt(1)->Name(), "F");

    // Counts larger than the records written run into the end of the data.
    NlxLibrarySpec counts;
    NlxEntrySpec c = SimpleEntry("P", "E", 1, 1);
    c.SymbolCount0 = 5000;
    counts.Entries = {c};
    TNLXInterfaceItem cut(false);
    cut.Open(Write("cut.nlx", WriteNlx(counts)));
    EXPECT_THROW(cut.EntryAt(0)->Defs0(), TNLXInterfaceError);
}

TEST_F(LibraryDir, LongTextsWhenAsked) {
    NlxLibrarySpec plan;
    NlxEntrySpec e = SimpleEntry("P", "E", 1);
    e.LongText = std::string(3000, 'L');
    plan.Entries = {e};
    const std::string path = Write("long.nlx", WriteNlx(plan));
    LibraryOptions.LoadLongTexts = true;
    TNLXInterfaceItem library(false);
    LibraryOptions.LoadLongTexts = false;
    library.Open(path);
    EXPECT_EQ(library.EntryAt(0)->Name(), "E");
    EXPECT_EQ(library.EntryAt(0)->LongText.size(), 3000u);
}

TEST_F(LibraryDir, OptionsAndOwnerArePassedIn) {
    // Options given to the library, not the switches of the moment.
    NlxLibrarySpec plan;
    NlxEntrySpec flagged = SimpleEntry("P", "F", 1);
    flagged.DirOmitFlag = 1;
    plan.Entries = {SimpleEntry("P", "E", 1), flagged};
    const std::string path = Write("owned.nlx", WriteNlx(plan));
    std::recursive_mutex section;
    int reloads = 0;
    bool heldDuringReload = false;
    TLibraryOwner owner{&section, [&](TNLXInterfaceItem* item) {
                            ++reloads;
                            // Another thread cannot take the owner's section meanwhile.
                            std::thread([&] {
                                heldDuringReload = !section.try_lock();
                                if (!heldDuringReload) section.unlock();
                            }).join();
                            EXPECT_EQ(item->EntryCount, 3);
                        }};
    TNLXInterfaceItem library(false, TLibraryOptions{false, false}, owner);
    library.Open(path);
    EXPECT_EQ(library.EntryCount, 2); // the flagged record kept
    // A changed file reloads under the owner's section and the owner hears of it.
    plan.Entries.push_back(SimpleEntry("Q", "G", 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Write("owned.nlx", WriteNlx(plan));
    library.FileChanged();
    EXPECT_EQ(reloads, 1);
    EXPECT_TRUE(heldDuringReload);
    // Without an owner the reload happens all the same.
    TNLXInterfaceItem alone(false);
    alone.Open(path);
    EXPECT_EQ(alone.EntryCount, 2); // the process-wide switch passes the flagged record over
    plan.Entries.push_back(SimpleEntry("Q", "H", 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Write("owned.nlx", WriteNlx(plan));
    alone.FileChanged();
    EXPECT_EQ(alone.EntryCount, 3);
}

TEST(NamedMutex, TwoProcessesContendAndADeadHolderFreesIt) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const std::string name = "ELO_TEST_MUTEX_" + std::to_string(getpid());
    const pid_t child = fork();
    if (child == 0) {
        TNamedMutex mine(name);
        mine.Acquire();
        (void)!write(ready[1], "x", 1);
        pause(); // holds it until killed
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    TNamedMutex ours(name);
    EXPECT_FALSE(ours.TryAcquireFor(300)); // the second waits
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(ours.TryAcquireFor(2000)); // the dead holder's lock is gone
    // Re-entrant for the owning thread, exclusive for other threads.
    EXPECT_TRUE(ours.TryAcquireFor(0));
    bool other = true;
    std::thread([&] { other = ours.TryAcquireFor(100); }).join();
    EXPECT_FALSE(other);
    ours.Release();
    ours.Release();
    std::thread([&] {
        other = ours.TryAcquireFor(100);
        if (other) ours.Release();
    }).join();
    EXPECT_TRUE(other);
    unlink(ours.LockPath().c_str());
}

TEST(Collation, TheAsciiShortcutAgreesWithTheCollator) {
    std::mt19937 rng(5);
    const std::string alphabet = "aAbBzZ09._- #$~()[]{}!?:;,'\"@^`|\\/*+&%<>=";
    for (int i = 0; i < 5000; ++i) {
        std::string a, b;
        for (size_t k = rng() % 6; k > 0; --k) a += alphabet[rng() % alphabet.size()];
        for (size_t k = rng() % 6; k > 0; --k) b += alphabet[rng() % alphabet.size()];
        if (rng() % 3 == 0) b = a.substr(0, a.size() / 2) + b;
        const int fast = CompareCollationKeys(MakeCollationKey(a), MakeCollationKey(b));
        const int icu = CompareTextLocaleIcu(a, b);
        ASSERT_EQ(fast, icu) << "'" << a << "' vs '" << b << "'";
    }
}

TEST_F(LibraryDir, ARelativeNameIsKeptAsAnAbsolutePathForLaterLoads) {
    Write("rel.nlx", TwoEntries());
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    TNLXInterfaceItem library(false);
    library.Open("./rel.nlx");
    fs::current_path(before); // the working directory moves on
    EXPECT_EQ(library.Path, (dir / "rel.nlx").string());
    EXPECT_EQ(library.EntryAt(1)->Name(), "Y"); // a lazy load long after opening
}

TEST(NamedMutex, TheLockDirectoryIsTheUsersOwn) {
    TTestDir scratch("elo-lockdir");
    const fs::path mine = scratch.Path() / ("elo-" + std::to_string(getuid()));
    const fs::path cache = scratch.Path() / "cache";
    struct Outcome {
        int status;       // 0 taken and released, 7 refused when taken
        std::string path; // where the lock file is
    };
    // In a child: the environment and the mutex are its own.
    auto attempt = [&](const char* runtime, const fs::path& cacheHome) {
        int report[2];
        if (pipe(report) != 0) return Outcome{-1, {}};
        const pid_t pid = fork();
        if (pid == 0) {
            close(report[0]);
            if (runtime)
                setenv("XDG_RUNTIME_DIR", runtime, 1);
            else
                unsetenv("XDG_RUNTIME_DIR");
            setenv("TMPDIR", scratch.Path().c_str(), 1);
            setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
            TNamedMutex mutex("ELO_TEST_DIR"); // made whatever the directories are
            (void)!write(report[1], mutex.LockPath().data(), mutex.LockPath().size());
            try {
                mutex.Acquire();
                mutex.Release();
            } catch (const EInOutError& e) {
                _exit(e.Message.find("travas") != std::string::npos ? 7 : 8);
            }
            _exit(0);
        }
        close(report[1]);
        Outcome outcome{-1, {}};
        char buffer[4096];
        for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;) outcome.path.append(buffer, size_t(n));
        close(report[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return outcome;
    };
    Outcome o = attempt(nullptr, cache);
    EXPECT_EQ(o.status, 0); // made, private
    EXPECT_EQ(fs::path(o.path).parent_path(), mine);
    EXPECT_EQ(fs::status(mine).permissions() & fs::perms::all, fs::perms::owner_all);
    fs::remove_all(mine);

    // A symbolic link put there first is not taken: the user's cache serves.
    fs::create_directory(scratch.Path() / "elsewhere");
    fs::create_directory_symlink(scratch.Path() / "elsewhere", mine);
    o = attempt(nullptr, cache);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(fs::path(o.path).parent_path(), cache / "elo");
    EXPECT_TRUE(fs::is_empty(scratch.Path() / "elsewhere"));
    EXPECT_EQ(fs::status(cache / "elo").permissions() & fs::perms::all, fs::perms::owner_all);

    // A runtime directory others may enter is not the user's private one.
    const fs::path runtime = scratch.Path() / "run";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    o = attempt(runtime.c_str(), cache);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(fs::path(o.path).parent_path(), cache / "elo");
    fs::permissions(runtime, fs::perms::owner_all);
    o = attempt(runtime.c_str(), cache);
    EXPECT_EQ(fs::path(o.path).parent_path(), runtime); // private: taken

    // No directory of the user's own anywhere: made all the same, refused
    // with a clear message when taken.
    WriteFile(scratch.Path() / "file", "x");
    o = attempt(nullptr, scratch.Path() / "file");
    EXPECT_EQ(o.status, 7);
    EXPECT_TRUE(o.path.empty());
    fs::remove(mine);

    if (getuid() != 0) GTEST_SKIP() << "directories of another user need root to be made";
    // Another user's directory in the temporary directory, and another user's
    // runtime directory (as `su` leaves it): neither is taken.
    fs::create_directory(mine);
    fs::permissions(mine, fs::perms::owner_all);
    ASSERT_EQ(chown(mine.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown(runtime.c_str(), 65534, 65534), 0);
    o = attempt(runtime.c_str(), cache);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(fs::path(o.path).parent_path(), cache / "elo");
}
