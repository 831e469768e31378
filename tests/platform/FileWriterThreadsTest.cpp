// The save's writer: a full buffer is written on a second thread while the
// next fills; the bytes arrive in order and a failure reaches the caller.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/Exceptions.h"
#include "platform/SafeSave.h"
#include "support/TestFiles.h"

using namespace elo;

TEST(FileWriterThreads, PiecesOfEverySizeArriveInOrder) {
    elo::test::TTestDir dir("elo-writer");
    const std::string path = (dir.Path() / "out.bin").string();
    std::mt19937 rng(9);
    std::string expected;
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        TFileWriter writer(fd, path);
        for (int i = 0; expected.size() < (size_t{12} << 20); ++i) {
            // Mostly small pieces, now and then one larger than the buffer.
            const size_t size = rng() % 50 == 0 ? (size_t{1} << 20) + rng() % 300000 : rng() % 400;
            std::string piece(size, static_cast<char>('a' + i % 26));
            expected += piece;
            writer.Append(piece);
        }
        writer.Flush();
        EXPECT_EQ(writer.Written(), static_cast<off_t>(expected.size()));
        ::close(fd);
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_TRUE(got.str() == expected);
}

TEST(FileWriterThreads, AFailedWriteIsRaisedByTheNextCall) {
    const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (fd < 0) GTEST_SKIP() << "no /dev/full";
    {
        TFileWriter writer(fd, "/dev/full");
        const std::string piece(4096, 'x');
        // The first full buffer goes to the thread; its failure comes back.
        EXPECT_THROW(
            {
                for (int i = 0; i < 10000; ++i) writer.Append(piece);
                writer.Flush();
            },
            EInOutError);
    }
    {
        // Left with a write under way: the writer still ends cleanly.
        TFileWriter writer(fd, "/dev/full");
        writer.Append(std::string((size_t{1} << 20) - 1, 'y'));
        writer.Append("zz");
    }
    ::close(fd);
}
