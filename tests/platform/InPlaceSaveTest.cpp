// Saves that must write in place (here: a hard-linked target of about 50 MB)
// against what a hostile user and a hostile machine do meanwhile: terminating
// signals and kill -9 in the middle of the copy, a second saver of the same
// file, a symbolic link swapped in for the target.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "platform/Exceptions.h"
#include "platform/SafeSave.h"
#include "support/ShownMessages.h"
#include "support/TestFiles.h"

using namespace elo;
using namespace elo::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class InPlaceSave : public ::testing::Test {
protected:
    TTestDir scratch{"elo-inplace"};
    const fs::path target = scratch.Path() / "out.lnk", other = scratch.Path() / "hl.lnk";
    // Of other sizes and bytes: a file torn between them is neither.
    const std::string old = std::string(50 << 20, 'o'), fresh = std::string(48 << 20, 'n');

    void SetUp() override {
        WriteFile(target, old);
        fs::create_hard_link(target, other);
    }
    // What the directory holds besides the file's two names.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(scratch.Path()))
            if (entry.path() != target && entry.path() != other) names.push_back(entry.path().filename().string());
        return names;
    }
    // Starts a process that saves bytes over the target with the save's
    // signal handling; returns its id.
    pid_t StartSaver(const std::string& bytes) const {
        const pid_t pid = fork();
        if (pid == 0) {
            InstallSaveSignalHandlers();
            try {
                SaveFileSafely(target.string(), [&](TFileWriter& w) { w.Append(bytes); });
            } catch (...) {
                _exit(1);
            }
            _exit(0);
        }
        return pid;
    }
    // Waits until the new bytes begin to reach the target (the copy in place
    // has started), or the saver ended; false then.
    bool WaitForTheCopy(pid_t saver) const {
        const int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC);
        char first = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(120);
        bool started = false;
        while (!started && Clock::now() < deadline) {
            started = pread(fd, &first, 1, 0) == 1 && first == 'n';
            if (!started && waitpid(saver, nullptr, WNOHANG) == saver) break;
            if (!started) std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        close(fd);
        return started;
    }
    static int Wait(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return status;
    }
};

} // namespace

TEST_F(InPlaceSave, ATerminatingSignalDuringTheCopyLeavesTheOldBytes) {
    const std::pair<int, int> cases[] = {{SIGTERM, 0}, {SIGINT, 1}, {SIGHUP, 4}, {SIGTERM, 12}, {SIGTERM, 30}};
    for (const auto& [signal, delayMs] : cases) {
        const pid_t saver = StartSaver(fresh);
        ASSERT_TRUE(WaitForTheCopy(saver)) << "the save never began its copy";
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(saver, signal);
        const int status = Wait(saver);
        // The signal still ends the program, once the file is whole again.
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " after " << delayMs << " ms";
        const std::string now = ReadFile(target);
        EXPECT_TRUE(now == old || now == fresh) << "torn: " << now.size() << " bytes, after " << delayMs << " ms";
        EXPECT_EQ(fs::hard_link_count(target), 2u);
        EXPECT_EQ(Leftovers(), std::vector<std::string>()) << "after " << delayMs << " ms";
        WriteFile(target, old); // through the same file: both names see it
    }
}

TEST_F(InPlaceSave, KillNineLeavesTheOldBytesWhereTheNextOpenAndSaveSeeThem) {
    const pid_t saver = StartSaver(fresh);
    ASSERT_TRUE(WaitForTheCopy(saver));
    kill(saver, SIGKILL);
    Wait(saver);
    // The copy of the old content is complete and has its name (the new
    // content, being written, may leave a temporary where the file system
    // has no anonymous files: the next save removes it).
    const fs::path backup = scratch.Path() / ".out.lnk.elo-backup";
    ASSERT_TRUE(fs::exists(backup));
    EXPECT_EQ(ReadFile(backup), old); // whatever the file holds now
    {
        ShownMessages shown;
        const int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC);
        LockForReading(fd, target.string()); // what a reader does on opening
        close(fd);
        ASSERT_EQ(shown.texts.size(), 1u);
        EXPECT_NE(shown.texts[0].find(backup.string()), std::string::npos) << shown.texts[0];
    }
    {
        ShownMessages shown;
        SaveFileSafely(other.string(), [&](TFileWriter& w) { w.Append("the next save"); });
        EXPECT_EQ(ReadFile(target), "the next save");
        EXPECT_EQ(shown.texts.size(), 0u); // the backup beside the other name is not this name's
        SaveFileSafely(target.string(), [&](TFileWriter& w) { w.Append("and another"); });
        ASSERT_EQ(shown.texts.size(), 1u);
        EXPECT_NE(shown.texts[0].find(backup.string()), std::string::npos);
    }
    EXPECT_EQ(ReadFile(backup), old); // kept until the user removes it
    EXPECT_EQ(Leftovers(), std::vector<std::string>{backup.filename().string()});
}

TEST_F(InPlaceSave, TwoSaversOfOneFileTakeTurns) {
    // Smaller versions: fifty rounds of two saves.
    const std::string a(2 << 20, 'a'), b((3 << 19) + 5, 'b');
    for (int round = 0; round < 50; ++round) {
        // Each saver, once its new content is made, waits a moment for the
        // other to get as far: without turns both would then copy at once.
        int ready[2][2];
        ASSERT_EQ(pipe(ready[0]), 0);
        ASSERT_EQ(pipe(ready[1]), 0);
        pid_t savers[2];
        for (int k = 0; k < 2; ++k) {
            savers[k] = fork();
            if (savers[k] == 0) {
                const std::string& bytes = k == 0 ? a : b;
                try {
                    SaveFileSafely(target.string(), [&](TFileWriter& w) {
                        w.Append(bytes);
                        (void)!write(ready[1 - k][1], "x", 1);
                        pollfd other{ready[k][0], POLLIN, 0};
                        poll(&other, 1, 50);
                    });
                } catch (...) {
                    _exit(1);
                }
                _exit(0);
            }
        }
        for (auto& p : ready) {
            close(p[0]);
            close(p[1]);
        }
        for (const pid_t saver : savers) {
            const int status = Wait(saver);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
        }
        const std::string now = ReadFile(target);
        ASSERT_TRUE(now == a || now == b) << "round " << round << ": a mixed file of " << now.size() << " bytes";
        EXPECT_EQ(fs::hard_link_count(target), 2u);
    }
    EXPECT_EQ(Leftovers(), std::vector<std::string>());
}

TEST_F(InPlaceSave, ALinkSwappedInForTheTargetDoesNotRedirectTheSave) {
    // The victim's private file, and a target in a shared place that another
    // user swaps for a link to it while the save runs.
    const fs::path victim = scratch.Path() / "private.lnk", moved = scratch.Path() / "moved.lnk";
    WriteFile(victim, "private");
    SaveFileSafely(target.string(), [&](TFileWriter& w) {
        w.Append("saved");
        fs::rename(target, moved);
        fs::create_symlink(victim.filename(), target);
    });
    EXPECT_EQ(ReadFile(victim), "private");
    EXPECT_EQ(ReadFile(moved), "saved"); // the file the save inspected, by both its names
    EXPECT_EQ(ReadFile(other), "saved");

    // The same with a file a new one replaces: the link is replaced, not followed.
    fs::remove(target);
    WriteFile(target, "single");
    SaveFileSafely(target.string(), [&](TFileWriter& w) {
        w.Append("renamed into place");
        fs::remove(target);
        fs::create_symlink(victim.filename(), target);
    });
    EXPECT_EQ(ReadFile(victim), "private");
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(ReadFile(target), "renamed into place");
}
