// Saving over whatever sits at the target: links, FIFOs, devices, hard links,
// files of other users, write protection, and a save cut short by a signal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "platform/Exceptions.h"
#include "platform/SafeSave.h"
#include "support/TestFiles.h"

using namespace elo;
using namespace elo::test;
namespace fs = std::filesystem;

namespace {

void Save(const fs::path& path, const std::string& bytes) {
    SaveFileSafely(path.string(), [&](TFileWriter& w) { w.Append(bytes); });
}

size_t Entries(const fs::path& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// Runs f in a child process as an unprivileged user; returns its exit status.
template <typename F> int AsOtherUser(F&& f) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0)) _exit(3);
        _exit(f());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

} // namespace

TEST(SafeSave, SymbolicLinksAreFollowedToTheirTarget) {
    TTestDir dir("elo-save");
    const fs::path target = dir.Path() / "real.lnk", link = dir.Path() / "link.lnk";
    fs::create_symlink("real.lnk", link); // dangling: it names the file to create
    Save(link, "one");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(target), "one");
    Save(link, "two");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(target), "two");
    fs::create_symlink("loop2", dir.Path() / "loop1");
    fs::create_symlink("loop1", dir.Path() / "loop2");
    EXPECT_THROW(Save(dir.Path() / "loop1", "x"), EInOutError);
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "loop1"));
    EXPECT_EQ(Entries(dir.Path()), 4u); // nothing else appeared
}

TEST(SafeSave, FifosAndDevicesAreWrittenDirectlyAndOtherKindsRefused) {
    TTestDir dir("elo-save");
    const fs::path fifo = dir.Path() / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(Save(fifo, "nobody reads"), EInOutError); // no reader: at once, no wait
    std::string got;
    std::thread reader([&] { got = ReadFile(fifo); });
    // The reader opens the FIFO; then the save writes into it.
    for (int i = 0; i < 200; ++i) {
        try {
            Save(fifo, "through the pipe");
            break;
        } catch (const EInOutError&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    reader.join();
    EXPECT_EQ(got, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fifo));
    if (geteuid() == 0) {
        const fs::path null = dir.Path() / "null";
        ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        Save(null, "gone");
        EXPECT_TRUE(fs::is_character_file(null)); // still the device, not a plain file
    }
    EXPECT_THROW(Save(dir.Path(), "x"), EInOutError);
}

TEST(SafeSave, HardLinksAndOwnersKeepTheFileTheyAre) {
    TTestDir dir("elo-save");
    const fs::path a = dir.Path() / "a.lnk", b = dir.Path() / "b.lnk";
    WriteFile(a, "old");
    fs::create_hard_link(a, b);
    Save(a, "new content");
    EXPECT_EQ(ReadFile(b), "new content"); // the other name sees it: one file still
    EXPECT_EQ(fs::hard_link_count(a), 2u);
    EXPECT_EQ(Entries(dir.Path()), 2u);
    if (geteuid() == 0) {
        const fs::path foreign = dir.Path() / "foreign.lnk";
        WriteFile(foreign, "theirs");
        ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
        fs::permissions(foreign, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        Save(foreign, "still theirs");
        struct stat st {};
        ASSERT_EQ(stat(foreign.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        EXPECT_EQ(ReadFile(foreign), "still theirs");
    }
}

TEST(SafeSave, WriteProtectionCountsWhateverTheDirectoryAllows) {
    TTestDir dir("elo-save");
    fs::permissions(dir.Path(), fs::perms::all); // anyone may write the directory
    const fs::path file = dir.Path() / "ro.lnk";
    WriteFile(file, "protected");
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
    }
    const int status = AsOtherUser([&] {
        try {
            Save(file, "replaced");
        } catch (const EInOutError& e) {
            return e.Message.rfind("File access denied", 0) == 0 ? 42 : 1;
        }
        return 2;
    });
    EXPECT_EQ(status, 42);
    EXPECT_EQ(ReadFile(file), "protected");
}

TEST(SafeSave, AWritableFileInADirectoryThatIsNotIsWrittenInPlace) {
    TTestDir dir("elo-save");
    const fs::path sub = dir.Path() / "fixed";
    fs::create_directory(sub);
    const fs::path file = sub / "w.lnk";
    WriteFile(file, "before");
    fs::permissions(file, fs::perms::all);
    fs::permissions(sub, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
    }
    const int status = AsOtherUser([&] {
        try {
            Save(file, "after, in place");
        } catch (const std::exception&) {
            return 1;
        }
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadFile(file), "after, in place");
    EXPECT_EQ(Entries(sub), 1u);
}

TEST(SafeSave, ASaveEndedBySignalLeavesNoTemporaryFile) {
    TTestDir dir("elo-save");
    const fs::path file = dir.Path() / "big.lnk";
    WriteFile(file, "old");
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const pid_t pid = fork();
        if (pid == 0) {
            InstallSaveSignalHandlers();
            SaveFileSafely(file.string(), [&](TFileWriter& w) {
                w.Append(std::string(3 << 20, 'x'));
                w.Flush();
                raise(signal); // in the middle of the save
                w.Append("never");
            });
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
        EXPECT_EQ(Entries(dir.Path()), 1u) << signal;
        EXPECT_EQ(ReadFile(file), "old");
    }
}
