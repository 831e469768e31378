// Files for tests: a fresh directory per test, and whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace elo::test {

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A directory of the running test's own (prefix, process and test name), one
// level below the temporary directory, empty at the start and removed at the
// end, write permission restored first.
class TTestDir {
public:
    explicit TTestDir(const std::string& prefix)
        : FPath(std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(getpid()) + "-" + TestName())) {
        std::filesystem::remove_all(FPath);
        std::filesystem::create_directories(FPath);
    }
    // The running test's name as one path part: a parameterised test's
    // "Name/3" would otherwise make a directory in a directory.
    static std::string TestName() {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/') c = '-';
        return name;
    }
    ~TTestDir() {
        std::error_code ignored;
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::remove_all(FPath, ignored);
    }
    TTestDir(const TTestDir&) = delete;
    TTestDir& operator=(const TTestDir&) = delete;
    const std::filesystem::path& Path() const { return FPath; }
    // Writes a file into the directory; returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        WriteFile(FPath / name, bytes);
        return (FPath / name).string();
    }

private:
    std::filesystem::path FPath;
};

} // namespace elo::test
