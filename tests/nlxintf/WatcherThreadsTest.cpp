// Library change watching: a watcher thread per library hands changes to the
// main thread, which reloads. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "nlxintf/nlxintf.h"
#include "platform/MainThread.h"
#include "platform/MessageHook.h"
#include "support/NlxWriter.h"
#include "support/TestFiles.h"

using namespace elo;
using namespace elo::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string LibraryBytes(int n, const std::string& prefix = "P") {
    NlxLibrarySpec plan;
    for (int i = 0; i < n; ++i) plan.Entries.push_back(SimpleEntry(prefix, "E" + std::to_string(i), 10));
    return WriteNlx(plan);
}

int OpenDescriptors() {
    int n = 0;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        (void)e;
        ++n;
    }
    return n;
}

class Watching : public ::testing::Test {
protected:
    void SetUp() override {
        SetMainThread();
        NlxInterfacesStartup();
        LibraryWaits = {0, 500, 10};
        path = (dir / "lib.nlx").string();
    }
    void TearDown() override {
        NlxInterfacesShutdown();
        LibraryWaits = {};
    }
    // Writes the file as another program would: a new file renamed over it.
    void Rewrite(const std::string& bytes) {
        const std::string temp = path + ".tmp";
        std::ofstream(temp, std::ios::binary) << bytes;
        fs::rename(temp, path);
    }
    // Runs the main thread's queue until pred holds or time runs out.
    template <typename Pred> bool PumpUntil(Pred pred, int ms = 3000) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (!pred()) {
            if (Clock::now() > end) return false;
            CheckSynchronize(5);
        }
        return true;
    }
    TTestDir scratch{"elo-watch"};
    fs::path dir = scratch.Path();
    std::string path;
};

} // namespace

TEST_F(Watching, ARewriteReloadsTheLibraryAndAnnouncesIt) {
    Rewrite(LibraryBytes(2));
    TNLXInterfaces& registry = NLXInterfaces();
    registry.LockLibrary(path);
    registry.UnlockLibrary();
    TNLXInterfaceItem* library = registry.Current;
    TNLXInterface* before = library->EntryAt(0);
    int announced = 0;
    registry.OnLibraryChanged = [&](TNLXInterfaceItem* item) {
        EXPECT_EQ(item, library);
        ++announced;
    };
    Rewrite(LibraryBytes(5, "Q"));
    ASSERT_TRUE(PumpUntil([&] { return library->EntryCount == 5; }));
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(library->EntryAt(0)->FullName, "Q.E0"); // new entry objects
    (void)before;
    EXPECT_EQ(library->UseCount, 0);
    EXPECT_EQ(library->Stream->HeldStream(), nullptr);
}

TEST_F(Watching, NoReloadForASameDateTouchOrAnEmptyFile) {
    Rewrite(LibraryBytes(2));
    TNLXInterfaceItem library(false);
    library.Open(path);
    TNLXInterface* entry = library.EntryAt(0);
    // Same date: the file is touched with its own modification time.
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(library.EntryAt(0), entry);
    // An empty file is never taken.
    std::ofstream(path, std::ios::trunc).close();
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(library.EntryCount, 2);
    EXPECT_EQ(library.EntryAt(0), entry);
    // A deleted file leaves the library as it was, without waiting for it.
    fs::remove(path);
    const auto start = Clock::now();
    PumpUntil([] { return false; }, 300);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(library.EntryCount, 2);
}

TEST_F(Watching, AWatcherStoppedWhileItsNotificationIsBeingDelivered) {
    Rewrite(LibraryBytes(2));
    TNLXInterfaceItem library(false);
    library.Open(path);
    Rewrite(LibraryBytes(3)); // the watcher now waits in Synchronize: nobody pumps
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto start = Clock::now();
    library.StopWatching(); // serves the pending call (its handler is cleared) and ends the thread
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(library.Watcher, nullptr);
    EXPECT_EQ(library.EntryCount, 2); // no reload happened
    EXPECT_EQ(CheckSynchronize(0), 0);
}

