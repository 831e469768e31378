// Saving over whatever sits at the target: links, FIFOs, devices, hard links,
// files of other users, write protection, and a save cut short by a signal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
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

namespace {

// Whether the file system of dir makes anonymous files (then a killed save
// leaves nothing at all behind).
bool AnonymousFilesIn(const fs::path& dir) {
    const int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    close(fd);
    return true;
}

std::string Attribute(const fs::path& path, const char* name) {
    char value[1024];
    const ssize_t n = getxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? std::string("(none)") : std::string(value, static_cast<size_t>(n));
}

} // namespace

TEST(SafeSave, ExtendedAttributesAndAccessListsSurviveASave) {
    TTestDir dir("elo-save");
    const fs::path file = dir.Path() / "acl.lnk";
    WriteFile(file, "old");
    if (setxattr(file.c_str(), "user.elo.note", "kept", 4, 0) != 0)
        GTEST_SKIP() << "no user attributes on this file system: " << strerror(errno);
    // An access list that lets one more user write: owner rw, user 65534 rw,
    // group r, mask rw, others r (the attribute's binary form).
    struct Entry {
        uint16_t tag, perm;
        uint32_t id;
    };
    const uint32_t version = 2;
    const Entry entries[] = {{0x01, 6, ~0u}, {0x02, 6, 65534}, {0x04, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 4, ~0u}};
    std::string acl(reinterpret_cast<const char*>(&version), 4);
    acl.append(reinterpret_cast<const char*>(entries), sizeof entries);
    const bool withAcl = setxattr(file.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
    const std::string aclBefore = Attribute(file, "system.posix_acl_access");
    const auto mode = fs::status(file).permissions();

    Save(file, "new");
    EXPECT_EQ(ReadFile(file), "new");
    EXPECT_EQ(Attribute(file, "user.elo.note"), "kept");
    if (withAcl) {
        EXPECT_EQ(Attribute(file, "system.posix_acl_access"), aclBefore);
    }
    EXPECT_EQ(fs::status(file).permissions(), mode);
    EXPECT_EQ(Entries(dir.Path()), 1u);
}

TEST(SafeSave, NamesOfTheLongestLengthSaveNewAndHardLinked) {
    TTestDir dir("elo-save");
    const fs::path file = dir.Path() / (std::string(251, 'n') + ".lnk"); // 255 bytes
    Save(file, "new file");
    EXPECT_EQ(ReadFile(file), "new file");
    Save(file, "replaced");
    EXPECT_EQ(ReadFile(file), "replaced");
    const fs::path link = dir.Path() / (std::string(250, 'h') + ".lnk2");
    fs::create_hard_link(file, link);
    Save(file, "in place");
    EXPECT_EQ(ReadFile(link), "in place");
    EXPECT_EQ(Entries(dir.Path()), 2u);
}

TEST(SafeSave, WhatAKilledSaveLeavesIsRemovedByTheNextOne) {
    TTestDir dir("elo-save");
    const fs::path file = dir.Path() / "k.lnk";
    WriteFile(file, "old");
    // Killed while writing the new content.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        SaveFileSafely(file.string(), [&](TFileWriter& w) {
            w.Append(std::string(8 << 20, 'x'));
            w.Flush();
            (void)!write(ready[1], "x", 1);
            pause();
        });
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_EQ(ReadFile(file), "old");
    if (AnonymousFilesIn(dir.Path())) {
        EXPECT_EQ(Entries(dir.Path()), 1u); // nothing was ever named
    }
    // Temporaries of its naming that no save holds go with the next save; one
    // a save under way holds, and other names, stay.
    WriteFile(dir.Path() / ".k.lnk.elo-123456", std::string(1 << 20, 'x'));
    const fs::path held = dir.Path() / ".k.lnk.elo-654321";
    WriteFile(held, "held");
    const int holder = open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    WriteFile(dir.Path() / ".k.lnk.elo-notes", "someone's");
    WriteFile(dir.Path() / ".other.lnk.elo-123", "another file's");
    Save(file, "new");
    EXPECT_EQ(ReadFile(file), "new");
    EXPECT_FALSE(fs::exists(dir.Path() / ".k.lnk.elo-123456"));
    EXPECT_TRUE(fs::exists(held));
    EXPECT_TRUE(fs::exists(dir.Path() / ".k.lnk.elo-notes"));
    EXPECT_TRUE(fs::exists(dir.Path() / ".other.lnk.elo-123"));
    EXPECT_EQ(Entries(dir.Path()), 4u);
    close(holder);
}

TEST(SafeSave, ChainsOfLinksAsLongAsTheSystemFollowsAreFollowed) {
    TTestDir dir("elo-save");
    WriteFile(dir.Path() / "file.lnk", "old");
    std::string previous = "file.lnk";
    for (int i = 1; i <= 41; ++i) {
        const std::string name = "link" + std::to_string(i);
        fs::create_symlink(previous, dir.Path() / name);
        previous = name;
    }
    EXPECT_EQ(FinalTarget((dir.Path() / "link40").string()), (dir.Path() / "file.lnk").string());
    Save(dir.Path() / "link40", "through forty links");
    EXPECT_EQ(ReadFile(dir.Path() / "file.lnk"), "through forty links");
    EXPECT_THROW(Save(dir.Path() / "link41", "one too many"), EInOutError);
    EXPECT_EQ(ReadFile(dir.Path() / "file.lnk"), "through forty links");
}

TEST(SafeSave, AReadOnlyFileSystemIsNamed) {
    EXPECT_EQ(SysErrorMessage(EROFS), "Read-only file system");
    TTestDir dir("elo-save");
    const fs::path mountPoint = dir.Path() / "ro";
    fs::create_directory(mountPoint);
    if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "no file system to mount here: " << strerror(errno);
    WriteFile(mountPoint / "r.lnk", "old");
    const bool readOnly = mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    for (const char* name : {"r.lnk", "new.lnk"}) {
        if (!readOnly) break;
        try {
            Save(mountPoint / name, "new");
            ADD_FAILURE() << name << " was saved";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.Message.rfind("Read-only file system", 0), 0u) << e.Message;
        }
    }
    umount(mountPoint.c_str());
    if (!readOnly) GTEST_SKIP() << "the file system could not be made read-only";
}

// The test directories themselves: one level below the temporary directory,
// whatever the test's name, and gone afterwards.
class TestDirectory : public ::testing::TestWithParam<int> {};

TEST_P(TestDirectory, IsOneLevelBelowTheTemporaryDirectoryAndRemoved) {
    fs::path path;
    {
        TTestDir dir("elo-testdir");
        path = dir.Path();
        EXPECT_EQ(path.parent_path(), fs::temp_directory_path());
        WriteFile(path / "x", "x");
    }
    EXPECT_FALSE(fs::exists(path));
}

INSTANTIATE_TEST_SUITE_P(Parameterised, TestDirectory, ::testing::Values(1, 2));