TEST_F(Watching, ManyReloadsWhileTheMainThreadKeepsReading) {
    Rewrite(LibraryBytes(1));
    TNLXInterfaces& registry = NLXInterfaces();
    for (int round = 2; round <= 30; ++round) {
        Rewrite(LibraryBytes(round));
        // Reading goes on while the change is on its way.
        const auto end = Clock::now() + std::chrono::seconds(3);
        int count = 0;
        do {
            registry.LockLibrary(path);
            count = registry.Count();
            for (int i = 0; i < count; ++i) ASSERT_EQ(registry.Items(i)->Name().substr(0, 1), "E");
            registry.UnlockLibrary();
            CheckSynchronize(1);
        } while (count != round && Clock::now() < end);
        ASSERT_EQ(count, round);
    }
}

TEST_F(Watching, OpenReloadEvictCyclesLeaveNoThreadsOrDescriptors) {
    InterfaceMutex().Acquire(); // its lock files stay open for the whole process
    InterfaceMutex().Release();
    const int descriptors = OpenDescriptors();
    TNLXInterfaces& registry = NLXInterfaces();
    for (int i = 0; i < 5; ++i) {
        std::ofstream((dir / ("other" + std::to_string(i) + ".nlx")).string(), std::ios::binary) << LibraryBytes(50);
        registry.LockLibrary((dir / ("other" + std::to_string(i) + ".nlx")).string());
        registry.UnlockLibrary();
    }
    for (int cycle = 0; cycle < 1000; ++cycle) {
        // A small library: it is the one evicted when the next comes.
        const std::string name = (dir / ("cycle" + std::to_string(cycle % 2) + ".nlx")).string();
        std::ofstream(name, std::ios::binary) << LibraryBytes(1 + cycle % 3);
        registry.LockLibrary(name);
        registry.UnlockLibrary();
        if (cycle % 100 == 0) { // now and then a reload as well
            const int before = registry.Current->EntryCount;
            std::ofstream(name + ".tmp", std::ios::binary) << LibraryBytes(before + 5);
            fs::rename(name + ".tmp", name);
            TNLXInterfaceItem* current = registry.Current;
            ASSERT_TRUE(PumpUntil([&] { return current->EntryCount == before + 5; }));
        }
    }
    NlxInterfacesShutdown();
    CheckSynchronize(0);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    NlxInterfacesStartup();
}

TEST_F(Watching, StoppingAnIdleWatcherIsQuick) {
    TFileWatcher watcher(path);
    watcher.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto start = Clock::now();
    watcher.Stop();
    EXPECT_TRUE(WaitForThreadEnd(watcher, 5000));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    // A watcher of a path without a directory (an embedded library) only waits
    // for its stop event.
    TFileWatcher resource("LIBNAME");
    resource.Start();
    resource.Stop();
    EXPECT_TRUE(resource.WaitFor(5000));
}

TEST(Synchronize, RunsInTheMainThreadAndCarriesExceptionsBack) {
    SetMainThread();
    const auto main = std::this_thread::get_id();
    std::thread::id ranOn;
    std::string error;
    std::thread worker([&] {
        Synchronize([&] { ranOn = std::this_thread::get_id(); });
        try {
            Synchronize([] { throw Exception("from the main thread"); });
        } catch (const Exception& e) {
            error = e.Message;
        }
    });
    int ran = 0;
    while (ran < 2) ran += CheckSynchronize(10);
    worker.join();
    EXPECT_EQ(ranOn, main);
    EXPECT_EQ(error, "from the main thread");
}

TEST(MessageBoxes, AnotherThreadsBoxIsShownByTheMainThreadWhileThatThreadWaits) {
    SetMainThread();
    std::thread::id shownBy;
    std::atomic<bool> returned{false};
    const TMessageBoxHook previous = SetMessageBoxHook([&](const std::string&, const std::string&) {
        shownBy = std::this_thread::get_id();
        EXPECT_FALSE(returned.load()); // the caller waits as for a modal box
    });
    std::thread watcher([&] {
        ShowMessageBox("boom", kWatcherErrorCaption);
        returned = true;
    });
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (!returned && Clock::now() < end) CheckSynchronize(5);
    watcher.join();
    SetMessageBoxHook(previous);
    EXPECT_TRUE(returned);
    EXPECT_EQ(shownBy, std::this_thread::get_id());
}
